// The setup program as an administrator runs it: silent installs, upgrades and
// uninstalls of the amd64 variant, each test in a fresh Wine prefix of its own
// (private-prefix.sh), checked through the file system, the registry, COM, the
// shell's shortcuts and the installed ORBA.exe itself.
#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <strmif.h>

#include <cstdio>
#include <string>

#include "IORBAProc.h"
#include "RegistrySnapshot.h"
#include "TestEnv.h"
#include "ViewerProcess.h"
#include "orba/ComPtr.h"
#include "orba/Text.h"
#include "orba/Version.h"
#include "orba/SettingsKey.h"

namespace {

using orba_test::FileExists;
using orba_test::WaitFor;

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Opticorva ORBA";
const char kFilterServerKey[] = "CLSID\\{A2F63A43-4E90-4D8D-85C2-26A799C950E3}\\InprocServer32";
const char* const kModules[] = {"ORBA.exe", "ORBAProc.ax", "TRV_CCTV.dll"};
constexpr DWORD kSetupTimeoutMs = 120000;

std::string FullPath(const std::string& path) {
  char full[MAX_PATH] = {};
  const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  return n > 0 && n < MAX_PATH ? std::string(full) : std::string();
}

std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))
             ? std::string(path)
             : std::string();
}

std::string ReadText(HKEY root, const std::string& key, const char* value) {
  char text[1024];
  return orba::ReadRegistryString(root, key.c_str(), value, text, sizeof text) == ERROR_SUCCESS
             ? std::string(text)
             : std::string();
}

bool SameText(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
         CSTR_EQUAL;
}

// The Add/Remove Programs entries that name ORBA.
int CountOrbaEntries() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return 0;
  int count = 0;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof name;
    if (RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    const std::string display =
        ReadText(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\" + name, "DisplayName");
    if (display.find("ORBA") != std::string::npos) ++count;
  }
  RegCloseKey(key);
  return count;
}

// Where a shell link points; empty when it cannot be read.
std::string LinkTarget(const std::string& linkPath) {
  orba::ComPtr<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link)))) {
    return std::string();
  }
  orba::ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    return std::string();
  }
  WCHAR wide[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide, MAX_PATH);
  if (FAILED(file->Load(wide, STGM_READ))) return std::string();
  char target[MAX_PATH] = {};
  if (FAILED(link->GetPath(target, MAX_PATH, nullptr, 0))) return std::string();
  return target;
}

// The file version of a module's version resource, "a.b.c.d"; empty without one.
std::string FileVersion(const std::string& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return std::string();
  std::string block(size, '\0');
  VS_FIXEDFILEINFO* info = nullptr;
  UINT infoBytes = 0;
  if (!GetFileVersionInfoA(path.c_str(), 0, size, &block[0]) ||
      !VerQueryValueA(&block[0], "\\", reinterpret_cast<void**>(&info), &infoBytes) ||
      infoBytes < sizeof *info) {
    return std::string();
  }
  char text[64];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u",
                static_cast<unsigned>(HIWORD(info->dwFileVersionMS)),
                static_cast<unsigned>(LOWORD(info->dwFileVersionMS)),
                static_cast<unsigned>(HIWORD(info->dwFileVersionLS)),
                static_cast<unsigned>(LOWORD(info->dwFileVersionLS)));
  return text;
}

class SetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    setup_ = FullPath(orba_test::BinPath(ORBA_TEST_SETUP));
    brokenSetup_ = FullPath(orba_test::BinPath(ORBA_TEST_BROKEN_SETUP));
    files_ = FullPath(orba_test::BinPath(ORBA_TEST_SETUP_FILES));
    ASSERT_TRUE(FileExists(setup_)) << setup_;
    defaultFolder_ = ShellFolder(CSIDL_PROGRAM_FILES) + "\\Opticorva\\ORBA";
    startMenuLink_ = ShellFolder(CSIDL_COMMON_PROGRAMS) + "\\ORBA.lnk";
    desktopLink_ = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\ORBA.lnk";
    ASSERT_EQ(0, CountOrbaEntries()) << "the prefix is not fresh";
  }
  void TearDown() override { CoUninitialize(); }

  int RunSetup(const std::string& program, const std::string& options = std::string()) {
    return orba_test::RunProgram("\"" + program + "\" /S" + options, kSetupTimeoutMs);
  }

  // The entry's quiet uninstall command, as Windows would run it. The
  // uninstaller goes on from a copy of itself in the temporary folder, so the
  // end is the entry going away.
  bool RunQuietUninstall() {
    const std::string command = ReadText(HKEY_LOCAL_MACHINE, kEntryKey, "QuietUninstallString");
    if (command.empty() || orba_test::RunProgram(command, kSetupTimeoutMs) != 0) return false;
    return WaitFor([] { return !orba_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, kEntryKey); },
                   kSetupTimeoutMs);
  }

  // The filter as the viewer creates it, through its registration: true when
  // it was loaded from folder and answers as ORBAProc.
  static ::testing::AssertionResult FilterCreatedFrom(const std::string& folder) {
    const std::string registered = ReadText(HKEY_CLASSES_ROOT, kFilterServerKey, "");
    if (!SameText(registered, folder + "\\ORBAProc.ax")) {
      return ::testing::AssertionFailure() << "InprocServer32 is \"" << registered << "\"";
    }
    orba::ComPtr<IBaseFilter> filter;
    const HRESULT hr = CoCreateInstance(CLSID_ORBAProc, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IBaseFilter, reinterpret_cast<void**>(&filter));
    if (FAILED(hr)) return ::testing::AssertionFailure() << "CoCreateInstance: " << std::hex << hr;
    if (!GetModuleHandleA(registered.c_str())) {
      return ::testing::AssertionFailure() << "not loaded from " << registered;
    }
    orba::ComPtr<IORBAProc> control;
    long build = 0;
    if (FAILED(filter->QueryInterface(IID_IORBAProc, reinterpret_cast<void**>(&control))) ||
        FAILED(control->GetBuildNumber(&build)) || build != ORBAPROC_VERSION_BUILD) {
      return ::testing::AssertionFailure() << "no IORBAProc with build " << ORBAPROC_VERSION_BUILD;
    }
    return ::testing::AssertionSuccess();
  }

  // Each module in folder holds the bytes setup carries.
  ::testing::AssertionResult ModulesInstalled(const std::string& folder) const {
    for (const char* name : kModules) {
      const std::string bytes = orba_test::ReadFileBytes(folder + "\\" + name);
      if (bytes.empty() || bytes != orba_test::ReadFileBytes(files_ + "\\" + name)) {
        return ::testing::AssertionFailure()
               << folder << "\\" << name << " is not the shipped file";
      }
    }
    return ::testing::AssertionSuccess();
  }

  static ::testing::AssertionResult NothingInstalledIn(const std::string& folder) {
    for (const char* name : kModules) {
      if (FileExists(folder + "\\" + name))
        return ::testing::AssertionFailure() << name << " is left";
    }
    if (GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
      return ::testing::AssertionFailure() << folder << " is left";
    }
    if (orba_test::RegistryKeyExists(HKEY_CLASSES_ROOT, kFilterServerKey)) {
      return ::testing::AssertionFailure() << "the filter is still registered";
    }
    if (orba_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, kEntryKey)) {
      return ::testing::AssertionFailure() << "the Add/Remove entry is left";
    }
    return ::testing::AssertionSuccess();
  }

  std::string setup_, brokenSetup_, files_;
  std::string defaultFolder_, startMenuLink_, desktopLink_;
};

