// Installed ZoomText as the registry and the disk show it: which installation
// is usable, the product settings of a running version, and ZoomText's command
// library loaded from its folder.
#include <gtest/gtest.h>

#include "TestEnv.h"
#include "ZoomTextTestKit.h"
#include "orba/ZoomTextCctv.h"
#include "orba/zoomtext/CommandSet.h"
#include "orba/zoomtext/Detection.h"
#include "orba/zoomtext/ProgramSettings.h"

namespace zoomtext_test {
namespace {

using zoomtext::FindInstalledZoomText;
using zoomtext_sim::DirectoryValue;
using zoomtext_sim::VersionOptions;
using zoomtext_sim::ZoomTextInstall;

constexpr zoomtext::Version kMinimum{9, 3};

std::wstring Directory() { return zoomtext::ZoomTextProgramDirectory; }

using ZoomTextInstallation = ZoomTextFixture;

TEST_F(ZoomTextInstallation, NothingInstalled) {
  DWORD level = 9;
  EXPECT_EQ(201, FindInstalledZoomText(kMinimum, 0, &level));
  EXPECT_TRUE(Directory().empty());
  ASSERT_TRUE(install.CreateProductsKey());
  ASSERT_TRUE(install.AddVersion(L"9.5", L"9", 0)) << "a version text without a dot";
  EXPECT_EQ(200, FindInstalledZoomText(kMinimum, 0, &level));
  EXPECT_TRUE(Directory().empty());
}

TEST_F(ZoomTextInstallation, LastRunFirstThenTheNewestUsable) {
  VersionOptions noProgram;
  noProgram.withZtExe = false;
  ASSERT_TRUE(install.AddVersion(L"10.0", L"10.2", 0, noProgram));
  ASSERT_TRUE(install.AddVersion(L"9.5", L"9.50", 3));
  ASSERT_TRUE(install.SetLastRun(0x000A0000));  // 10.0, whose folder lacks zt.exe
  DWORD level = 0;
  ASSERT_EQ(0, FindInstalledZoomText(kMinimum, 0, &level));
  EXPECT_EQ(ZoomTextInstall::Folder(L"9.5"), Directory());
  EXPECT_STREQ(L"9.50", zoomtext::ZoomTextVersionText);
  EXPECT_EQ(3u, level);
  EXPECT_EQ(200, FindInstalledZoomText(kMinimum, 4, &level)) << "below the product level";

  ASSERT_TRUE(install.SetLastRun(0x00090500));  // 9.5 itself
  ASSERT_EQ(0, FindInstalledZoomText(kMinimum, 0, &level));
  EXPECT_EQ(ZoomTextInstall::Folder(L"9.5"), Directory());
}

TEST_F(ZoomTextInstallation, NewerVersionNumberWinsAndTheLaterOfEqualOnes) {
  ASSERT_TRUE(install.AddVersion(L"9.1", L"9.18", 0));
  ASSERT_TRUE(install.AddVersion(L"10.0", L"10.2", 0));
  ASSERT_EQ(0, FindInstalledZoomText(kMinimum, 0, nullptr));
  EXPECT_EQ(ZoomTextInstall::Folder(L"10.0"), Directory()) << "1002 beats 918";

  // Either order of the two keys keeps 10.0.
  orba::ScopedHKEY xtra;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, ZoomTextInstall::ProductsKey(), 0,
                                         KEY_READ | KEY_WOW64_32KEY, xtra.Put()));
  auto open = [&](const wchar_t* name) {
    return zoomtext::OpenUsableZoomTextKey(xtra.Get(), name, kMinimum, 0);
  };
  EXPECT_EQ(1002,
            zoomtext::ReadZoomTextKeyVersion(
                zoomtext::PreferNewerZoomTextKey(open(L"9.1"), open(L"10.0"), kMinimum).Get()));
  EXPECT_EQ(1002,
            zoomtext::ReadZoomTextKeyVersion(
                zoomtext::PreferNewerZoomTextKey(open(L"10.0"), open(L"9.1"), kMinimum).Get()));
  EXPECT_FALSE(zoomtext::PreferNewerZoomTextKey(open(L"9.1"), orba::ScopedHKEY(), {11, 0}))
      << "both below the minimum";

