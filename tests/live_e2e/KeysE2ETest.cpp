// The viewer driven from the keyboard: real key events from the X server for
// the layouts and the held keys, posted hot keys for the rest, with the
// camera's command log and the window's rectangle as the evidence.
#include <windows.h>

#include <dlgs.h>

#include <algorithm>
#include <regex>
#include <set>

#include "LiveViewerTest.h"
#include "ProcessDebugOutput.h"
#include "TestEnv.h"
#include "orba/ImagesDir.h"
#include "simcam/SimCamFrames.h"
#include "orba/SettingsKey.h"

namespace live_test {
namespace {

using Codes = std::vector<std::string>;

int ScreenW() { return GetSystemMetrics(SM_CXSCREEN); }
int ScreenH() { return GetSystemMetrics(SM_CYSCREEN); }

RECT Top() { return {0, 0, ScreenW(), ScreenH() / 2}; }
// The bottom and right layouts keep the whole size and reach past the edge.
RECT Bottom() { return {0, ScreenH() / 2, ScreenW(), ScreenH() / 2 + ScreenH()}; }
RECT Left() { return {0, 0, ScreenW() / 2, ScreenH()}; }
RECT Right() { return {ScreenW() / 2, 0, ScreenW() / 2 + ScreenW(), ScreenH()}; }
RECT Hidden() { return {0, 0, 1, 1}; }
RECT Full() { return {0, 0, ScreenW(), ScreenH()}; }

// Keys pressed with xdotool are let go again on every path, so that a failing
// test does not leave Ctrl and the Windows key held for the next one.
class HeldKeys {
 public:
  explicit HeldKeys(std::string keys) : keys_(std::move(keys)) {
    down_ = Xdotool("keydown " + keys_);
  }
  ~HeldKeys() { Release(); }
  bool down() const { return down_; }
  void Release() {
    if (!down_) return;
    // In the reverse order: the letter first, the modifiers last.
    std::string reversed;
    size_t end = keys_.size();
    while (end > 0) {
      const size_t start = keys_.rfind(' ', end - 1);
      const size_t from = start == std::string::npos ? 0 : start + 1;
      reversed += (reversed.empty() ? "" : " ") + keys_.substr(from, end - from);
      end = start == std::string::npos ? 0 : start;
    }
    Xdotool("keyup " + reversed);
    down_ = false;
  }

