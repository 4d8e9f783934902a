// The hot-key table, its registration, the layout keys and the filter keys on
// the viewer's state, in this process.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "CameraCommands.h"
#include "HotKeys.h"
#include "Layout.h"
#include "ViewerState.h"
#include "SpyPropertySet.h"

namespace {

// The viewer's filter as far as the keys reach it.
class KeyOrbaProc : public IORBAProc {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SetReservedValues(long, long) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetParams(long, double, double) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetParams(long*, double*, double*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetFlipHorizontal(long) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFlipHorizontal(long*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetFlipVertical(long) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFlipVertical(long*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSpareFlag(long) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSpareFlag(long*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetBuildNumber(long* n) override {
    *n = 590;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetTakePicture(long request) override {
    calls.push_back("SetTakePicture " + std::to_string(request));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTakePicture(long*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsOutputConnected(long*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetStatusText(char*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSavePictureAs(long request, HWND owner) override {
    calls.push_back("SetSavePictureAs " + std::to_string(request));
    owners.push_back(owner);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ToggleRecording(long) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetRecordFolder(const char*) override { return E_NOTIMPL; }

  std::vector<std::string> calls;
  std::vector<HWND> owners;
};

TEST(HotKeyTable, RegistrationOrderAndTheWindows10Keys) {
  const std::vector<int> order = {1102, 1103, 1109, 1100, 1101, 1104, 1105, 1106,
                                  1107, 1108, 1110, 1114, 1115, 1116, 1117, 1120,
                                  1121, 1200, 1201, 1202, 1203, 1204, 1205, 1206};
  const auto before = ViewerHotKeyTable(false);
  const auto win10 = ViewerHotKeyTable(true);
  for (size_t i = 0; i < kHotKeyCount; ++i) {
    EXPECT_EQ(order[i], before[i].id) << i;
    EXPECT_EQ(order[i], win10[i].id) << i;
    // Only the zoom keys and the halves move.
    if (i >= 3) {
      EXPECT_EQ(before[i].virtualKey, win10[i].virtualKey) << order[i];
    }
  }
  EXPECT_EQ(static_cast<UINT>(VK_UP), before[0].virtualKey);
  EXPECT_EQ(static_cast<UINT>(VK_DOWN), before[1].virtualKey);
  EXPECT_EQ(static_cast<UINT>('L'), before[2].virtualKey);
  EXPECT_EQ(static_cast<UINT>('L'), win10[0].virtualKey);
  EXPECT_EQ(static_cast<UINT>('K'), win10[1].virtualKey);
  EXPECT_EQ(static_cast<UINT>('A'), win10[2].virtualKey);
  std::set<UINT> keys;
  for (const auto& k : win10) keys.insert(k.virtualKey);
  EXPECT_EQ(kHotKeyCount, keys.size()) << "no key twice";
  const std::set<std::pair<int, UINT>> expected = {
      {1100, 'I'},       {1101, 'T'},       {1104, VK_F3},  {1105, VK_F2},  {1106, VK_F1},
      {1107, 'S'},       {1108, 'Y'},       {1110, 'M'},    {1114, 'E'},    {1115, 'C'},
      {1116, 'V'},       {1117, 'Z'},       {1120, 'J'},    {1121, 'O'},    {1200, 'N'},
      {1201, VK_INSERT}, {1202, VK_DELETE}, {1203, VK_F10}, {1204, VK_F11}, {1205, 'G'},
      {1206, 'H'}};
  for (size_t i = 3; i < kHotKeyCount; ++i) {
    EXPECT_EQ(1u, expected.count({win10[i].id, win10[i].virtualKey})) << win10[i].id;
  }
}

class ViewerKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_viewer = ViewerState{};
    window_ = CreateWindowExA(0, "STATIC", "viewer", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                              nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window_);
    g_viewer.hwndViewer = window_;
    g_viewer.osMajor = 10;
    g_viewer.pCameraControl = &camera_;
  }
  void TearDown() override {
    g_viewer = ViewerState{};
    DestroyWindow(window_);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  // Class and code of every frame sent so far ("6E 1C").
  std::vector<std::string> Codes() {
    std::vector<std::string> codes;
    for (size_t i = 0; i + 5 <= camera_.calls.size(); i += 5) {
      uint8_t frame[10];
      uint16_t sum = 0;
      if (!DecodeFrame(camera_.calls, i, frame, &sum)) break;
      char text[8];
      std::snprintf(text, sizeof text, "%02X %02X", frame[0], frame[8]);
      codes.push_back(text);
    }
    return codes;
  }
  RECT Rect() {
    RECT r;
    GetWindowRect(window_, &r);
    return r;
  }
  void ExpectLayout(int32_t mode) {
    const ViewRect v =
        ViewModeRect(mode, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    const RECT r = Rect();
    EXPECT_EQ(v.x, r.left) << "layout " << mode;
    EXPECT_EQ(v.y, r.top) << "layout " << mode;
    EXPECT_EQ(v.width, r.right - r.left) << "layout " << mode;
    EXPECT_EQ(v.height, r.bottom - r.top) << "layout " << mode;
    EXPECT_EQ(mode, g_viewer.viewMode);
  }

  HWND window_ = nullptr;
  SpyPropertySet camera_;
};

TEST_F(ViewerKeysTest, TwoWayLayoutKeysAlternateAndSendTheirCommandFirst) {
  TopBottomKey();
  ExpectLayout(kViewTop);
  EXPECT_EQ(1u, g_viewer.topBottomToggle);
  TopBottomKey();
  ExpectLayout(kViewBottom);
  EXPECT_EQ(0u, g_viewer.topBottomToggle);
  RightLeftKey();
  ExpectLayout(kViewRight);
  RightLeftKey();
  ExpectLayout(kViewLeft);
  HideFullKey();
  ExpectLayout(kViewHidden);
  EXPECT_EQ(1u, g_viewer.hideFullToggle);
  HideFullKey();
  ExpectLayout(kViewFull);
  EXPECT_EQ(0u, g_viewer.hideFullToggle);
  EXPECT_TRUE(IsWindowVisible(window_));
  EXPECT_TRUE(GetWindowLongA(window_, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ((std::vector<std::string>{"6E 1C", "6E 1C", "6E 1C", "6E 1C", "6E 1C", "6E 1D"}),
            Codes());
}

TEST_F(ViewerKeysTest, CycleGoesFromLayout0Through5AndBackWithoutTouchingTheToggles) {
  g_viewer.topBottomToggle = 1;
  g_viewer.rightLeftToggle = 0;
  g_viewer.hideFullToggle = 1;
  for (int32_t mode : {1, 2, 3, 4, 5, 0, 1}) {
    CycleLayoutKey();
    ExpectLayout(mode);
  }
  EXPECT_EQ(
      (std::vector<std::string>{"6E 1C", "6E 1C", "6E 1C", "6E 1D", "6E 1D", "6E 1C", "6E 1C"}),
      Codes());
  EXPECT_EQ(1u, g_viewer.topBottomToggle);
  EXPECT_EQ(0u, g_viewer.rightLeftToggle);
  EXPECT_EQ(1u, g_viewer.hideFullToggle);
}

TEST_F(ViewerKeysTest, WithZoomTextRenderingTheViewerWindowStaysWhereItIs) {
  g_viewer.usingZTRenderer = 1;
  g_viewer.ztAreaShown = 1;
  SetWindowPos(window_, nullptr, 0, 0, 1, 1, SWP_NOZORDER);
  const RECT before = Rect();
  RightLeftKey();
  TopBottomKey();
  CycleLayoutKey();
  HideFullKey();
  const RECT after = Rect();
  EXPECT_TRUE(EqualRect(&before, &after));
  EXPECT_EQ(kViewHidden, g_viewer.viewMode);
  EXPECT_EQ(0u, g_viewer.ztAreaShown) << "hiding goes to ZoomText";
  EXPECT_EQ(4u, Codes().size()) << "the camera hears every key";
}

TEST_F(ViewerKeysTest, PictureKeysReachTheFilterOnlyWhenThereIsOne) {
  HandleViewerHotKey(kHotKeyTakePicture);
  HandleViewerHotKey(kHotKeySavePictureAs);  // no filter: nothing happens
  KeyOrbaProc filter;
  g_viewer.pOrbaProc = &filter;
  HandleViewerHotKey(kHotKeyTakePicture);
  HandleViewerHotKey(kHotKeySavePictureAs);
  EXPECT_EQ((std::vector<std::string>{"SetTakePicture 1", "SetSavePictureAs 1"}), filter.calls);
  EXPECT_EQ(std::vector<HWND>{window_}, filter.owners);
  EXPECT_TRUE(Codes().empty());
}

TEST_F(ViewerKeysTest, EndKeyWithoutRecordingQuits) {
  HandleViewerHotKey(kHotKeyEnd);
  MSG msg = {};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(0u, msg.wParam);
}

TEST_F(ViewerKeysTest, RegisteredKeysAreTakenUntilUnregistered) {
  const HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                     nullptr, nullptr);
  ASSERT_NE(nullptr, other);
  // An identifier the viewer never registers itself is released all the same.
  ASSERT_TRUE(RegisterHotKey(window_, 1112, kHotKeyModifiers, 'Q'));
  RegisterViewerHotKeys();
  EXPECT_FALSE(RegisterHotKey(other, 1, kHotKeyModifiers, 'S')) << "the viewer holds Ctrl+Win+S";
  EXPECT_FALSE(RegisterHotKey(other, 2, kHotKeyModifiers, 'A'));
  EXPECT_FALSE(RegisterHotKey(other, 3, kHotKeyModifiers, VK_F11));
  UnregisterViewerHotKeys();
  EXPECT_TRUE(RegisterHotKey(other, 1, kHotKeyModifiers, 'S'));
  EXPECT_TRUE(RegisterHotKey(other, 2, kHotKeyModifiers, 'A'));
  EXPECT_TRUE(RegisterHotKey(other, 3, kHotKeyModifiers, VK_F11));
  EXPECT_TRUE(RegisterHotKey(other, 4, kHotKeyModifiers, 'Q'));
  for (int id = 1; id <= 4; ++id) UnregisterHotKey(other, id);
  DestroyWindow(other);
}

// Keys that are already up: the zoom starts and stops at once.
bool NoKeyDown(void*, int) { return false; }
void NoSleep(void*, DWORD) {}
ULONGLONG NoTime(void*) { return 0; }

struct ZoomThread {
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  bool hotKeyLeft = true;
  bool paintStillDue = false;
};

DWORD WINAPI ZoomWithAPaintPending(LPVOID param) {
  auto* z = static_cast<ZoomThread*>(param);
  const HWND window = CreateWindowExA(0, "STATIC", "zoom", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                      nullptr, nullptr, nullptr, nullptr);
  InvalidateRect(window, nullptr, TRUE);
  PostMessageA(window, WM_HOTKEY, kHotKeyZoomIn, MAKELPARAM(kHotKeyModifiers, 'L'));
  HoldToZoom(true, 'L', KeyInput{NoKeyDown, NoSleep, NoTime, nullptr});
  MSG msg;
  z->hotKeyLeft = PeekMessageA(&msg, nullptr, WM_HOTKEY, WM_HOTKEY, PM_REMOVE) != FALSE;
  z->paintStillDue = GetUpdateRect(window, nullptr, FALSE) != FALSE;
  DestroyWindow(window);
  SetEvent(z->done);
  return 0;
}

// The end of a hold-to-zoom drops what piled up in the queue; a window that
// still needs painting must not keep it there for ever.
TEST(HoldToZoomEnd, DropsQueuedHotKeysAndReturnsWhileAPaintIsDue) {
  g_viewer = ViewerState{};
  ZoomThread z;
  HANDLE thread = CreateThread(nullptr, 0, ZoomWithAPaintPending, &z, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  const bool returned = WaitForSingleObject(z.done, 10000) == WAIT_OBJECT_0;
  EXPECT_TRUE(returned) << "the zoom never came back";
  if (returned) {
    EXPECT_FALSE(z.hotKeyLeft);
    EXPECT_TRUE(z.paintStillDue) << "painting is left to the window";
    WaitForSingleObject(thread, 5000);
  } else {
    TerminateThread(thread, 1);
  }
  CloseHandle(thread);
  CloseHandle(z.done);
}

TEST(VersionText, NamesBothBuildsTheSystemAndTheDriverModel) {
  g_viewer = ViewerState{};
  g_viewer.osMajor = 6;
  g_viewer.osMinor = 1;
  g_viewer.osBuild = 7601;
  g_viewer.osServicePackMajor = 1;
  g_viewer.osServicePackMinor = 0;
  char text[512];
  const char* drivers[] = {"UNDETECTED", "XDDM", "WDDM"};
  for (int32_t type = 0; type < 3; ++type) {
    g_viewer.displayDriverType = type;
    ASSERT_TRUE(FormatVersionText(590, text, sizeof text));
    EXPECT_EQ(std::string("Opticorva ORBA version: 4.0.0.1290\nORBAProc version: 2.0.0.590\n"
                          "Windows 6.1 build 7601 ServicePack 1.0\nDisplay driver type is ") +
                  drivers[type] + ".",
              text);
  }
  EXPECT_FALSE(FormatVersionText(590, text, 40)) << "a text that does not fit is not shown cut";
  g_viewer = ViewerState{};
}

}  // namespace