  ZoomTextInstall again;
  ASSERT_TRUE(again.AddVersion(L"9.6", L"9.50", 0));
  ASSERT_TRUE(again.AddVersion(L"9.7", L"9.50", 0));
  ASSERT_EQ(0, FindInstalledZoomText(kMinimum, 0, nullptr));
  EXPECT_EQ(ZoomTextInstall::Folder(L"9.7"), Directory()) << "the later of two equal ones";
}

TEST_F(ZoomTextInstallation, ProgramFolderValuesAreCheckedAndExpanded) {
  VersionOptions expand;
  expand.directory = DirectoryValue::kExpandText;
  ASSERT_TRUE(install.AddVersion(L"10.0", L"10.0", 0, expand));
  ASSERT_EQ(0, FindInstalledZoomText(kMinimum, 0, nullptr));
  EXPECT_EQ(ZoomTextInstall::Folder(L"10.0"), Directory());

  VersionOptions wrongType;
  wrongType.directory = DirectoryValue::kWrongType;
  ZoomTextInstall other;
  ASSERT_TRUE(other.AddVersion(L"10.0", L"10.0", 0, wrongType));
  EXPECT_EQ(200, FindInstalledZoomText(kMinimum, 0, nullptr));

  // A folder that does not fit is missing, never cut short.
  ZoomTextInstall longOne;
  ASSERT_TRUE(longOne.AddVersion(L"10.0", L"10.0", 0));
  ASSERT_TRUE(
      longOne.SetReaderText(L"10.0", L"Program Directory", L"C:\\" + std::wstring(300, L'a')));
  EXPECT_EQ(200, FindInstalledZoomText(kMinimum, 0, nullptr));
}

TEST_F(ZoomTextInstallation, KeysOfThe64BitViewAreNotZoomTexts) {
  ZoomTextInstall wrongView(zoomtext_sim::RegistryView::k64);
  ASSERT_TRUE(wrongView.AddVersion(L"10.0", L"10.0", 0));
  EXPECT_EQ(201, FindInstalledZoomText(kMinimum, 0, nullptr));
  zoomtext::ZoomTextProgramSettings settings(10, 0, 0);
  wchar_t folder[260] = L"unchanged";
  EXPECT_FALSE(settings.GetProgramDirectory(folder, sizeof folder));
  EXPECT_STREQ(L"unchanged", folder);
}

TEST(ZoomTextSettings, VersionRows) {
  EXPECT_FALSE(zoomtext::IsSupportedZoomTextVersion(10, 10)) << "10.1";
  EXPECT_EQ(nullptr, zoomtext::CreateZoomTextSettings(10, 10, 0));
  EXPECT_FALSE(zoomtext::IsSupportedZoomTextVersion(9, 30));
  for (int minor : {0, 3, 18}) EXPECT_TRUE(zoomtext::IsSupportedZoomTextVersion(9, minor));

  wchar_t text[260];
  zoomtext::ZoomTextProgramSettings nine(9, 18, 0);
  ASSERT_TRUE(nine.GetSettingsKeyPath(text, sizeof text));
  EXPECT_STREQ(L"Software\\Ai Squared\\ZoomText Xtra\\9.1\\Settings\\Reader", text);
  ASSERT_TRUE(nine.GetVersionText(text, sizeof text));
  EXPECT_STREQ(L"9.1", text);
  ASSERT_TRUE(nine.GetUacName(text, sizeof text));
  EXPECT_STREQ(L"AiSquared_ZoomTextUAC_v9.1", text);
  ASSERT_TRUE(nine.GetAccessibilityKeyPath(text, sizeof text));
  EXPECT_STREQ(
      L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Accessibility\\ATs\\"
      L"AiSquared_ZoomTextUAC_v9.1",
      text);

  zoomtext::ZoomTextProgramSettings ten(10, 5, 0);
  ASSERT_TRUE(ten.GetVersionText(text, sizeof text));
  EXPECT_STREQ(L"10", text);
  ASSERT_TRUE(ten.GetProductTitle(text, sizeof text));
  EXPECT_STREQ(L"ZoomText 10", text);
  ASSERT_TRUE(ten.GetApHanKeyPath(text, sizeof text));
  EXPECT_STREQ(L"Software\\Ai Squared\\ZoomText Xtra\\10.0\\Ahoi\\ApHan", text);
  EXPECT_EQ(1200, ten.GetProductNumber());
  EXPECT_EQ(0xA0000, ten.GetProductFlags());
  wchar_t tiny[4];
  EXPECT_FALSE(ten.GetProductTitle(tiny, sizeof tiny)) << "never cut short";

  zoomtext::NullProgramSettings none;
  EXPECT_FALSE(none.GetProgramDirectory(text, sizeof text));
  EXPECT_FALSE(none.SetProgramDirectory(L"x"));
  EXPECT_EQ(-1, none.GetProductNumber());
  EXPECT_EQ(0, none.GetProductFlags());
}

