// The viewer's split-screen placements, sent to the ZoomText renderer stand-in
// created through COM in this process with the viewer state set up the way the
// capture graph leaves it. The test display is 1366 x 768.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "DebugOutputCapture.h"
#include "ViewerState.h"
#include "ZoomTextPlacement.h"
#include "ZtTestHelpers.h"

namespace {

using namespace zt_test;
using namespace zt_renderer_sim;

class ZtPlacement : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(com_.hr()));
    ASSERT_TRUE(renderer_.ok()) << std::hex << renderer_.registerResult();
    ASSERT_EQ(1366, GetSystemMetrics(SM_CXSCREEN)) << "the test display is 1366 x 768";
    ASSERT_EQ(768, GetSystemMetrics(SM_CYSCREEN)) << "the test display is 1366 x 768";
    saved_ = g_viewer;
    g_viewer.cameraRes = {1280, 720};
  }

  void TearDown() override {
    ReleaseRenderer();
    g_viewer = saved_;
  }

  // What the capture graph does once it chose ZoomText's renderer: version 2
  // when offered (both fields then share its one reference), else version 1.
  void AttachRenderer(int version = 2) {
    RendererOptions options;
    options.version = version;
    ASSERT_TRUE(renderer_.SetOptions(options));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ZT_CCTV_Renderer, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IBaseFilter,
                                     reinterpret_cast<void**>(&g_viewer.ZT_RenderFilter)));
    if (SUCCEEDED(g_viewer.ZT_RenderFilter->QueryInterface(
            IID_IZoomTextCCTV2, reinterpret_cast<void**>(&g_viewer.pZTCCTV2Only)))) {
      g_viewer.g_pZTCCTV2 = g_viewer.pZTCCTV2Only;
    } else {
      g_viewer.pZTCCTV2Only = nullptr;
      ASSERT_EQ(S_OK, g_viewer.ZT_RenderFilter->QueryInterface(
                          IID_IZoomTextCCTV, reinterpret_cast<void**>(&g_viewer.g_pZTCCTV2)));
    }
    g_viewer.usingZTRenderer = 1;
    g_viewer.ztAreaShown = 1;
    ASSERT_TRUE(Log().Clear());
  }

  // As the end of a pass does it: g_pZTCCTV2 once, then the filter.
  void ReleaseRenderer() {
    g_viewer.pZTCCTV2Only = nullptr;
    if (g_viewer.g_pZTCCTV2) g_viewer.g_pZTCCTV2->Release();
    g_viewer.g_pZTCCTV2 = nullptr;
    if (g_viewer.ZT_RenderFilter) g_viewer.ZT_RenderFilter->Release();
    g_viewer.ZT_RenderFilter = nullptr;
  }

  std::string Calls() const { return Describe(Log().Calls()); }
  const ZtRendererLog& Log() const { return renderer_.Log(); }

  ComScope com_;
  ScopedZtRenderer renderer_;
  ViewerState saved_ = {};
};

void ExpectArea(LONG left, LONG top, LONG right, LONG bottom) {
  EXPECT_EQ(left, g_viewer.ztArea.left);
  EXPECT_EQ(top, g_viewer.ztArea.top);
  EXPECT_EQ(right, g_viewer.ztArea.right);
  EXPECT_EQ(bottom, g_viewer.ztArea.bottom);
}

TEST_F(ZtPlacement, RightHalfShowsTheLeftHalfOfTheFrame) {
  AttachRenderer();
  ZTSetViewRight();
  EXPECT_EQ("3(683,0,1366,768) 8(683,768) 9(0,0,640,720)", Calls());
  ExpectArea(683, 0, 1366, 768);
  EXPECT_EQ(1u, g_viewer.ztAreaShown);
}

TEST_F(ZtPlacement, BottomHalfShowsTheTopHalfOfTheFrame) {
  AttachRenderer();
  ZTSetViewBottom();
  EXPECT_EQ("3(0,384,1366,768) 8(1366,384) 9(0,0,1280,360)", Calls());
  ExpectArea(0, 384, 1366, 768);
}

TEST_F(ZtPlacement, LeftTopAndFull) {
  AttachRenderer();
  ZTSetViewLeft();
  EXPECT_EQ("3(0,0,683,768) 8(683,768) 9(0,0,640,720)", Calls());
  ASSERT_TRUE(Log().Clear());
  ZTSetViewTop();
  EXPECT_EQ("3(0,0,1366,384) 8(1366,384) 9(0,0,1280,360)", Calls());
  ASSERT_TRUE(Log().Clear());
  ZTSetViewFull();
  EXPECT_EQ("3(0,0,1366,768) 8(1366,768) 9(0,0,1280,720)", Calls());
  ExpectArea(0, 0, 1366, 768);
}

TEST_F(ZtPlacement, FullRightAfterTheGraphChoseZoomTextIsNotShownAgain) {
  AttachRenderer();
  ASSERT_EQ(1u, g_viewer.ztAreaShown);
  ZTSetViewFull();
  const std::string calls = Calls();
  EXPECT_EQ("3(0,0,1366,768) 8(1366,768) 9(0,0,1280,720)", calls);
  EXPECT_EQ(std::string::npos, calls.find("4(")) << "no show call";
}

