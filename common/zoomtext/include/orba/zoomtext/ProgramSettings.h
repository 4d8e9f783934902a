#pragma once
// One installed ZoomText product as its settings describe it: where its values
// live in the registry, its names and files, and its folders. The client reads
// the program folder, the software version and the product level from the
// settings of the running version.
#include <windows.h>

#include <cstddef>

namespace zoomtext {

class ProgramSettingsInterface {
 public:
  ProgramSettingsInterface();
  ProgramSettingsInterface(const ProgramSettingsInterface&) = delete;
  ProgramSettingsInterface& operator=(const ProgramSettingsInterface&) = delete;
  virtual ~ProgramSettingsInterface() = default;

  // Text results go into the caller's buffer of bufferBytes bytes; false for a
  // missing buffer or when the value was not read.
  virtual bool GetProgramDirectory(wchar_t* buffer, size_t bufferBytes);
  virtual bool SetProgramDirectory(const wchar_t* text);
  virtual bool GetSoftwareVersion(wchar_t* buffer, size_t bufferBytes);
  virtual bool SetSoftwareVersion(const wchar_t* text);
  virtual bool GetProductLevel(DWORD* level);
  virtual bool SetProductLevel(DWORD level);
  virtual bool GetComponents(DWORD* components);
  virtual bool SetComponents(DWORD components);
  virtual bool GetComponentsReplacedFrom(int n, DWORD* value);
  virtual bool SetComponentsReplacedFrom(int n, DWORD value);
  virtual bool GetSharedUserDirectory(wchar_t* buffer, size_t bufferBytes);
  virtual bool SetSharedUserDirectory(const wchar_t* text);
  virtual bool GetServerRoot(wchar_t* buffer, size_t bufferBytes);
  virtual bool SetServerRoot(const wchar_t* text);
  virtual int GetProductNumber();
  virtual bool GetProductTitle(wchar_t* buffer, size_t bufferBytes);
  virtual bool GetApHanKeyPath(wchar_t* buffer, size_t bufferBytes);
  virtual bool GetAhoiKeyPath(wchar_t* buffer, size_t bufferBytes);
  virtual bool GetSettingsKeyPath(wchar_t* buffer, size_t bufferBytes);
  virtual bool GetRootKeyPath(wchar_t* buffer, size_t bufferBytes);
  virtual bool WriteText(const wchar_t* name, const wchar_t* text);
  virtual bool ReadText(const wchar_t* name, wchar_t* buffer, size_t bufferBytes);
  virtual bool WriteDword(const wchar_t* name, DWORD value);
  virtual bool ReadDword(const wchar_t* name, DWORD* value);
  virtual bool DeleteValue(const wchar_t* name);
  virtual int GetProductFlags();
  virtual bool GetResourceLibraryName(wchar_t* buffer, size_t bufferBytes);
  virtual bool GetHelpFileName(wchar_t* buffer, size_t bufferBytes);
  virtual bool GetSharedResourceLibraryName(wchar_t* buffer, size_t bufferBytes);
  virtual bool GetProductName(wchar_t* buffer, size_t bufferBytes);
  virtual bool GetVersion(int* major, int* minor);
  virtual bool GetVersionText(wchar_t* buffer, size_t bufferBytes);
  virtual bool GetUacName(wchar_t* buffer, size_t bufferBytes);
  virtual bool GetAccessibilityKeyPath(wchar_t* buffer, size_t bufferBytes);
  virtual bool GetProductIdentifier(wchar_t* buffer, size_t bufferBytes);
  virtual bool GetLocalAppDataFolder(wchar_t* buffer, size_t bufferBytes);
  virtual bool GetCommonDocumentsFolder(wchar_t* buffer, size_t bufferBytes);
  virtual bool GetDocumentsFolder(wchar_t* buffer, size_t bufferBytes);
  virtual bool GetMusicFolder(wchar_t* buffer, size_t bufferBytes);

  REGSAM RegistryView() const { return registryView_; }