// Install, use and uninstall in the default folder. The uninstaller ends the
// running viewer and keeps the user's pictures and settings.
TEST_F(SetupTest, InstallsRunsAndUninstallsKeepingTheUsersData) {
  ASSERT_EQ(0, RunSetup(setup_));

  EXPECT_TRUE(ModulesInstalled(defaultFolder_));
  const std::string version = FileVersion(defaultFolder_ + "\\ORBA.exe");
  EXPECT_EQ("4.0.0.1290", version);
  EXPECT_EQ("2.0.0.590", FileVersion(defaultFolder_ + "\\ORBAProc.ax"));
  EXPECT_EQ(TRV_CCTV_VERSION_TEXT, FileVersion(defaultFolder_ + "\\TRV_CCTV.dll"));
  EXPECT_TRUE(FilterCreatedFrom(defaultFolder_));
  CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_TRUE(SameText(defaultFolder_ + "\\ORBA.exe", LinkTarget(startMenuLink_)))
      << LinkTarget(startMenuLink_);
  EXPECT_FALSE(FileExists(desktopLink_)) << "the desktop shortcut is optional";

  EXPECT_EQ(1, CountOrbaEntries());
  EXPECT_EQ("Opticorva ORBA", ReadText(HKEY_LOCAL_MACHINE, kEntryKey, "DisplayName"));
  EXPECT_EQ(version, ReadText(HKEY_LOCAL_MACHINE, kEntryKey, "DisplayVersion"));
  EXPECT_EQ("Opticorva", ReadText(HKEY_LOCAL_MACHINE, kEntryKey, "Publisher"));
  const std::string uninstaller = "\"" + defaultFolder_ + "\\uninstall.exe\"";
  EXPECT_TRUE(SameText(uninstaller, ReadText(HKEY_LOCAL_MACHINE, kEntryKey, "UninstallString")));
  EXPECT_TRUE(SameText(uninstaller + " /S",
                       ReadText(HKEY_LOCAL_MACHINE, kEntryKey, "QuietUninstallString")));
  EXPECT_GT(orba_test::ReadDwordValue(HKEY_LOCAL_MACHINE, kEntryKey, "EstimatedSize"), 1000)
      << "EstimatedSize counts KiB of the three modules";

  // The installed viewer finds the simulated camera and shows its window.
  orba_test::ViewerProcess viewer;
  ASSERT_TRUE(viewer.Start(defaultFolder_ + "\\ORBA.exe"));
  const HWND window = viewer.WaitForViewerWindow(30000);
  ASSERT_NE(nullptr, window) << "no viewer window";
  EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) != FALSE; }, 30000));
  EXPECT_EQ(nullptr, viewer.FindMessageBox()) << "the viewer reported an error";

  // What the user made with it.
  const std::string pictures = ShellFolder(CSIDL_MYPICTURES) + "\\ORBA";
  CreateDirectoryA(pictures.c_str(), nullptr);
  const std::string picture = pictures + "\\241231_10.00.00.jpg";
  ASSERT_TRUE(orba_test::WriteFileBytes(picture, "\xFF\xD8\xFF\xD9"));
  ASSERT_TRUE(
      orba_test::WriteTextValue(HKEY_CURRENT_USER, orba::kSettingsKey, "ImageFolderPath", "C:\\"));

  ASSERT_TRUE(RunQuietUninstall());
  DWORD exitCode = 1;
  EXPECT_TRUE(viewer.WaitForExit(30000, &exitCode)) << "the uninstaller left the viewer running";
  EXPECT_EQ(0u, exitCode);

  EXPECT_TRUE(NothingInstalledIn(defaultFolder_));
  EXPECT_FALSE(FileExists(startMenuLink_));
  orba::ComPtr<IBaseFilter> filter;
  EXPECT_EQ(REGDB_E_CLASSNOTREG,
            CoCreateInstance(CLSID_ORBAProc, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             reinterpret_cast<void**>(&filter)));
  EXPECT_EQ(0, CountOrbaEntries());
  EXPECT_EQ("\xFF\xD8\xFF\xD9", orba_test::ReadFileBytes(picture));
  EXPECT_EQ("C:\\", ReadText(HKEY_CURRENT_USER, orba::kSettingsKey, "ImageFolderPath"));
}

