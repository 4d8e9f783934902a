#pragma once
// Diagnostic log: short lines on the debugger output channel, never a file.
#include <cstdarg>

namespace orba {
// Writes "[pid][tid] " + prefix + formatted text through OutputDebugStringA.
void DebugLineV(const char* prefix, const char* fmt, va_list args);
// Writes the text exactly as given (no prefix, no formatting).
void DebugRaw(const char* text);
}  // namespace orba

void DebugLine(const char* fmt, ...) __attribute__((format(gnu_printf, 1, 2)));
