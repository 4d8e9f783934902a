// Finding the running ZoomText and its version, with the system played by a
// stand-in; and the version texts of its registry.
#include <gtest/gtest.h>

#include "FakeSystem.h"
#include "ZoomTextSimClient.h"
#include "orba/ZoomTextCctv.h"
#include "orba/zoomtext/Detection.h"

namespace {

using zoomtext::DetectRunningZoomText;
using zoomtext::GetRunningZoomTextVersion;
using zoomtext_test::FakeSystem;

constexpr zoomtext::Version kMinimum{9, 3};

TEST(ZoomTextDetection, FamiliesInProbeOrder) {
  FakeSystem system;
  EXPECT_EQ(0, DetectRunningZoomText());
  system.AddWindow(L"ZXWIN32", L"");
  EXPECT_EQ(7, DetectRunningZoomText());
  system.AddWindow(L"Zxwin", L"");
  EXPECT_EQ(6, DetectRunningZoomText());
  system.AddWindow(L"Ztwin", L"Other");
  EXPECT_EQ(5, DetectRunningZoomText());
  system.windows[L"Ztwin"].title = L"Ztwin";
  EXPECT_EQ(1, DetectRunningZoomText());
  system.mutexes.insert(L"zxMutex8");
  EXPECT_EQ(8, DetectRunningZoomText());
  system.mutexes.insert(L"zxMutex9");
  EXPECT_EQ(9, DetectRunningZoomText());
  system.mutexes.insert(L"zxMutex100");
  EXPECT_EQ(10, DetectRunningZoomText());
  EXPECT_EQ(0, system.queries) << "detection only looks";
}

TEST(ZoomTextDetection, RunningVersionAgainstTheMinimum) {
  FakeSystem system;
  int major = -1, minor = -1;
  EXPECT_EQ(203, GetRunningZoomTextVersion(kMinimum, &major, &minor)) << "nothing runs";

  system.RunZoomText(8, 0x08000000);
  EXPECT_EQ(202, GetRunningZoomTextVersion(kMinimum, &major, &minor));
  EXPECT_EQ(0, system.queries) << "ZoomText 8 is too old to be asked";
  EXPECT_EQ(0, major);
  EXPECT_EQ(0, minor);

  FakeSystem older;
  older.AddWindow(L"Ztwin", L"Other");
  EXPECT_EQ(202, GetRunningZoomTextVersion(kMinimum, nullptr, nullptr));

  FakeSystem nine;
  nine.RunZoomText(9, 0x09020500);
  EXPECT_EQ(202, GetRunningZoomTextVersion(kMinimum, &major, &minor)) << "9.2 is below 9.3";
  EXPECT_EQ(9, major);
  EXPECT_EQ(2, minor);
  EXPECT_EQ(static_cast<UINT>(RegisterWindowMessageW(L"WM_GETVER_ZXP")), nine.lastMessage);
  nine.replies.begin()->second = 0x09030000;
  EXPECT_EQ(0, GetRunningZoomTextVersion(kMinimum, &major, &minor));

  FakeSystem silent;
  silent.RunZoomText(10, 0);
  silent.AddWindow(L"Zt10MainWindow", L"ZoomText", 0);  // a window that answers nothing
  EXPECT_EQ(203, GetRunningZoomTextVersion(kMinimum, &major, &minor));

  FakeSystem noWindow;
  noWindow.RunZoomText(10, 0);
  EXPECT_EQ(202, GetRunningZoomTextVersion(kMinimum, &major, &minor)) << "the code stands in";
}

struct VersionCase {
  int family;
  uint32_t reply;
  uint32_t version;
};

TEST(ZoomTextDetection, ReportedVersionNumbers) {
  const VersionCase cases[] = {
      {9, 0x090B0100, 911}, {9, 0x090B0200, 9112},  {9, 0x090B0300, 9113},
      {9, 0x090C0000, 912}, {10, 0x0A000000, 1000}, {9, 0, 0},
  };
  for (const VersionCase& c : cases) {
    FakeSystem system;
    system.RunZoomText(c.family, c.reply);
    if (!c.reply) system.AddWindow(L"Zt9MainWindow", L"ZoomText", 0);
    ZoomTextInfo info = {sizeof info, 0, 0x77};
    EXPECT_EQ(0, GetZoomTextVersion(&info));
    EXPECT_EQ(c.version, info.version) << std::hex << c.reply;
    EXPECT_EQ(0u, info.magnifying) << "cleared; no command library answered";
  }
  FakeSystem windowless;
  windowless.RunZoomText(10, 0);
  ZoomTextInfo info = {sizeof info, 0, 0};
  EXPECT_EQ(0, GetZoomTextVersion(&info));
  EXPECT_EQ(1000u, info.version);

  FakeSystem eight;
  eight.RunZoomText(8, 0x08000000);
  info = {sizeof info, 0, 0x5A};
  EXPECT_EQ(0, GetZoomTextVersion(&info));
  EXPECT_EQ(800u, info.version);
  EXPECT_EQ(0x5Au, info.magnifying) << "left as the caller set it";
}

TEST(ZoomTextVersionText, RegistryNumbers) {
  EXPECT_EQ(918, zoomtext::ParseZoomTextVersion(L"9.18"));
  EXPECT_EQ(1002, zoomtext::ParseZoomTextVersion(L"10.2"));
  EXPECT_EQ(918, zoomtext::ParseZoomTextVersion(L"9.18.2"));
  EXPECT_EQ(901, zoomtext::ParseZoomTextVersion(L"9.1a"));
  for (const wchar_t* bad :
       {L"10", L"", L"abc", L"v9.1", L"9.", L"9.x", L".5", L"99999999999.1", L"9.99999999999"}) {
    EXPECT_EQ(0, zoomtext::ParseZoomTextVersion(bad)) << bad;
  }
  EXPECT_EQ(0, zoomtext::ParseZoomTextVersion(nullptr));
}

TEST(ZoomTextVersionText, CutAtTheSecondDot) {
  wchar_t out[8];
  ASSERT_TRUE(zoomtext::CutAtSecondDot(L"9.18.2", out, 8));
  EXPECT_STREQ(L"9.18", out);
  ASSERT_TRUE(zoomtext::CutAtSecondDot(L"10", out, 8));
  EXPECT_STREQ(L"10", out);
  wchar_t tiny[4] = {L'#', L'#', L'#', L'#'};
  EXPECT_FALSE(zoomtext::CutAtSecondDot(L"10.25.1", tiny, 4)) << "never past the buffer";
  EXPECT_STREQ(L"", tiny);
}

TEST(ZoomTextPlatform, ArchitectureAndView) {
#if defined(_WIN64)
  EXPECT_EQ(2, zoomtext::GetWindowsArchitecture());
  EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_32KEY), zoomtext::ZoomTextRegistryView())
      << "ZoomText's keys live in the 32-bit view";
