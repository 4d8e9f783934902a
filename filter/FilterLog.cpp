#include "FilterLog.h"

#include <cstdarg>
#include <cstdio>

#include "IORBAProc.h"
#include "orba/Log.h"

namespace {

struct Prefix {
  char text[16];
};

// "590: ", made once from the build number.
const char* BuildPrefix() {
  static const Prefix prefix = [] {
    Prefix p{};
    std::snprintf(p.text, sizeof p.text, "%ld: ", kORBAProcBuildNumber);
    return p;
  }();
  return prefix.text;
}

}  // namespace

void FilterLog(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  orba::DebugLineV(BuildPrefix(), fmt, args);
  va_end(args);
}
