// The bounded text helpers: copies and formats into buffers of exactly their
// capacity (so that a write past it is a finding), path shapes, and the turning
// of a registry value's raw data into a text, checked against independent
// readings. The expansion stands in for ExpandEnvironmentStrings with its
// contract, and can misbehave as a changing environment would.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "orba/TextCore.h"

#define CHECK(c)            \
  do {                      \
    if (!(c)) std::abort(); \
  } while (0)

namespace {

template <class C>
std::basic_string<C> Expanded(const std::basic_string<C>& src) {
  // %A% and %LONG% are set; any other reference stays as written.
  std::basic_string<C> out;
  size_t i = 0;
  while (i < src.size()) {
    if (src[i] == C('%')) {
      const size_t end = src.find(C('%'), i + 1);
      if (end != std::basic_string<C>::npos) {
        const std::basic_string<C> name = src.substr(i + 1, end - i - 1);
        if (name == std::basic_string<C>(1, C('A'))) {
          out += std::basic_string<C>(3, C('x'));
          i = end + 1;
          continue;
        }
        static const C kLong[] = {'L', 'O', 'N', 'G', 0};
        if (name == kLong) {
          out += std::basic_string<C>(300, C('y'));
          i = end + 1;
          continue;
        }
      }
    }
    out += src[i++];
  }
  return out;
}

// How the stand-in expansion behaves this time.
enum class Mood { kHonest, kFails, kFailsSecond, kGrows };
Mood gMood = Mood::kHonest;
int gCalls = 0;

template <class C>
unsigned long ExpandT(const C* src, C* dst, unsigned long chars) {
  ++gCalls;
  if (gMood == Mood::kFails) return 0;
  if (gMood == Mood::kFailsSecond && gCalls == 2) return 0;
  std::basic_string<C> out = Expanded(std::basic_string<C>(src));
  // The environment changed between the two calls: the second one needs more.
  if (gMood == Mood::kGrows && gCalls == 2) out += std::basic_string<C>(5, C('z'));
  const unsigned long need = static_cast<unsigned long>(out.size() + 1);
  if (dst && chars >= need) std::memcpy(dst, out.c_str(), need * sizeof(C));
  return need;
}
unsigned long ExpandA(const char* s, char* d, unsigned long n) { return ExpandT(s, d, n); }
unsigned long ExpandW(const wchar_t* s, wchar_t* d, unsigned long n) { return ExpandT(s, d, n); }
orba::ExpandTextFn Pick(char) { return ExpandA; }
orba::ExpandWideTextFn Pick(wchar_t) { return ExpandW; }

template <class C>
std::basic_string<C> TakeText(FuzzedDataProvider& fdp, size_t max) {
  std::basic_string<C> s;
  const size_t n = fdp.ConsumeIntegralInRange<size_t>(0, max);
  for (size_t i = 0; i < n && fdp.remaining_bytes(); ++i) {
    // Mostly path characters, now and then anything.
    static const char kChars[] = "ab:\\/%ALONG.0_ ";
    const uint8_t pick = fdp.ConsumeIntegral<uint8_t>();
    s += pick < 200 ? C(kChars[pick % (sizeof kChars - 1)]) : C(fdp.ConsumeIntegral<uint16_t>());
  }
  return s;
}

template <class C>
size_t Len(const C* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

template <class C>
void CheckCopy(FuzzedDataProvider& fdp) {
  const std::basic_string<C> src = TakeText<C>(fdp, 80);
  const size_t cap = fdp.ConsumeIntegralInRange<size_t>(0, 90);
  std::unique_ptr<C[]> dst(new C[cap ? cap : 1]);
  const bool ok = orba::CopyBounded(cap ? dst.get() : nullptr, cap, src.c_str());
  const size_t len = Len(src.c_str());
  CHECK(ok == (cap > 0 && len < cap));
  if (ok)
    CHECK(std::basic_string<C>(dst.get()) == std::basic_string<C>(src.c_str()));
  else if (cap)
    CHECK(dst[0] == 0);
}

template <class C>
void CheckRegistryText(FuzzedDataProvider& fdp) {
  const uint8_t t = fdp.ConsumeIntegral<uint8_t>();
  const unsigned long type = t % 4 == 3 ? t : t % 3;  // mostly REG_SZ and REG_EXPAND_SZ
  gMood = static_cast<Mood>(fdp.ConsumeIntegralInRange<int>(0, 3) * (fdp.ConsumeBool() ? 1 : 0));
  gCalls = 0;
  const size_t cap = fdp.ConsumeIntegralInRange<size_t>(0, 400);
  const std::basic_string<C> text = TakeText<C>(fdp, 120);
  // The data as the registry holds it: with or without the NUL, perhaps with an
  // odd byte at the end and more text after an inner NUL.
  std::vector<uint8_t> bytes(text.size() * sizeof(C));
  if (!text.empty()) std::memcpy(bytes.data(), text.data(), bytes.size());
  const size_t extra = fdp.ConsumeIntegralInRange<size_t>(0, sizeof(C) * 2 + 1);
  for (size_t i = 0; i < extra; ++i) bytes.push_back(fdp.ConsumeIntegral<uint8_t>());
  std::unique_ptr<uint8_t[]> data(new uint8_t[bytes.size() ? bytes.size() : 1]);
  if (!bytes.empty()) std::memcpy(data.get(), bytes.data(), bytes.size());
  std::unique_ptr<C[]> buf(new C[cap ? cap : 1]);
  if (cap) buf[0] = C('Q');

  const orba::RegistryTextStatus status =
      orba::RegistryTextFromData(type, bytes.empty() ? nullptr : data.get(), bytes.size(),
                                 Pick(C()), cap ? buf.get() : nullptr, cap);

  // The independent reading: whole characters up to the first NUL.
  std::basic_string<C> raw;
  for (size_t i = 0; i + sizeof(C) <= bytes.size(); i += sizeof(C)) {
    C c;
    std::memcpy(&c, &bytes[i], sizeof c);
    if (c == 0) break;
    raw += c;
  }
  using S = orba::RegistryTextStatus;
  if (cap == 0) {
    CHECK(status == S::kTooLong);
    return;
  }
  if (status != S::kOk) CHECK(buf[0] == 0);
  if (type != orba::kRegistryText && type != orba::kRegistryExpandText) {
    CHECK(status == S::kWrongType);
    return;
  }
  std::basic_string<C> want = raw;
  if (type == orba::kRegistryExpandText) {
    if (gMood == Mood::kFails) {
      CHECK(status == S::kExpandFailed);
      return;
    }
    if (gMood == Mood::kFailsSecond || gMood == Mood::kGrows) {
      CHECK(status == S::kTooLong);
      return;
    }
    want = Expanded(raw);
  }
  CHECK(status == (want.size() < cap ? S::kOk : S::kTooLong));
  if (status == S::kOk) CHECK(std::basic_string<C>(buf.get()) == want);
}

void CheckFormat(FuzzedDataProvider& fdp) {
  const std::string folder = TakeText<char>(fdp, 300);
  const std::string name = TakeText<char>(fdp, 60);
  const int n = fdp.ConsumeIntegral<int>();
  const size_t cap = fdp.ConsumeIntegralInRange<size_t>(0, 400);
  std::unique_ptr<char[]> buf(new char[cap ? cap : 1]);
  const bool ok = orba::FormatBounded(cap ? buf.get() : nullptr, cap, "%s\\%s_%d.jpg",
                                      folder.c_str(), name.c_str(), n);
  char want[1024];
  const int len =
      std::snprintf(want, sizeof want, "%s\\%s_%d.jpg", folder.c_str(), name.c_str(), n);
  CHECK(len >= 0);
  CHECK(ok == (cap > 0 && static_cast<size_t>(len) < cap));
  if (ok)
    CHECK(std::strcmp(buf.get(), want) == 0);
  else if (cap)
    CHECK(buf[0] == 0);

  // The wide form, with texts the C library can always print.
  std::wstring wfolder, wname;
  for (char c : folder)
    wfolder += static_cast<wchar_t>(static_cast<unsigned char>(c) & 0x7F ? c & 0x7F : 'a');
  for (char c : name)
    wname += static_cast<wchar_t>(static_cast<unsigned char>(c) & 0x7F ? c & 0x7F : 'a');
  std::unique_ptr<wchar_t[]> wbuf(new wchar_t[cap ? cap : 1]);
  const bool wok = orba::FormatBoundedW(cap ? wbuf.get() : nullptr, cap, L"%ls\\%ls",
                                        wfolder.c_str(), wname.c_str());
  const size_t wlen = wfolder.size() + 1 + wname.size();
  CHECK(wok == (cap > 0 && wlen < cap));
  if (wok)
    CHECK(std::wstring(wbuf.get()) == wfolder + L"\\" + wname);
  else if (cap)
    CHECK(wbuf[0] == 0);
}

void CheckAbsolute(FuzzedDataProvider& fdp) {
  const std::wstring path = TakeText<wchar_t>(fdp, 6);
  // Exactly as long as the text: a look past its NUL is a finding.
  const size_t n = Len(path.c_str());
  std::unique_ptr<wchar_t[]> exact(new wchar_t[n + 1]);
  std::memcpy(exact.get(), path.c_str(), (n + 1) * sizeof(wchar_t));
  const wchar_t* p = exact.get();
  const bool letter = n >= 1 && ((p[0] >= L'A' && p[0] <= L'Z') || (p[0] >= L'a' && p[0] <= L'z'));
  const bool want = (letter && n >= 3 && p[1] == L':' && p[2] == L'\\') ||
                    (n >= 2 && p[0] == L'\\' && p[1] == L'\\');
  CHECK(orba::IsAbsolutePath(p) == want);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider fdp(data, size);
  while (fdp.remaining_bytes()) {
    switch (fdp.ConsumeIntegralInRange<int>(0, 5)) {
      case 0:
        CheckCopy<char>(fdp);
        break;
      case 1:
        CheckCopy<wchar_t>(fdp);
        break;
      case 2:
        CheckRegistryText<char>(fdp);
        break;
      case 3:
        CheckRegistryText<wchar_t>(fdp);
        break;
      case 4:
        CheckFormat(fdp);
        break;
      default:
        CheckAbsolute(fdp);
        break;
    }
  }
  return 0;
}
