// ORBA.exe running against the simulated ORBA camera: the commands it sends at
// start-up and at the end, the frame-skipping setting it keeps, the restart that
// ZoomText asks for, a camera without its control interface, and a second copy
// started while the viewer runs.
#include <gtest/gtest.h>

#include "SimCamViewer.h"
#include "orba/Scoped.h"
#include "orba/SettingsKey.h"

namespace orba_e2e {
namespace {

using orba_test::SeenMessageBox;
using orba_test::ViewerProcess;

class ViewerWithSimCam : public SimCamViewerTest {};

// A top-level window of this process, destroyed on every path.
class ScopedTestWindow {
 public:
  ScopedTestWindow(const char* title, int x, int y) {
    window_ = CreateWindowExA(0, "STATIC", title, WS_POPUP | WS_VISIBLE, x, y, 300, 200, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  ScopedTestWindow(const ScopedTestWindow&) = delete;
  ScopedTestWindow& operator=(const ScopedTestWindow&) = delete;
  ~ScopedTestWindow() {
    if (window_) DestroyWindow(window_);
  }
  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

// Waits for the foreground window, handling this thread's messages meanwhile.
bool WaitForForeground(HWND window, DWORD timeoutMs) {
  return WaitFor(
      [&] {
        PumpMessages();
        return GetForegroundWindow() == window;
      },
      timeoutMs);
}

TEST_F(ViewerWithSimCam, CameraWithoutPropertySetEndsWithError25B) {
  simcam::Options options;
  options.noPropertySet = true;
  ASSERT_TRUE(SetCameraOptions(options));
  orba_test::DeleteRegistryTree(HKEY_CURRENT_USER, orba::kSettingsKey);

  ViewerProcess viewer;
  ASSERT_TRUE(viewer.Start());
  // The error comes before the window would be made.
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor(
      [&] {
        EXPECT_EQ(nullptr, viewer.FindViewerWindow());
        box = viewer.FindMessageBox();
        return box != nullptr || !viewer.IsRunning();
      },
      kStartTimeoutMs));
  ASSERT_NE(nullptr, box) << "the viewer ended without a message";
  SeenMessageBox seen;
  ASSERT_TRUE(viewer.AnswerMessageBox(&seen, 5000));
  EXPECT_EQ("Opticorva ORBA", seen.title);
  EXPECT_EQ("Error #25B Sorry could not find camera control interface. Program ends.\n", seen.text);
  DWORD code = 0;
  std::vector<SeenMessageBox> more;
  ASSERT_TRUE(viewer.WaitForExit(kExitTimeoutMs, &code, &more));
  EXPECT_EQ(1u, code);
  EXPECT_TRUE(more.empty()) << more.front().text;
  EXPECT_TRUE(Calls().empty()) << "nothing can have reached the camera";
  EXPECT_FALSE(orba_test::RegistryKeyExists(HKEY_CURRENT_USER, orba::kSettingsKey))
      << "the settings come after the camera control";
}

// ---- start-up and end, for each stored frame-skipping setting ----

struct SkipFramesCase {
  const char* label;
  enum Stored { kNoKey, kNoValue, kDword } stored;
  DWORD value;
  bool skip;  // what the viewer must make of it
};

void PrintTo(const SkipFramesCase& c, std::ostream* os) { *os << c.label; }

class ViewerStartAndEnd : public SimCamViewerTest,
                          public ::testing::WithParamInterface<SkipFramesCase> {};

TEST_P(ViewerStartAndEnd, SendsTheStartupCommandsAndAtTheEndTheEndCommandAndTheSetting) {
  const SkipFramesCase& c = GetParam();
  orba_test::DeleteRegistryTree(HKEY_CURRENT_USER, orba::kSettingsKey);
  if (c.stored == SkipFramesCase::kNoValue) {
    ASSERT_TRUE(StoreSkipFrames(0));
    orba::ScopedHKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, orba::kSettingsKey, 0, KEY_SET_VALUE, key.Put()));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key.Get(), kSkipFrames));
  } else if (c.stored == SkipFramesCase::kDword) {
    ASSERT_TRUE(StoreSkipFrames(c.value));
  }

  ViewerProcess viewer;
  const HWND window = StartViewer(&viewer);
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(nullptr, viewer.FindMessageBox());

  // Running: the camera has had the start-up sequence and nothing else.
  std::vector<simcam::PropertyCall> calls = Calls();
  EXPECT_EQ(StartupCodes(c.skip), simcam::DecodeCommands(calls).Codes());
  EXPECT_EQ(3 * kCallsPerCommand, calls.size());
  for (const std::string& f : CheckExchanges(calls, 0, 3)) ADD_FAILURE() << f;
  EXPECT_TRUE(orba_test::RegistryKeyExists(HKEY_CURRENT_USER, orba::kSettingsKey));

  // The user closes the window.
  DWORD code = 99;
  std::vector<SeenMessageBox> boxes;
  ASSERT_TRUE(viewer.CloseAndWait(kExitTimeoutMs, &code, &boxes));
  EXPECT_EQ(0u, code);
  EXPECT_TRUE(boxes.empty()) << boxes.front().text;

  calls = Calls();
  EXPECT_EQ(Concat(StartupCodes(c.skip), {"F0 05"}), simcam::DecodeCommands(calls).Codes());
  EXPECT_EQ(4 * kCallsPerCommand, calls.size());
  for (const std::string& f : CheckExchanges(calls, 0, 4)) ADD_FAILURE() << f;
  EXPECT_EQ(c.skip ? 1 : 0, StoredSkipFrames()) << "stored as a 4-byte REG_DWORD of 1 or 0";
}