 private:
  std::string keys_;
  bool down_ = false;
};

class LiveKeysTest : public LiveViewerTest {
 protected:
  // One real key press on the focused viewer; the layout it must reach and the
  // one camera command it must send first.
  void PressAndExpect(const char* key, const RECT& rect, const char* code) {
    SCOPED_TRACE(key);
    ASSERT_TRUE(simcam::ResetLog());
    ASSERT_TRUE(FocusViewerWindow(Window()));
    ASSERT_TRUE(Xdotool(std::string("key ") + key));
    ASSERT_TRUE(WaitForWindowRect(rect));
    EXPECT_EQ(Codes{code}, CameraCodes());
  }
};

TEST_F(LiveKeysTest, LayoutCycleGoesThroughAllSixLayouts) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForWindowRect(Full())) << "the viewer starts full screen, in layout 0";
  PressAndExpect("ctrl+super+s", Bottom(), "6E 1C");
  PressAndExpect("ctrl+super+s", Left(), "6E 1C");
  PressAndExpect("ctrl+super+s", Right(), "6E 1C");
  PressAndExpect("ctrl+super+s", Hidden(), "6E 1D");
  PressAndExpect("ctrl+super+s", Full(), "6E 1D");
  PressAndExpect("ctrl+super+s", Top(), "6E 1C");
  PressAndExpect("ctrl+super+s", Bottom(), "6E 1C");
  EXPECT_TRUE(GetWindowLongA(Window(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

// Wine reports Windows 10: the halves are on A, and L zooms.
TEST_F(LiveKeysTest, HalvesAlternateRightAndLeftStartingRight) {
  ASSERT_TRUE(StartViewer());
  PressAndExpect("ctrl+super+a", Right(), "6E 1C");
  PressAndExpect("ctrl+super+a", Left(), "6E 1C");
  PressAndExpect("ctrl+super+a", Right(), "6E 1C");
}

TEST_F(LiveKeysTest, TopBottomAndHideFullToggles) {
  ASSERT_TRUE(StartViewer());
  PressAndExpect("ctrl+super+y", Top(), "6E 1C");
  PressAndExpect("ctrl+super+y", Bottom(), "6E 1C");
  PressAndExpect("ctrl+super+m", Hidden(), "6E 1C");
  PressAndExpect("ctrl+super+m", Full(), "6E 1D");
  PressAndExpect("ctrl+super+y", Top(), "6E 1C");
}

TEST_F(LiveKeysTest, HoldToZoomRunsWhileTheKeysAreHeld) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(simcam::ResetLog());
  ASSERT_TRUE(FocusViewerWindow(Window()));
  {
    HeldKeys keys("ctrl super l");
    ASSERT_TRUE(keys.down());
    ASSERT_TRUE(WaitForCodes([](const Codes& c) { return !c.empty(); }, kStepTimeoutMs));
    EXPECT_EQ(Codes{"6E 0C"}, CameraCodes()) << "ZOOM_TELE first";
    // Still held: the zoom must not stop by itself.
    Sleep(300);
    EXPECT_EQ(Codes{"6E 0C"}, CameraCodes());
  }
  ASSERT_TRUE(WaitForCodes([](const Codes& c) { return c.size() >= 3; }, kStepTimeoutMs));
  // The viewer goes on taking keys; one arriving while the zoom still ends may
  // be dropped with the key repeats, so G is sent until it is heard.
  bool heard = false;
  for (int i = 0; i < 20 && !heard; ++i) {
    ASSERT_TRUE(PostHotKey(kHotKeyG, 'G'));
    heard = WaitForCodes([](const Codes& c) { return CountCode(c, "F0 08") > 0; }, 500);
  }
  ASSERT_TRUE(heard) << "the viewer no longer handles its keys";
  const Codes codes = CameraCodes();
  EXPECT_EQ((Codes{"6E 0C", "6E 0D", "6E 0D"}), Codes(codes.begin(), codes.begin() + 3))
      << "ZOOM_STOP twice on release";
  EXPECT_EQ(3u + CountCode(codes, "F0 08"), codes.size());
}

TEST_F(LiveKeysTest, ArrowKeysDoNotZoomOnWindows10) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(simcam::ResetLog());
  ASSERT_TRUE(FocusViewerWindow(Window()));
  ASSERT_TRUE(Xdotool("key ctrl+super+Up ctrl+super+Down ctrl+super+g"));
  // G is handled after the arrows: once its command is there, they had their turn.
  ASSERT_TRUE(
      WaitForCodes([](const Codes& c) { return CountCode(c, "F0 08") > 0; }, kStepTimeoutMs));
  EXPECT_EQ(Codes{"F0 08"}, CameraCodes());
}

TEST_F(LiveKeysTest, PressAndReleaseSendsItsCodeThenStopsOnTheTimer) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(simcam::ResetLog());
  ASSERT_TRUE(FocusViewerWindow(Window()));
  {
    HeldKeys keys("ctrl super c");
    ASSERT_TRUE(keys.down());
    ASSERT_TRUE(WaitForCodes([](const Codes& c) { return !c.empty(); }, kStepTimeoutMs));
    EXPECT_EQ(Codes{"6E 0E"}, CameraCodes()) << "sent once while held";
  }
  ASSERT_TRUE(WaitForCodes([](const Codes& c) { return c.size() >= 3; }, kStepTimeoutMs));
  Sleep(100);
  EXPECT_EQ((Codes{"6E 0E", "6E 0D", "6E 10"}), CameraCodes());
}

TEST_F(LiveKeysTest, DigitKeysHeldTogetherSendTheirCommandsInAscendingOrder) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(simcam::ResetLog());
  ASSERT_TRUE(FocusViewerWindow(Window()));
  {
    HeldKeys keys("5 2");
    ASSERT_TRUE(keys.down());
    ASSERT_TRUE(
        WaitForCodes([](const Codes& c) { return CountCode(c, "6E 13") > 0; }, kStepTimeoutMs));
    ASSERT_TRUE(Xdotool("key x"));
    ASSERT_TRUE(
        WaitForCodes([](const Codes& c) { return c.size() >= 2 && c[c.size() - 2] == "6E 13"; },
                     kStepTimeoutMs));
  }
  Sleep(200);
  const Codes codes = CameraCodes();
  ASSERT_GE(codes.size(), 2u);
  for (size_t i = 0; i < codes.size(); ++i) {
    ASSERT_TRUE(codes[i] == "6E 13" || codes[i] == "6E 16") << codes[i];
    // With both held, 2 (0x13) always goes out before 5 (0x16).
    if (codes[i] == "6E 13") {
      ASSERT_LT(i + 1, codes.size());
      EXPECT_EQ("6E 16", codes[i + 1]);
    }
  }
  EXPECT_EQ("6E 16", codes.back());
}