// Installing over an older copy replaces its files and keeps one entry; a
// second install into another folder moves the installation there.
TEST_F(SetupTest, UpgradeReplacesFilesAndKeepsOneEntry) {
  ASSERT_EQ(0, RunSetup(setup_));
  // Make it look older.
  ASSERT_TRUE(orba_test::WriteFileBytes(defaultFolder_ + "\\ORBA.exe", "older"));
  ASSERT_TRUE(
      orba_test::WriteTextValue(HKEY_LOCAL_MACHINE, kEntryKey, "DisplayVersion", "3.9.0.1000"));

  ASSERT_EQ(0, RunSetup(setup_));
  EXPECT_EQ(1, CountOrbaEntries());
  EXPECT_EQ(ORBA_VERSION_TEXT, ReadText(HKEY_LOCAL_MACHINE, kEntryKey, "DisplayVersion"));
  EXPECT_TRUE(ModulesInstalled(defaultFolder_));
  EXPECT_TRUE(FilterCreatedFrom(defaultFolder_));
  CoFreeUnusedLibrariesEx(0, 0);

  const std::string moved = ShellFolder(CSIDL_PROGRAM_FILES) + "\\Low Vision Tools\\My ORBA";
  ASSERT_EQ(0, RunSetup(setup_, " /D=" + moved));
  EXPECT_EQ(1, CountOrbaEntries());
  EXPECT_TRUE(SameText(moved, ReadText(HKEY_LOCAL_MACHINE, kEntryKey, "InstallLocation")));
  EXPECT_TRUE(ModulesInstalled(moved));
  EXPECT_TRUE(FilterCreatedFrom(moved));
  CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_TRUE(SameText(moved + "\\ORBA.exe", LinkTarget(startMenuLink_)));
  for (const char* name : kModules) {
    EXPECT_FALSE(FileExists(defaultFolder_ + "\\" + name)) << "the old " << name << " is left";
  }
}

// /D= with blanks in the folder, and the desktop shortcut asked for with /DESKTOP.
TEST_F(SetupTest, InstallsIntoAFolderWithBlanks) {
  const std::string folder = "C:\\Magnifier programs\\Opticorva ORBA";
  ASSERT_EQ(0, RunSetup(setup_, " /DESKTOP /D=" + folder));
  EXPECT_TRUE(ModulesInstalled(folder));
  EXPECT_TRUE(FilterCreatedFrom(folder));
  CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_TRUE(SameText(folder + "\\ORBA.exe", LinkTarget(startMenuLink_)));
  EXPECT_TRUE(SameText(folder + "\\ORBA.exe", LinkTarget(desktopLink_)));
  EXPECT_FALSE(FileExists(defaultFolder_ + "\\ORBA.exe"));

  ASSERT_TRUE(RunQuietUninstall());
  EXPECT_TRUE(NothingInstalledIn(folder));
  EXPECT_FALSE(FileExists(desktopLink_));
  EXPECT_FALSE(FileExists(startMenuLink_));
}

// A filter that does not register fails setup, and nothing is left installed.
TEST_F(SetupTest, RefusedRegistrationFailsSetup) {
  ASSERT_TRUE(FileExists(brokenSetup_)) << brokenSetup_;
  const int code = RunSetup(brokenSetup_);
  EXPECT_NE(0, code) << "setup reported success";
  EXPECT_NE(-1, code) << "setup did not end";
  EXPECT_TRUE(NothingInstalledIn(defaultFolder_));
  EXPECT_FALSE(FileExists(startMenuLink_));
  EXPECT_EQ(0, CountOrbaEntries());
}

}  // namespace
