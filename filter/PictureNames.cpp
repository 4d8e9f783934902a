#include "PictureNames.h"

#include "orba/Text.h"

namespace orba_filter {

namespace {

// The most pictures one name can take within a second.
constexpr int kMaxSuffix = 999;

bool FormatPicturePath(const char* folder, const char* name, int n, char* out, size_t cap) {
  return n == 1 ? orba::FormatBounded(out, cap, "%s\\%s.jpg", folder, name)
                : orba::FormatBounded(out, cap, "%s\\%s_%d.jpg", folder, name, n);
}

}  // namespace

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

}  // namespace orba_filter
