#include "orba/ImagesDir.h"

#include <windows.h>

#include <cstring>

#include "orba/Log.h"
#include "orba/Text.h"

namespace {
const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kUserShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char kSubfolder[] = "\\ORBA";
}  // namespace

void GetImagesDirPath(char* out, size_t cap) {
  if (!out || cap == 0) return;
  out[0] = '\0';
  // The legacy key holds plain paths; the user key holds %USERPROFILE%-style
  // REG_EXPAND_SZ texts, which are expanded rather than taken literally.
  char folder[kImagesDirBytes];
  if (orba::ReadRegistryString(HKEY_CURRENT_USER, kShellFolders, "My Pictures", folder,
                               sizeof folder) != ERROR_SUCCESS) {
    orba::ReadRegistryString(HKEY_CURRENT_USER, kUserShellFolders, "My Pictures", folder,
                             sizeof folder);
  }
  // A folder too long to take "\ORBA" is treated as unreadable.
  if (!orba::FormatBounded(out, cap, "%s%s", folder, kSubfolder)) {
    orba::CopyBounded(out, cap, kSubfolder);
  }
  DebugLine("GetImagesDirPath:\n");
  DebugLine("%s", out);
}

bool CreateFolderTree(const char* path) {
  if (!path || path[0] == '\0') return false;
  char partial[kImagesDirBytes + 8];
  const size_t n = std::strlen(path);
  if (n >= sizeof partial) return false;
  std::memcpy(partial, path, n + 1);
  // Each separator after the first component ends a folder to create; a drive
  // ("C:") or the root of a share fails harmlessly and exists already.
  for (size_t i = 1; i <= n; ++i) {
    if (i < n && partial[i] != '\\' && partial[i] != '/') continue;
    const char kept = partial[i];
    partial[i] = '\0';
    const DWORD attributes = GetFileAttributesA(partial);
    if (attributes == INVALID_FILE_ATTRIBUTES) CreateDirectoryA(partial, nullptr);
    partial[i] = kept;
  }
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
