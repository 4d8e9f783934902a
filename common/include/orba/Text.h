#pragma once
// Bounded text helpers for the fixed ANSI buffers of the viewer and the filter:
// those of TextCore.h and the ones that call Windows.
#include <windows.h>

#include <cstddef>

#include "orba/TextCore.h"

namespace orba {

// Reads a REG_SZ or REG_EXPAND_SZ value into buf, never past cap and always
// terminated; environment references of REG_EXPAND_SZ are expanded. Returns a
// Win32 error: ERROR_MORE_DATA when the text does not fit, ERROR_INVALID_DATATYPE
// for values of another type. buf is emptied on any failure.
LONG ReadRegistryString(HKEY root, const char* subkey, const char* value, char* buf, size_t cap);
// The wide form; view (KEY_WOW64_32KEY or 0) is added to the key's access and
// cap counts characters.
LONG ReadRegistryString(HKEY root, const wchar_t* subkey, const wchar_t* value, REGSAM view,
                        wchar_t* buf, size_t cap);

// Loads another program's DLL from exactly this absolute path, with its
// dependencies searched in its own folder and the system folder only; null for
// a relative path or when loading fails.
HMODULE LoadLibraryByFullPath(const wchar_t* path);

// A text in the system code page to a wide text and back, bounded (cap counts
// the out buffer's characters). False, with out emptied, when the text does not
// fit or cannot be represented.
bool AnsiToWide(const char* text, wchar_t* out, size_t cap);
bool WideToAnsi(const wchar_t* text, char* out, size_t cap);

// The local time as "%y%m%d_%H.%M.%S" (for example 240103_09.05.07).
constexpr size_t kTimeStampBytes = 32;
void FormatTimeStamp(const SYSTEMTIME& local, char (&out)[kTimeStampBytes]);
void FormatTimeStampNow(char (&out)[kTimeStampBytes]);

}  // namespace orba
