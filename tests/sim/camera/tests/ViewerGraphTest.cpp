// The viewer's graph shape with the camera: camera -> Smart Tee; the capture pin
// through a transform built on the base layer into Wine's Null Renderer, the
// preview pin into another Null Renderer. It must stream, stop and stream again.
#include <gtest/gtest.h>

#include "SimCamTestUtil.h"
#include "TestAxIds.h"
#include "TestEnv.h"
#include "simcam/SimCamFrames.h"

namespace simcam_test {
namespace {

LONG Transforms(ITestTransformControl* control) {
  LONG transforms = 0, starts = 0, stops = 0;
  control->GetCounts(&transforms, &starts, &stops);
  return transforms;
}

TEST_F(SimCamTest, ViewerGraphStreamsThroughATransformAcrossRestarts) {
  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, graph.PutVoid()));
  ComPtr<IBaseFilter> camera = CreateCamera();
  ComPtr<IBaseFilter> tee = CreateFilter(CLSID_SmartTee);
  ComPtr<IBaseFilter> transform = CreateFilter(CLSID_BaseTestTransform);
  ComPtr<IBaseFilter> renderer = CreateFilter(kClsidNullRenderer);
  ComPtr<IBaseFilter> preview = CreateFilter(kClsidNullRenderer);
  ComPtr<ITestTransformControl> control;
  ASSERT_EQ(S_OK, transform->QueryInterface(IID_ITestTransformControl, control.PutVoid()));
  ASSERT_EQ(S_OK, control->SetBufferRequest(5, 100000));
  ASSERT_EQ(S_OK, graph->AddFilter(camera.Get(), L"Video Capture"));
  ASSERT_EQ(S_OK, graph->AddFilter(tee.Get(), L"Smart Tee"));
  ASSERT_EQ(S_OK, graph->AddFilter(transform.Get(), L"ORBAProc"));
  ASSERT_EQ(S_OK, graph->AddFilter(renderer.Get(), L"Null Renderer"));
  ASSERT_EQ(S_OK, graph->AddFilter(preview.Get(), L"Preview Renderer"));
  ASSERT_EQ(S_OK, graph->Connect(FindPin(camera.Get(), PINDIR_OUTPUT).Get(),
                                 FindPin(tee.Get(), PINDIR_INPUT).Get()));
  ASSERT_EQ(S_OK, graph->Connect(FindPin(tee.Get(), PINDIR_OUTPUT, L"Capture").Get(),
                                 FindPin(transform.Get(), PINDIR_INPUT).Get()));
  ASSERT_EQ(S_OK, graph->Connect(FindPin(transform.Get(), PINDIR_OUTPUT).Get(),
                                 FindPin(renderer.Get(), PINDIR_INPUT).Get()));
  ASSERT_EQ(S_OK, graph->Connect(FindPin(tee.Get(), PINDIR_OUTPUT, L"Preview").Get(),
                                 FindPin(preview.Get(), PINDIR_INPUT).Get()));
  ComPtr<IMediaControl> media;
  ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaControl, media.PutVoid()));

  for (int pass = 0; pass < 3; ++pass) {
    const LONG before = Transforms(control.Get());
    ASSERT_TRUE(SUCCEEDED(media->Run())) << "pass " << pass;
    EXPECT_TRUE(WaitFor([&] { return Transforms(control.Get()) >= before + 4; }, 10000))
        << "pass " << pass;
    ASSERT_TRUE(SUCCEEDED(media->Stop()));
  }
  OAFilterState state = State_Running;
  ASSERT_EQ(S_OK, media->GetState(1000, &state));
  EXPECT_EQ(State_Stopped, state);
}

TEST_F(SimCamTest, FramesMadeInAnotherProcessAreRegeneratedByteForByte) {
  const std::string folder = orba_test::MakeTempDir("simcam_xproc");
  simcam::Options options;
  options.dumpFolder = folder;
  ASSERT_TRUE(simcam::SetOptions(options));
  ASSERT_EQ(0,
            orba_test::RunProgram("\"" + orba_test::BinPath("simcam_send.exe") + "\" --run 600"));
  simcam::FrameGenerator generator;
  std::vector<uint8_t> expected;
  int compared = 0;
  for (int n = 0; n < 100; ++n) {
    const std::string path = folder + "\\simcam_" + std::to_string(n) + ".jpg";
    if (!orba_test::FileExists(path)) break;
    ASSERT_TRUE(generator.Generate(static_cast<uint32_t>(n), {}, &expected));
    EXPECT_TRUE(orba_test::ReadFileBytes(path) == std::string(expected.begin(), expected.end()))
        << path;
    ++compared;
  }
  EXPECT_GE(compared, 3);
  orba_test::RemoveTree(folder);
}

}  // namespace
}  // namespace simcam_test
