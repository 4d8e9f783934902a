// The MJPG codec inside DirectShow: with it installed, intelligent connect puts
// the system's AVI Decompressor between a motion-JPEG output pin and an RGB
// renderer, and frames pushed through the graph come out decoded.
#include <gtest/gtest.h>

#include <windows.h>

#include <dshow.h>

#include <string>
#include <vector>

#include "CodecTestUtil.h"
#include "TestFilters.h"
#include "TestImages.h"
#include "orba/ComPtr.h"
#include "orba/MediaType.h"

using namespace codec_test;
using orba::ComPtr;

namespace {

constexpr int kW = 1280, kH = 720;

class MjpgGraph : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                     graph_.PutVoid()));
    AM_MEDIA_TYPE mt = MakeVideoType(MEDIASUBTYPE_MJPG, CompressedFormat(kMjpg, kW, kH, kW * kH * 3));
    source_ = new TestSource(mt, kW * kH * 3);
    orba::FreeMediaType(mt);
    ASSERT_EQ(S_OK, graph_->AddFilter(source_, L"MJPG Source"));
  }
  void TearDown() override {
    if (graph_) {
      ComPtr<IMediaControl> control;
      if (SUCCEEDED(graph_.QueryInterface(IID_IMediaControl, control))) control->Stop();
      if (source_) graph_->RemoveFilter(source_);
    }
    if (source_) source_->Release();
    graph_.Reset();
    CoUninitialize();
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

  static ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION dir) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins))) return {};
    ComPtr<IPin> pin;
    ULONG fetched = 0;
    while (pins->Next(1, &pin, &fetched) == S_OK) {
      PIN_DIRECTION d;
      if (SUCCEEDED(pin->QueryDirection(&d)) && d == dir) return pin;
    }
    return {};
  }

  static CLSID ClassOf(IBaseFilter* filter) {
    CLSID clsid = GUID_NULL;
    filter->GetClassID(&clsid);
    return clsid;
  }

  ComPtr<IGraphBuilder> graph_;
  TestSource* source_ = nullptr;
};

// Accepts uncompressed RGB of the camera's size with the given subtype.
SinkPin::Accept AcceptRgb(GUID subtype, WORD bits) {
  return [subtype, bits](const AM_MEDIA_TYPE& mt) {
    if (mt.majortype != MEDIATYPE_Video || mt.subtype != subtype || mt.formattype != FORMAT_VideoInfo) return false;
    if (!mt.pbFormat || mt.cbFormat < sizeof(VIDEOINFOHEADER)) return false;
    const BITMAPINFOHEADER& bi = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader;
    return bi.biCompression == BI_RGB && bi.biBitCount == bits && bi.biWidth == kW &&
           (bi.biHeight == kH || bi.biHeight == -kH);
  };
}

}  // namespace

TEST_F(MjpgGraph, IntelligentConnectPutsTheAviDecompressorBeforeTheVmr9) {
  ComPtr<IBaseFilter> vmr;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   vmr.PutVoid()));
  ASSERT_EQ(S_OK, graph_->AddFilter(vmr.Get(), L"VMR9"));
  ComPtr<IPin> vmrIn = FirstPin(vmr.Get(), PINDIR_INPUT);
  ASSERT_TRUE(vmrIn);

  ASSERT_EQ(S_OK, graph_->Connect(&source_->output(), vmrIn.Get()));

  ComPtr<IBaseFilter> decoder = PeerFilter(&source_->output());
  ASSERT_TRUE(decoder);
  EXPECT_TRUE(ClassOf(decoder.Get()) == CLSID_AVIDec) << "the inserted filter is not the AVI Decompressor";
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

class MjpgGraphStreams : public MjpgGraph, public ::testing::WithParamInterface<int> {};

TEST_P(MjpgGraphStreams, DecodedFramesReachTheRenderer) {
  const WORD bits = static_cast<WORD>(GetParam());
  TestSink* sink = new TestSink(AcceptRgb(bits == 32 ? MEDIASUBTYPE_RGB32 : MEDIASUBTYPE_RGB24, bits));
  ASSERT_EQ(S_OK, graph_->AddFilter(sink, L"RGB Sink"));

  HRESULT hr = graph_->Connect(&source_->output(), &sink->input());
  ASSERT_EQ(S_OK, hr);
  ComPtr<IBaseFilter> decoder = PeerFilter(&source_->output());
  ASSERT_TRUE(decoder);
  EXPECT_TRUE(ClassOf(decoder.Get()) == CLSID_AVIDec);
  const BITMAPINFOHEADER bi = reinterpret_cast<const VIDEOINFOHEADER*>(sink->input().mediaType().pbFormat)->bmiHeader;
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
    EXPECT_EQ(S_OK, source_->output().Deliver(frames[i], static_cast<REFERENCE_TIME>(i) * 333333)) << i;
  control->Stop();

  ASSERT_EQ(2u, sink->input().samples.size());
  const std::string originals[] = {MakeJpeg(kW, kH, 11), MakeJpeg(kW, kH, 12)};
  for (size_t i = 0; i < 2; ++i) {
    const std::vector<uint8_t> want = ReferenceDecode(originals[i], kW, kH, bits / 8, bottomUp, DibStride(kW, bits));
    const std::string& got = sink->input().samples[i];
    ASSERT_EQ(want.size(), got.size()) << i;
    EXPECT_TRUE(std::equal(want.begin(), want.end(), reinterpret_cast<const uint8_t*>(got.data()))) << "frame " << i;
  }

  graph_->RemoveFilter(sink);
  graph_->RemoveFilter(decoder.Get());
  sink->Release();
}

INSTANTIATE_TEST_SUITE_P(Rgb, MjpgGraphStreams, ::testing::Values(24, 32),
                         [](const ::testing::TestParamInfo<int>& p) { return "Bits" + std::to_string(p.param); });
