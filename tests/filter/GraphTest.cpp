// The filter in a running graph under Wine: the simulated camera -> ORBAProc ->
// Null Renderer, with the camera's own streaming thread. Stored files are
// compared with the camera's frames regenerated from their frame numbers.
#include <gtest/gtest.h>

#include <cstdio>

#include "FilterTestKit.h"
#include "ResourceCounts.h"
#include "TestEnv.h"
#include "simcam/SimCamControl.h"
#include "simcam/SimCamFrames.h"
#include "simcam/SimCamIds.h"

namespace filter_test {
namespace {

using orba_test::FileExists;
using orba_test::ReadFileBytes;
using orba_test::WaitFor;

class ProcGraph : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(simcam::ClearOptions());
    ASSERT_TRUE(simcam::Plug());
    recordRoot_ = orba_test::MakeTempDir("graph");
    recordFolder_ = recordRoot_ + "\\temp";
  }
  void TearDown() override {
    if (media_) media_->Stop();
    media_.Reset();
    graph_.Reset();
    simcam::ClearOptions();
    orba_test::RemoveTree(recordRoot_);
  }

  // Builds camera -> ORBAProc -> Null Renderer and runs it.
  void Start(bool omitHuffmanTables = false) {
    simcam::Options options;
    options.omitHuffmanTables = omitHuffmanTables;
    options.frameRate = 30;
    ASSERT_TRUE(simcam::SetOptions(options));
    graph_ = CreateGraph();
    ASSERT_TRUE(graph_);
    ComPtr<IBaseFilter> camera;
    ASSERT_EQ(S_OK, CoCreateInstance(simcam::CLSID_OrbaSimCam, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IBaseFilter, camera.PutVoid()));
    filter_ = CreateProc();
    ASSERT_TRUE(filter_);
    proc_ = ProcOf(filter_.Get());
    ComPtr<IBaseFilter> renderer = CreateFilter(kClsidNullRenderer);
    ASSERT_EQ(S_OK, graph_->AddFilter(camera.Get(), L"Video Capture"));
    ASSERT_EQ(S_OK, graph_->AddFilter(filter_.Get(), L"ORBA Proc"));
    ASSERT_EQ(S_OK, graph_->AddFilter(renderer.Get(), L"Null Renderer"));
    ASSERT_EQ(S_OK,
              graph_->Connect(FirstPin(camera.Get()).Get(), PinOf(filter_.Get(), L"In").Get()));
    ASSERT_EQ(S_OK,
              graph_->Connect(PinOf(filter_.Get(), L"Out").Get(), FirstPin(renderer.Get()).Get()));
    long connected = 0;
    ASSERT_EQ(S_OK, proc_->IsOutputConnected(&connected));
    EXPECT_EQ(1, connected);
    ASSERT_EQ(S_OK, graph_->QueryInterface(IID_IMediaControl, media_.PutVoid()));
    ASSERT_TRUE(SUCCEEDED(media_->Run()));
  }

  void StopGraph() {
    if (media_) {
      ASSERT_TRUE(SUCCEEDED(media_->Stop()));
    }
  }

  // The camera's frame of the number written into the stored picture.
  std::string CameraFrame(const std::string& stored, bool omitHuffmanTables) {
    uint32_t number = 0;
    if (!simcam::ReadFrameNumber(reinterpret_cast<const uint8_t*>(stored.data()), stored.size(),
                                 &number)) {
      ADD_FAILURE() << "no frame number in the stored file";
      return std::string();
    }
    std::vector<uint8_t> jpeg;
    simcam::FrameOptions options;
    options.omitHuffmanTables = omitHuffmanTables;
    EXPECT_TRUE(generator_.Generate(number, options, &jpeg));
    return std::string(jpeg.begin(), jpeg.end());
  }

  // Asks for one plain picture and waits until the filter took it.
  std::string TakePicture() {
    EXPECT_EQ(S_OK, proc_->SetTakePicture(1));
    EXPECT_TRUE(WaitFor(
        [&] {
          long request = 1;
          proc_->GetTakePicture(&request);
          return request == 0;
        },
        10000));
    const std::vector<std::string> pictures = FilesIn(pictures_.Folder());
    EXPECT_EQ(1u, pictures.size());
    return pictures.empty() ? std::string()
                            : ReadFileBytes(pictures_.Folder() + "\\" + pictures[0]);
  }