TEST_F(LiveKeysTest, CameraCommandKeysSendTheirFrames) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(simcam::ResetLog());
  const struct {
    UINT id;
    UINT vk;
    const char* code;
  } keys[] = {{1101, 'T', "6E 11"},       {1104, VK_F3, "6E 02"},     {1105, VK_F2, "6E 03"},
              {1106, VK_F1, "6E 01"},     {1117, 'Z', "6E 1B"},       {1117, 'Z', "6E 1B"},
              {1201, VK_INSERT, "F0 FF"}, {1202, VK_DELETE, "F0 FE"}, {kHotKeyG, 'G', "F0 08"},
              {kHotKeyH, 'H', "F0 09"}};
  Codes expected;
  for (const auto& k : keys) {
    ASSERT_TRUE(PostHotKey(k.id, k.vk));
    expected.push_back(k.code);
  }
  ASSERT_TRUE(
      WaitForCodes([&](const Codes& c) { return c.size() >= expected.size(); }, kStepTimeoutMs));
  EXPECT_EQ(expected, CameraCodes());
}

TEST_F(LiveKeysTest, FrameSkippingKeysStoreTheSettingAtOnce) {
  orba_test::DeleteRegistryTree(HKEY_CURRENT_USER, orba::kSettingsKey);
  ASSERT_TRUE(StartViewer());
  EXPECT_EQ(-1, orba_test::ReadDwordValue(HKEY_CURRENT_USER, orba::kSettingsKey, "SKIPFRAMES"))
      << "an absent value means off, and is not written before a key or the end";
  ASSERT_TRUE(simcam::ResetLog());
  ASSERT_TRUE(PostHotKey(kHotKeySkipFramesOn, VK_F10));
  EXPECT_TRUE(WaitUntil(
      [] {
        return orba_test::ReadDwordValue(HKEY_CURRENT_USER, orba::kSettingsKey, "SKIPFRAMES") == 1;
      },
      kStepTimeoutMs));
  EXPECT_EQ(Codes{"F0 03"}, CameraCodes());
  ASSERT_TRUE(PostHotKey(kHotKeySkipFramesOff, VK_F11));
  EXPECT_TRUE(WaitUntil(
      [] {
        return orba_test::ReadDwordValue(HKEY_CURRENT_USER, orba::kSettingsKey, "SKIPFRAMES") == 0;
      },
      kStepTimeoutMs));
  EXPECT_EQ((Codes{"F0 03", "F0 02"}), CameraCodes());
  ASSERT_TRUE(PostHotKey(kHotKeySkipFramesOn, VK_F10));
  ASSERT_TRUE(EndViewer());
  EXPECT_EQ(1, orba_test::ReadDwordValue(HKEY_CURRENT_USER, orba::kSettingsKey, "SKIPFRAMES"));
  EXPECT_EQ((Codes{"F0 03", "F0 02", "F0 03", "F0 05"}), CameraCodes());
}

