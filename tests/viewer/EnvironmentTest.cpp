// The Windows version tests, the display driver model and the moments at which
// the machine-wide graphics switches change.
#include <gtest/gtest.h>

#include <string>

#include "Environment.h"
#include "RegistrySnapshot.h"
#include "Settings.h"
#include "TestEnv.h"
#include "ViewerState.h"
#include "orba/Scoped.h"
#include "orba/SettingsKey.h"

namespace {

struct Tests {
  bool xp, vista, win7, win8, win10;
};

Tests Evaluate() { return {IsWinXP(), IsWinVista(), IsWin7(), IsWin8(), IsWin10OrLater()}; }

void ExpectTests(const Tests& expected) {
  const Tests got = Evaluate();
  EXPECT_EQ(expected.xp, got.xp) << "IsWinXP";
  EXPECT_EQ(expected.vista, got.vista) << "IsWinVista";
  EXPECT_EQ(expected.win7, got.win7) << "IsWin7";
  EXPECT_EQ(expected.win8, got.win8) << "IsWin8";
  EXPECT_EQ(expected.win10, got.win10) << "IsWin10OrLater";
}

void SetVersion(uint32_t major, uint32_t minor) {
  g_viewer.osMajor = major;
  g_viewer.osMinor = minor;
}

class OsVersion : public ::testing::Test {
 protected:
  void TearDown() override { SetVersion(0, 0); }
};

TEST_F(OsVersion, KernelLibraryOfThisSystemIsRead) {
  SetVersion(0, 0);
  ReadOsVersion();
  char sys[MAX_PATH];
  GetSystemDirectoryA(sys, MAX_PATH);
  uint32_t major = 0, minor = 0;
  ASSERT_TRUE(ReadProductVersion((std::string(sys) + "\\kernel32.dll").c_str(), &major, &minor));
  EXPECT_EQ(major, g_viewer.osMajor);
  EXPECT_EQ(minor, g_viewer.osMinor);
  // This Wine's kernel32 says 10.0: only the Windows 10 test holds.
  ASSERT_EQ(10u, g_viewer.osMajor);
  ASSERT_EQ(0u, g_viewer.osMinor);
  ExpectTests({false, false, false, false, true});
}

TEST_F(OsVersion, ProductVersionNotFileVersionIsUsed) {
  uint32_t major = 0, minor = 0;
  ASSERT_TRUE(
      ReadProductVersion(orba_test::BinPath("orba_test_version63.dll").c_str(), &major, &minor));
  EXPECT_EQ(6u, major);
  EXPECT_EQ(3u, minor);
  SetVersion(major, minor);
  ExpectTests({false, false, false, true, false});
}

TEST_F(OsVersion, UnreadableVersionLeavesZeroAndNoTestHolds) {
  uint32_t major = 99, minor = 99;
  EXPECT_FALSE(
      ReadProductVersion(orba_test::BinPath("no_such_library.dll").c_str(), &major, &minor));
  const std::string plain = orba_test::MakeTempDir("version") + "\\plain.dll";
  ASSERT_TRUE(orba_test::WriteFileBytes(plain, "not a library"));
  EXPECT_FALSE(ReadProductVersion(plain.c_str(), &major, &minor));
  EXPECT_EQ(99u, major);
  EXPECT_EQ(99u, minor);
  SetVersion(0, 0);
  ExpectTests({false, false, false, false, false});
}

TEST_F(OsVersion, EachSystemHasExactlyItsTest) {
  struct Row {
    uint32_t major, minor;
    Tests tests;
  };
  const Row rows[] = {
      {5, 0, {false, false, false, false, false}}, {5, 1, {true, false, false, false, false}},
      {5, 2, {false, false, false, false, false}}, {6, 0, {false, true, false, false, false}},
      {6, 1, {false, false, true, false, false}},  {6, 2, {false, false, false, true, false}},
      {6, 3, {false, false, false, true, false}},  {6, 4, {false, false, false, false, true}},
      {6, 9, {false, false, false, false, true}},  {10, 0, {false, false, false, false, true}},
      {11, 0, {false, false, false, false, true}}, {7, 0, {false, false, false, false, false}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.major << "." << row.minor);
    SetVersion(row.major, row.minor);
    ExpectTests(row.tests);
    EXPECT_EQ(row.tests.vista || row.tests.win7 || row.tests.win8 || row.tests.win10,
              IsVistaOrLater());
  }
}

// Runs the switch moments against the prefix's HKLM and puts it back afterwards.
class SwitchMoments : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* key : {kDirect3DDriversKey, kDirectDrawKey}) {
      HKEY h = nullptr;
      ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &h, nullptr));
      RegCloseKey(h);
    }
    g_viewer.displayDriverType = kDriverUndetected;
    g_viewer.kavreloStatus = 0;
    g_viewer.kavreloSeen = 0;
  }
  void TearDown() override {
    SetVersion(0, 0);
    g_viewer.displayDriverType = kDriverUndetected;
    g_viewer.kavreloStatus = 0;
    g_viewer.kavreloSeen = 0;
  }
  // Both values; -1 for absent.
  static long long SoftwareOnly() {
    return orba_test::ReadDwordValue(HKEY_LOCAL_MACHINE, kDirect3DDriversKey, kSoftwareOnlyValue);
  }
  static long long Emulation() {
    return orba_test::ReadDwordValue(HKEY_LOCAL_MACHINE, kDirectDrawKey, kEmulationOnlyValue);
  }
  static void Preset(long long softwareOnly, long long emulation) {
    Put(kDirect3DDriversKey, kSoftwareOnlyValue, softwareOnly);
    Put(kDirectDrawKey, kEmulationOnlyValue, emulation);
  }
  static void Put(const char* key, const char* value, long long data) {
    if (data < 0) {
      RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, key, value);
    } else {
      const DWORD d = static_cast<DWORD>(data);
      RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, value, REG_DWORD, &d, sizeof d);
    }
  }
  void Expect(long long softwareOnly, long long emulation, const char* moment) {
    EXPECT_EQ(softwareOnly, SoftwareOnly()) << "SoftwareOnly " << moment;
    EXPECT_EQ(emulation, Emulation()) << "EmulationOnly " << moment;
  }

  // The type of a recorded earlier value in the settings key; REG_NONE + 1 for absent.
  static DWORD RecordType(const char* value) {
    DWORD type = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, orba::kSettingsKey, value, RRF_RT_ANY, &type, nullptr,
                     nullptr) != ERROR_SUCCESS) {
      return REG_NONE + 1;
    }
    return type;
  }

  orba_test::ScopedRegistryTree savedD3D_{HKEY_LOCAL_MACHINE, kDirect3DDriversKey};
  orba_test::ScopedRegistryTree savedDDraw_{HKEY_LOCAL_MACHINE, kDirectDrawKey};
  orba_test::ScopedRegistryTree savedSettings_{HKEY_CURRENT_USER, orba::kSettingsKey};
};

