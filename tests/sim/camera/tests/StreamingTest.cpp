// The camera in a capture graph: camera -> Smart Tee, the tee's capture pin to a
// sink, its preview pin to Wine's Null Renderer. Frames are numbered JPEGs that a
// test can regenerate byte for byte.
#include <gtest/gtest.h>

#include "SimCamTestUtil.h"
#include "TestEnv.h"
#include "TestFilters.h"
#include "simcam/SimCamFrames.h"

namespace simcam_test {
namespace {

class StreamingTest : public SimCamTest {
 protected:
  // Builds the graph; captureSink false puts a Null Renderer on the capture pin.
  void Build(bool captureSink = true) {
    graph_ = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IGraphBuilder, graph_.PutVoid()));
    camera_ = CreateCamera();
    tee_ = CreateFilter(CLSID_SmartTee);
    ASSERT_TRUE(camera_ && tee_);
    ASSERT_EQ(S_OK, graph_->AddFilter(camera_.Get(), L"Video Capture"));
    ASSERT_EQ(S_OK, graph_->AddFilter(tee_.Get(), L"Smart Tee"));
    ASSERT_EQ(S_OK, graph_->Connect(FindPin(camera_.Get(), PINDIR_OUTPUT).Get(),
                                    FindPin(tee_.Get(), PINDIR_INPUT).Get()));
    ComPtr<IPin> capture = FindPin(tee_.Get(), PINDIR_OUTPUT, L"Capture");
    ComPtr<IPin> preview = FindPin(tee_.Get(), PINDIR_OUTPUT, L"Preview");
    ASSERT_TRUE(capture && preview);
    if (captureSink) {
      sink_ = new orba_test::CRecordingSink(true);
      sinkFilter_ = static_cast<IBaseFilter*>(sink_);
      ASSERT_EQ(S_OK, graph_->AddFilter(sinkFilter_.Get(), L"Sink"));
      ASSERT_EQ(S_OK,
                graph_->ConnectDirect(capture.Get(), static_cast<IPin*>(sink_->Pin()), nullptr));
    } else {
      ComPtr<IBaseFilter> renderer = CreateFilter(kClsidNullRenderer);
      ASSERT_EQ(S_OK, graph_->AddFilter(renderer.Get(), L"Null Renderer"));
      ASSERT_EQ(S_OK, graph_->ConnectDirect(capture.Get(),
                                            FindPin(renderer.Get(), PINDIR_INPUT).Get(), nullptr));
    }
    previewRenderer_ = CreateFilter(kClsidNullRenderer);
    ASSERT_EQ(S_OK, graph_->AddFilter(previewRenderer_.Get(), L"Preview Renderer"));
    ASSERT_EQ(S_OK,
              graph_->ConnectDirect(preview.Get(),
                                    FindPin(previewRenderer_.Get(), PINDIR_INPUT).Get(), nullptr));
    ASSERT_EQ(S_OK, graph_->QueryInterface(IID_IMediaControl, control_.PutVoid()));
  }

  void Run() {
    const HRESULT hr = control_->Run();
    ASSERT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
  }

  void TearDown() override {
    if (control_) control_->Stop();
    control_ = nullptr;
    graph_ = nullptr;
    SimCamTest::TearDown();
  }

  ComPtr<IGraphBuilder> graph_;
  ComPtr<IBaseFilter> camera_, tee_, previewRenderer_;
  orba_test::CRecordingSink* sink_ = nullptr;
  ComPtr<IBaseFilter> sinkFilter_;
  ComPtr<IMediaControl> control_;
};

TEST_F(StreamingTest, SmartTeeGraphDeliversNumberedFrames) {
  Build();
  // The camera reached the tee with its own format.
  AM_MEDIA_TYPE mt = {};
  ASSERT_EQ(S_OK, FindPin(tee_.Get(), PINDIR_INPUT)->ConnectionMediaType(&mt));
  EXPECT_EQ(MEDIASUBTYPE_MJPG, mt.subtype);
  CoTaskMemFree(mt.pbFormat);

  Run();
  ASSERT_TRUE(WaitFor([&] { return sink_->Count() >= 6; }, 10000)) << sink_->Count();
  control_->Stop();
  const std::vector<orba_test::ReceivedSample> got = sink_->Samples();

  simcam::FrameGenerator generator;
  std::vector<uint8_t> expected;
  REFERENCE_TIME lastStart = -1;
  for (size_t i = 0; i < got.size(); ++i) {
    const std::string& data = got[i].data;
    uint32_t number = 0;
    ASSERT_TRUE(simcam::ReadFrameNumber(reinterpret_cast<const uint8_t*>(data.data()), data.size(),
                                        &number));
    // Nothing is lost on the capture branch: frames come in order from 0.
    EXPECT_EQ(i, number);
    ASSERT_TRUE(generator.Generate(number, {}, &expected));
    EXPECT_TRUE(data == std::string(expected.begin(), expected.end())) << "frame " << number;
    int w = 0, h = 0;
    EXPECT_TRUE(DecodeJpeg(data, &w, &h));
    EXPECT_EQ(1280, w);
    EXPECT_EQ(720, h);
    EXPECT_EQ(S_OK, got[i].timeResult);
    EXPECT_GT(got[i].start, lastStart);
    EXPECT_EQ(333333, got[i].stop - got[i].start);
    lastStart = got[i].start;
    EXPECT_TRUE(got[i].syncPoint);
    EXPECT_EQ(i == 0, got[i].discontinuity);
    EXPECT_EQ(S_OK, got[i].mediaTimeResult);
    EXPECT_EQ(static_cast<LONGLONG>(number), got[i].mediaStart);
  }
}