TEST_F(ZoomTextInstallation, SettingsValuesLiveInThe32BitView) {
  ASSERT_TRUE(install.AddVersion(L"10.0", L"10.0.3", 2));
  zoomtext::ZoomTextProgramSettings settings(10, 0, 0);
  EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_32KEY), settings.RegistryView());
  wchar_t text[260];
  ASSERT_TRUE(settings.GetSoftwareVersion(text, sizeof text));
  EXPECT_STREQ(L"10.0.3", text);
  DWORD level = 0;
  ASSERT_TRUE(settings.GetProductLevel(&level));
  EXPECT_EQ(2u, level);
  wchar_t small[4] = L"old";
  EXPECT_FALSE(settings.GetSoftwareVersion(small, sizeof small)) << "longer than the buffer";
  EXPECT_STREQ(L"old", small);

  ASSERT_TRUE(settings.SetServerRoot(L"\\\\server\\zt"));
  EXPECT_TRUE(zoomtext_sim::ZoomTextKeyExists(zoomtext_sim::RegistryView::k32,
                                              L"Software\\Ai Squared\\ZoomText Xtra\\10.0"));
  EXPECT_FALSE(zoomtext_sim::ZoomTextKeyExists(zoomtext_sim::RegistryView::k64,
                                               L"Software\\Ai Squared\\ZoomText Xtra\\10.0"));
  ASSERT_TRUE(settings.GetServerRoot(text, sizeof text));
  EXPECT_STREQ(L"\\\\server\\zt", text);
  ASSERT_TRUE(settings.SetServerRoot(nullptr));
  EXPECT_FALSE(settings.GetServerRoot(text, sizeof text));

  // The running version's settings fill the shared texts; the software
  // version is cut at its second dot.
  system.RunZoomText(10, 0x0A000000);
  uint32_t supported = 0;
  ASSERT_EQ(0, IsZoomTextCctvSupported(&supported));
  EXPECT_EQ(1u, supported);
  EXPECT_EQ(ZoomTextInstall::Folder(L"10.0"), Directory());
  EXPECT_STREQ(L"10.0", zoomtext::ZoomTextVersionText);

  // 10.1 has no settings: too old for the client.
  FakeSystem tenOne;
  tenOne.RunZoomText(10, 0x0A0A0000);
  EXPECT_EQ(17, IsZoomTextCctvSupported(&supported));
}

using ZoomTextCommandSet = ZoomTextFixture;

TEST_F(ZoomTextCommandSet, LoadsTheLibraryOfTheFolderOnly) {
  ASSERT_TRUE(install.AddVersion(L"10.0", L"10.0", 0));
  const std::wstring folder = ZoomTextInstall::Folder(L"10.0");
  zoomtext::ZxCmdSetInterface plain, slash;
  ASSERT_EQ(0, plain.Initialize(folder.c_str()));
  ASSERT_EQ(0, slash.Initialize((folder + L"\\").c_str()));
  EXPECT_STREQ(plain.LibraryPath(), slash.LibraryPath());
  EXPECT_EQ(folder + L"\\zxcmdset.dll", plain.LibraryPath());

  // A library planted in the current folder is never loaded, neither for an
  // empty folder nor for a relative one.
  const std::string planted = orba_test::MakeTempDir("zt-planted");
  const std::wstring plantedW(planted.begin(), planted.end());
  ASSERT_TRUE(zoomtext_sim::PlaceLibrary(plantedW));
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(plantedW.c_str()));
  for (const wchar_t* bad : {L"", L".", L"zt"}) {
    zoomtext::ZxCmdSetInterface set;
    EXPECT_EQ(205, set.Initialize(bad)) << bad;
    EXPECT_EQ(205, set.ZxCommandApi(214, 0)) << "no entry bound";
  }
  EXPECT_EQ(205, zoomtext::ZxCmdSetInterface().Initialize(nullptr));
  SetCurrentDirectoryW(previous);
  EXPECT_TRUE(zoomtext_sim::ReadCalls(plantedW).empty());
  EXPECT_EQ(nullptr, GetModuleHandleW((plantedW + L"\\zxcmdset.dll").c_str()));
  orba_test::RemoveTree(planted);
}

