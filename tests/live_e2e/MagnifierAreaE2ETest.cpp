// The viewer beside a running ZoomText whose CCTV renderer is not installed:
// the viewer asks ZoomText for its version and magnification at every start-up
// pass, restarts on ZoomText's broadcast, and, drawing the picture itself,
// tells ZoomText through the filter which part of the screen each layout takes.
// (A Kavrelo magnifier's viewport needs its display driver, which only the
// filter's in-process tests can stand in for.)
#include "LiveViewerTest.h"
#include "KavreloSimClient.h"
#include "ZoomTextSimClient.h"

namespace live_test {
namespace {

using zoomtext_sim::ZxCall;

class LiveZoomTextCctvTest : public LiveViewerTest {
 protected:
  void SetUp() override {
    LiveViewerTest::SetUp();
    ASSERT_TRUE(install_.AddVersion(L"10.0", L"10.0", 0));
    ASSERT_TRUE(sim_.Start()) << sim_.Error();
  }
  // The viewer process's calls of one Api code.
  std::vector<ZxCall> ViewerCalls(int code) const {
    std::vector<ZxCall> out;
    for (const ZxCall& call : install_.Calls(L"10.0")) {
      if (call.pid == viewer_.pid() && call.entry == "ZxCommandApi" && call.code == code) {
        out.push_back(call);
      }
    }
    return out;
  }
  // The area types the viewer has set so far, in order.
  std::vector<uint32_t> AreaTypes() const {
    std::vector<uint32_t> types;
    for (const ZxCall& call : ViewerCalls(1033)) types.push_back(call.record.type);
    return types;
  }
  ::testing::AssertionResult WaitForAreaTypes(size_t count) const {
    if (WaitUntil([&] { return AreaTypes().size() >= count; }, kStepTimeoutMs)) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << AreaTypes().size() << " area calls, expected " << count;
  }
  uint32_t WindowValue() const {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Window()));
  }

  zoomtext_sim::ZoomTextInstall install_;
  zoomtext_sim::ZoomTextSim sim_;
};

TEST_F(LiveZoomTextCctvTest, StartupAsksZoomTextAndRestartsOnItsBroadcast) {
  ASSERT_TRUE(StartViewer());
  EXPECT_GE(sim_.VersionQueries(), 1u) << "the start-up version query reaches ZoomText's window";
  const size_t magnifyQueries = ViewerCalls(214).size();
  EXPECT_GE(magnifyQueries, 1u) << "the viewer's process asks the command library";

  const HWND first = Window();
  const uint32_t queries = sim_.VersionQueries();
  ASSERT_TRUE(sim_.Broadcast());
  ASSERT_NE(nullptr, viewer_.WaitForNewViewerWindow(first, kStartTimeoutMs));
  EXPECT_TRUE(viewer_.IsRunning()) << "the same process goes on";
  EXPECT_TRUE(WaitUntil([&] { return sim_.VersionQueries() > queries; }, kStepTimeoutMs))
      << "the new pass asks again";
  EXPECT_GT(ViewerCalls(214).size(), magnifyQueries);
  ASSERT_TRUE(EndViewer());
}

TEST_F(LiveZoomTextCctvTest, LayoutKeysTellZoomTextTheAreaAndTheEndGivesItBack) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForAreaTypes(1));
  const ZxCall start = ViewerCalls(1033).front();
  EXPECT_EQ(2u, start.record.type) << "the window starts full screen";
  EXPECT_EQ(WindowValue(), start.record.owner) << "the viewer window owns the area";
  EXPECT_EQ(viewer_.pid(), start.record.video);

  // Y: top, bottom; A: right, left; M: hidden (the area only goes), full; S: top.
  const struct {
    UINT id;
    UINT vk;
    bool setsArea;
  } keys[] = {{1108, 'Y', true},  {1108, 'Y', true}, {1109, 'A', true}, {1109, 'A', true},
              {1110, 'M', false}, {1110, 'M', true}, {1107, 'S', true}};
  size_t expected = 1;
  for (const auto& key : keys) {
    const size_t removes = ViewerCalls(1024).size();
    ASSERT_TRUE(PostHotKey(key.id, key.vk));
    // Every layout first takes the old area back.
    ASSERT_TRUE(WaitUntil([&] { return ViewerCalls(1024).size() > removes; }, kStepTimeoutMs));
    if (key.setsArea) {
      ASSERT_TRUE(WaitForAreaTypes(++expected));
    }
  }
  EXPECT_EQ((std::vector<uint32_t>{2, 4, 6, 5, 3, 2, 4}), AreaTypes());
  for (const ZxCall& call : ViewerCalls(1033)) EXPECT_EQ(WindowValue(), call.record.owner);

  const size_t removes = ViewerCalls(1024).size();
  const uint32_t owner = WindowValue();
  ASSERT_TRUE(EndViewer());
  const std::vector<ZxCall> after = ViewerCalls(1024);
  ASSERT_GT(after.size(), removes) << "the end removes the area";
  EXPECT_EQ(owner, after.back().record.owner);
  EXPECT_EQ(7u, AreaTypes().size()) << "and sets none";
}

TEST_F(LiveZoomTextCctvTest, WithMagnificationOffNoAreaIsSet) {
  ASSERT_TRUE(install_.SetAnswer(L"10.0", "magnifying", 0));
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(PostHotKey(1108, 'Y'));
  ASSERT_TRUE(WaitUntil([&] { return CountCode(CameraCodes(), "6E 1C") >= 1; }, kStepTimeoutMs));
  const size_t removes = ViewerCalls(1024).size();
  ASSERT_TRUE(EndViewer());
  EXPECT_TRUE(ViewerCalls(1033).empty());
  EXPECT_GT(ViewerCalls(1024).size(), removes) << "the area is still given back";
}

// A ZoomText whose window never answers: the viewer still comes up and its
// keys still work.
TEST_F(LiveZoomTextCctvTest, HungZoomTextDoesNotHoldTheViewerUp) {
  sim_.Stop();
  zoomtext_sim::SimOptions hung;
  hung.hung = true;
  ASSERT_TRUE(sim_.Start(hung)) << sim_.Error();
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(PostHotKey(1108, 'Y'));
  EXPECT_TRUE(
      WaitForWindowRect({0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) / 2}));
  EXPECT_TRUE(ViewerCalls(1033).empty()) << "a silent ZoomText counts as not running";
  ASSERT_TRUE(EndViewer());
}

// A Kavrelo control window whose thread never answers: start-up waits for it
// only as long as its time-out, and the viewer comes up with working keys.
TEST_F(LiveViewerTest, HungKavreloDoesNotHoldTheViewerUp) {
  kavrelo_sim::KavreloSim kavrelo;
  kavrelo_sim::SimOptions hung;
  hung.hung = true;
  ASSERT_TRUE(kavrelo.Start(hung)) << kavrelo.Error();
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(PostHotKey(1108, 'Y'));
  EXPECT_TRUE(
      WaitForWindowRect({0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) / 2}));
  ASSERT_TRUE(EndViewer());
  EXPECT_TRUE(kavrelo.Messages().empty()) << "the hung magnifier took nothing";
}

}  // namespace
}  // namespace live_test
