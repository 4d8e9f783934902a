#include "PictureFiles.h"

#include <cstring>

#include "orba/Scoped.h"
#include "orba/Text.h"
#include "orba/SettingsKey.h"

namespace orba_filter {

namespace {

// The most pictures one name can take within a second.
constexpr int kMaxSuffix = 999;

bool FormatPicturePath(const char* folder, const char* name, int n, char* out, size_t cap) {
  return n == 1 ? orba::FormatBounded(out, cap, "%s\\%s.jpg", folder, name)
                : orba::FormatBounded(out, cap, "%s\\%s_%d.jpg", folder, name, n);
}

}  // namespace

bool WriteAll(HANDLE file, const uint8_t* data, size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

bool WritePicture(HANDLE file, const uint8_t* data, size_t size) {
  PicturePiece pieces[kMaxPicturePieces];
  const size_t count = PicturePieces(data, size, pieces);
  for (size_t i = 0; i < count; ++i) {
    if (!WriteAll(file, pieces[i].data, pieces[i].size)) return false;
  }
  return true;
}

bool FreePicturePath(const char* folder, const char* name, char* out, size_t cap) {
  for (int n = 1; n <= kMaxSuffix; ++n) {
    if (!FormatPicturePath(folder, name, n, out, cap)) return false;
    if (GetFileAttributesA(out) == INVALID_FILE_ATTRIBUTES) return true;
  }
  if (out && cap) out[0] = '\0';
  return false;
}

HANDLE CreateFreePictureFile(const char* folder, const char* name, char* out, size_t cap) {
  for (int n = 1; n <= kMaxSuffix; ++n) {
    if (!FormatPicturePath(folder, name, n, out, cap)) return INVALID_HANDLE_VALUE;
    // CREATE_NEW claims the name: an existing picture is never opened.
    HANDLE file = CreateFileA(out, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return INVALID_HANDLE_VALUE;
  }
  return INVALID_HANDLE_VALUE;
}

const char kImageFolderPathValue[] = "ImageFolderPath";

int ReadSettingsText(const char* name, char* buf, size_t cap) {
  if (!buf || cap == 0) return 1;
  if (orba::ReadRegistryString(HKEY_CURRENT_USER, orba::kSettingsKey, name, buf, cap) != ERROR_SUCCESS ||
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

bool AnsiToWide(const char* text, wchar_t* out, size_t cap) {
  if (!out || cap == 0) return false;
  out[0] = L'\0';
  if (!text) return false;
  const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, out,
                                    static_cast<int>(cap));
  if (n <= 0) {
    out[0] = L'\0';
    return false;
  }
  return true;
}

bool WideToAnsi(const wchar_t* text, char* out, size_t cap) {
  if (!out || cap == 0) return false;
  out[0] = '\0';
  if (!text) return false;
  // A character the code page cannot hold would name another folder.
  BOOL usedDefault = FALSE;
  const bool utf8 = GetACP() == CP_UTF8;
  const int n = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, text, -1, out,
                                    static_cast<int>(cap), nullptr, utf8 ? nullptr : &usedDefault);
  if (n <= 0 || usedDefault) {
    out[0] = '\0';
    return false;
  }
  return true;
}

}  // namespace orba_filter