// A run that never reaches its end leaves a record of the values from before
// it; the next start puts them back. A normal end keeps its own values.
TEST_F(SwitchMoments, EarlierValuesAreRecordedOnceAndPutBackByTheNextStart) {
  orba_test::DeleteRegistryTree(HKEY_CURRENT_USER, orba::kSettingsKey);
  SetVersion(6, 1);
  Preset(1, -1);
  SwitchesForDriverDetection();
  Expect(0, 0, "after driver detection");
  g_viewer.displayDriverType = kDriverXDDM;
  MyCompleteDirectInit();
  Expect(1, 1, "after the graph was built");
  EXPECT_EQ(
      1, orba_test::ReadDwordValue(HKEY_CURRENT_USER, orba::kSettingsKey, kSavedSoftwareOnlyValue));
  EXPECT_EQ(static_cast<DWORD>(REG_NONE), RecordType(kSavedEmulationOnlyValue))
      << "an absent value is recorded as absent";

  PutBackRecordedSwitches();
  Expect(1, -1, "put back by the next start");
  EXPECT_EQ(REG_NONE + 1, RecordType(kSavedSoftwareOnlyValue));
  EXPECT_EQ(REG_NONE + 1, RecordType(kSavedEmulationOnlyValue));

  // A record that an earlier start could not put back holds the older value.
  const DWORD older = 0;
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetKeyValueA(HKEY_CURRENT_USER, orba::kSettingsKey, kSavedSoftwareOnlyValue,
                            REG_DWORD, &older, sizeof older));
  SwitchesForDriverDetection();
  EXPECT_EQ(
      0, orba_test::ReadDwordValue(HKEY_CURRENT_USER, orba::kSettingsKey, kSavedSoftwareOnlyValue));
  EXPECT_EQ(static_cast<DWORD>(REG_NONE), RecordType(kSavedEmulationOnlyValue));

  MyCompleteDirectInit();
  RestoreSwitchesAtProgramEnd();
  ForgetRecordedSwitches();
  Expect(0, 0, "after a normal end");
  EXPECT_EQ(REG_NONE + 1, RecordType(kSavedSoftwareOnlyValue));
  EXPECT_EQ(REG_NONE + 1, RecordType(kSavedEmulationOnlyValue));
  PutBackRecordedSwitches();
  Expect(0, 0, "nothing to put back after a normal end");
}

TEST_F(SwitchMoments, Windows7XddmIsOffWhileBuildingOnAfterAndOffAtTheEnd) {
  SetVersion(6, 1);
  Preset(1, 1);
  SwitchesForDriverDetection();
  Expect(0, 0, "after driver detection");
  g_viewer.displayDriverType = kDriverXDDM;
  g_viewer.kavreloStatus = 0;
  SwitchesAfterCctvInit();
  Expect(0, 0, "after CCTV_Init without Kavrelo");
  EXPECT_EQ(0u, g_viewer.kavreloSeen);
  Preset(1, 1);  // as another program might have left them
  PrepareDirectInit();
  Expect(0, 0, "while the graph is built");
  MyCompleteDirectInit();
  Expect(1, 1, "after the graph was built");
  RestoreSwitchesAtProgramEnd();
  Expect(0, 0, "at program end");
}

