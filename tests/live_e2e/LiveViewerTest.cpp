#include "LiveViewerTest.h"

#include <algorithm>
#include <sstream>

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
}

void LiveViewerTest::TearDown() {
  StopViewer(&viewer_);
  simcam::ClearOptions();
  simcam::Plug();
  simcam::ResetLog();
  if (comInitialized_) CoUninitialize();
}

::testing::AssertionResult LiveViewerTest::StartViewer() {
  return StartAndWaitUntilUp(
      &viewer_,
      [&](HWND w) {
        return IsWindowVisible(w) && !RotGraphNames(viewer_.pid()).empty() &&
               CountCode(CameraCodes(), "F0 09") >= 1;
      },
      kStartTimeoutMs);
}

::testing::AssertionResult LiveViewerTest::EndViewer() { return EndWithEndKey(&viewer_); }

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