  ComScope com_;
  PictureFolderScope pictures_;
  simcam::FrameGenerator generator_;
  ComPtr<IGraphBuilder> graph_;
  ComPtr<IBaseFilter> filter_;
  ComPtr<IORBAProc> proc_;
  ComPtr<IMediaControl> media_;
  std::string recordRoot_;
  std::string recordFolder_;
};

// Many graphs with the filter, one after the other, as restarts of the viewer
// build them (here with a push source, so that a cycle costs no camera start):
// the process's handles, objects and memory stay flat, and at the end the
// module can be unloaded. Wine's filter graph manager keeps about one handle
// per graph created; what bare graphs keep is measured first and allowed.
TEST(ProcGraphCycles, TwoHundredCyclesLeakNothingAndTheModuleCanUnload) {
  ComScope com;
  PictureFolderScope pictures;
  constexpr int kCycles = 200;
  constexpr int kBareGraphs = 50;
  orba_test::ResourceCounts before, after;
  { ComPtr<IGraphBuilder> warmUp = CreateGraph(); }
  ASSERT_TRUE(orba_test::ReadResourceCounts(GetCurrentProcess(), &before));
  for (int i = 0; i < kBareGraphs; ++i) ComPtr<IGraphBuilder> graph = CreateGraph();
  ASSERT_TRUE(orba_test::ReadResourceCounts(GetCurrentProcess(), &after));
  const double graphHandlesPerCycle =
      (static_cast<double>(after.handles) - before.handles) / kBareGraphs;
  std::printf("bare filter graphs keep %.2f handles each\n", graphHandlesPerCycle);
  const std::string root = orba_test::MakeTempDir("cycles");
  const std::string folder = root + "\\temp";
  CMediaType type;
  MakeMjpgType(&type, 64, 48);
  const std::string jpeg = MakeJpeg(64, 48, 1);
  std::vector<orba_test::ResourceCounts> counts;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    {
      TapChain chain(type);
      ASSERT_NE(nullptr, chain.Proc()) << cycle;
      ASSERT_EQ(S_OK, chain.ConnectOutput()) << cycle;
      ASSERT_NO_FATAL_FAILURE(chain.Run()) << cycle;
      ASSERT_EQ(S_OK, chain.Proc()->SetRecordFolder(folder.c_str()));
      ASSERT_EQ(S_OK, chain.Proc()->ToggleRecording(0));
      ASSERT_EQ(S_OK, chain.Push(jpeg)) << cycle;
      ASSERT_EQ(S_OK, chain.Push(jpeg)) << cycle;
      ASSERT_EQ(jpeg, ReadFileBytes(folder + "\\frame_1.jpg")) << cycle;
    }
    orba_test::RemoveTree(folder);
    orba_test::ResourceCounts c;
    ASSERT_TRUE(orba_test::ReadResourceCounts(GetCurrentProcess(), &c));
    counts.push_back(c);
  }
  orba_test::RemoveTree(root);
  orba_test::GrowthMargins margins;
  if (graphHandlesPerCycle > 0) margins.platformHandlesPerCycle = graphHandlesPerCycle;
  EXPECT_TRUE(orba_test::NoSteadyGrowth("ORBAProc graph cycles", counts, margins));
  const HMODULE module = GetModuleHandleA("ORBAProc.ax");
  ASSERT_NE(nullptr, module);
  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  const auto canUnload = reinterpret_cast<CanUnload>(GetProcAddress(module, "DllCanUnloadNow"));
  ASSERT_NE(nullptr, canUnload);
  EXPECT_EQ(S_OK, canUnload()) << "an object of the module is still alive";
}

TEST_F(ProcGraph, RecordingStoresTheCamerasFramesByteForByte) {
  ASSERT_TRUE(generator_.Ok());
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(S_OK, proc_->SetRecordFolder(recordFolder_.c_str()));
  ASSERT_EQ(S_OK, proc_->ToggleRecording(0));
  EXPECT_TRUE(WaitFor([&] { return FileExists(recordFolder_ + "\\frame_4.jpg"); }, 15000));
  ASSERT_EQ(S_OK, proc_->ToggleRecording(0));
  ASSERT_NO_FATAL_FAILURE(StopGraph());

  const std::vector<std::string> frames = FilesIn(recordFolder_);
  ASSERT_GE(frames.size(), 5u);
  uint32_t previous = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    const std::string path = recordFolder_ + "\\frame_" + std::to_string(i) + ".jpg";
    ASSERT_TRUE(FileExists(path)) << "numbered without gaps from 0: " << path;
    const std::string stored = ReadFileBytes(path);
    uint32_t number = 0;
    ASSERT_TRUE(simcam::ReadFrameNumber(reinterpret_cast<const uint8_t*>(stored.data()),
                                        stored.size(), &number));
    if (i > 0) {
      EXPECT_GT(number, previous) << path;
    }
    previous = number;
    EXPECT_TRUE(stored == CameraFrame(stored, false)) << path;
  }
}

