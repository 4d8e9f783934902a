#include "LiveViewerTest.h"

#include <algorithm>
#include <sstream>
#include "orba/SettingsKey.h"

std::ostream& operator<<(std::ostream& os, const RECT& r) {
  return os << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

namespace live_test {

void LiveViewerTest::SetUp() {
  comInitialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  ASSERT_TRUE(comInitialized_);
  ASSERT_TRUE(simcam::ClearOptions());
  ASSERT_TRUE(simcam::Plug());
  ASSERT_TRUE(simcam::ResetLog());
  settings_ = std::make_unique<orba_test::ScopedRegistryTree>(HKEY_CURRENT_USER, orba::kSettingsKey);
}

void LiveViewerTest::TearDown() {
  if (viewer_.IsRunning()) {
    PostHotKey(kHotKeyEnd, 'E');
    DWORD code = 0;
    if (!viewer_.WaitForExit(30000, &code)) viewer_.Kill();
  }
  simcam::ClearOptions();
  simcam::Plug();
  simcam::ResetLog();
  settings_.reset();
  if (comInitialized_) CoUninitialize();
}

::testing::AssertionResult LiveViewerTest::StartViewer() {
  if (!viewer_.Start()) return ::testing::AssertionFailure() << "ORBA.exe did not start";
  const bool up = WaitUntil(
      [&] {
        if (!viewer_.IsRunning() || viewer_.FindMessageBox()) return true;
        const HWND w = viewer_.FindViewerWindow();
        return w && IsWindowVisible(w) && !RotGraphNames(viewer_.pid()).empty() &&
               CountCode(CameraCodes(), "F0 09") >= 1;
      },
      kStartTimeoutMs);
  if (const HWND box = viewer_.FindMessageBox()) {
    orba_test::SeenMessageBox seen;
    orba_test::ReadMessageBox(box, &seen);
    return ::testing::AssertionFailure() << "the viewer shows a message: " << seen.text;
  }
  if (!viewer_.IsRunning()) return ::testing::AssertionFailure() << "the viewer ended";
  if (!up) return ::testing::AssertionFailure() << "the viewer did not come up in time";
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult LiveViewerTest::EndViewer() {
  if (!PostHotKey(kHotKeyEnd, 'E')) return ::testing::AssertionFailure() << "no viewer window";
  DWORD code = 0;
  std::vector<orba_test::SeenMessageBox> boxes;
  if (!viewer_.WaitForExit(30000, &code, &boxes)) {
    return ::testing::AssertionFailure() << "the viewer did not end";
  }
  if (!boxes.empty()) return ::testing::AssertionFailure() << "message: " << boxes.front().text;
  if (code != 0) return ::testing::AssertionFailure() << "exit code " << code;
  return ::testing::AssertionSuccess();
}

bool LiveViewerTest::PostHotKey(UINT id, UINT vk) {
  return viewer_.PostToViewer(WM_HOTKEY, id, HotKeyParam(vk));
}

::testing::AssertionResult LiveViewerTest::WaitForWindowRect(const RECT& expected) {
  RECT last = {};
  const bool ok = WaitUntil(
      [&] {
        last = WindowRect(Window());
        return EqualRect(&last, &expected) != FALSE;
      },
      kStepTimeoutMs);
  if (ok) return ::testing::AssertionSuccess();
  std::ostringstream os;
  os << "window " << last << ", expected " << expected;
  return ::testing::AssertionFailure() << os.str();
}

}  // namespace live_test
