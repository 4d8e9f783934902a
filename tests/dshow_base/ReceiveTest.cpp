// The transform's Receive: an output sample from the downstream allocator carrying
// the input's times and flags, delivered or skipped as Transform says.
#include <gtest/gtest.h>

#include "TestFilters.h"
#include "TestHelpers.h"

namespace dshow_test {
namespace {

class ReceiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    graph_ = CreateGraph();
    source_ = new CPushSource();
    sourceFilter_ = static_cast<IBaseFilter*>(source_);
    sink_ = new CRecordingSink(false);
    sinkFilter_ = static_cast<IBaseFilter*>(sink_);
    transform_ = CreateTestTransform();
    control_ = ControlOf(transform_.Get());
    ASSERT_EQ(S_OK, graph_->AddFilter(sourceFilter_.Get(), L"Source"));
    ASSERT_EQ(S_OK, graph_->AddFilter(transform_.Get(), L"Transform"));
    ASSERT_EQ(S_OK, graph_->AddFilter(sinkFilter_.Get(), L"Sink"));
    ASSERT_EQ(S_OK, graph_->ConnectDirect(static_cast<IPin*>(source_->Pin()),
                                          PinOf(transform_.Get(), L"In").Get(), nullptr));
  }

  void ConnectOutput() {
    ASSERT_EQ(S_OK, graph_->ConnectDirect(PinOf(transform_.Get(), L"Out").Get(),
                                          static_cast<IPin*>(sink_->Pin()), nullptr));
  }

  void Run() {
    ASSERT_EQ(S_OK, graph_->QueryInterface(IID_IMediaControl, media_.PutVoid()));
    const HRESULT hr = media_->Run();
    ASSERT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
    OAFilterState state = State_Stopped;
    ASSERT_EQ(S_OK, media_->GetState(5000, &state));
    ASSERT_EQ(State_Running, state);
  }

  void TearDown() override {
    if (media_) media_->Stop();
  }

  ComScope com_;
  ComPtr<IGraphBuilder> graph_;
  CPushSource* source_ = nullptr;
  ComPtr<IBaseFilter> sourceFilter_;
  CRecordingSink* sink_ = nullptr;
  ComPtr<IBaseFilter> sinkFilter_;
  ComPtr<IBaseFilter> transform_;
  ComPtr<ITestTransformControl> control_;
  ComPtr<IMediaControl> media_;
};

TEST_F(ReceiveTest, TimesFlagsAndDataReachTheOutputSample) {
  ConnectOutput();
  Run();
  SampleDesc a;
  a.data = "first frame bytes";
  a.start = 1000000;
  a.stop = 1333333;
  a.hasMediaTime = true;
  a.mediaStart = 30;
  a.mediaStop = 31;
  a.syncPoint = true;
  a.discontinuity = true;
  ASSERT_EQ(S_OK, source_->Push(a));

  SampleDesc b;
  b.data = "second";
  b.hasStop = false;
  b.start = 2000000;
  b.preroll = true;
  ASSERT_EQ(S_OK, source_->Push(b));

  SampleDesc c;
  c.data = "third, no time at all";
  c.hasTime = false;
  ASSERT_EQ(S_OK, source_->Push(c));

  const std::vector<ReceivedSample> got = sink_->Samples();
  ASSERT_EQ(3u, got.size());
  EXPECT_EQ(a.data, got[0].data);
  EXPECT_EQ(S_OK, got[0].timeResult);
  EXPECT_EQ(a.start, got[0].start);
  EXPECT_EQ(a.stop, got[0].stop);
  EXPECT_EQ(S_OK, got[0].mediaTimeResult);
  EXPECT_EQ(30, got[0].mediaStart);
  EXPECT_EQ(31, got[0].mediaStop);
  EXPECT_TRUE(got[0].syncPoint);
  EXPECT_TRUE(got[0].discontinuity);
  EXPECT_FALSE(got[0].preroll);

  EXPECT_EQ(b.data, got[1].data);
  EXPECT_EQ(VFW_S_NO_STOP_TIME, got[1].timeResult);
  EXPECT_EQ(b.start, got[1].start);
  EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, got[1].mediaTimeResult);
  EXPECT_FALSE(got[1].syncPoint);
  EXPECT_FALSE(got[1].discontinuity);
  EXPECT_TRUE(got[1].preroll);

  EXPECT_EQ(c.data, got[2].data);
  EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, got[2].timeResult);

  LONG transforms = 0, starts = 0, stops = 0;
  ASSERT_EQ(S_OK, control_->GetCounts(&transforms, &starts, &stops));
  EXPECT_EQ(3, transforms);
  EXPECT_EQ(1, starts);
  EXPECT_EQ(0, stops);
  media_->Stop();
  ASSERT_EQ(S_OK, control_->GetCounts(&transforms, &starts, &stops));
  EXPECT_EQ(1, stops);
}

