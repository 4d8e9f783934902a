#pragma once
// The viewer's persistent settings: HKCU\Software\Opticorva\ORBA.
#include <windows.h>

extern const char kSkipFramesValue[];  // "SKIPFRAMES"

// Creates (or opens) the settings key, non-volatile, with default security.
LONG CreateSettingsKey();
// 0 and the flag when the value was read; otherwise the registry error and the
// flag untouched. A value that is not a 4-byte REG_DWORD counts as absent
// (ERROR_INVALID_DATATYPE / ERROR_INVALID_DATA): it is never read past 32 bits.
LONG ReadSettingFlag(const char* name, bool* flag);
// One value of an open key that must be a 4-byte REG_DWORD: 0 and the value,
// or the error as for ReadSettingFlag and the value untouched.
LONG QueryDwordValue(HKEY key, const char* name, DWORD* value);
// Stores 1 or 0 as a 4-byte REG_DWORD. Nothing is stored if the key cannot be opened.
LONG WriteSettingFlag(const char* name, bool flag);
