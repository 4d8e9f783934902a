#include "orba/zoomtext/ProgramSettings.h"

#include <shlobj.h>

#include <cwchar>
#include <new>

#include "orba/Scoped.h"
#include "orba/Text.h"
#include "orba/zoomtext/Detection.h"

namespace zoomtext {

namespace {

const wchar_t kComponents[] = L"Components";
const wchar_t kComponentsReplacedFrom[] = L"Components Replaced From %d";
const wchar_t kSharedUserDirectory[] = L"Shared User Directory";
const wchar_t kServerRoot[] = L"Server Root";

bool CopyOut(wchar_t* buffer, size_t bufferBytes, const wchar_t* text) {
  return buffer && orba::CopyBounded(buffer, bufferBytes / sizeof(wchar_t), text);
}

bool ReplacedFromName(int n, wchar_t (&name)[64]) {
  return orba::FormatBoundedW(name, 64, kComponentsReplacedFrom, n);
}

}  // namespace

ProgramSettingsInterface::ProgramSettingsInterface()
    : registryView_(GetWindowsArchitecture() == 2 ? KEY_WOW64_32KEY : 0) {}

bool ProgramSettingsInterface::GetProgramDirectory(wchar_t* b, size_t n) {
  return ReadText(kProgramDirectoryValue, b, n);
}
bool ProgramSettingsInterface::SetProgramDirectory(const wchar_t* t) {
  return WriteText(kProgramDirectoryValue, t);
}
bool ProgramSettingsInterface::GetSoftwareVersion(wchar_t* b, size_t n) {
  return ReadText(kSoftwareVersionValue, b, n);
}
bool ProgramSettingsInterface::SetSoftwareVersion(const wchar_t* t) {
  return WriteText(kSoftwareVersionValue, t);
}
bool ProgramSettingsInterface::GetProductLevel(DWORD* v) {
  return ReadDword(kProductLevelValue, v);
}
bool ProgramSettingsInterface::SetProductLevel(DWORD v) {
  return WriteDword(kProductLevelValue, v);
}
bool ProgramSettingsInterface::GetComponents(DWORD* v) { return ReadDword(kComponents, v); }
bool ProgramSettingsInterface::SetComponents(DWORD v) { return WriteDword(kComponents, v); }
bool ProgramSettingsInterface::GetComponentsReplacedFrom(int n, DWORD* v) {
  wchar_t name[64];
  return ReplacedFromName(n, name) && ReadDword(name, v);
}
bool ProgramSettingsInterface::SetComponentsReplacedFrom(int n, DWORD v) {
  wchar_t name[64];
  return ReplacedFromName(n, name) && WriteDword(name, v);
}
bool ProgramSettingsInterface::GetSharedUserDirectory(wchar_t* b, size_t n) {
  return ReadText(kSharedUserDirectory, b, n);
}
bool ProgramSettingsInterface::SetSharedUserDirectory(const wchar_t* t) {
  return WriteText(kSharedUserDirectory, t);
}
bool ProgramSettingsInterface::GetServerRoot(wchar_t* b, size_t n) {
  return ReadText(kServerRoot, b, n);
}
bool ProgramSettingsInterface::SetServerRoot(const wchar_t* t) { return WriteText(kServerRoot, t); }
int ProgramSettingsInterface::GetProductNumber() { return productNumber_; }

bool ProgramSettingsInterface::GetProductTitle(wchar_t* b, size_t n) {
  return b && orba::FormatBoundedW(b, n / sizeof(wchar_t), L"%ls %ls", productName_, versionText_);
}
bool ProgramSettingsInterface::GetApHanKeyPath(wchar_t* b, size_t n) {
  wchar_t ahoi[kChars];
  return b && GetAhoiKeyPath(ahoi, sizeof ahoi) &&
         orba::FormatBoundedW(b, n / sizeof(wchar_t), L"%ls\\ApHan", ahoi);
}
bool ProgramSettingsInterface::GetAhoiKeyPath(wchar_t* b, size_t n) {
  return b && orba::FormatBoundedW(b, n / sizeof(wchar_t), L"%ls\\Ahoi", rootKeyPath_);
}
bool ProgramSettingsInterface::GetSettingsKeyPath(wchar_t* b, size_t n) {
  return CopyOut(b, n, settingsKeyPath_);
}
bool ProgramSettingsInterface::GetRootKeyPath(wchar_t* b, size_t n) {
  return CopyOut(b, n, rootKeyPath_);
}

bool ProgramSettingsInterface::WriteText(const wchar_t* name, const wchar_t* text) {
  if (!settingsKeyPath_[0]) return false;
  if (!text) return DeleteValue(name);
  return SetValue(name, REG_SZ, text, static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
}

bool ProgramSettingsInterface::SetValue(const wchar_t* name, DWORD type, const void* data,
                                        DWORD bytes) {
  if (!settingsKeyPath_[0]) return false;
  orba::ScopedHKEY key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, settingsKeyPath_, 0, nullptr, 0,
                      KEY_SET_VALUE | registryView_, nullptr, key.Put(),
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExW(key.Get(), name, 0, type, static_cast<const BYTE*>(data), bytes) ==
         ERROR_SUCCESS;
}

bool ProgramSettingsInterface::ReadText(const wchar_t* name, wchar_t* buffer, size_t bufferBytes) {
  const size_t chars = bufferBytes / sizeof(wchar_t);
  if (!buffer || chars == 0 || !settingsKeyPath_[0]) return false;
  // Read aside first: a value that is missing, of another type or too long
  // leaves the caller's text as it was.
  wchar_t text[1024];
  const LONG rc = orba::ReadRegistryString(HKEY_LOCAL_MACHINE, settingsKeyPath_, name,
                                           registryView_, text, 1024);
  if (rc != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(rc));
    return false;
  }
  if (wcslen(text) >= chars) {
    SetLastError(ERROR_MORE_DATA);
    return false;
  }
  return orba::CopyBounded(buffer, chars, text);
}

bool ProgramSettingsInterface::WriteDword(const wchar_t* name, DWORD value) {
  return SetValue(name, REG_DWORD, &value, sizeof value);
}

bool ProgramSettingsInterface::ReadDword(const wchar_t* name, DWORD* value) {
  return value && settingsKeyPath_[0] &&
         QueryRegistryDword(HKEY_LOCAL_MACHINE, settingsKeyPath_, name, registryView_, value);
}

bool ProgramSettingsInterface::DeleteValue(const wchar_t* name) {
  if (!settingsKeyPath_[0]) return false;
  orba::ScopedHKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, settingsKeyPath_, 0, KEY_ALL_ACCESS | registryView_,
                    key.Put()) != ERROR_SUCCESS) {
    return false;
  }
  return RegDeleteValueW(key.Get(), name) == ERROR_SUCCESS;
}