TEST_F(ReceiveTest, FalseFromTransformSkipsDeliveryButKeepsTheStream) {
  ConnectOutput();
  Run();
  SampleDesc s;
  s.data = "kept";
  ASSERT_EQ(S_OK, source_->Push(s));
  ASSERT_EQ(S_OK, control_->SetTransformResult(S_FALSE));
  s.data = "skipped";
  EXPECT_EQ(S_OK, source_->Push(s));
  EXPECT_EQ(S_OK, source_->Push(s));
  ASSERT_EQ(S_OK, control_->SetTransformResult(S_OK));
  s.data = "after";
  ASSERT_EQ(S_OK, source_->Push(s));

  const std::vector<ReceivedSample> got = sink_->Samples();
  ASSERT_EQ(2u, got.size());
  EXPECT_EQ("kept", got[0].data);
  EXPECT_EQ("after", got[1].data);
  LONG transforms = 0, starts = 0, stops = 0;
  ASSERT_EQ(S_OK, control_->GetCounts(&transforms, &starts, &stops));
  EXPECT_EQ(4, transforms);
}

TEST_F(ReceiveTest, TransformFailureIsReturnedUpstream) {
  ConnectOutput();
  Run();
  ASSERT_EQ(S_OK, control_->SetTransformResult(E_FAIL));
  EXPECT_EQ(E_FAIL, source_->Push(SampleDesc()));
  EXPECT_TRUE(sink_->Samples().empty());
}

TEST_F(ReceiveTest, InputRefusesSamplesWhileTheOutputIsUnconnected) {
  // Paused by hand: the graph would not run a chain without a renderer.
  ASSERT_EQ(S_OK, transform_->Pause());
  ASSERT_EQ(S_OK, sourceFilter_->Pause());
  EXPECT_EQ(VFW_E_NOT_CONNECTED, source_->Push(SampleDesc()));
  LONG transforms = -1, starts = 0, stops = 0;
  ASSERT_EQ(S_OK, control_->GetCounts(&transforms, &starts, &stops));
  EXPECT_EQ(0, transforms);
  sourceFilter_->Stop();
  transform_->Stop();
}

TEST_F(ReceiveTest, StoppedFilterRefusesSamples) {
  ConnectOutput();
  // Only the source runs; the transform is still stopped.
  ASSERT_EQ(S_OK, sourceFilter_->Pause());
  EXPECT_EQ(VFW_E_WRONG_STATE, source_->Push(SampleDesc()));
  sourceFilter_->Stop();
  EXPECT_TRUE(sink_->Samples().empty());
}

TEST_F(ReceiveTest, DataLongerThanTheOutputBufferIsCappedAtItsSize) {
  ASSERT_EQ(S_OK, control_->SetBufferRequest(2, 16));
  ConnectOutput();
  Run();
  SampleDesc s;
  s.data = std::string(40, 'x');
  ASSERT_EQ(S_OK, source_->Push(s));
  const std::vector<ReceivedSample> got = sink_->Samples();
  ASSERT_EQ(1u, got.size());
  EXPECT_EQ(std::string(16, 'x'), got[0].data);
}

}  // namespace
}  // namespace dshow_test
