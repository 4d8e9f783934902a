// The viewer's capture graph as a graph tool and a person in front of the
// screen see it: its filters through the running-object table, and the camera's
// page in the viewer window.
#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>

#include "GraphExpectations.h"
#include "LiveViewerTest.h"
#include "ResourceCounts.h"
#include "simcam/SimCamFrames.h"
#include "simcam/SimCamIds.h"

namespace live_test {
namespace {

TEST_F(LiveViewerTest, GraphToolsSeeTheCameraBranchAndTheMixingRenderer) {
  ASSERT_TRUE(StartViewer());
  const auto names = RotGraphNames(viewer_.pid());
  ASSERT_EQ(1u, names.size());
  char tail[32];
  std::snprintf(tail, sizeof tail, " pid %08lx", static_cast<unsigned long>(viewer_.pid()));
  EXPECT_EQ(0u, names[0].find("FilterGraph ")) << names[0];
  EXPECT_EQ(std::string("FilterGraph 12345678").size() + std::string(tail).size(), names[0].size())
      << names[0];
  EXPECT_NE(std::string::npos, names[0].find(tail)) << names[0];

  std::vector<GraphFilter> filters;
  ASSERT_TRUE(ListGraphFilters(viewer_.pid(), &filters));
  ExpectMixingRendererGraph(filters);
  ASSERT_TRUE(EndViewer());
  EXPECT_TRUE(RotGraphNames(viewer_.pid()).empty());
}

TEST_F(LiveViewerTest, RestartBuildsOneNewGraphAndKeepsTheLayout) {
  ASSERT_TRUE(StartViewer());
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  ASSERT_TRUE(PostHotKey(1109, 'A'));
  ASSERT_TRUE(WaitForWindowRect({w / 2, 0, w / 2 + w, h}));
  const HWND first = Window();
  ASSERT_TRUE(simcam::ResetLog());
  ASSERT_TRUE(viewer_.PostZoomTextStateChange());
  const HWND second = viewer_.WaitForNewViewerWindow(first, kStartTimeoutMs);
  ASSERT_NE(nullptr, second);
  EXPECT_TRUE(WaitForWindowRect({w / 2, 0, w / 2 + w, h})) << "back in the right half";
  ASSERT_TRUE(WaitForCodes([](const std::vector<std::string>& c) { return c.size() >= 4; },
                           kStepTimeoutMs));
  EXPECT_EQ((std::vector<std::string>{"F0 05", "F0 02", "F0 04", "F0 09"}), CameraCodes());
  ASSERT_TRUE(WaitUntil([&] { return RotGraphNames(viewer_.pid()).size() == 1; }, kStepTimeoutMs))
      << "only the new pass's graph is registered";
  std::vector<GraphFilter> filters;
  ASSERT_TRUE(ListGraphFilters(viewer_.pid(), &filters));
  ExpectMixingRendererGraph(filters);
  // The right/left toggle survived: the next A goes to the left half.
  ASSERT_TRUE(PostHotKey(1109, 'A'));
  EXPECT_TRUE(WaitForWindowRect({0, 0, w / 2, h}));
  ASSERT_TRUE(EndViewer());
}

// Restarts through ZoomText's broadcast, the way a ZoomText that changes its
// state all day makes them: the viewer's handles, objects and memory stay flat,
// beyond what Wine itself keeps for each graph and camera binding, measured
// first in this process. (The recording tests restart it while recording.)
TEST_F(LiveViewerTest, IdleRestartsLeakNothing) {
  ASSERT_TRUE(StartViewer());
  HWND window = Window();
  std::vector<orba_test::ResourceCounts> counts;
  orba_test::GrowthMargins margins;
  live_test::AllowPlatformCost(&margins);
  for (int restart = 0; restart < 100; ++restart) {
    ASSERT_TRUE(viewer_.PostZoomTextStateChange());
    const HWND next = viewer_.WaitForNewViewerWindow(window, kStartTimeoutMs);
    ASSERT_NE(nullptr, next) << "restart " << restart;
    window = next;
    ASSERT_TRUE(WaitUntil([&] { return RotGraphNames(viewer_.pid()).size() == 1; }, kStepTimeoutMs))
        << "restart " << restart;
    orba_test::ResourceCounts c;
    ASSERT_TRUE(orba_test::ReadResourceCounts(viewer_.process(), &c));
    counts.push_back(c);
    if (restart % 10 == 9) {
      std::printf("restart %d: %lu handles, %lu KiB private\n", restart + 1, c.handles,
                  static_cast<unsigned long>(c.privateBytes / 1024));
      std::fflush(stdout);
    }
  }
  EXPECT_TRUE(orba_test::NoSteadyGrowth("viewer restarts, idle", counts, margins));
  ASSERT_TRUE(EndViewer());
}

// The frame as the camera made it, in grey, 1280 x 720.
bool DecodeGrey(const std::vector<uint8_t>& jpeg, std::vector<uint8_t>* grey) {
  tjhandle decoder = tjInitDecompress();
  if (!decoder) return false;
  grey->resize(static_cast<size_t>(simcam::kWidth) * simcam::kHeight);
  const int rc = tjDecompress2(decoder, jpeg.data(), static_cast<unsigned long>(jpeg.size()),
                               grey->data(), simcam::kWidth, 0, simcam::kHeight, TJPF_GRAY, 0);
  tjDestroy(decoder);
  return rc == 0;
}

std::vector<double> GreyBlockMeans(const std::vector<uint8_t>& grey, int width, const RECT& area,
                                   int columns, int rows) {
  Screenshot asShot;
  asShot.width = width;
  asShot.height = static_cast<int>(grey.size() / width);
  asShot.bgr.resize(grey.size() * 3);
  for (size_t i = 0; i < grey.size(); ++i) {
    asShot.bgr[i * 3] = asShot.bgr[i * 3 + 1] = asShot.bgr[i * 3 + 2] = grey[i];
  }
  return BlockMeans(asShot, area, columns, rows);
}

TEST_F(LiveViewerTest, TheCamerasPageFillsTheViewerWindow) {
  ASSERT_TRUE(StartViewer());
  const HWND window = Window();
  const RECT full = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  ASSERT_TRUE(WaitForWindowRect(full));

  // The page's printed lines fill the upper half of every frame; the counter
  // below them changes from frame to frame and is left out.
  simcam::FrameGenerator generator;
  ASSERT_TRUE(generator.Ok());
  std::vector<uint8_t> jpeg, grey;
  ASSERT_TRUE(generator.Generate(1, {}, &jpeg));
  ASSERT_TRUE(DecodeGrey(jpeg, &grey));
  constexpr int kColumns = 32, kRows = 8;
  const RECT frameTop = {0, 0, simcam::kWidth, simcam::kHeight / 2};
  const auto expected = GreyBlockMeans(grey, simcam::kWidth, frameTop, kColumns, kRows);
  const RECT screenTop = {0, 0, full.right, full.bottom / 2};

  double best = -1;
  Screenshot shot;
  const bool shown = WaitUntil(
      [&] {
        if (!CaptureScreen(&shot)) return false;
        best = std::max(best, Correlation(BlockMeans(shot, screenTop, kColumns, kRows), expected));
        return best > 0.9;
      },
      kStepTimeoutMs);
  EXPECT_TRUE(shown) << "best correlation with the camera's page " << best;
  // A picture that happens to correlate must still look like the page: light
  // paper (the frame's mean) with dark print.
  const auto seen = BlockMeans(shot, screenTop, kColumns, kRows);
  double seenMean = 0, expectedMean = 0;
  for (size_t i = 0; i < seen.size(); ++i) {
    seenMean += seen[i] / seen.size();
    expectedMean += expected[i] / expected.size();
  }
  EXPECT_NEAR(expectedMean, seenMean, 25.0);
  EXPECT_TRUE(IsWindowVisible(window));
}

}  // namespace
}  // namespace live_test
