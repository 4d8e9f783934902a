// The viewer's capture graph as a graph tool and a person in front of the
// screen see it: its filters through the running-object table, and the camera's
// page in the viewer window.
#include <turbojpeg.h>

#include <algorithm>

#include "LiveViewerTest.h"
#include "simcam/SimCamFrames.h"
#include "simcam/SimCamIds.h"

namespace live_test {
namespace {

// {CF49D4E0-1115-11CE-B03A-0020AF0BA770}
const CLSID kAviDecompressor = {
    0xcf49d4e0, 0x1115, 0x11ce, {0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
// {CC58E280-8AA1-11D1-B3F1-00AA003761C5}
const CLSID kSmartTee = {
    0xcc58e280, 0x8aa1, 0x11d1, {0xb3, 0xf1, 0x00, 0xaa, 0x00, 0x37, 0x61, 0xc5}};
// {C1F400A4-3F08-11D3-9F0B-006008039E37}
const CLSID kNullRenderer = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
// {51B4ABF3-748F-4E3B-A276-C828330E926A}
const CLSID kVmr9 = {
    0x51b4abf3, 0x748f, 0x4e3b, {0xa2, 0x76, 0xc8, 0x28, 0x33, 0x0e, 0x92, 0x6a}};
// {A2F63A43-4E90-4D8D-85C2-26A799C950E3}
const CLSID kOrbaProc = {
    0xa2f63a43, 0x4e90, 0x4d8d, {0x85, 0xc2, 0x26, 0xa7, 0x99, 0xc9, 0x50, 0xe3}};

const GraphFilter* Find(const std::vector<GraphFilter>& filters, const CLSID& clsid) {
  for (const auto& f : filters) {
    if (IsEqualCLSID(f.clsid, clsid)) return &f;
  }
  return nullptr;
}

// The graph of a viewer drawing the picture itself: the five filters it adds
// and the decoder intelligent rendering puts before the mixing renderer.
void ExpectMixingRendererGraph(const std::vector<GraphFilter>& filters) {
  struct Want {
    const CLSID* clsid;
    const char* name;
  };
  const Want wanted[] = {{&simcam::CLSID_OrbaSimCam, "Video Capture"},
                         {&kSmartTee, "Smart Tee"},
                         {&kOrbaProc, "ORBAProc"},
                         {&kNullRenderer, "Null Renderer"},
                         {&kVmr9, nullptr}};
  for (const Want& w : wanted) {
    const GraphFilter* f = Find(filters, *w.clsid);
    ASSERT_NE(nullptr, f) << (w.name ? w.name : "the mixing renderer") << " is missing";
    if (w.name) {
      EXPECT_EQ(w.name, f->name);
    }
  }
  size_t decoders = 0;
  for (const auto& f : filters) {
    if (IsEqualCLSID(f.clsid, kAviDecompressor)) ++decoders;
  }
  EXPECT_EQ(1u, decoders) << "the camera's MJPG needs one decoder before the mixing renderer";
  EXPECT_EQ(5u + decoders, filters.size()) << "no other filter belongs in the graph";
}

TEST_F(LiveViewerTest, GraphToolsSeeTheCameraBranchAndTheMixingRenderer) {
  ASSERT_TRUE(StartViewer());
  const auto names = RotGraphNames(viewer_.pid());
  ASSERT_EQ(1u, names.size());
  char tail[32];
  std::snprintf(tail, sizeof tail, " pid %08lx", static_cast<unsigned long>(viewer_.pid()));
  EXPECT_EQ(0u, names[0].find("FilterGraph ")) << names[0];
  EXPECT_EQ(std::string("FilterGraph 12345678").size() + std::string(tail).size(),
            names[0].size())
      << names[0];
  EXPECT_NE(std::string::npos, names[0].find(tail)) << names[0];

  std::vector<GraphFilter> filters;
  ASSERT_TRUE(ListGraphFilters(viewer_.pid(), &filters));
  ExpectMixingRendererGraph(filters);
  ASSERT_TRUE(EndViewer());
  EXPECT_TRUE(RotGraphNames(viewer_.pid()).empty());
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
