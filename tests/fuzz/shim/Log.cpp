// The diagnostic log for the host-side fuzz builds: every line is formatted, so
// that a format that does not match its arguments is caught, and then dropped.
#include "orba/Log.h"

#include <cstdio>

void DebugLine(const char* fmt, ...) {
  char line[1024];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(line, sizeof line, fmt, args);
  va_end(args);
}