int ProgramSettingsInterface::GetProductFlags() { return productFlags_; }
bool ProgramSettingsInterface::GetResourceLibraryName(wchar_t* b, size_t n) {
  return CopyOut(b, n, resourceLibraryName_);
}
bool ProgramSettingsInterface::GetHelpFileName(wchar_t* b, size_t n) {
  return CopyOut(b, n, helpFileName_);
}
bool ProgramSettingsInterface::GetSharedResourceLibraryName(wchar_t* b, size_t n) {
  return CopyOut(b, n, sharedResourceLibraryName_);
}
bool ProgramSettingsInterface::GetProductName(wchar_t* b, size_t n) {
  return CopyOut(b, n, productName_);
}
bool ProgramSettingsInterface::GetVersion(int* major, int* minor) {
  if (major) *major = major_;
  if (minor) *minor = minor_;
  return major || minor;
}
bool ProgramSettingsInterface::GetVersionText(wchar_t* b, size_t n) {
  return CopyOut(b, n, versionText_);
}
bool ProgramSettingsInterface::GetUacName(wchar_t* b, size_t n) { return CopyOut(b, n, uacName_); }
bool ProgramSettingsInterface::GetAccessibilityKeyPath(wchar_t* b, size_t n) {
  wchar_t uac[100];
  return b && GetUacName(uac, sizeof uac) &&
         orba::FormatBoundedW(
             b, n / sizeof(wchar_t),
             L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Accessibility\\ATs\\%ls", uac);
}
bool ProgramSettingsInterface::GetProductIdentifier(wchar_t* b, size_t n) {
  return CopyOut(b, n, productIdentifier_);
}

bool ProgramSettingsInterface::ProductFolder(int csidl, wchar_t* buffer, size_t bufferBytes) {
  wchar_t folder[MAX_PATH];
  wchar_t name[100];
  wchar_t version[20];
  return buffer &&
         SUCCEEDED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, folder)) &&
         GetProductName(name, sizeof name) && GetVersionText(version, sizeof version) &&
         orba::FormatBoundedW(buffer, bufferBytes / sizeof(wchar_t), L"%ls\\Ai Squared\\%ls %ls",
                              folder, name, version);
}
bool ProgramSettingsInterface::GetLocalAppDataFolder(wchar_t* b, size_t n) {
  return ProductFolder(CSIDL_LOCAL_APPDATA, b, n);
}
bool ProgramSettingsInterface::GetCommonDocumentsFolder(wchar_t* b, size_t n) {
  return ProductFolder(CSIDL_COMMON_DOCUMENTS, b, n);
}
bool ProgramSettingsInterface::GetDocumentsFolder(wchar_t* b, size_t n) {
  return ProductFolder(CSIDL_PERSONAL, b, n);
}
bool ProgramSettingsInterface::GetMusicFolder(wchar_t* b, size_t n) {
  wchar_t folder[MAX_PATH];
  return b &&
         SUCCEEDED(
             SHGetFolderPathW(nullptr, CSIDL_MYMUSIC | CSIDL_FLAG_CREATE, nullptr, 0, folder)) &&
         CopyOut(b, n, folder);
}

