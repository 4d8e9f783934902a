// The camera command protocol: frames, packets, the property record, the
// command table and the key-driven sequences.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "CameraCommands.h"
#include "SpyPropertySet.h"
#include "RegistrySnapshot.h"
#include "Settings.h"
#include "ViewerState.h"
#include "orba/SettingsKey.h"

namespace {

class CameraProtocol : public ::testing::Test {
 protected:
  void SetUp() override { g_viewer.pCameraControl = &camera_; }
  void TearDown() override { g_viewer.pCameraControl = nullptr; }

  // The frames of all sends recorded so far, in order.
  std::vector<std::vector<uint8_t>> SentFrames() {
    std::vector<std::vector<uint8_t>> frames;
    for (size_t i = 0; i + 5 <= camera_.calls.size(); i += 5) {
      uint8_t frame[10];
      uint16_t sum = 0;
      EXPECT_TRUE(DecodeFrame(camera_.calls, i, frame, &sum));
      frames.emplace_back(frame, frame + 10);
    }
    EXPECT_EQ(0u, camera_.calls.size() % 5) << "every send is 4 writes and 1 read";
    return frames;
  }
  // The command codes of the sends, as (class, code).
  std::vector<std::pair<int, int>> SentCodes() {
    std::vector<std::pair<int, int>> codes;
    for (const auto& f : SentFrames()) codes.emplace_back(f[0], f[8]);
    return codes;
  }

  SpyPropertySet camera_;
};

TEST_F(CameraProtocol, ZoomTeleSendsTheWorkedExampleThenReadsTheZoomBack) {
  ZoomTele();
  ASSERT_EQ(5u, camera_.calls.size());
  const uint32_t value1[] = {0x16E01, 0x00002, 0x30C03, 0x30C03};
  const uint32_t value2[] = {0x5C286, 0x03004, 0x4028A, 0x4028A};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const KsCall& c = camera_.calls[i];
    EXPECT_TRUE(c.isSet);
    EXPECT_TRUE(IsEqualGUID(kPropSetCameraControl, c.set));
    EXPECT_EQ(9u, c.id);
    EXPECT_TRUE(c.instanceIsData);
    EXPECT_EQ(40u, c.instanceBytes);
    EXPECT_EQ(40u, c.dataBytes);
    const auto r = c.Record();
    EXPECT_EQ(value1[i], static_cast<uint32_t>(r.Value1));
    EXPECT_EQ(value2[i], static_cast<uint32_t>(r.Value2));
    EXPECT_EQ(2u, r.Flags);
    EXPECT_EQ(2u, r.Capabilities);
    // The property header travels as zeros: set and id are the call's arguments.
    for (size_t b = 0; b < 24; ++b) EXPECT_EQ(0, c.data[b]) << "header byte " << b;
  }
  const KsCall& read = camera_.calls[4];
  EXPECT_FALSE(read.isSet);
  EXPECT_TRUE(IsEqualGUID(kPropSetCameraControl, read.set));
  EXPECT_EQ(3u, read.id);
  EXPECT_FALSE(read.hasInstance);
  EXPECT_EQ(0u, read.instanceBytes);
  EXPECT_EQ(40u, read.dataBytes);
}

TEST_F(CameraProtocol, ControlFrameFourCarriesItsSumInTheThirdPacket) {
  CameraStartCommand();
  ASSERT_EQ(5u, camera_.calls.size());
  const auto third = camera_.calls[2].Record();
  EXPECT_EQ(0x00403, third.Value1);
  EXPECT_EQ(0x000F4, third.Value2);
  uint8_t frame[10];
  uint16_t sum = 0;
  ASSERT_TRUE(DecodeFrame(camera_.calls, 0, frame, &sum));
  EXPECT_EQ(0x00F4, sum);
  const uint8_t expected[10] = {0xF0, 0, 0, 0, 0, 0, 0, 0, 0x04, 0};
  EXPECT_EQ(0, memcmp(expected, frame, 10));
}

