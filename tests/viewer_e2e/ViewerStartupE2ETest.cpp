// ORBA.exe from start to end: what the user sees when the camera is missing or
// unusable, and a second copy started while one runs.
#include <gtest/gtest.h>

#include "RegistrySnapshot.h"
#include "VideoInputDevices.h"
#include "ViewerProcess.h"
#include "orba/SettingsKey.h"

namespace {

using orba_test::SeenMessageBox;
using orba_test::ViewerProcess;

constexpr DWORD kBoxTimeoutMs = 60000;

TEST(ViewerStartup, WithoutACameraTheViewerSaysSoAndEndsWithCodeOne) {
  orba_test::ScopedVideoInputDevices noCamera(orba_test::ScopedVideoInputDevices::kRemoveCameras);
  ASSERT_TRUE(orba_test::AddVideoInputDevice("{0D000000-0000-4000-8000-0000000000D4}",
                                             "Another camera", orba_test::kSmartTeeClsid,
                                             "\\\\?\\usb#vid_046d&pid_0825&mi_00#6&0&0000"));
  ViewerProcess viewer;
  ASSERT_TRUE(viewer.Start());
  SeenMessageBox box;
  // The viewer window must not exist while the error is shown (it is never made).
  const ULONGLONG end = GetTickCount64() + kBoxTimeoutMs;
  HWND shown = nullptr;
  while (!(shown = viewer.FindMessageBox()) && viewer.IsRunning() && GetTickCount64() < end) {
    EXPECT_EQ(nullptr, viewer.FindViewerWindow());
    Sleep(50);
  }
  ASSERT_NE(nullptr, shown) << "no message box";
  EXPECT_EQ(nullptr, viewer.FindViewerWindow());
  ASSERT_TRUE(viewer.AnswerMessageBox(&box, 5000));
  EXPECT_EQ("Opticorva ORBA", box.title);
  EXPECT_EQ("Error #25A Sorry no or wrong camera Program ends\n", box.text);
  DWORD code = 0;
  std::vector<SeenMessageBox> more;
  ASSERT_TRUE(viewer.WaitForExit(30000, &code, &more));
  EXPECT_EQ(1u, code);
  EXPECT_TRUE(more.empty()) << more.front().text;
}

TEST(ViewerStartup, CameraWithoutACommandInterfaceEndsWithError25B) {
  orba_test::ScopedVideoInputDevices onlyThis(orba_test::ScopedVideoInputDevices::kRemoveAll);
  // The Smart Tee binds as a filter but has no property set.
  ASSERT_TRUE(orba_test::AddVideoInputDevice(
      "{0E000000-0000-4000-8000-0000000000E5}", "ORBA camera without control",
      orba_test::kSmartTeeClsid, orba_test::kOrbaCameraDevicePath));
  ViewerProcess viewer;
  ASSERT_TRUE(viewer.Start());
  SeenMessageBox box;
  ASSERT_TRUE(viewer.AnswerMessageBox(&box, kBoxTimeoutMs));
  EXPECT_EQ("Opticorva ORBA", box.title);
  EXPECT_EQ("Error #25B Sorry could not find camera control interface. Program ends.\n", box.text);
  DWORD code = 0;
  std::vector<SeenMessageBox> more;
  ASSERT_TRUE(viewer.WaitForExit(30000, &code, &more));
  EXPECT_EQ(1u, code);
  EXPECT_TRUE(more.empty());
}

// The viewer counts its own processes by name; a first copy held at its error
// box is a running viewer for the second one.
TEST(ViewerStartup, SecondCopyBringsTheRunningViewerToTheFrontAndEnds) {
  orba_test::ScopedVideoInputDevices noCamera(orba_test::ScopedVideoInputDevices::kRemoveCameras);
  orba_test::ScopedRegistryTree settings(HKEY_CURRENT_USER, orba::kSettingsKey);
  orba_test::DeleteRegistryTree(HKEY_CURRENT_USER, orba::kSettingsKey);

  ViewerProcess first;
  ASSERT_TRUE(first.Start());
  const ULONGLONG end = GetTickCount64() + kBoxTimeoutMs;
  while (!first.FindMessageBox() && first.IsRunning() && GetTickCount64() < end) Sleep(50);
  ASSERT_NE(nullptr, first.FindMessageBox()) << "the first copy should wait at its error box";

  // The window the second copy looks for ("Orba Viewer"), with another window in front.
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "Orba Viewer";
  ASSERT_NE(0, RegisterClassA(&wc));
  const HWND runningViewer = CreateWindowExA(0, "Orba Viewer", "ORBA", WS_POPUP | WS_VISIBLE, 0, 0,
                                             200, 200, nullptr, nullptr, wc.hInstance, nullptr);
  const HWND other = CreateWindowExA(0, "STATIC", "other program", WS_POPUP | WS_VISIBLE, 300, 0,
                                     200, 200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, runningViewer);
  ASSERT_NE(nullptr, other);
  SetForegroundWindow(other);
  ASSERT_EQ(other, GetForegroundWindow());

  ViewerProcess second;
  ASSERT_TRUE(second.Start());
  DWORD code = 0;
  std::vector<SeenMessageBox> boxes;
  ASSERT_TRUE(second.WaitForExit(30000, &code, &boxes));
  EXPECT_EQ(1u, code);
  EXPECT_TRUE(boxes.empty()) << "the second copy shows nothing: " << boxes.front().text;
  // Process pending activation messages, then look.
  MSG msg;
  for (int i = 0; i < 20; ++i) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    if (GetForegroundWindow() == runningViewer) break;
    Sleep(25);
  }
  EXPECT_EQ(runningViewer, GetForegroundWindow());
  EXPECT_FALSE(orba_test::RegistryKeyExists(HKEY_CURRENT_USER, orba::kSettingsKey))
      << "the second copy must not touch the settings";

  DestroyWindow(other);
  DestroyWindow(runningViewer);
  UnregisterClassA("Orba Viewer", wc.hInstance);

  SeenMessageBox box;
  ASSERT_TRUE(first.AnswerMessageBox(&box, 5000));
  EXPECT_EQ("Error #25A Sorry no or wrong camera Program ends\n", box.text);
  ASSERT_TRUE(first.WaitForExit(30000, &code));
  EXPECT_EQ(1u, code);
}

}  // namespace
