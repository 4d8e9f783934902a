#pragma once
// DirectDraw's machine-wide "EmulationOnly" switch.
#include <windows.h>

namespace zoomtext {

// Writes "EmulationOnly" = value under HKLM\SOFTWARE\Microsoft\DirectDraw; when
// previous is given, it first receives the earlier value (0 when there was
// none). A Win32 error code: the key's open error leaves previous untouched.
LONG SetDirectDrawEmulation(DWORD value, DWORD* previous);

}  // namespace zoomtext