TEST_F(CameraProtocol, EveryOperationSendsItsTableFrame) {
  struct Row {
    HRESULT (*op)();
    int frameClass;
    int code;
  };
  const Row rows[] = {
      {CameraKeyF1Command, 0x6E, 0x01},
      {CameraKeyF3Command, 0x6E, 0x02},
      {CameraKeyF2Command, 0x6E, 0x03},
      {ZoomWide, 0x6E, 0x0B},
      {ZoomTele, 0x6E, 0x0C},
      {ZoomStop, 0x6E, 0x0D},
      {CameraKeyCCommand, 0x6E, 0x0E},
      {CameraKeyVCommand, 0x6E, 0x0F},
      {CameraReleaseCommand, 0x6E, 0x10},
      {CameraKeyTCommand, 0x6E, 0x11},
      {CameraKeyZCommand, 0x6E, 0x1B},
      {CameraHalfLayoutCommand, 0x6E, 0x1C},
      {CameraFullLayoutCommand, 0x6E, 0x1D},
      {CameraFrameSkippingOff, 0xF0, 0x02},
      {CameraFrameSkippingOn, 0xF0, 0x03},
      {CameraStartCommand, 0xF0, 0x04},
      {CameraEndCommand, 0xF0, 0x05},
      {CameraKeyGCommand, 0xF0, 0x08},
      {CameraKeyHCommand, 0xF0, 0x09},
      {CameraKeyDeleteCommand, 0xF0, 0xFE},
      {CameraKeyInsertCommand, 0xF0, 0xFF},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << std::hex << row.frameClass << " " << row.code);
    camera_.calls.clear();
    row.op();
    ASSERT_EQ(5u, camera_.calls.size());
    uint8_t frame[10];
    uint16_t sum = 0;
    ASSERT_TRUE(DecodeFrame(camera_.calls, 0, frame, &sum));
    EXPECT_EQ(row.frameClass, frame[0]);
    EXPECT_EQ(row.code, frame[8]);
    unsigned total = 0;
    for (uint8_t b : frame) total += b;
    EXPECT_EQ(total, sum);
    if (row.frameClass == 0x6E) {
      const uint8_t header[8] = {0x6E, 0x51, 0x86, 0xC2, 0x00, 0x00, 0x04, 0x30};
      EXPECT_EQ(0, memcmp(header, frame, 8));
      EXPECT_EQ(0x4F ^ row.code, frame[9]) << "check byte";
      EXPECT_EQ(row.code <= 0x0F ? 0x028A : 0x02AA, sum);
    } else {
      for (int b = 1; b < 8; ++b) EXPECT_EQ(0, frame[b]);
      EXPECT_EQ(0, frame[9]);
      EXPECT_EQ(0xF0 + row.code, sum);
    }
  }
}

TEST_F(CameraProtocol, DigitCommandsCoverCodes0x12To0x1A) {
  for (int digit = 1; digit <= 9; ++digit) CameraDigitCommand(digit);
  const auto codes = SentCodes();
  ASSERT_EQ(9u, codes.size());
  for (int digit = 1; digit <= 9; ++digit) {
    EXPECT_EQ(0x6E, codes[digit - 1].first);
    EXPECT_EQ(0x11 + digit, codes[digit - 1].second);
  }
  camera_.calls.clear();
  EXPECT_EQ(E_INVALIDARG, CameraDigitCommand(0));
  EXPECT_EQ(E_INVALIDARG, CameraDigitCommand(10));
  EXPECT_TRUE(camera_.calls.empty());
}

TEST_F(CameraProtocol, ResultIsTheReadBackAndIgnoresTheWrites) {
  camera_.setResult = E_FAIL;
  camera_.getResult = S_OK;
  EXPECT_EQ(S_OK, ZoomStop());
  camera_.getResult = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), ZoomStop());
}

TEST_F(CameraProtocol, WithoutAPropertySetNothingIsSentAndTheAnswerIsOne) {
  const CameraFrame frame = MakeCameraFrame(kCameraClass, 0x0C);
  EXPECT_EQ(1, SendCommandFrame(nullptr, frame.bytes));
  g_viewer.pCameraControl = nullptr;
  EXPECT_EQ(1, ORBA_SendCommand(frame.bytes));
  EXPECT_EQ(1, ZoomTele());
  EXPECT_TRUE(camera_.calls.empty());
}

// Keys held until a given number of Ctrl polls; sleeps are recorded, not slept.
// The clock is the number of polls, one millisecond each.
struct FakeKeys {
  std::map<int, int> downUntil;  // key -> last tick at which it is down
  int tick = 0;
  std::vector<DWORD> sleeps;

  KeyInput Input() { return KeyInput{IsDown, Record, Now, this}; }
  static ULONGLONG Now(void* ctx) {
    return static_cast<ULONGLONG>(static_cast<FakeKeys*>(ctx)->tick);
  }
  static bool IsDown(void* ctx, int vk) {
    auto* self = static_cast<FakeKeys*>(ctx);
    if (vk == VK_CONTROL) ++self->tick;
    const auto it = self->downUntil.find(vk);
    return it != self->downUntil.end() && self->tick <= it->second;
  }
  static void Record(void* ctx, DWORD ms) { static_cast<FakeKeys*>(ctx)->sleeps.push_back(ms); }
};

