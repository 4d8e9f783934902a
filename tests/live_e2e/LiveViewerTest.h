#pragma once
// The fixture of the live viewer tests: ORBA.exe on the simulated camera, with
// the camera's options, its log and (through ViewerE2ETest) the viewer's
// settings as they were before.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "LiveTestUtil.h"
#include "ViewerE2ETest.h"
#include "ViewerProcess.h"
#include "simcam/SimCamControl.h"

namespace live_test {

constexpr DWORD kStartTimeoutMs = 60000;
constexpr DWORD kStepTimeoutMs = 10000;

// Hot-key identifiers and the WM_HOTKEY parameters as the system sends them.
using orba_e2e::HotKeyParam;
using orba_e2e::kHotKeyEnd;
constexpr UINT kHotKeyVersion = 1200;
constexpr UINT kHotKeySkipFramesOn = 1203;
constexpr UINT kHotKeySkipFramesOff = 1204;
constexpr UINT kHotKeyG = 1205;
constexpr UINT kHotKeyH = 1206;

class LiveViewerTest : public orba_e2e::ViewerE2ETest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts ORBA.exe and waits until its graph is registered, its window is up
  // and the camera has had its start-up commands.
  ::testing::AssertionResult StartViewer();
  // Ends the viewer with its end key and waits for exit code 0.
  ::testing::AssertionResult EndViewer();
  HWND Window() const { return viewer_.FindViewerWindow(); }
  // Posts a hot key as the system would deliver it.
  bool PostHotKey(UINT id, UINT vk);
  // Waits until the viewer window has the rectangle (left, top, right, bottom).
  ::testing::AssertionResult WaitForWindowRect(const RECT& expected);

  orba_test::ViewerProcess viewer_;
  bool comInitialized_ = false;
};

}  // namespace live_test

std::ostream& operator<<(std::ostream& os, const RECT& r);