TEST_F(StreamingTest, LiveSourceMakesNothingWhilePaused) {
  Build();
  FILTER_STATE state = State_Stopped;
  EXPECT_EQ(VFW_S_CANT_CUE, camera_->Pause());
  EXPECT_EQ(VFW_S_CANT_CUE, camera_->GetState(0, &state));
  EXPECT_EQ(State_Paused, state);
  ASSERT_EQ(S_OK, camera_->Stop());

  ASSERT_TRUE(SUCCEEDED(control_->Pause()));
  OAFilterState graphState = State_Stopped;
  EXPECT_EQ(VFW_S_CANT_CUE, control_->GetState(1000, &graphState));
  EXPECT_EQ(State_Paused, graphState);
  Sleep(300);
  EXPECT_EQ(0u, sink_->Count());

  Run();
  ASSERT_TRUE(WaitFor([&] { return sink_->Count() >= 3; }, 10000));
  ASSERT_TRUE(SUCCEEDED(control_->Pause()));
  const size_t afterPause = sink_->Count();
  Sleep(300);
  // At most a frame that was on its way when the pause came.
  EXPECT_LE(sink_->Count(), afterPause + 1);
  Run();
  ASSERT_TRUE(WaitFor([&] { return sink_->Count() >= afterPause + 3; }, 10000));
}

TEST_F(StreamingTest, DumpFolderHoldsEveryDeliveredSample) {
  const std::string folder = orba_test::MakeTempDir("simcam_dump");
  simcam::Options options;
  options.dumpFolder = folder;
  ASSERT_TRUE(simcam::SetOptions(options));
  Build(false);
  Run();
  auto path = [&](int n) { return folder + "\\simcam_" + std::to_string(n) + ".jpg"; };
  // Frame 5 written means 0 to 4 are complete.
  ASSERT_TRUE(WaitFor([&] { return orba_test::FileExists(path(5)); }, 10000));
  control_->Stop();
  simcam::FrameGenerator generator;
  std::vector<uint8_t> expected;
  for (int n = 0; n < 5; ++n) {
    const std::string stored = orba_test::ReadFileBytes(path(n));
    ASSERT_TRUE(generator.Generate(static_cast<uint32_t>(n), {}, &expected));
    EXPECT_TRUE(stored == std::string(expected.begin(), expected.end())) << path(n);
  }
  orba_test::RemoveTree(folder);
}

TEST_F(StreamingTest, FramesWithoutHuffmanTablesStillDecode) {
  simcam::Options options;
  options.omitHuffmanTables = true;
  ASSERT_TRUE(simcam::SetOptions(options));
  Build();
  Run();
  ASSERT_TRUE(WaitFor([&] { return sink_->Count() >= 3; }, 10000));
  control_->Stop();
  simcam::FrameGenerator generator;
  simcam::FrameOptions noTables;
  noTables.omitHuffmanTables = true;
  std::vector<uint8_t> expected;
  for (const orba_test::ReceivedSample& s : sink_->Samples()) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(s.data.data());
    EXPECT_FALSE(simcam::HasSegment(bytes, s.data.size(), 0xC4));
    uint32_t number = 0;
    ASSERT_TRUE(simcam::ReadFrameNumber(bytes, s.data.size(), &number));
    ASSERT_TRUE(generator.Generate(number, noTables, &expected));
    EXPECT_TRUE(s.data == std::string(expected.begin(), expected.end()));
    int w = 0, h = 0;
    EXPECT_TRUE(DecodeJpeg(s.data, &w, &h));
    EXPECT_EQ(1280, w);
  }
}

TEST_F(StreamingTest, FrameRateOptionPacesTheStream) {
  simcam::Options options;
  options.frameRate = 10;
  ASSERT_TRUE(simcam::SetOptions(options));
  Build();
  Run();
  ASSERT_TRUE(WaitFor([&] { return sink_->Count() >= 3; }, 10000));
  control_->Stop();
  const std::vector<orba_test::ReceivedSample> got = sink_->Samples();
  for (size_t i = 1; i < got.size(); ++i) {
    // Stamps are a frame interval apart or more (a late frame is stamped later).
    EXPECT_GE(got[i].start - got[i - 1].start, 1000000);
    EXPECT_EQ(1000000, got[i].stop - got[i].start);
  }
}

}  // namespace
}  // namespace simcam_test
