// The conversion's reading of frame file names, against an independent reading:
// "frame_<n>.jpg" in any case, n decimal without leading zeros and at most
// INT_MAX; every name it takes formats back to itself.
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <strings.h>

#include "FrameFile.h"

#define CHECK(c)            \
  do {                      \
    if (!(c)) std::abort(); \
  } while (0)

namespace {

bool Expected(const std::string& name, long* number) {
  if (name.size() < 11) return false;
  std::string lower;
  for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.compare(0, 6, "frame_") != 0 || lower.compare(lower.size() - 4, 4, ".jpg") != 0)
    return false;
  const std::string digits = name.substr(6, name.size() - 10);
  if (digits.empty() || digits.size() > 10 || (digits.size() > 1 && digits[0] == '0')) return false;
  unsigned long long value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > INT_MAX) return false;
  *number = static_cast<long>(value);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A name as the folder listing gives it: a C string.
  const std::string name(reinterpret_cast<const char*>(data), size);
  const std::string text = name.c_str();
  long parsed = -7;
  const bool ok = ParseFrameFileName(text.c_str(), &parsed);
  long expected = -7;
  const bool want = Expected(text, &expected);
  CHECK(ok == want);
  if (ok) {
    CHECK(parsed == expected && parsed >= 0);
    char again[32];
    std::snprintf(again, sizeof again, "frame_%ld.jpg", parsed);
    CHECK(strcasecmp(again, text.c_str()) == 0);
  } else {
    CHECK(parsed == -7);
  }
  return 0;
}