TEST_F(LiveKeysTest, VersionKeyShowsBothBuildNumbers) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(FocusViewerWindow(Window()));
  ASSERT_TRUE(Xdotool("key ctrl+super+n"));
  HWND box = nullptr;
  ASSERT_TRUE(
      WaitUntil([&] { return (box = viewer_.FindMessageBox()) != nullptr; }, kStepTimeoutMs));
  EXPECT_EQ(Window(), GetWindow(box, GW_OWNER)) << "the box belongs to the viewer window";
  orba_test::SeenMessageBox seen;
  ASSERT_TRUE(viewer_.AnswerMessageBox(&seen, kStepTimeoutMs));
  EXPECT_EQ("ORBA", seen.title);
  const std::regex text(
      "Opticorva ORBA version: 4\\.0\\.0\\.1290\nORBAProc version: 2\\.0\\.0\\.590\n"
      "Windows [0-9]+\\.[0-9]+ build [0-9]+ ServicePack [0-9]+\\.[0-9]+\n"
      "Display driver type is (XDDM|WDDM|UNDETECTED)\\.");
  EXPECT_TRUE(std::regex_match(seen.text, text)) << seen.text;
  EXPECT_TRUE(viewer_.IsRunning());
}

// Answers the viewer's message boxes until none has come for a second; the
// most that were open at one time, and what they said.
size_t AnswerBoxesUntilQuiet(const orba_test::ViewerProcess& viewer,
                             std::vector<orba_test::SeenMessageBox>* seen) {
  size_t most = 0;
  ULONGLONG quietSince = GetTickCount64();
  while (GetTickCount64() - quietSince < 1000 && viewer.IsRunning()) {
    size_t open = 0;
    for (HWND w : orba_test::FindProcessWindows(viewer.pid(), "#32770")) {
      if (IsWindowVisible(w)) ++open;
    }
    most = std::max(most, open);
    if (open > 0) {
      orba_test::SeenMessageBox box;
      const HWND w = viewer.FindMessageBox();
      Sleep(50);
      if (w && orba_test::ReadMessageBox(w, &box) && orba_test::PressMessageBoxOk(w)) {
        seen->push_back(box);
        const ULONGLONG gone = GetTickCount64() + 5000;
        while (IsWindow(w) && GetTickCount64() < gone) Sleep(20);
      }
      quietSince = GetTickCount64();
    } else {
      Sleep(50);
    }
  }
  return most;
}

// Message 0x401 only informs. A burst of them and of device changes (the
// camera still there) opens no box inside another; the viewer then goes on.
TEST_F(LiveKeysTest, DeviceLostMessagesOnlyInformWithOneBoxAtATime) {
  ASSERT_TRUE(StartViewer());
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(viewer_.PostToViewer(WM_USER + 1));
    ASSERT_TRUE(viewer_.PostToViewer(WM_DEVICECHANGE, 7 /* DBT_DEVNODES_CHANGED */));
  }
  HWND first = nullptr;
  ASSERT_TRUE(
      WaitUntil([&] { return (first = viewer_.FindMessageBox()) != nullptr; }, kStepTimeoutMs));
  std::vector<orba_test::SeenMessageBox> seen;
  EXPECT_EQ(1u, AnswerBoxesUntilQuiet(viewer_, &seen)) << "boxes opened inside another";
  ASSERT_FALSE(seen.empty());
  EXPECT_LE(seen.size(), 2u) << "one box says it for the whole burst";
  for (const auto& box : seen) {
    EXPECT_EQ("Opticorva ORBA", box.title);
    EXPECT_EQ("Error #24 Device lost", box.text);
  }
  ASSERT_TRUE(viewer_.IsRunning());
  ASSERT_TRUE(PostHotKey(1108, 'Y'));
  EXPECT_TRUE(WaitForWindowRect(Top())) << "the viewer still answers its keys";
  ASSERT_TRUE(EndViewer());
}