TEST_F(CameraProtocol, HoldToZoomZoomsUntilAKeyIsReleasedThenStopsTwice) {
  FakeKeys keys;
  keys.downUntil = {{VK_CONTROL, 5}, {VK_UP, 5}, {VK_LWIN, 5}};
  // A message waiting in the queue is discarded at the end.
  PostThreadMessageA(GetCurrentThreadId(), WM_APP + 7, 0, 0);
  HoldToZoom(true, VK_UP, keys.Input());
  const std::vector<std::pair<int, int>> expected = {{0x6E, 0x0C}, {0x6E, 0x0D}, {0x6E, 0x0D}};
  EXPECT_EQ(expected, SentCodes());
  const std::vector<DWORD> sleeps = {30, 0, 0, 0, 0, 0, 30};
  EXPECT_EQ(sleeps, keys.sleeps);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(CameraProtocol, ReleasingTheWindowsKeyFirstEndsTheZoomAtOnce) {
  FakeKeys keys;
  keys.downUntil = {{VK_CONTROL, 100}, {VK_DOWN, 100}, {VK_LWIN, 2}};
  HoldToZoom(false, VK_DOWN, keys.Input());
  const std::vector<std::pair<int, int>> expected = {{0x6E, 0x0B}, {0x6E, 0x0D}, {0x6E, 0x0D}};
  EXPECT_EQ(expected, SentCodes());
  const std::vector<DWORD> sleeps = {30, 0, 0, 30};
  EXPECT_EQ(sleeps, keys.sleeps);
}

TEST_F(CameraProtocol, HotKeyWithTheRightWindowsKeyZoomsForOneWaitOnly) {
  FakeKeys keys;
  keys.downUntil = {{VK_CONTROL, 100}, {'L', 100}, {VK_RWIN, 100}};
  HoldToZoom(true, 'L', keys.Input());
  const std::vector<DWORD> sleeps = {30, 30};
  EXPECT_EQ(sleeps, keys.sleeps);
  EXPECT_EQ(3u, SentCodes().size());
}

// A release that never arrives (a lost key-up) ends the wait after the longest hold.
TEST_F(CameraProtocol, KeysThatNeverComeUpEndTheZoomAfterTheLongestHold) {
  FakeKeys keys;
  const int forever = 1 << 30;
  keys.downUntil = {{VK_CONTROL, forever}, {VK_UP, forever}, {VK_LWIN, forever}};
  HoldToZoom(true, VK_UP, keys.Input());
  const std::vector<std::pair<int, int>> expected = {{0x6E, 0x0C}, {0x6E, 0x0D}, {0x6E, 0x0D}};
  EXPECT_EQ(expected, SentCodes());
  EXPECT_GE(static_cast<ULONGLONG>(keys.tick), kMaxKeyHoldMs);
  EXPECT_LE(static_cast<ULONGLONG>(keys.tick), kMaxKeyHoldMs + 2);
}

class PressAndReleaseTest : public CameraProtocol {
 protected:
  void SetUp() override {
    CameraProtocol::SetUp();
    window_ = CreateWindowExA(0, "STATIC", "release timer", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              nullptr, nullptr);
    ASSERT_NE(nullptr, window_);
    g_viewer.hwndViewer = window_;
  }
  void TearDown() override {
    KillTimer(window_, kReleaseTimerId);
    DestroyWindow(window_);
    g_viewer.hwndViewer = nullptr;
    CameraProtocol::TearDown();
  }
  // Waits for the release timer's message; handles it as the window would.
  bool WaitForReleaseTimer(DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < end) {
      MSG msg;
      while (PeekMessageA(&msg, window_, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_TIMER && msg.wParam == kReleaseTimerId) {
          CompleteReleaseTimer();
          return true;
        }
      }
      Sleep(5);
    }
    return false;
  }
  HWND window_ = nullptr;
};