 protected:
  static constexpr size_t kChars = 260;
  // Creates the settings key when needed and writes one value.
  bool SetValue(const wchar_t* name, DWORD type, const void* data, DWORD bytes);
  // "<folder>\Ai Squared\<product> <version>" for the shell folder csidl.
  bool ProductFolder(int csidl, wchar_t* buffer, size_t bufferBytes);

  wchar_t settingsKeyPath_[kChars] = {};
  wchar_t rootKeyPath_[kChars] = {};
  wchar_t uacName_[kChars] = {};
  wchar_t productIdentifier_[kChars] = {};
  wchar_t productName_[kChars] = {};
  wchar_t resourceLibraryName_[kChars] = {};
  wchar_t sharedResourceLibraryName_[kChars] = {};
  wchar_t versionText_[kChars] = {};
  wchar_t helpFileName_[kChars] = {};
  int major_ = 0;
  int minor_ = 0;  // tenths: 1 for x.1
  int productNumber_ = -1;
  int productFlags_ = 0;
  REGSAM registryView_ = 0;
};

// The full ZoomText product; minor in hundredths (10 for x.1).
class ZoomTextProgramSettings : public ProgramSettingsInterface {
 public:
  ZoomTextProgramSettings(int major, int minor, int variant);
};

// Settings of no product: every value operation fails.
class NullProgramSettings : public ProgramSettingsInterface {
 public:
  bool GetProgramDirectory(wchar_t*, size_t) override { return false; }
  bool SetProgramDirectory(const wchar_t*) override { return false; }
  bool GetSoftwareVersion(wchar_t*, size_t) override { return false; }
  bool SetSoftwareVersion(const wchar_t*) override { return false; }
  bool GetProductLevel(DWORD*) override { return false; }
  bool SetProductLevel(DWORD) override { return false; }
  bool GetComponents(DWORD*) override { return false; }
  bool SetComponents(DWORD) override { return false; }
  bool GetComponentsReplacedFrom(int, DWORD*) override { return false; }
  bool SetComponentsReplacedFrom(int, DWORD) override { return false; }
  bool GetSharedUserDirectory(wchar_t*, size_t) override { return false; }
  bool SetSharedUserDirectory(const wchar_t*) override { return false; }
  bool GetServerRoot(wchar_t*, size_t) override { return false; }
  bool SetServerRoot(const wchar_t*) override { return false; }
  int GetProductNumber() override { return -1; }
  bool GetProductTitle(wchar_t*, size_t) override { return false; }
  bool GetApHanKeyPath(wchar_t*, size_t) override { return false; }
  bool GetAhoiKeyPath(wchar_t*, size_t) override { return false; }
  bool GetSettingsKeyPath(wchar_t*, size_t) override { return false; }
  bool GetRootKeyPath(wchar_t*, size_t) override { return false; }
  bool WriteText(const wchar_t*, const wchar_t*) override { return false; }
  bool ReadText(const wchar_t*, wchar_t*, size_t) override { return false; }
  bool WriteDword(const wchar_t*, DWORD) override { return false; }
  bool ReadDword(const wchar_t*, DWORD*) override { return false; }
  bool DeleteValue(const wchar_t*) override { return false; }
  int GetProductFlags() override { return 0; }
  bool GetResourceLibraryName(wchar_t*, size_t) override { return false; }
  bool GetHelpFileName(wchar_t*, size_t) override { return false; }
  bool GetSharedResourceLibraryName(wchar_t*, size_t) override { return false; }
  bool GetProductName(wchar_t*, size_t) override { return false; }
  bool GetVersionText(wchar_t*, size_t) override { return false; }
  bool GetUacName(wchar_t*, size_t) override { return false; }
  bool GetAccessibilityKeyPath(wchar_t*, size_t) override { return false; }
  bool GetProductIdentifier(wchar_t*, size_t) override { return false; }
  bool GetLocalAppDataFolder(wchar_t*, size_t) override { return false; }
};

// minor is the minor byte of the running-version word (hundredths).
bool IsSupportedZoomTextVersion(int major, int minor);
// Null when the version is not supported; the caller deletes it.
ProgramSettingsInterface* CreateZoomTextSettings(int major, int minor, int variant);

}  // namespace zoomtext