// The camera goes while the device-lost box is open: once that box is
// answered, the unplug still ends the program with its own message.
TEST_F(LiveKeysTest, UnplugWhileABoxIsOpenStillEndsWithError30) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(viewer_.PostToViewer(WM_USER + 1));
  ASSERT_TRUE(WaitUntil([&] { return viewer_.FindMessageBox() != nullptr; }, kStepTimeoutMs));
  ASSERT_TRUE(simcam::Unplug());
  std::vector<orba_test::SeenMessageBox> seen;
  EXPECT_EQ(1u, AnswerBoxesUntilQuiet(viewer_, &seen)) << "boxes opened inside another";
  ASSERT_EQ(2u, seen.size());
  EXPECT_EQ("Error #24 Device lost", seen[0].text);
  EXPECT_EQ("Error #30 Sorry Device lost\n program Ends", seen[1].text);
  DWORD code = 99;
  std::vector<orba_test::SeenMessageBox> more;
  ASSERT_TRUE(viewer_.WaitForExit(30000, &code, &more));
  EXPECT_EQ(0u, code);
  EXPECT_TRUE(more.empty()) << more.front().text;
}

TEST_F(LiveKeysTest, UnpluggedCameraEndsTheProgramWithError30) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(simcam::Unplug());
  HWND box = nullptr;
  ASSERT_TRUE(
      WaitUntil([&] { return (box = viewer_.FindMessageBox()) != nullptr; }, kStepTimeoutMs));
  EXPECT_TRUE(WaitForWindowRect(Hidden())) << "the window shrinks before the message";
  orba_test::SeenMessageBox seen;
  ASSERT_TRUE(viewer_.AnswerMessageBox(&seen, kStepTimeoutMs));
  EXPECT_EQ("Opticorva ORBA", seen.title);
  EXPECT_EQ("Error #30 Sorry Device lost\n program Ends", seen.text);
  DWORD code = 99;
  std::vector<orba_test::SeenMessageBox> more;
  ASSERT_TRUE(viewer_.WaitForExit(30000, &code, &more));
  EXPECT_EQ(0u, code);
  EXPECT_TRUE(more.empty()) << more.front().text;
  const Codes codes = CameraCodes();
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ("F0 05", codes.back());
}

std::set<std::string> JpegFiles(const std::string& folder) {
  return MatchingFiles(folder + "\\*.jpg");
}

TEST_F(LiveKeysTest, PictureKeyStoresTheCamerasFrameUnchanged) {
  char folder[kImagesDirBytes];
  GetImagesDirPath(folder, sizeof folder);
  const std::set<std::string> before = JpegFiles(folder);
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(FocusViewerWindow(Window()));
  ASSERT_TRUE(Xdotool("key ctrl+super+i"));

  std::string path;
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (const auto& name : JpegFiles(folder)) {
          if (!before.count(name)) path = std::string(folder) + "\\" + name;
        }
        return !path.empty();
      },
      kStepTimeoutMs))
      << "no new picture in " << folder;
  // The frame's number is in its comment segment; the camera makes the same
  // bytes for the same number, so the stored picture must be exactly those.
  simcam::FrameGenerator generator;
  ASSERT_TRUE(generator.Ok());
  std::string stored;
  uint32_t number = 0;
  std::vector<uint8_t> expected;
  const bool same = WaitUntil(
      [&] {
        stored = orba_test::ReadFileBytes(path);
        const auto* data = reinterpret_cast<const uint8_t*>(stored.data());
        return simcam::ReadFrameNumber(data, stored.size(), &number) &&
               generator.Generate(number, {}, &expected) &&
               stored == std::string(expected.begin(), expected.end());
      },
      kStepTimeoutMs);
  EXPECT_TRUE(same) << path << " (" << stored.size() << " bytes, frame " << number << ")";
  EXPECT_EQ(before.size() + 1, JpegFiles(folder).size()) << "one key, one picture";
  DeleteFileA(path.c_str());
}

