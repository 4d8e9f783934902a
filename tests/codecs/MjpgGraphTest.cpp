// The MJPG codec inside DirectShow: with it installed, intelligent connect puts
// the system's AVI Decompressor between a motion-JPEG output pin and an RGB
// renderer, and frames pushed through the graph come out decoded.
#include <gtest/gtest.h>

#include <windows.h>

#include <dshow.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "CodecTestUtil.h"
#include "TestFilters.h"
#include "TestImages.h"
#include "orba/ComPtr.h"
#include "orba/MediaType.h"

using namespace codec_test;
using orba::ComPtr;
using orba_test::CPushSource;
using orba_test::CRecordingSink;
using orba_test::FindPin;

namespace {

constexpr int kW = 1280, kH = 720;

class MjpgGraph : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IGraphBuilder, graph_.PutVoid()));
    CMediaType mt;
    orba_test::MakeMjpgType(&mt, kW, kH);
    source_ = new CPushSource(mt, kW * kH * 3);
    sourceFilter_ = static_cast<IBaseFilter*>(source_);
    ASSERT_EQ(S_OK, graph_->AddFilter(sourceFilter_.Get(), L"MJPG Source"));
  }
  void TearDown() override {
    if (graph_) {
      ComPtr<IMediaControl> control;
      if (SUCCEEDED(graph_.QueryInterface(IID_IMediaControl, control))) control->Stop();
      if (sourceFilter_) graph_->RemoveFilter(sourceFilter_.Get());
    }
    sourceFilter_.Reset();
    source_ = nullptr;
    graph_.Reset();
    CoUninitialize();
  }

  // Intelligent connect from the source to a Video Mixing Renderer 9; the
  // renderer, its input pin and the decoder the graph put between them.
  void ConnectToVmr9(ComPtr<IBaseFilter>& vmr, ComPtr<IPin>& vmrIn, ComPtr<IBaseFilter>& decoder) {
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IBaseFilter, vmr.PutVoid()));
    ASSERT_EQ(S_OK, graph_->AddFilter(vmr.Get(), L"VMR9"));
    vmrIn = FindPin(vmr.Get(), PINDIR_INPUT);
    ASSERT_TRUE(vmrIn);
    ASSERT_EQ(S_OK, graph_->Connect(source_->OutPin(), vmrIn.Get()));
    decoder = PeerFilter(source_->OutPin());
    ASSERT_TRUE(decoder);
  }

  // A key frame with its start and stop time, as the camera sends them.
  HRESULT PushTimed(const std::string& bytes, REFERENCE_TIME start) {
    orba_test::SampleDesc desc;
    desc.data = bytes;
    desc.start = start;
    desc.stop = start + 333333;
    desc.syncPoint = true;
    return source_->Push(desc);
  }

  // The filter on the other side of `pin`.
  static ComPtr<IBaseFilter> PeerFilter(IPin* pin) {
    ComPtr<IPin> peer;
    if (FAILED(pin->ConnectedTo(&peer))) return {};
    PIN_INFO info = {};
    if (FAILED(peer->QueryPinInfo(&info))) return {};
    ComPtr<IBaseFilter> filter;
    filter.Attach(info.pFilter);
    return filter;
  }

  static CLSID ClassOf(IBaseFilter* filter) {
    CLSID clsid = GUID_NULL;
    filter->GetClassID(&clsid);
    return clsid;
  }

  ComPtr<IGraphBuilder> graph_;
  CPushSource* source_ = nullptr;  // owned through sourceFilter_
  ComPtr<IBaseFilter> sourceFilter_;
};