ZoomTextProgramSettings::ZoomTextProgramSettings(int major, int minor, int /*variant*/) {
  // The variant only selects among the 7.x rows, which are never built here.
  major_ = major;
  minor_ = minor / 10;
  const wchar_t* row = L"10.0";
  const wchar_t* uac = L"AiSquared_ZoomTextUAC_v10.0";
  const wchar_t* identifier = L"{F7BFAC00-DCB3-46e3-AF56-48A779E54899}";
  switch (major_ * 10 + minor_) {
    case 80:
      row = L"8.0";
      uac = L"";
      identifier = L"";
      break;
    case 81:
      row = L"8.1";
      uac = L"";
      identifier = L"";
      break;
    case 90:
      row = L"9.0";
      uac = L"";
      identifier = L"";
      break;
    case 91:
      row = L"9.1";
      uac = L"AiSquared_ZoomTextUAC_v9.1";
      identifier = L"{34A5E174-93FD-496D-8073-13F63128AED6}";
      break;
    default:
      break;
  }
  orba::FormatBoundedW(rootKeyPath_, kChars, L"Software\\Ai Squared\\ZoomText Xtra\\%ls", row);
  orba::FormatBoundedW(settingsKeyPath_, kChars, L"%ls\\Settings\\Reader", rootKeyPath_);
  orba::CopyBounded(uacName_, kChars, uac);
  orba::CopyBounded(productIdentifier_, kChars, identifier);
  orba::CopyBounded(productName_, kChars, L"ZoomText");
  orba::CopyBounded(resourceLibraryName_, kChars, L"ZtRes.dll");
  orba::CopyBounded(helpFileName_, kChars, L"Zt.chm");
  orba::CopyBounded(sharedResourceLibraryName_, kChars, L"Ai2SuRes.dll");
  if (minor_ == 0) {
    orba::FormatBoundedW(versionText_, kChars, L"%d", major_);
  } else {
    orba::FormatBoundedW(versionText_, kChars, L"%d.%d", major_, minor_);
  }
  productFlags_ = 0xA0000;
  productNumber_ = 1200;
}

bool IsSupportedZoomTextVersion(int major, int minor) {
  const int v = major * 100 + (minor / 10) * 10;
  return v == 700 || v == 710 || v == 800 || v == 810 || v == 900 || v == 910 || v == 1000;
}

ProgramSettingsInterface* CreateZoomTextSettings(int major, int minor, int variant) {
  if (!IsSupportedZoomTextVersion(major, minor)) return nullptr;
  return new (std::nothrow) ZoomTextProgramSettings(major, minor, variant);
}

}  // namespace zoomtext
