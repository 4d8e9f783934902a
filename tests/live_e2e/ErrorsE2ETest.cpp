// What the user sees when the graph cannot be built: the numbered messages of
// the graph's construction, and how the program ends after them; and the
// machine-wide graphics switches after ends that are not normal.
#include <utility>

#include "LiveViewerTest.h"
#include "orba/SettingsKey.h"

namespace live_test {
namespace {

const char kOrbaProcClassKey[] = "CLSID\\{A2F63A43-4E90-4D8D-85C2-26A799C950E3}";
const char kDrivers32Key[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
const char kSoftwareOnlyKey[] = "SOFTWARE\\Microsoft\\Direct3D\\Drivers";
const char kEmulationOnlyKey[] = "SOFTWARE\\Microsoft\\DirectDraw";

// "SoftwareOnly" and "EmulationOnly" as they were before the test, put back
// after it; the test sets them as another program might have left them.
class LiveSwitchesTest : public LiveViewerTest {
 protected:
  void SetUp() override {
    LiveViewerTest::SetUp();
    for (const char* key : {kSoftwareOnlyKey, kEmulationOnlyKey}) {
      HKEY h = nullptr;
      ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &h, nullptr));
      RegCloseKey(h);
    }
  }
  // Both values; -1 for absent.
  using Switches = std::pair<long long, long long>;
  static Switches Read() {
    return {orba_test::ReadDwordValue(HKEY_LOCAL_MACHINE, kSoftwareOnlyKey, "SoftwareOnly"),
            orba_test::ReadDwordValue(HKEY_LOCAL_MACHINE, kEmulationOnlyKey, "EmulationOnly")};
  }
  static void Preset(const Switches& values) {
    Put(kSoftwareOnlyKey, "SoftwareOnly", values.first);
    Put(kEmulationOnlyKey, "EmulationOnly", values.second);
  }
  static void Put(const char* key, const char* value, long long data) {
    if (data < 0) {
      RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, key, value);
    } else {
      const DWORD d = static_cast<DWORD>(data);
      RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, value, REG_DWORD, &d, sizeof d);
    }
  }
  // The viewer's record of the switches from before its run, as a pair; -1 absent.
  static Switches Recorded() {
    return {orba_test::ReadDwordValue(HKEY_CURRENT_USER, orba::kSettingsKey, "SavedSoftwareOnly"),
            orba_test::ReadDwordValue(HKEY_CURRENT_USER, orba::kSettingsKey, "SavedEmulationOnly")};
  }

  orba_test::ScopedRegistryTree softwareOnly_{HKEY_LOCAL_MACHINE, kSoftwareOnlyKey};
  orba_test::ScopedRegistryTree emulationOnly_{HKEY_LOCAL_MACHINE, kEmulationOnlyKey};
};

TEST_F(LiveSwitchesTest, AKilledRunIsUndoneByTheNextStart) {
  const Switches before{-1, 0};
  // What one normal run leaves behind from these values.
  Preset(before);
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(EndViewer());
  const Switches afterNormalRun = Read();
  EXPECT_EQ(Switches(-1, -1), Recorded()) << "a normal end leaves no record";

  Preset(before);
  ASSERT_TRUE(StartViewer());
  ASSERT_NE(before, Read()) << "the running viewer has changed the switches";
  EXPECT_EQ(before, Recorded());
  viewer_.Kill();
  ASSERT_FALSE(viewer_.IsRunning());

  // The next start puts them back before anything else, even one that then
  // finds no camera and ends at once.
  ASSERT_TRUE(simcam::Unplug());
  ASSERT_TRUE(viewer_.Start());
  orba_test::SeenMessageBox seen;
  ASSERT_TRUE(viewer_.AnswerMessageBox(&seen, kStartTimeoutMs));
  EXPECT_EQ("Error #25A Sorry no or wrong camera Program ends\n", seen.text);
  DWORD code = 0;
  ASSERT_TRUE(viewer_.WaitForExit(30000, &code));
  EXPECT_EQ(1u, code);
  EXPECT_EQ(before, Read());
  EXPECT_EQ(Switches(-1, -1), Recorded());

  ASSERT_TRUE(simcam::Plug());
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(EndViewer());
  EXPECT_EQ(afterNormalRun, Read()) << "as after one normal run";
  EXPECT_EQ(Switches(-1, -1), Recorded());
}