TEST_F(ProcGraph, PlainPictureIsTheCamerasFrame) {
  ASSERT_TRUE(generator_.Ok());
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string stored = TakePicture();
  ASSERT_FALSE(stored.empty());
  EXPECT_TRUE(stored == CameraFrame(stored, false));
  const std::string name = FilesIn(pictures_.Folder())[0];
  EXPECT_EQ(19u, name.size()) << name;
}

TEST_F(ProcGraph, PictureThroughTheSaveDialogIsStoredWhereTheUserSaysAndItsFolderRemembered) {
  ASSERT_TRUE(generator_.Ok());
  SettingsKeyScope settings;
  const std::string target = orba_test::MakeTempDir("graph_saveas");
  ASSERT_NO_FATAL_FAILURE(Start());
  SaveDialogDriver driver(SaveDialogDriver::Action::kSaveAs, target + "\\from camera");
  ASSERT_EQ(S_OK, proc_->SetSavePictureAs(1, nullptr));
  ASSERT_TRUE(driver.Finish());
  // The dialog was pre-filled with the time name in the picture folder.
  EXPECT_EQ(19u, driver.ShownName().size());
  const std::wstring shown = driver.ShownFolder();
  EXPECT_EQ(0,
            lstrcmpiA(std::string(shown.begin(), shown.end()).c_str(), pictures_.Folder().c_str()));
  ASSERT_TRUE(WaitFor([&] { return FileExists(target + "\\from camera.jpg"); }, 5000));
  ASSERT_NO_FATAL_FAILURE(StopGraph());
  const std::string stored = ReadFileBytes(target + "\\from camera.jpg");
  EXPECT_TRUE(stored == CameraFrame(stored, false));
  EXPECT_EQ(ShortPath(target), settings.ReadText("ImageFolderPath"));
  EXPECT_TRUE(FilesIn(pictures_.Folder()).empty());
  orba_test::RemoveTree(target);
}

TEST_F(ProcGraph, FramesWithoutHuffmanTablesGiveViewablePicturesAndUnchangedFrameFiles) {
  ASSERT_TRUE(generator_.Ok());
  ASSERT_NO_FATAL_FAILURE(Start(true));
  ASSERT_EQ(S_OK, proc_->SetRecordFolder(recordFolder_.c_str()));
  ASSERT_EQ(S_OK, proc_->ToggleRecording(0));
  const std::string picture = TakePicture();
  EXPECT_TRUE(WaitFor([&] { return FileExists(recordFolder_ + "\\frame_2.jpg"); }, 15000));
  ASSERT_EQ(S_OK, proc_->ToggleRecording(0));
  ASSERT_NO_FATAL_FAILURE(StopGraph());

  const std::string sent = CameraFrame(picture, true);
  ASSERT_FALSE(HasTablesBeforeScan(sent)) << "the camera sent frames without tables";
  EXPECT_TRUE(HasTablesBeforeScan(picture));
  EXPECT_EQ(sent.size() + 420, picture.size());
  std::vector<unsigned char> fromPicture, fromCamera;
  int w = 0, h = 0;
  ASSERT_TRUE(DecodeJpeg(picture, &fromPicture, &w, &h));
  EXPECT_EQ(simcam::kWidth, w);
  EXPECT_EQ(simcam::kHeight, h);
  ASSERT_TRUE(DecodeJpeg(sent, &fromCamera, &w, &h));
  EXPECT_TRUE(fromPicture == fromCamera);

  for (int i = 0; i < 3; ++i) {
    const std::string frame =
        ReadFileBytes(recordFolder_ + "\\frame_" + std::to_string(i) + ".jpg");
    EXPECT_FALSE(HasTablesBeforeScan(frame)) << i;
    EXPECT_TRUE(frame == CameraFrame(frame, true)) << i;
  }
}

}  // namespace
}  // namespace filter_test