// Accepts uncompressed RGB of the camera's size with the given subtype.
CRecordingSink::Accept AcceptRgb(GUID subtype, WORD bits) {
  return [subtype, bits](const AM_MEDIA_TYPE& mt) {
    if (mt.majortype != MEDIATYPE_Video || mt.subtype != subtype ||
        mt.formattype != FORMAT_VideoInfo)
      return false;
    if (!mt.pbFormat || mt.cbFormat < sizeof(VIDEOINFOHEADER)) return false;
    const BITMAPINFOHEADER& bi = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader;
    return bi.biCompression == BI_RGB && bi.biBitCount == bits && bi.biWidth == kW &&
           (bi.biHeight == kH || bi.biHeight == -kH);
  };
}

}  // namespace

TEST_F(MjpgGraph, IntelligentConnectPutsTheAviDecompressorBeforeTheVmr9) {
  ComPtr<IBaseFilter> vmr;
  ComPtr<IPin> vmrIn;
  ComPtr<IBaseFilter> decoder;
  ConnectToVmr9(vmr, vmrIn, decoder);
  if (HasFatalFailure()) return;
  EXPECT_TRUE(ClassOf(decoder.Get()) == CLSID_AVIDec)
      << "the inserted filter is not the AVI Decompressor";
  ComPtr<IBaseFilter> rendererSide = PeerFilter(vmrIn.Get());
  EXPECT_TRUE(rendererSide == decoder);

  AM_MEDIA_TYPE mt = {};
  ASSERT_EQ(S_OK, vmrIn->ConnectionMediaType(&mt));
  EXPECT_TRUE(mt.subtype == MEDIASUBTYPE_RGB32 || mt.subtype == MEDIASUBTYPE_RGB24);
  ASSERT_TRUE(mt.formattype == FORMAT_VideoInfo && mt.cbFormat >= sizeof(VIDEOINFOHEADER));
  const BITMAPINFOHEADER& bi = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader;
  EXPECT_EQ(kW, bi.biWidth);
  EXPECT_EQ(kH, bi.biHeight < 0 ? -bi.biHeight : bi.biHeight);
  EXPECT_EQ(static_cast<DWORD>(BI_RGB), bi.biCompression);
  orba::FreeMediaType(mt);

  graph_->RemoveFilter(vmr.Get());
  graph_->RemoveFilter(decoder.Get());
}

// The preview branch without the camera: MJPG samples through the AVI
// Decompressor into the Video Mixing Renderer 9, which then holds the picture.
TEST_F(MjpgGraph, Vmr9ShowsTheDecodedPicture) {
  ComPtr<IBaseFilter> vmr;
  ComPtr<IPin> vmrIn;
  ComPtr<IBaseFilter> decoder;
  ConnectToVmr9(vmr, vmrIn, decoder);
  if (HasFatalFailure()) return;

  ComPtr<IMediaControl> control;
  ASSERT_EQ(S_OK, graph_.QueryInterface(IID_IMediaControl, control));
  HRESULT hr = control->Run();
  ASSERT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
  // Without time stamps, as a live source may send them: each is shown at once
  // (late time-stamped frames the renderer would drop).
  const int seeds[] = {21, 22, 23};
  for (int seed : seeds) EXPECT_EQ(S_OK, source_->Push(MakeJpeg(kW, kH, seed))) << seed;

  ComPtr<IBasicVideo> basic;
  ASSERT_EQ(S_OK, graph_.QueryInterface(IID_IBasicVideo, basic));
  long size = static_cast<long>(sizeof(BITMAPINFOHEADER)) + kW * kH * 4;
  std::vector<uint8_t> image(static_cast<size_t>(size));
  ASSERT_EQ(S_OK, basic->GetCurrentImage(&size, reinterpret_cast<long*>(image.data())));
  control->Stop();
  const auto* bi = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
  ASSERT_EQ(kW, bi->biWidth);
  ASSERT_EQ(kH, bi->biHeight < 0 ? -bi->biHeight : bi->biHeight);
  ASSERT_EQ(32, bi->biBitCount);
  ASSERT_GE(static_cast<size_t>(size), bi->biSize + static_cast<size_t>(kW) * kH * 4);
  const uint8_t* bits = image.data() + bi->biSize;

  // The last frame, pixel for pixel. Wine's renderer hands its image out top-down
  // while the header says bottom-up, so either row order is taken.
  const std::string last = MakeJpeg(kW, kH, seeds[2]);
  size_t best = SIZE_MAX;
  for (bool bottomUp : {true, false}) {
    const std::vector<uint8_t> want = ReferenceDecode(last, kW, kH, 4, bottomUp, DibStride(kW, 32));
    size_t differ = 0;
    for (size_t k = 0; k < want.size(); k += 4)
      if (bits[k] != want[k] || bits[k + 1] != want[k + 1] || bits[k + 2] != want[k + 2]) ++differ;
    best = std::min(best, differ);
  }
  EXPECT_EQ(0u, best) << "pixels that differ from the decoded frame";

  graph_->RemoveFilter(vmr.Get());
  graph_->RemoveFilter(decoder.Get());
}