// A fatal error after the switches were changed puts them back on the way out.
TEST_F(LiveSwitchesTest, MissingOrbaProcEndsWithError7AfterHidingTheWindow) {
  const Switches before{1, -1};
  Preset(before);
  orba_test::ScopedRegistryTree orbaProc(HKEY_CLASSES_ROOT, kOrbaProcClassKey);
  ASSERT_TRUE(orbaProc.existed()) << "ORBAProc.ax is not registered in this prefix";
  ASSERT_TRUE(orba_test::DeleteRegistryTree(HKEY_CLASSES_ROOT, kOrbaProcClassKey));
  ASSERT_TRUE(viewer_.Start());
  HWND box = nullptr;
  ASSERT_TRUE(
      WaitUntil([&] { return (box = viewer_.FindMessageBox()) != nullptr; }, kStartTimeoutMs));
  const HWND window = viewer_.FindViewerWindow();
  ASSERT_NE(nullptr, window);
  orba_test::SeenMessageBox seen;
  ASSERT_TRUE(viewer_.AnswerMessageBox(&seen, kStepTimeoutMs));
  EXPECT_EQ("Opticorva ORBA", seen.title);
  EXPECT_EQ(
      " Error #7 ,Failed to create ORBAProc\r\nCheck ORBAPROC.AX file\r\nSorry, this program "
      "will end",
      seen.text);
  DWORD code = 0;
  std::vector<orba_test::SeenMessageBox> more;
  ASSERT_TRUE(viewer_.WaitForExit(30000, &code, &more));
  EXPECT_EQ(1u, code);
  EXPECT_TRUE(more.empty()) << more.front().text;
  // The fatal exit skips the end of the pass: no end command.
  EXPECT_EQ(0u, CountCode(CameraCodes(), "F0 05"));
  EXPECT_EQ(before, Read()) << "the switches are as before the run";
  EXPECT_EQ(Switches(-1, -1), Recorded());
}

TEST_F(LiveViewerTest, UnrenderablePreviewEndsThroughError28AndTheNormalEnd) {
  // Without an MJPG decompressor nothing can draw the camera's preview.
  orba_test::ScopedRegistryTree drivers(HKEY_LOCAL_MACHINE, kDrivers32Key);
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDrivers32Key, 0, KEY_SET_VALUE, &key));
  RegDeleteValueA(key, "vidc.mjpg");
  RegDeleteValueA(key, "VIDC.MJPG");
  RegCloseKey(key);

  ASSERT_TRUE(viewer_.Start());
  orba_test::SeenMessageBox first, second;
  ASSERT_TRUE(viewer_.AnswerMessageBox(&first, kStartTimeoutMs));
  EXPECT_EQ(0u, first.text.find("Error #17 Couldn't run the graph!  hr=0x8004")) << first.text;
  ASSERT_TRUE(viewer_.AnswerMessageBox(&second, kStepTimeoutMs));
  EXPECT_EQ("Error #28 Failed to capture video! \n", second.text);
  DWORD code = 99;
  std::vector<orba_test::SeenMessageBox> more;
  ASSERT_TRUE(viewer_.WaitForExit(30000, &code, &more));
  EXPECT_EQ(0u, code) << "the normal end, not a fatal exit";
  EXPECT_TRUE(more.empty()) << more.front().text;
  const auto codes = CameraCodes();
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ("F0 05", codes.back());
  EXPECT_TRUE(RotGraphNames(viewer_.pid()).empty());
}

}  // namespace
}  // namespace live_test