TEST_F(LiveKeysTest, SaveAsKeyOpensTheSaveDialogOverTheViewer) {
  char folder[kImagesDirBytes];
  GetImagesDirPath(folder, sizeof folder);
  const std::set<std::string> before = JpegFiles(folder);
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(FocusViewerWindow(Window()));
  ASSERT_TRUE(Xdotool("key ctrl+super+j"));
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (HWND w : orba_test::FindProcessWindows(viewer_.pid(), "#32770")) {
          char title[128] = {};
          GetWindowTextA(w, title, sizeof title);
          if (IsWindowVisible(w) && std::string(title) == "Save image file...") dialog = w;
        }
        return dialog != nullptr;
      },
      kStepTimeoutMs));
  EXPECT_EQ(Window(), GetWindow(dialog, GW_OWNER));
  ASSERT_TRUE(PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, kStepTimeoutMs));
  EXPECT_EQ(before, JpegFiles(folder)) << "a cancelled dialog stores nothing";
  ASSERT_TRUE(simcam::ResetLog());
  ASSERT_TRUE(PostHotKey(kHotKeyG, 'G'));
  EXPECT_TRUE(
      WaitForCodes([](const Codes& c) { return CountCode(c, "F0 08") == 1; }, kStepTimeoutMs));
}

// ---------------------------------------------------------------- Save As open

constexpr UINT kHotKeyTakePicture = 1100;
constexpr UINT kHotKeySavePictureAs = 1120;

// The Save As dialog runs beside the video: the stream, the keys and every
// way of stopping go on while it waits for the user.
class SaveAsOpenTest : public LiveKeysTest {
 protected:
  void SetUp() override {
    LiveKeysTest::SetUp();
    char folder[kImagesDirBytes];
    GetImagesDirPath(folder, sizeof folder);
    pictures_ = folder;
    before_ = JpegFiles(pictures_);
  }
  void TearDown() override {
    LiveKeysTest::TearDown();
    debug_.Detach();
    for (const auto& name : JpegFiles(pictures_)) {
      if (!before_.count(name)) DeleteFileA((pictures_ + "\\" + name).c_str());
    }
  }

  ::testing::AssertionResult StartWatchedViewer() {
    ::testing::AssertionResult up = StartViewer();
    if (!up) return up;
    if (!debug_.Attach(viewer_.pid())) {
      return ::testing::AssertionFailure() << "cannot attach to the viewer as its debugger";
    }
    return ::testing::AssertionSuccess();
  }

  // The visible windows titled like the dialog: the dialog, and its question.
  std::vector<HWND> DialogWindows() const {
    std::vector<HWND> found;
    for (HWND w : orba_test::FindProcessWindows(viewer_.pid(), "#32770")) {
      char title[128] = {};
      GetWindowTextA(w, title, sizeof title);
      if (IsWindowVisible(w) && std::string(title) == orba_test::kSaveDialogTitle) {
        found.push_back(w);
      }
    }
    return found;
  }
  // The dialog itself: the one with a file name field.
  HWND SaveDialog() const {
    for (HWND w : DialogWindows()) {
      if (GetDlgItem(w, cmb13) || GetDlgItem(w, edt1)) return w;
    }
    return nullptr;
  }
  // The replace question: the window with a No button.
  HWND ReplaceQuestion() const {
    for (HWND w : DialogWindows()) {
      if (GetDlgItem(w, IDNO)) return w;
    }
    return nullptr;
  }

