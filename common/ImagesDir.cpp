#include "orba/ImagesDir.h"

#include <windows.h>

#include <cstring>

#include "orba/Log.h"
#include "orba/Text.h"

namespace {
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
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
