// The viewer beside ZoomText: with ZoomText's CCTV renderer (the registered
// stand-in) compatible and enabled, the picture goes to it and the layouts
// become placements of ZoomText's area; otherwise the viewer draws itself.
#include "GraphExpectations.h"
#include "LiveViewerTest.h"
#include "ZtRendererSimClient.h"

namespace live_test {
namespace {

using zt_renderer_sim::LogRecord;
using zt_renderer_sim::RendererOptions;
using zt_renderer_sim::ScopedZtRenderer;
namespace zt = zt_renderer_sim;

int W() { return GetSystemMetrics(SM_CXSCREEN); }
int H() { return GetSystemMetrics(SM_CYSCREEN); }
constexpr long kCw = simcam::kWidth;
constexpr long kCh = simcam::kHeight;

std::string Describe(const std::vector<LogRecord>& records) {
  std::string out;
  for (const LogRecord& r : records) {
    if (!out.empty()) out += ' ';
    out += std::to_string(r.slot) + '(';
    for (size_t i = 0; i < r.args.size(); ++i) out += (i ? "," : "") + std::to_string(r.args[i]);
    out += ')';
  }
  return out;
}

LogRecord Rec(int slot, std::vector<long> args = {}) {
  LogRecord r;
  r.slot = slot;
  r.args = std::move(args);
  return r;
}

// Area, size and camera part of one placement.
std::vector<LogRecord> Placement(long l, long t, long r, long b, long cw, long ch) {
  return {Rec(zt::kSlotSetArea, {l, t, r, b}), Rec(zt::kSlotSetAreaSize, {r - l, b - t}),
          Rec(zt::kSlotSetCameraPart, {0, 0, cw, ch})};
}

std::vector<LogRecord> Concat(std::vector<LogRecord> a, const std::vector<LogRecord>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Slots and arguments only: which process wrote a record is checked apart.
::testing::AssertionResult SameCalls(const std::vector<LogRecord>& expected,
                                     const std::vector<LogRecord>& seen) {
  bool same = expected.size() == seen.size();
  for (size_t i = 0; same && i < seen.size(); ++i) {
    same = expected[i].slot == seen[i].slot && expected[i].args == seen[i].args;
  }
  if (same) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "expected " << Describe(expected) << "\n    seen " << Describe(seen);
}

size_t IndexOf(const std::vector<LogRecord>& records, int slot, size_t nth = 0) {
  for (size_t i = 0; i < records.size(); ++i) {
    if (records[i].slot == slot && nth-- == 0) return i;
  }
  return records.size();
}

class LiveZoomTextTest : public LiveViewerTest {
 protected:
  // Waits until the control calls made so far number at least count.
  std::vector<LogRecord> WaitForCalls(const ScopedZtRenderer& renderer, size_t count) {
    std::vector<LogRecord> calls;
    WaitUntil(
        [&] {
          calls = renderer.Log().Calls();
          return calls.size() >= count;
        },
        kStepTimeoutMs);
    Sleep(100);  // nothing more may follow
    return renderer.Log().Calls();
  }
  // A hot key, then the calls it made on the renderer (at least count of them).
  std::vector<LogRecord> KeyCalls(const ScopedZtRenderer& renderer, UINT id, UINT vk,
                                  size_t count) {
    EXPECT_TRUE(renderer.Log().Clear());
    EXPECT_TRUE(PostHotKey(id, vk));
    return WaitForCalls(renderer, count);
  }
};

TEST_F(LiveZoomTextTest, CompatibleRendererDrawsThePictureFullScreenAlreadyRunning) {
  ScopedZtRenderer renderer;
  ASSERT_TRUE(renderer.ok());
  ASSERT_TRUE(StartViewer());
  EXPECT_TRUE(WaitForWindowRect({0, 0, 1, 1})) << "the viewer's own window shrinks away";
  ASSERT_TRUE(renderer.Log().WaitFor(zt::kEventFirstSample, 1, kStepTimeoutMs));

  const auto records = renderer.Log().Read();
  for (const auto& r : records) EXPECT_EQ(viewer_.pid(), r.pid) << Describe({r});
  // The graph runs before the full-screen placement that ends the graph's
  // construction: it is already running when that returns.
  const size_t run = IndexOf(records, zt::kEventRun);
  ASSERT_LT(run, records.size());
  EXPECT_LT(run, IndexOf(records, zt::kSlotSetArea)) << Describe(records);
  EXPECT_EQ(records.size(), IndexOf(records, zt::kEventRun, 1)) << "run once";
  // Full screen, shown already: no show call.
  EXPECT_TRUE(SameCalls(Concat({Rec(zt::kSlotIsCompatible), Rec(zt::kSlotIsEnabled)},
                               Placement(0, 0, W(), H(), kCw, kCh)),
                        renderer.Log().Calls()));

  std::vector<GraphFilter> filters;
  ASSERT_TRUE(ListGraphFilters(viewer_.pid(), &filters));
  ExpectZoomTextRendererGraph(filters);

  // At the end the area is hidden before the graph stops, and the renderer is
  // let go of entirely.
  ASSERT_TRUE(EndViewer());
  const auto end = renderer.Log().Read();
  const size_t hide = IndexOf(end, zt::kSlotShowArea);
  ASSERT_LT(hide, end.size()) << Describe(end);
  EXPECT_EQ(std::vector<long>{0}, end[hide].args);
  EXPECT_LT(hide, IndexOf(end, zt::kEventStopped)) << Describe(end);
  EXPECT_LT(IndexOf(end, zt::kEventDestroyed), end.size()) << Describe(end);
}

TEST_F(LiveZoomTextTest, LayoutKeysPlaceZoomTextsArea) {
  ScopedZtRenderer renderer;
  ASSERT_TRUE(renderer.ok());
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(renderer.Log().WaitFor(zt::kEventFirstSample, 1, kStepTimeoutMs));
  const int w = W(), h = H();

  // Right half: the left half of the frame at its own scale, already shown.
  EXPECT_TRUE(SameCalls(Placement(w / 2, 0, w, h, kCw / 2, kCh), KeyCalls(renderer, 1109, 'A', 3)));
  EXPECT_TRUE(SameCalls({Rec(zt::kSlotShowArea, {0})}, KeyCalls(renderer, 1110, 'M', 1)));
  // After hiding, the next placement shows the area again.
  EXPECT_TRUE(
      SameCalls(Concat(Placement(0, 0, w / 2, h, kCw / 2, kCh), {Rec(zt::kSlotShowArea, {1})}),
                KeyCalls(renderer, 1109, 'A', 4)));
  EXPECT_TRUE(SameCalls(Placement(0, 0, w, h / 2, kCw, kCh / 2), KeyCalls(renderer, 1108, 'Y', 3)));
  EXPECT_TRUE(SameCalls(Placement(0, h / 2, w, h, kCw, kCh / 2), KeyCalls(renderer, 1108, 'Y', 3)));
  // The cycle goes on from the bottom layout to the left one.
  EXPECT_TRUE(SameCalls(Placement(0, 0, w / 2, h, kCw / 2, kCh), KeyCalls(renderer, 1107, 'S', 3)));
  // M after its hide: full screen, moved only, since the area is shown.
  EXPECT_TRUE(SameCalls(Placement(0, 0, w, h, kCw, kCh), KeyCalls(renderer, 1110, 'M', 3)));
  EXPECT_TRUE(SameCalls({Rec(zt::kSlotShowArea, {0})}, KeyCalls(renderer, 1110, 'M', 1)));
  // The viewer's own window stays out of the way throughout.
  EXPECT_TRUE(WaitForWindowRect({0, 0, 1, 1}));
  // Each key sent its camera command: 0x1C for halves and hiding, 0x1D for
  // the way back to full screen.
  const std::vector<std::string> codes = CameraCodes();
  ASSERT_GE(codes.size(), 8u);
  EXPECT_EQ((std::vector<std::string>{"6E 1C", "6E 1C", "6E 1C", "6E 1C", "6E 1C", "6E 1C", "6E 1D",
                                      "6E 1C"}),
            std::vector<std::string>(codes.end() - 8, codes.end()));
}

TEST_F(LiveZoomTextTest, Version1RendererIsOnlyHidden) {
  RendererOptions options;
  options.version = 1;
  ScopedZtRenderer renderer(options);
  ASSERT_TRUE(renderer.ok());
  ASSERT_TRUE(StartViewer());
  EXPECT_TRUE(WaitForWindowRect({0, 0, 1, 1}));
  ASSERT_TRUE(renderer.Log().WaitFor(zt::kEventFirstSample, 1, kStepTimeoutMs));
  EXPECT_TRUE(
      SameCalls({Rec(zt::kSlotIsCompatible), Rec(zt::kSlotIsEnabled)}, renderer.Log().Calls()))
      << "without the version-2 interface there is nothing to place";

  ASSERT_TRUE(renderer.Log().Clear());
  ASSERT_TRUE(simcam::ResetLog());
  for (UINT key : {1109u, 1108u, 1107u}) ASSERT_TRUE(PostHotKey(key, 'A'));
  ASSERT_TRUE(PostHotKey(kHotKeyG, 'G'));
  ASSERT_TRUE(WaitForCodes([](const std::vector<std::string>& c) { return c.size() >= 4; },
                           kStepTimeoutMs));
  EXPECT_TRUE(renderer.Log().Calls().empty()) << Describe(renderer.Log().Calls());
  EXPECT_TRUE(SameCalls({Rec(zt::kSlotShowArea, {0})}, KeyCalls(renderer, 1110, 'M', 1)));
}

class LiveZoomTextRefusedTest : public LiveZoomTextTest,
                                public ::testing::WithParamInterface<RendererOptions> {};

TEST_P(LiveZoomTextRefusedTest, ViewerDrawsThePictureItselfWithoutAWord) {
  ScopedZtRenderer renderer(GetParam());
  ASSERT_TRUE(renderer.ok());
  ASSERT_TRUE(StartViewer()) << "no message may be shown";
  EXPECT_TRUE(
      WaitForWindowRect({0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}));
  std::vector<GraphFilter> filters;
  ASSERT_TRUE(ListGraphFilters(viewer_.pid(), &filters));
  ExpectMixingRendererGraph(filters);
  EXPECT_TRUE(
      SameCalls({Rec(zt::kSlotIsCompatible), Rec(zt::kSlotIsEnabled)}, renderer.Log().Calls()));
  ASSERT_TRUE(EndViewer());
  EXPECT_TRUE(
      SameCalls({Rec(zt::kSlotIsCompatible), Rec(zt::kSlotIsEnabled)}, renderer.Log().Calls()))
      << "nothing is hidden in a renderer that was never used";
  EXPECT_EQ(1u, renderer.Log().Of(zt::kEventDestroyed).size());
}

RendererOptions NotCompatible() {
  RendererOptions o;
  o.compatibleRunning = false;
  return o;
}
RendererOptions NotEnabled() {
  RendererOptions o;
  o.enabled = false;
  return o;
}
INSTANTIATE_TEST_SUITE_P(NotCompatibleOrNotEnabled, LiveZoomTextRefusedTest,
                         ::testing::Values(NotCompatible(), NotEnabled()));

TEST_F(LiveZoomTextTest, RestartLetsGoOfTheOldGraphAndPlacesTheLayoutAgain) {
  ScopedZtRenderer renderer;
  ASSERT_TRUE(renderer.ok());
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(renderer.Log().WaitFor(zt::kEventFirstSample, 1, kStepTimeoutMs));
  const HWND first = Window();
  ASSERT_TRUE(viewer_.PostZoomTextStateChange());
  ASSERT_NE(nullptr, viewer_.WaitForNewViewerWindow(first, kStartTimeoutMs));
  ASSERT_TRUE(renderer.Log().WaitFor(zt::kEventFirstSample, 2, kStepTimeoutMs));
  ASSERT_TRUE(renderer.Log().WaitFor(zt::kSlotSetCameraPart, 2, kStepTimeoutMs));

  const auto records = renderer.Log().Read();
  // The first renderer is destroyed before the second is made: nothing of the
  // first pass's graph is left holding it.
  const size_t destroyed = IndexOf(records, zt::kEventDestroyed);
  EXPECT_LT(destroyed, IndexOf(records, zt::kEventCreated, 1)) << Describe(records);
  EXPECT_LT(IndexOf(records, zt::kSlotShowArea), IndexOf(records, zt::kEventStopped))
      << "hidden before the graph stops";
  EXPECT_EQ(1u, RotGraphNames(viewer_.pid()).size());

  // The new pass: full screen from the graph's construction, then layout 0.
  std::vector<LogRecord> second(records.begin() + IndexOf(records, zt::kEventCreated, 1),
                                records.end());
  std::vector<LogRecord> calls;
  for (const auto& r : second) {
    if (r.slot >= zt::kSlotSetArea && r.slot <= zt::kSlotSetCameraPart) calls.push_back(r);
  }
  EXPECT_TRUE(SameCalls(Concat(Concat({Rec(zt::kSlotIsCompatible), Rec(zt::kSlotIsEnabled)},
                                      Placement(0, 0, W(), H(), kCw, kCh)),
                               Placement(0, 0, W(), H() / 2, kCw, kCh / 2)),
                        calls));
  EXPECT_TRUE(WaitForWindowRect({0, 0, 1, 1}));
}

}  // namespace
}  // namespace live_test
