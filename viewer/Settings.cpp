#include "Settings.h"

#include <cstdint>

#include "orba/Scoped.h"
#include "orba/SettingsKey.h"

const char kSkipFramesValue[] = "SKIPFRAMES";

LONG CreateSettingsKey() {
  orba::ScopedHKEY key;
  return RegCreateKeyExA(HKEY_CURRENT_USER, orba::kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_ALL_ACCESS, nullptr, key.Put(), nullptr);
}

LONG QueryDwordValue(HKEY key, const char* name, DWORD* value) {
  DWORD type = 0;
  DWORD size = 0;
  LONG rc = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
  if (rc != ERROR_SUCCESS) return rc;
  if (type != REG_DWORD) return ERROR_INVALID_DATATYPE;
  if (size != sizeof(uint32_t)) return ERROR_INVALID_DATA;

  // The read is bounded by the variable, whatever happened to the value meanwhile.
  uint32_t data = 0;
  size = sizeof data;
  rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  if (rc != ERROR_SUCCESS) return rc;
  if (type != REG_DWORD || size != sizeof data) return ERROR_INVALID_DATA;
  if (value) *value = data;
  return ERROR_SUCCESS;
}

LONG ReadSettingFlag(const char* name, bool* flag) {
  orba::ScopedHKEY key;
  LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, orba::kSettingsKey, 0, KEY_QUERY_VALUE, key.Put());
  if (rc != ERROR_SUCCESS) return rc;
  DWORD value = 0;
  rc = QueryDwordValue(key.Get(), name, &value);
  if (rc == ERROR_SUCCESS && flag) *flag = value != 0;
  return rc;
}

LONG WriteSettingFlag(const char* name, bool flag) {
  orba::ScopedHKEY key;
  const LONG rc =
      RegOpenKeyExA(HKEY_CURRENT_USER, orba::kSettingsKey, 0, KEY_ALL_ACCESS, key.Put());
  if (rc != ERROR_SUCCESS) return rc;
  const uint32_t value = flag ? 1 : 0;
  return RegSetValueExA(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value);
}