INSTANTIATE_TEST_SUITE_P(
    SkipFrames, ViewerStartAndEnd,
    ::testing::Values(SkipFramesCase{"FreshUser", SkipFramesCase::kNoKey, 0, false},
                      SkipFramesCase{"ValueAbsent", SkipFramesCase::kNoValue, 0, false},
                      SkipFramesCase{"Zero", SkipFramesCase::kDword, 0, false},
                      SkipFramesCase{"One", SkipFramesCase::kDword, 1, true},
                      SkipFramesCase{"Seven", SkipFramesCase::kDword, 7, true}),
    [](const ::testing::TestParamInfo<SkipFramesCase>& info) { return info.param.label; });

// ---- restart ----

TEST_F(ViewerWithSimCam, ZoomTextStateChangeRestartsOnceInTheSameProcess) {
  orba_test::DeleteRegistryTree(HKEY_CURRENT_USER, orba::kSettingsKey);
  ViewerProcess viewer;
  const HWND first = StartViewer(&viewer);
  ASSERT_NE(nullptr, first);
  ASSERT_EQ(StartupCodes(false), Codes());

  // Changed behind the viewer's back: the end of the pass must write its own value
  // again, or the next pass would switch frame skipping on.
  ASSERT_TRUE(StoreSkipFrames(1));
  ASSERT_TRUE(viewer.PostZoomTextStateChange());

  const HWND second = viewer.WaitForNewViewerWindow(first, kStartTimeoutMs);
  ASSERT_NE(nullptr, second) << "no new viewer window";
  EXPECT_FALSE(IsWindow(first)) << "the first window is destroyed";
  // Twice through the new main loop: a quit left over from destroying the first
  // window would have ended it by now.
  EXPECT_TRUE(WaitFor([&] { return WindowAnswers(second); }, kStartTimeoutMs));
  EXPECT_TRUE(WindowAnswers(second));
  EXPECT_TRUE(viewer.IsRunning());
  EXPECT_EQ(second, viewer.FindViewerWindow());
  EXPECT_EQ(1u, orba_test::FindProcessWindows(viewer.pid(), "Orba Viewer").size());

  const auto restarted = Concat(Concat(StartupCodes(false), {"F0 05"}), StartupCodes(false));
  ASSERT_TRUE(WaitForCommands(restarted.size()));
  std::vector<simcam::PropertyCall> calls = Calls();
  EXPECT_EQ(restarted, simcam::DecodeCommands(calls).Codes());
  EXPECT_EQ(restarted.size() * kCallsPerCommand, calls.size());
  EXPECT_EQ(0, StoredSkipFrames()) << "written at the end of the first pass";

  DWORD code = 99;
  std::vector<SeenMessageBox> boxes;
  ASSERT_TRUE(viewer.CloseAndWait(kExitTimeoutMs, &code, &boxes));
  EXPECT_EQ(0u, code);
  EXPECT_TRUE(boxes.empty()) << boxes.front().text;
  calls = Calls();
  const auto ended = Concat(restarted, {"F0 05"});
  EXPECT_EQ(ended, simcam::DecodeCommands(calls).Codes());
  for (const std::string& f : CheckExchanges(calls, 0, ended.size())) ADD_FAILURE() << f;
  EXPECT_EQ(0, StoredSkipFrames());
}

// ---- a second copy ----

TEST_F(ViewerWithSimCam, SecondCopyBringsTheRunningViewerToTheFrontAndLeavesItRunning) {
  orba_test::DeleteRegistryTree(HKEY_CURRENT_USER, orba::kSettingsKey);
  ViewerProcess first;
  const HWND viewerWindow = StartViewer(&first);
  ASSERT_NE(nullptr, viewerWindow);

  // Another program is in front of the viewer.
  ScopedTestWindow other("other program", 100, 100);
  ASSERT_NE(nullptr, other.get());
  SetForegroundWindow(other.get());
  ASSERT_TRUE(WaitForForeground(other.get(), 5000));
  const size_t callsBefore = Calls().size();
  const long long skipBefore = StoredSkipFrames();

  ViewerProcess second;
  ASSERT_TRUE(second.Start());
  DWORD code = 99;
  std::vector<SeenMessageBox> boxes;
  ASSERT_TRUE(second.WaitForExit(kExitTimeoutMs, &code, &boxes));
  EXPECT_EQ(1u, code);
  EXPECT_TRUE(boxes.empty()) << "the second copy shows nothing: " << boxes.front().text;

  // Wine reports the new foreground window; without a window manager it does not
  // restack the windows, so the z-order proves nothing here.
  EXPECT_TRUE(WaitForForeground(viewerWindow, 5000)) << "foreground is " << GetForegroundWindow();
  EXPECT_EQ(callsBefore, Calls().size()) << "the second copy sent camera commands";
  EXPECT_EQ(skipBefore, StoredSkipFrames());

  // The first viewer runs on with the same window.
  EXPECT_TRUE(first.IsRunning());
  EXPECT_TRUE(WindowAnswers(viewerWindow));
  EXPECT_EQ(viewerWindow, first.FindViewerWindow());

  ASSERT_TRUE(first.CloseAndWait(kExitTimeoutMs, &code, &boxes));
  EXPECT_EQ(0u, code);
  EXPECT_TRUE(boxes.empty()) << boxes.front().text;
  EXPECT_EQ(Concat(StartupCodes(false), {"F0 05"}), Codes());
}

}  // namespace
}  // namespace orba_e2e
