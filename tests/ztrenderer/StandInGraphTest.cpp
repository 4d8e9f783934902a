// The stand-in in a filter graph, built the way the viewer's capture graph
// uses it: a video source into Wine's Smart Tee, and the tee's preview pin
// rendered into the stand-in by the capture graph builder.
#include <gtest/gtest.h>

#include <windows.h>

#include <dshow.h>

#include "TestFilters.h"
#include "ZtTestHelpers.h"

namespace {

using namespace zt_test;
using namespace zt_renderer_sim;

// {CC58E280-8AA1-11D1-B3F1-00AA003761C5}
const CLSID kClsidSmartTee = {
    0xcc58e280, 0x8aa1, 0x11d1, {0xb3, 0xf1, 0x00, 0xaa, 0x00, 0x37, 0x61, 0xc5}};

ComPtr<IPin> FindPinNamed(IBaseFilter* filter, const wchar_t* name) {
  ComPtr<IPin> pin;
  filter->FindPin(name, &pin);
  return pin;
}

class ZtRendererGraph : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(com_.hr()));
    ASSERT_TRUE(renderer_.ok());
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IGraphBuilder, graph_.PutVoid()));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_ICaptureGraphBuilder2, builder_.PutVoid()));
    ASSERT_EQ(S_OK, builder_->SetFiltergraph(graph_.Get()));

    source_ = new orba_test::CPushSource();
    sourceFilter_ = static_cast<IBaseFilter*>(source_);
    ASSERT_EQ(S_OK, graph_->AddFilter(sourceFilter_.Get(), L"Video Capture"));
    ASSERT_EQ(S_OK, CoCreateInstance(kClsidSmartTee, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                     tee_.PutVoid()));
    ASSERT_EQ(S_OK, graph_->AddFilter(tee_.Get(), L"Smart Tee"));
    ComPtr<IPin> teeIn = FindPinNamed(tee_.Get(), L"Input");
    ASSERT_TRUE(teeIn);
    ASSERT_EQ(S_OK, graph_->Connect(static_cast<IPin*>(source_->Pin()), teeIn.Get()));

    ASSERT_EQ(S_OK, CreateRenderer(zt_));
    ASSERT_EQ(S_OK, graph_->AddFilter(zt_.Get(), L"ZoomText Renderer"));
    ASSERT_EQ(S_OK, graph_->QueryInterface(IID_IMediaControl, control_.PutVoid()));
  }

  void TearDown() override {
    if (control_) control_->Stop();
  }

  // As the viewer does it: the tee's preview pin, no category, no type, no
  // intermediate filter.
  HRESULT RenderPreview() {
    ComPtr<IPin> preview = FindPinNamed(tee_.Get(), L"Preview");
    if (!preview) return E_FAIL;
    return builder_->RenderStream(nullptr, nullptr, preview.Get(), nullptr, zt_.Get());
  }

  LONG SamplesReceived() {
    ComPtr<IZtRendererSimInfo> info;
    if (FAILED(zt_->QueryInterface(IID_IZtRendererSimInfo, info.PutVoid()))) return -1;
    LONG count = -1;
    info->GetSamplesReceived(&count);
    return count;
  }

  ComScope com_;
  ScopedZtRenderer renderer_;
  ComPtr<IGraphBuilder> graph_;
  ComPtr<ICaptureGraphBuilder2> builder_;
  orba_test::CPushSource* source_ = nullptr;  // owned through sourceFilter_
  ComPtr<IBaseFilter> sourceFilter_;
  ComPtr<IBaseFilter> tee_;
  ComPtr<IBaseFilter> zt_;
  ComPtr<IMediaControl> control_;
};