TEST_F(ZoomTextCommandSet, LibraryWithoutOneEntrySendsNothing) {
  VersionOptions noSpeech;
  noSpeech.noSpeechLibrary = true;
  ASSERT_TRUE(install.AddVersion(L"10.0", L"10.0", 0, noSpeech));
  zoomtext::ZxCmdSetInterface set;
  EXPECT_EQ(205, set.Initialize(ZoomTextInstall::Folder(L"10.0").c_str()));
  EXPECT_EQ(0, set.ZoomTextTestSpeech(1, 2, 3, 4)) << "the missing entry's answer";

  system.RunZoomText(10, 0x0A000000);
  ZoomTextInfo info = {sizeof info, 0, 0};
  ASSERT_EQ(0, GetZoomTextVersion(&info));
  EXPECT_EQ(0u, info.magnifying);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(ZoomTextCommandSet, GatesAndFeatureBits) {
  ASSERT_TRUE(install.AddVersion(L"10.0", L"10.0", 0));
  zoomtext::ZxCmdSetInterface set;
  ASSERT_EQ(0, set.Initialize(ZoomTextInstall::Folder(L"10.0").c_str()));
  Answer("features", "6");
  EXPECT_EQ(1, set.DesktopFinder());
  EXPECT_EQ(0, set.WebFinder());
  EXPECT_EQ(0, set.TextFinder());
  std::vector<int> codes = ApiCodes();
  EXPECT_FALSE(Contains(codes, 80));
  EXPECT_TRUE(Contains(codes, 64));
  EXPECT_TRUE(Contains(codes, 368));

  ClearCalls();
  Answer("running", "8");
  EXPECT_EQ(0, set.AppReader(5));
  EXPECT_EQ(1, set.ToggleUI());
  EXPECT_EQ(1, set.SendCommand(41, 0));
  codes = ApiCodes();
  EXPECT_EQ(std::vector<int>{74}, codes);
  set.SetVersionCheck(0);
  EXPECT_EQ(0, set.ToggleUI());
  EXPECT_TRUE(Contains(ApiCodes(), 370));

  Answer("running", "10");
  set.SetVersionCheck(1);
  for (const char* state : {"0", "6", "205", "3"}) {
    Answer("state", state);
    ClearCalls();
    const int answer = set.SendStateDependentCommand();
    codes = ApiCodes();
    if (std::string(state) == "0") {
      EXPECT_EQ(1, answer);
    } else if (std::string(state) == "205") {
      EXPECT_EQ(205, answer);
    }
    EXPECT_EQ(std::string(state) == "6", Contains(codes, 53)) << state;
    EXPECT_EQ(std::string(state) == "3", Contains(codes, 221)) << state;
  }
}

TEST(ZoomTextCommandTable, PairsAsZoomTextNumbersThem) {
  int code = -1;
  EXPECT_FALSE(zoomtext::LookUpZoomTextCommand(17, &code));
  EXPECT_FALSE(zoomtext::LookUpZoomTextCommand(73, &code));
  EXPECT_FALSE(zoomtext::LookUpZoomTextCommand(0, &code));
  ASSERT_TRUE(zoomtext::LookUpZoomTextCommand(81, &code));
  EXPECT_EQ(1033, code);
  ASSERT_TRUE(zoomtext::LookUpZoomTextCommand(72, &code));
  EXPECT_EQ(76, code);
  ASSERT_TRUE(zoomtext::LookUpZoomTextCommand(1, &code));
  EXPECT_EQ(0, code);
  int numbers = 0;
  for (const zoomtext::ZoomTextCommandPair* p = zoomtext::ZoomTextCommandTable; p->number; ++p) {
    ++numbers;
  }
  EXPECT_EQ(81, numbers);
}

}  // namespace
}  // namespace zoomtext_test