TEST_F(SwitchMoments, WddmWithoutKavreloNeverSwitchesOn) {
  for (uint32_t minor : {1u, 2u}) {
    SetVersion(6, minor);
    Preset(1, 1);
    SwitchesForDriverDetection();
    Expect(0, 0, "after driver detection");
    g_viewer.displayDriverType = kDriverWDDM;
    SwitchesAfterCctvInit();
    // From here on nothing may be written at all.
    Preset(-1, -1);
    PrepareDirectInit();
    MyCompleteDirectInit();
    RestoreSwitchesAtProgramEnd();
    Expect(-1, -1, "after build and end");
  }
  SetVersion(10, 0);
  Preset(-1, -1);
  g_viewer.displayDriverType = kDriverWDDM;
  PrepareDirectInit();
  MyCompleteDirectInit();
  RestoreSwitchesAtProgramEnd();
  Expect(-1, -1, "Windows 10");
}

TEST_F(SwitchMoments, KavreloOnWindows10TurnsEmulationOnUntilTheEnd) {
  SetVersion(10, 0);
  Preset(-1, -1);
  SwitchesForDriverDetection();
  Expect(0, 0, "after driver detection");
  g_viewer.displayDriverType = kDriverWDDM;
  g_viewer.kavreloStatus = 3;
  SwitchesAfterCctvInit();
  EXPECT_EQ(1u, g_viewer.kavreloSeen);
  Expect(0, 1, "after CCTV_Init with Kavrelo");
  PrepareDirectInit();
  MyCompleteDirectInit();
  Expect(0, 1, "around the graph");
  // A later pass without the magnifier still restores at the end.
  g_viewer.kavreloStatus = 0;
  SwitchesAfterCctvInit();
  EXPECT_EQ(1u, g_viewer.kavreloSeen);
  RestoreSwitchesAtProgramEnd();
  Expect(0, 0, "at program end");
}

TEST_F(SwitchMoments, WindowsXpIsXddmWithoutDirect3DAndLeavesTheSwitchesToZoomText) {
  SetVersion(5, 1);
  Preset(1, 0);
  EXPECT_EQ(kDriverXDDM, DetectDisplayDriverModel());
  Expect(1, 0, "driver detection on XP changes nothing");
  g_viewer.displayDriverType = kDriverXDDM;
  g_viewer.kavreloStatus = 2;
  SwitchesAfterCctvInit();
  Expect(1, 1, "after CCTV_Init with Kavrelo");
  PrepareDirectInit();
  Expect(0, 1, "XP only turns software-only off itself");
  MyCompleteDirectInit();
  Expect(0, 1, "XP gives emulation back through ZoomText");
  RestoreSwitchesAtProgramEnd();
  Expect(0, 0, "at program end");
}

TEST_F(SwitchMoments, UnreadableVersionWithXddmIsRestoredAtTheEnd) {
  SetVersion(0, 0);
  Preset(-1, -1);
  SwitchesForDriverDetection();
  Expect(-1, -1, "no version, no reset");
  g_viewer.displayDriverType = kDriverXDDM;
  PrepareDirectInit();
  Expect(-1, -1, "no version, nothing before the graph");
  MyCompleteDirectInit();
  Expect(1, 1, "XDDM after the graph");
  RestoreSwitchesAtProgramEnd();
  Expect(0, 0, "what was switched on is switched off");
}

TEST_F(SwitchMoments, MissingKeyIsReportedAndNotCreated) {
  orba_test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, kDirect3DDriversKey);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, SetDirect3DSoftwareOnly(true));
  EXPECT_FALSE(orba_test::RegistryKeyExists(HKEY_LOCAL_MACHINE, kDirect3DDriversKey));
  EXPECT_EQ(ERROR_SUCCESS, SetDirectDrawEmulationOnly(true));
  EXPECT_EQ(1, Emulation());
}

TEST_F(SwitchMoments, DriverDetectionResetsTheSwitchesAndAsksDirect3D) {
  SetVersion(10, 0);
  Preset(1, 1);
  const HWND window = CreateWindowExA(0, "STATIC", "driver test", WS_POPUP | WS_VISIBLE, 0, 0, 200,
                                      200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, window);
  g_viewer.hwndViewer = window;
  const int32_t model = DetectDisplayDriverModel();
  // The probe's device leaves nothing on the viewer's window: under Wine a
  // pixel format left there makes every frame of the mixer redraw it whole.
  int pixelFormat = -1;
  if (const orba::ScopedWindowDC dc(window); dc) pixelFormat = GetPixelFormat(dc.Get());
  g_viewer.hwndViewer = nullptr;
  DestroyWindow(window);
  Expect(0, 0, "after detection");
  EXPECT_EQ(0, pixelFormat) << "the viewer's window got a pixel format";
  // Wine's Direct3D 9 under Xvfb creates the device; its caps decide the model.
  EXPECT_TRUE(model == kDriverXDDM || model == kDriverWDDM) << model;
}

}  // namespace
