#pragma once
// Bounded text helpers for the fixed ANSI buffers of the viewer and the filter.
#include <windows.h>

#include <cstdarg>
#include <cstddef>

namespace orba {

// printf into buf; false (and buf emptied) when the result would not fit or the
// format fails. A truncated path must never be used.
bool FormatBoundedV(char* buf, size_t cap, const char* fmt, va_list args);
bool FormatBounded(char* buf, size_t cap, const char* fmt, ...)
    __attribute__((format(gnu_printf, 3, 4)));

// Copies with termination; false (and dst emptied) when src does not fit.
bool CopyBounded(char* dst, size_t cap, const char* src);

// Reads a REG_SZ or REG_EXPAND_SZ value into buf, never past cap and always
// terminated; environment references of REG_EXPAND_SZ are expanded. Returns a
// Win32 error: ERROR_MORE_DATA when the text does not fit, ERROR_INVALID_DATATYPE
// for values of another type. buf is emptied on any failure.
LONG ReadRegistryString(HKEY root, const char* subkey, const char* value, char* buf,
                        size_t cap);

// The local time as "%y%m%d_%H.%M.%S" (for example 240103_09.05.07).
constexpr size_t kTimeStampBytes = 32;
void FormatTimeStamp(const SYSTEMTIME& local, char (&out)[kTimeStampBytes]);
void FormatTimeStampNow(char (&out)[kTimeStampBytes]);

}  // namespace orba