TEST_F(ZtRendererGraph, PreviewPinConnectsStraightToTheStandIn) {
  const HRESULT hr = RenderPreview();
  EXPECT_TRUE(hr == S_OK || hr == VFW_S_NOPREVIEWPIN) << std::hex << hr;

  ComPtr<IPin> input = FindPinNamed(zt_.Get(), kInputPinName);
  ASSERT_TRUE(input);
  ComPtr<IPin> peer;
  ASSERT_EQ(S_OK, input->ConnectedTo(&peer));
  PIN_INFO info = {};
  ASSERT_EQ(S_OK, peer->QueryPinInfo(&info));
  ComPtr<IBaseFilter> owner;
  owner.Attach(info.pFilter);
  EXPECT_STREQ(L"Preview", info.achName);
  EXPECT_EQ(tee_.Get(), owner.Get()) << "no filter in between";

  AM_MEDIA_TYPE mt = {};
  ASSERT_EQ(S_OK, input->ConnectionMediaType(&mt));
  EXPECT_TRUE(mt.majortype == MEDIATYPE_Video);
  EXPECT_TRUE(mt.subtype == MEDIASUBTYPE_MJPG) << "the camera's compressed type is taken as is";
  CoTaskMemFree(mt.pbFormat);
  if (mt.pUnk) mt.pUnk->Release();

  const auto connected = renderer_.Log().Of(kEventConnected);
  ASSERT_EQ(1u, connected.size());
  EXPECT_EQ(static_cast<long>(MEDIASUBTYPE_MJPG.Data1), connected[0].args.at(0));
  EXPECT_EQ(1280, connected[0].args.at(1));
  EXPECT_EQ(720, connected[0].args.at(2));
}

TEST_F(ZtRendererGraph, RunningGraphDeliversEverySampleToTheStandIn) {
  ASSERT_TRUE(SUCCEEDED(RenderPreview()));
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  OAFilterState state = State_Stopped;
  EXPECT_EQ(S_OK, control_->GetState(2000, &state));
  EXPECT_EQ(State_Running, state);

  orba_test::SampleDesc sample;
  sample.data.assign(3000, 'j');
  for (int i = 0; i < 5; ++i) {
    sample.start = i * 333333;
    sample.stop = sample.start + 333333;
    EXPECT_EQ(S_OK, source_->Push(sample)) << "sample " << i;
  }
  EXPECT_EQ(5, SamplesReceived());
  EXPECT_EQ("103(3000)", Describe(renderer_.Log().Of(kEventFirstSample)));
  EXPECT_EQ(1u, renderer_.Log().Of(kEventRun).size());

  ASSERT_TRUE(SUCCEEDED(control_->Stop()));
  EXPECT_EQ("104(5)", Describe(renderer_.Log().Of(kEventStopped)));
  EXPECT_EQ(5, SamplesReceived()) << "nothing is taken while stopped";
  EXPECT_TRUE(FAILED(source_->Push(sample)));
  EXPECT_EQ(5, SamplesReceived());
}

TEST_F(ZtRendererGraph, EndOfStreamCompletesTheGraphAsARenderer) {
  ASSERT_TRUE(SUCCEEDED(RenderPreview()));
  ComPtr<IMediaEvent> events;
  ASSERT_EQ(S_OK, graph_->QueryInterface(IID_IMediaEvent, events.PutVoid()));
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  ComPtr<IPin> input = FindPinNamed(zt_.Get(), kInputPinName);
  ASSERT_TRUE(input);
  EXPECT_EQ(S_OK, input->EndOfStream());
  long code = 0;
  EXPECT_EQ(S_OK, events->WaitForCompletion(5000, &code));
  EXPECT_EQ(EC_COMPLETE, code);
}

TEST_F(ZtRendererGraph, RefusesStreamsThatAreNotVideo) {
  ComPtr<IPin> input = FindPinNamed(zt_.Get(), kInputPinName);
  ASSERT_TRUE(input);
  AM_MEDIA_TYPE audio = {};
  audio.majortype = MEDIATYPE_Audio;
  audio.subtype = MEDIASUBTYPE_PCM;
  EXPECT_NE(S_OK, input->QueryAccept(&audio));
  AM_MEDIA_TYPE rgb = {};
  rgb.majortype = MEDIATYPE_Video;
  rgb.subtype = MEDIASUBTYPE_RGB24;
  EXPECT_EQ(S_OK, input->QueryAccept(&rgb));
}

}  // namespace
