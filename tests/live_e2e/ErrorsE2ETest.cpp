// What the user sees when the graph cannot be built: the numbered messages of
// the graph's construction, and how the program ends after them.
#include "LiveViewerTest.h"

namespace live_test {
namespace {

const char kOrbaProcClassKey[] = "CLSID\\{A2F63A43-4E90-4D8D-85C2-26A799C950E3}";
const char kDrivers32Key[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

TEST_F(LiveViewerTest, MissingOrbaProcEndsWithError7AfterHidingTheWindow) {
  orba_test::ScopedRegistryTree orbaProc(HKEY_CLASSES_ROOT, kOrbaProcClassKey);
  ASSERT_TRUE(orbaProc.existed()) << "ORBAProc.ax is not registered in this prefix";
  ASSERT_TRUE(orba_test::DeleteRegistryTree(HKEY_CLASSES_ROOT, kOrbaProcClassKey));
  ASSERT_TRUE(viewer_.Start());
  HWND box = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (box = viewer_.FindMessageBox()) != nullptr; },
                        kStartTimeoutMs));
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