TEST_F(PressAndReleaseTest, CommandGoesOutOnceThenTheTimerStopsAndReleases) {
  FakeKeys keys;
  keys.downUntil = {{VK_CONTROL, 50}, {'C', 50}, {VK_LWIN, 50}};
  PressAndRelease(CameraKeyCCommand, 'C', keys.Input());
  EXPECT_TRUE(keys.sleeps.empty()) << "the press loop does not yield";
  EXPECT_EQ(51, keys.tick) << "keys polled until one was up";
  const std::vector<std::pair<int, int>> pressed = {{0x6E, 0x0E}};
  EXPECT_EQ(pressed, SentCodes());
  ASSERT_TRUE(WaitForReleaseTimer(2000));
  const std::vector<std::pair<int, int>> all = {{0x6E, 0x0E}, {0x6E, 0x0D}, {0x6E, 0x10}};
  EXPECT_EQ(all, SentCodes());
  // The timer was killed: it does not fire again.
  EXPECT_FALSE(WaitForReleaseTimer(100));
}

TEST_F(PressAndReleaseTest, KeysThatNeverComeUpStillEndInTheRelease) {
  FakeKeys keys;
  const int forever = 1 << 30;
  keys.downUntil = {{VK_CONTROL, forever}, {'C', forever}, {VK_LWIN, forever}};
  PressAndRelease(CameraKeyCCommand, 'C', keys.Input());
  EXPECT_LE(static_cast<ULONGLONG>(keys.tick), kMaxKeyHoldMs + 2);
  ASSERT_TRUE(WaitForReleaseTimer(2000));
  const std::vector<std::pair<int, int>> all = {{0x6E, 0x0E}, {0x6E, 0x0D}, {0x6E, 0x10}};
  EXPECT_EQ(all, SentCodes());
}

TEST_F(PressAndReleaseTest, KeysAlreadyUpSendNoCommandButTheTimerStillReleases) {
  FakeKeys keys;
  keys.downUntil = {{VK_CONTROL, 100}, {'V', 0}, {VK_LWIN, 100}};
  PressAndRelease(CameraKeyVCommand, 'V', keys.Input());
  EXPECT_TRUE(SentCodes().empty());
  ASSERT_TRUE(WaitForReleaseTimer(2000));
  const std::vector<std::pair<int, int>> all = {{0x6E, 0x0D}, {0x6E, 0x10}};
  EXPECT_EQ(all, SentCodes());
}

TEST_F(CameraProtocol, DigitKeysDownSendTheirCommandsInAscendingOrder) {
  FakeKeys keys;
  keys.downUntil = {{'5', 1000}, {'2', 1000}};
  SendDigitCommands(keys.Input());
  const std::vector<std::pair<int, int>> expected = {{0x6E, 0x13}, {0x6E, 0x16}};
  EXPECT_EQ(expected, SentCodes());
}

class CameraSettingsSequence : public CameraProtocol {
 protected:
  orba_test::ScopedRegistryTree saved_{HKEY_CURRENT_USER, orba::kSettingsKey};
};

TEST_F(CameraSettingsSequence, StartUpFollowsTheStoredFrameSkipping) {
  ASSERT_EQ(ERROR_SUCCESS, CreateSettingsKey());
  RegDeleteKeyValueA(HKEY_CURRENT_USER, orba::kSettingsKey, kSkipFramesValue);
  g_viewer.skipFrames = 1;
  SendCameraStartupSequence();
  std::vector<std::pair<int, int>> expected = {{0xF0, 0x02}, {0xF0, 0x04}, {0xF0, 0x09}};
  EXPECT_EQ(expected, SentCodes());
  EXPECT_EQ(0, g_viewer.skipFrames) << "absent reads as off";

  camera_.calls.clear();
  const DWORD seven = 7;
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, orba::kSettingsKey, kSkipFramesValue,
                                           REG_DWORD, &seven, sizeof seven));
  SendCameraStartupSequence();
  expected = {{0xF0, 0x03}, {0xF0, 0x04}, {0xF0, 0x09}};
  EXPECT_EQ(expected, SentCodes());
  EXPECT_EQ(1, g_viewer.skipFrames);
}

TEST_F(CameraSettingsSequence, FrameSkippingKeysSendAndStoreAtOnce) {
  ASSERT_EQ(ERROR_SUCCESS, CreateSettingsKey());
  SetFrameSkipping(true);
  EXPECT_EQ(1, orba_test::ReadDwordValue(HKEY_CURRENT_USER, orba::kSettingsKey, kSkipFramesValue));
  EXPECT_EQ(1, g_viewer.skipFrames);
  SetFrameSkipping(false);
  EXPECT_EQ(0, orba_test::ReadDwordValue(HKEY_CURRENT_USER, orba::kSettingsKey, kSkipFramesValue));
  EXPECT_EQ(0, g_viewer.skipFrames);
  const std::vector<std::pair<int, int>> expected = {{0xF0, 0x03}, {0xF0, 0x02}};
  EXPECT_EQ(expected, SentCodes());
}

}  // namespace