  HWND OpenSaveAs() {
    if (!PostHotKey(kHotKeySavePictureAs, 'J')) return nullptr;
    HWND dialog = nullptr;
    WaitUntil([&] { return (dialog = SaveDialog()) != nullptr; }, kStepTimeoutMs);
    return dialog;
  }

  static bool Press(HWND window, int id) {
    return PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(window, id))) != FALSE;
  }

  // Types a path into the dialog and presses Save.
  static bool SaveAs(HWND dialog, const std::string& path) {
    HWND name = GetDlgItem(dialog, cmb13);
    if (!name) name = GetDlgItem(dialog, edt1);
    return name && SetWindowTextA(name, path.c_str()) && Press(dialog, IDOK);
  }

  // A picture taken with the picture key: its path, once it is complete.
  std::string TakePicture() {
    std::set<std::string> known = JpegFiles(pictures_);
    if (!PostHotKey(kHotKeyTakePicture, 'I')) return std::string();
    std::string path;
    uint32_t number = 0;
    WaitUntil(
        [&] {
          for (const auto& name : JpegFiles(pictures_)) {
            if (known.count(name)) continue;
            const std::string candidate = pictures_ + "\\" + name;
            const std::string bytes = orba_test::ReadFileBytes(candidate);
            if (simcam::ReadFrameNumber(reinterpret_cast<const uint8_t*>(bytes.data()),
                                        bytes.size(), &number)) {
              path = candidate;
            }
          }
          return !path.empty();
        },
        kStepTimeoutMs);
    return path;
  }
  static uint32_t FrameNumberOf(const std::string& path) {
    const std::string bytes = orba_test::ReadFileBytes(path);
    uint32_t number = 0;
    simcam::ReadFrameNumber(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &number);
    return number;
  }

  std::string pictures_;
  std::set<std::string> before_;
  orba_test::ProcessDebugOutput debug_;
};

// While the dialog is open the camera's frames keep passing the filter: two
// pictures taken a second apart hold different frames. A second request is
// refused, and the end key still ends the program at once.
TEST_F(SaveAsOpenTest, StreamAndKeysGoOnAndTheEndKeyClosesIt) {
  ASSERT_TRUE(StartWatchedViewer());
  const HWND dialog = OpenSaveAs();
  ASSERT_TRUE(dialog);
  EXPECT_EQ(Window(), GetWindow(dialog, GW_OWNER));

  const std::string first = TakePicture();
  ASSERT_FALSE(first.empty()) << "no picture while the dialog is open";
  Sleep(1000);
  const std::string second = TakePicture();
  ASSERT_FALSE(second.empty());
  EXPECT_LT(FrameNumberOf(first), FrameNumberOf(second)) << "the stream goes on";

  ASSERT_TRUE(PostHotKey(kHotKeySavePictureAs, 'J'));
  EXPECT_TRUE(
      debug_.WaitForText("Save As refused: a Save As dialog is already open", kStepTimeoutMs));
  EXPECT_EQ(1u, DialogWindows().size());

  ASSERT_TRUE(simcam::ResetLog());
  const std::set<std::string> beforeEnd = JpegFiles(pictures_);
  ASSERT_TRUE(PostHotKey(kHotKeyEnd, 'E'));
  DWORD code = 99;
  std::vector<orba_test::SeenMessageBox> boxes;
  ASSERT_TRUE(viewer_.WaitForExit(15000, &code, &boxes)) << "the viewer hangs";
  EXPECT_EQ(0u, code);
  EXPECT_TRUE(boxes.empty()) << boxes.front().text;
  EXPECT_EQ(Codes{"F0 05"}, CameraCodes());
  EXPECT_EQ(beforeEnd, JpegFiles(pictures_)) << "the closed dialog saved nothing";
}