TEST_F(ZtPlacement, HideThenLeftShowsTheAreaAgain) {
  AttachRenderer();
  ZTSetViewHide();
  EXPECT_EQ("4(0)", Calls());
  EXPECT_EQ(0u, g_viewer.ztAreaShown);
  ASSERT_TRUE(Log().Clear());

  ZTSetViewLeft();
  EXPECT_EQ("3(0,0,683,768) 8(683,768) 9(0,0,640,720) 4(1)", Calls()) << "shown after placing";
  EXPECT_EQ(1u, g_viewer.ztAreaShown);
  ASSERT_TRUE(Log().Clear());

  ZTSetViewTop();
  EXPECT_EQ("3(0,0,1366,384) 8(1366,384) 9(0,0,1280,360)", Calls())
      << "consecutive placements only move and resize";
}

TEST_F(ZtPlacement, HideLeavesTheLastAreaAlone) {
  AttachRenderer();
  ZTSetViewRight();
  ZTSetViewHide();
  ExpectArea(683, 0, 1366, 768);
}

TEST_F(ZtPlacement, OddCameraHalvesRoundTowardZero) {
  g_viewer.cameraRes = {1279, 719};
  AttachRenderer();
  ZTSetViewLeft();
  ZTSetViewBottom();
  const auto parts = Log().Of(kSlotSetCameraPart);
  EXPECT_EQ("9(0,0,639,719) 9(0,0,1279,359)", Describe(parts));
}

TEST_F(ZtPlacement, LayoutsMapOntoThePlacements) {
  AttachRenderer();
  const char* expectedAreas[] = {
      "3(0,0,1366,384)", "3(0,384,1366,768)", "3(0,0,683,768)", "3(683,0,1366,768)", "",
      "3(0,0,1366,768)"};
  for (int mode = kViewTop; mode <= kViewFull; ++mode) {
    ASSERT_TRUE(Log().Clear());
    g_viewer.ztAreaShown = 1;
    ZTSetViewForMode(mode);
    EXPECT_EQ(expectedAreas[mode], Describe(Log().Of(kSlotSetArea))) << "viewMode " << mode;
    if (mode == kViewHidden) {
      EXPECT_EQ("4(0)", Calls());
    }
  }
  ASSERT_TRUE(Log().Clear());
  ZTSetViewForMode(6);
  EXPECT_EQ("", Calls()) << "an unknown layout places nothing";
}

TEST_F(ZtPlacement, Version1OnlyRendererIsOnlyHidden) {
  AttachRenderer(1);
  ASSERT_EQ(nullptr, g_viewer.pZTCCTV2Only);
  g_viewer.ztArea = {1, 2, 3, 4};
  g_viewer.ztAreaShown = 0;
  ZTSetViewLeft();
  ZTSetViewRight();
  ZTSetViewTop();
  ZTSetViewBottom();
  ZTSetViewFull();
  EXPECT_EQ("", Calls());
  ExpectArea(1, 2, 3, 4);
  EXPECT_EQ(0u, g_viewer.ztAreaShown) << "nothing was shown";

  g_viewer.ztAreaShown = 1;
  ZTSetViewHide();
  EXPECT_EQ("4(0)", Calls());
  EXPECT_EQ(0u, g_viewer.ztAreaShown);
}

TEST_F(ZtPlacement, WithoutTheRendererNothingIsCalledAndHideStillClears) {
  g_viewer.ztAreaShown = 1;
  ZTSetViewFull();
  ZTSetViewHide();  // must not fault without an interface
  EXPECT_EQ(0u, g_viewer.ztAreaShown);
}

TEST_F(ZtPlacement, DiagnosticsNameTheOperationAndTheRawScreenSize) {
  AttachRenderer();
  orba_test::DebugOutputCapture capture(orba_test::DebugOutputCapture::Threads::kThisOne);
  ASSERT_TRUE(capture.installed());
  ZTSetViewBottom();
  ZTSetViewHide();
  const auto texts = capture.Lines();
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "[%lu][%lu] ", GetCurrentProcessId(), GetCurrentThreadId());
  ASSERT_EQ(3u, texts.size());
  EXPECT_EQ(std::string(prefix) + "ZTSetViewBottom", texts[0]);
  EXPECT_EQ("screenWidth = 1366  , screenHeight = 768\n", texts[1]) << "no prefix";
  EXPECT_EQ(std::string(prefix) + "ZTSetViewHide", texts[2]) << "hide writes no screen line";
}

TEST_F(ZtPlacement, DiagnosticsComeBeforeTheInterfaceCheck) {
  orba_test::DebugOutputCapture capture(orba_test::DebugOutputCapture::Threads::kThisOne);
  ZTSetViewLeft();
  const auto texts = capture.Lines();
  ASSERT_EQ(2u, texts.size());
  EXPECT_NE(std::string::npos, texts[0].find("] ZTSetViewLeft"));
  EXPECT_EQ("screenWidth = 1366  , screenHeight = 768\n", texts[1]);
}

}  // namespace
