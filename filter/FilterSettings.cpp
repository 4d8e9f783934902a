#include "FilterSettings.h"

#include <cstring>

#include "orba/Scoped.h"
#include "orba/SettingsKey.h"
#include "orba/Text.h"

namespace orba_filter {

const char kImageFolderPathValue[] = "ImageFolderPath";

int ReadSettingsText(const char* name, char* buf, size_t cap) {
  if (!buf || cap == 0) return 1;
  if (orba::ReadRegistryString(HKEY_CURRENT_USER, orba::kSettingsKey, name, buf, cap) !=
          ERROR_SUCCESS ||
      buf[0] == '\0') {
    buf[0] = '\0';
    return 1;
  }
  return 0;
}

LONG WriteSettingsText(const char* name, const char* text) {
  if (!text) return ERROR_INVALID_PARAMETER;
  orba::ScopedHKEY key;
  LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, orba::kSettingsKey, 0, KEY_SET_VALUE, key.Put());
  if (rc != ERROR_SUCCESS) return rc;
  return RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(std::strlen(text)));
}

}  // namespace orba_filter
