#include "orba/zoomtext/EmulationSwitch.h"

#include "orba/Scoped.h"

namespace zoomtext {

LONG SetDirectDrawEmulation(DWORD value, DWORD* previous) {
  orba::ScopedHKEY key;
  const LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\DirectDraw", 0,
                                KEY_READ | KEY_QUERY_VALUE | KEY_SET_VALUE, key.Put());
  if (rc != ERROR_SUCCESS) return rc;
  if (previous) {
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    const bool read = RegQueryValueExW(key.Get(), L"EmulationOnly", nullptr, &type,
                                       reinterpret_cast<BYTE*>(&data), &size) == ERROR_SUCCESS &&
                      type == REG_DWORD && size == sizeof data;
    *previous = read ? data : 0;
  }
  return RegSetValueExW(key.Get(), L"EmulationOnly", 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&value), sizeof value);
}

}  // namespace zoomtext