#endif
  FakeSystem system;
  EXPECT_FALSE(zoomtext::IsWindowsXP());
  system.xp = true;
  EXPECT_TRUE(zoomtext::IsWindowsXP());
}

}  // namespace

namespace {

using zoomtext_sim::Family;

// The real system's probes against the simulated ZoomText process.
TEST(ZoomTextRunning, ProcessIsSeenAndAnswers) {
  zoomtext_sim::ZoomTextSim sim;
  zoomtext_sim::SimOptions options;
  options.reply = 0x090C0000;  // 9.12
  options.family = Family::kZt9;
  ASSERT_TRUE(sim.Start(options)) << sim.Error();
  EXPECT_EQ(9, DetectRunningZoomText());
  int major = 0, minor = 0;
  EXPECT_EQ(0, GetRunningZoomTextVersion({9, 4}, &major, &minor));
  EXPECT_EQ(9, major);
  EXPECT_EQ(12, minor);
  ZoomTextInfo info = {sizeof info, 0, 0};
  ASSERT_EQ(0, GetZoomTextVersion(&info));
  EXPECT_EQ(912u, info.version);
  EXPECT_EQ(3u, sim.VersionQueries());
  sim.Stop();
  EXPECT_EQ(0, DetectRunningZoomText());
}

TEST(ZoomTextRunning, RefusedMutexAndOlderWindowFamilies) {
  zoomtext_sim::ZoomTextSim denied;
  zoomtext_sim::SimOptions options;
  options.family = Family::kZt9;
  options.denyMutex = true;
  ASSERT_TRUE(denied.Start(options)) << denied.Error();
  EXPECT_EQ(0, DetectRunningZoomText()) << "a mutex that may not be opened is not seen";
  zoomtext_sim::ZoomTextSim older;
  options = zoomtext_sim::SimOptions();
  options.family = Family::kZtwin;
  ASSERT_TRUE(older.Start(options)) << older.Error();
  EXPECT_EQ(5, DetectRunningZoomText());
  EXPECT_EQ(202, GetRunningZoomTextVersion({9, 3}, nullptr, nullptr));
}

TEST(ZoomTextRunning, HungMainWindowCountsAsNotAnswering) {
  zoomtext_sim::ZoomTextSim sim;
  zoomtext_sim::SimOptions options;
  options.hung = true;
  ASSERT_TRUE(sim.Start(options)) << sim.Error();
  EXPECT_EQ(203, GetRunningZoomTextVersion({9, 3}, nullptr, nullptr));
  ZoomTextInfo info = {sizeof info, 77, 1};
  ASSERT_EQ(0, GetZoomTextVersion(&info));
  EXPECT_EQ(0u, info.version);
  EXPECT_EQ(0u, info.magnifying);
  EXPECT_EQ(0u, sim.VersionQueries());
}

}  // namespace
