#include "ViewerE2ETest.h"

#include <vector>

#include "TestEnv.h"

namespace orba_e2e {

bool WindowAnswers(HWND window) {
  DWORD_PTR result = 0;
  return IsWindow(window) &&
         SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
}

::testing::AssertionResult ViewerE2ETest::StartAndWaitUntilUp(orba_test::ViewerProcess* viewer,
                                                              const std::function<bool(HWND)>& up,
                                                              DWORD timeoutMs) {
  if (!viewer->Start()) return ::testing::AssertionFailure() << "ORBA.exe did not start";
  bool isUp = false;
  orba_test::WaitFor(
      [&] {
        if (!viewer->IsRunning() || viewer->FindMessageBox()) return true;
        const HWND w = viewer->FindViewerWindow();
        isUp = w && up(w);
        return isUp;
      },
      timeoutMs);
  if (const HWND box = viewer->FindMessageBox()) {
    orba_test::SeenMessageBox seen;
    orba_test::ReadMessageBox(box, &seen);
    return ::testing::AssertionFailure() << "the viewer shows a message: " << seen.text;
  }
  if (!viewer->IsRunning()) return ::testing::AssertionFailure() << "the viewer ended";
  if (!isUp) return ::testing::AssertionFailure() << "the viewer did not come up in time";
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult ViewerE2ETest::EndWithEndKey(orba_test::ViewerProcess* viewer) {
  if (!viewer->PostToViewer(WM_HOTKEY, kHotKeyEnd, HotKeyParam('E'))) {
    return ::testing::AssertionFailure() << "no viewer window";
  }
  DWORD code = 0;
  std::vector<orba_test::SeenMessageBox> boxes;
  if (!viewer->WaitForExit(kExitTimeoutMs, &code, &boxes)) {
    return ::testing::AssertionFailure() << "the viewer did not end";
  }
  if (!boxes.empty()) return ::testing::AssertionFailure() << "message: " << boxes.front().text;
  if (code != 0) return ::testing::AssertionFailure() << "exit code " << code;
  return ::testing::AssertionSuccess();
}

void ViewerE2ETest::StopViewer(orba_test::ViewerProcess* viewer) {
  if (!viewer->IsRunning()) return;
  viewer->PostToViewer(WM_HOTKEY, kHotKeyEnd, HotKeyParam('E'));
  DWORD code = 0;
  if (!viewer->WaitForExit(kExitTimeoutMs, &code)) viewer->Kill();
}

}  // namespace orba_e2e
