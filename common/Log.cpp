#include "orba/Log.h"

#include <windows.h>

#include <cstdio>

namespace {
constexpr size_t kLineBytes = 600;
}

namespace orba {

void DebugLineV(const char* prefix, const char* fmt, va_list args) {
  char line[kLineBytes];
  int used = std::snprintf(line, sizeof line, "[%lu][%lu] %s", GetCurrentProcessId(),
                           GetCurrentThreadId(), prefix ? prefix : "");
  if (used < 0) return;
  if (static_cast<size_t>(used) < sizeof line) {
    // A long text is cut, never overrun: vsnprintf always terminates.
    std::vsnprintf(line + used, sizeof line - used, fmt, args);
  }
  OutputDebugStringA(line);
}

void DebugRaw(const char* text) { OutputDebugStringA(text ? text : ""); }

}  // namespace orba

void DebugLine(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  orba::DebugLineV(nullptr, fmt, args);
  va_end(args);
}