class MjpgGraphStreams : public MjpgGraph, public ::testing::WithParamInterface<int> {};

TEST_P(MjpgGraphStreams, DecodedFramesReachTheRenderer) {
  const WORD bits = static_cast<WORD>(GetParam());
  // Like a renderer: no allocator of its own.
  CRecordingSink* sink = new CRecordingSink(
      false, AcceptRgb(bits == 32 ? MEDIASUBTYPE_RGB32 : MEDIASUBTYPE_RGB24, bits));
  ComPtr<IBaseFilter> sinkFilter(static_cast<IBaseFilter*>(sink));
  ASSERT_EQ(S_OK, graph_->AddFilter(sinkFilter.Get(), L"RGB Sink"));

  HRESULT hr = graph_->Connect(source_->OutPin(), sink->InPin());
  ASSERT_EQ(S_OK, hr);
  ComPtr<IBaseFilter> decoder = PeerFilter(source_->OutPin());
  ASSERT_TRUE(decoder);
  EXPECT_TRUE(ClassOf(decoder.Get()) == CLSID_AVIDec);
  const BITMAPINFOHEADER bi =
      reinterpret_cast<const VIDEOINFOHEADER*>(sink->Pin()->CurrentMediaType().pbFormat)->bmiHeader;
  const bool bottomUp = bi.biHeight > 0;

  ComPtr<IMediaControl> control;
  ASSERT_EQ(S_OK, graph_.QueryInterface(IID_IMediaControl, control));
  hr = control->Pause();
  ASSERT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
  OAFilterState state = State_Stopped;
  ASSERT_EQ(S_OK, control->GetState(5000, &state));
  ASSERT_EQ(State_Paused, state);

  const std::string frames[] = {MakeJpeg(kW, kH, 11), StripHuffmanTables(MakeJpeg(kW, kH, 12))};
  for (size_t i = 0; i < 2; ++i)
    EXPECT_EQ(S_OK, PushTimed(frames[i], static_cast<REFERENCE_TIME>(i) * 333333)) << i;
  control->Stop();

  const std::vector<orba_test::ReceivedSample> samples = sink->Samples();
  ASSERT_EQ(2u, samples.size());
  const std::string originals[] = {MakeJpeg(kW, kH, 11), MakeJpeg(kW, kH, 12)};
  for (size_t i = 0; i < 2; ++i) {
    const std::vector<uint8_t> want =
        ReferenceDecode(originals[i], kW, kH, bits / 8, bottomUp, DibStride(kW, bits));
    const std::string& got = samples[i].data;
    ASSERT_EQ(want.size(), got.size()) << i;
    EXPECT_TRUE(std::equal(want.begin(), want.end(), reinterpret_cast<const uint8_t*>(got.data())))
        << "frame " << i;
  }

  graph_->RemoveFilter(sinkFilter.Get());
  graph_->RemoveFilter(decoder.Get());
}

INSTANTIATE_TEST_SUITE_P(Rgb, MjpgGraphStreams, ::testing::Values(24, 32),
                         [](const ::testing::TestParamInfo<int>& p) {
                           return "Bits" + std::to_string(p.param);
                         });