TEST_F(SaveAsOpenTest, UnpluggingTheCameraStillEndsTheProgram) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(OpenSaveAs());
  ASSERT_TRUE(simcam::Unplug());
  DWORD code = 99;
  std::vector<orba_test::SeenMessageBox> boxes;
  ASSERT_TRUE(viewer_.WaitForExit(15000, &code, &boxes)) << "the viewer hangs";
  EXPECT_EQ(0u, code);
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ("Error #30 Sorry Device lost\n program Ends", boxes[0].text);
  const Codes codes = CameraCodes();
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ("F0 05", codes.back());
}

TEST_F(SaveAsOpenTest, RestartClosesTheDialogAndTheNewPassRuns) {
  ASSERT_TRUE(StartViewer());
  const HWND before = Window();
  ASSERT_TRUE(OpenSaveAs());
  ASSERT_TRUE(viewer_.PostZoomTextStateChange());
  const HWND after = viewer_.WaitForNewViewerWindow(before, 15000);
  ASSERT_TRUE(after) << "the restart hangs";
  EXPECT_TRUE(WaitUntil([&] { return DialogWindows().empty(); }, kStepTimeoutMs));
  ASSERT_TRUE(simcam::ResetLog());
  ASSERT_TRUE(PostHotKey(kHotKeyG, 'G'));
  EXPECT_TRUE(
      WaitForCodes([](const Codes& c) { return CountCode(c, "F0 08") == 1; }, kStepTimeoutMs));
  EXPECT_TRUE(EndViewer());
}

// Saving onto an existing file asks first: No keeps the old file byte for byte,
// Yes replaces it with the picture, and no temporary file stays behind.
TEST_F(SaveAsOpenTest, ExistingFileIsReplacedOnlyAfterYes) {
  const std::string target = pictures_ + "\\saveas_existing.jpg";
  const std::string old = "the picture that was there before";
  CreateDirectoryA(pictures_.c_str(), nullptr);
  ASSERT_TRUE(orba_test::WriteFileBytes(target, old));
  ASSERT_TRUE(StartWatchedViewer());

  HWND dialog = OpenSaveAs();
  ASSERT_TRUE(dialog);
  ASSERT_TRUE(SaveAs(dialog, target));
  HWND question = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (question = ReplaceQuestion()) != nullptr; }, kStepTimeoutMs))
      << "no replace question";
  ASSERT_TRUE(Press(question, IDNO));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(question); }, kStepTimeoutMs));
  EXPECT_TRUE(IsWindow(dialog)) << "No goes back to the dialog";
  ASSERT_TRUE(Press(dialog, IDCANCEL));
  ASSERT_TRUE(WaitUntil([&] { return DialogWindows().empty(); }, kStepTimeoutMs));
  EXPECT_EQ(old, orba_test::ReadFileBytes(target));
  // The next request is taken once the first dialog's thread has ended.
  ASSERT_TRUE(debug_.WaitForText("Save As dialog done", kStepTimeoutMs));

  dialog = OpenSaveAs();
  ASSERT_TRUE(dialog);
  ASSERT_TRUE(SaveAs(dialog, target));
  ASSERT_TRUE(WaitUntil([&] { return (question = ReplaceQuestion()) != nullptr; }, kStepTimeoutMs));
  ASSERT_TRUE(Press(question, IDYES));
  EXPECT_TRUE(WaitUntil([&] { return FrameNumberOf(target) != 0; }, kStepTimeoutMs))
      << "the camera's picture replaces the old file";
  EXPECT_TRUE(WaitUntil([&] { return DialogWindows().empty(); }, kStepTimeoutMs));
  EXPECT_TRUE(MatchingFiles(pictures_ + "\\*.tmp").empty());
  EXPECT_TRUE(EndViewer());
}

}  // namespace
}  // namespace live_test
