#pragma once
// The bounded text helpers that need no Windows headers: formatting and copying
// into fixed buffers, path shapes, and the turning of a registry value's data
// into a text. Text.h adds the parts that call Windows.
#include <cstdarg>
#include <cstddef>

namespace orba {

// printf into buf; false (and buf emptied) when the result would not fit or the
// format fails. A truncated path must never be used.
bool FormatBoundedV(char* buf, size_t cap, const char* fmt, va_list args);
bool FormatBounded(char* buf, size_t cap, const char* fmt, ...)
    __attribute__((format(gnu_printf, 3, 4)));

// The same for wide texts; cap counts characters.
bool FormatBoundedW(wchar_t* buf, size_t cap, const wchar_t* fmt, ...);

// Copies with termination; false (and dst emptied) when src does not fit.
bool CopyBounded(char* dst, size_t cap, const char* src);
bool CopyBounded(wchar_t* dst, size_t cap, const wchar_t* src);

// A path that names its drive or share ("C:\..." or "\\server\..."): never
// one resolved against the current folder.
bool IsAbsolutePath(const wchar_t* path);

// The registry's text value types (REG_SZ and REG_EXPAND_SZ).
constexpr unsigned long kRegistryText = 1;
constexpr unsigned long kRegistryExpandText = 2;

enum class RegistryTextStatus {
  kOk,
  kWrongType,     // neither of the two text types
  kTooLong,       // the text, or its expansion, does not fit
  kExpandFailed,  // the expansion failed; its error is the caller's last error
};

// ExpandEnvironmentStrings' contract: expands src into dst when chars (counted
// with the NUL) suffice; returns the characters the expansion needs, NUL
// included, or 0 on failure.
using ExpandTextFn = unsigned long (*)(const char* src, char* dst, unsigned long chars);
using ExpandWideTextFn = unsigned long (*)(const wchar_t* src, wchar_t* dst, unsigned long chars);

// The text of a registry value from its type and the bytes read: the text ends
// at its first NUL or where the data ends (a value stored without its NUL), a
// REG_EXPAND_SZ text goes through expand, and the result is copied into buf,
// never past cap and always terminated. buf is emptied on any failure.
RegistryTextStatus RegistryTextFromData(unsigned long type, const void* data, size_t bytes,
                                        ExpandTextFn expand, char* buf, size_t cap);
// The wide form; cap counts characters.
RegistryTextStatus RegistryTextFromData(unsigned long type, const void* data, size_t bytes,
                                        ExpandWideTextFn expand, wchar_t* buf, size_t cap);

}  // namespace orba
