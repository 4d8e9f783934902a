// The filter's own code linked into the test: media-type negotiation and buffer
// decisions called directly, the transform's refusals, the magnifier area with
// the handles a host would give it, and the helpers behind the stored files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "DebugOutputCapture.h"
#include "FilterTestKit.h"
#include "KavreloSimClient.h"
#include "ORBAProc.h"
#include "FilterSettings.h"
#include "PictureJpeg.h"
#include "PictureNames.h"
#include "TRV_CCTV.h"
#include "TestEnv.h"
#include "ZoomTextSimClient.h"
#include "orba/SettingsKey.h"

namespace filter_test {
namespace {

using orba_filter::HuffmanTables;

// An ORBAProc made by its factory function, without COM, held by its inner unknown.
class DirectProc {
 public:
  DirectProc() {
    HRESULT hr = E_FAIL;
    CUnknown* object = ORBAProc::CreateInstance(nullptr, &hr);
    EXPECT_EQ(S_OK, hr);
    proc_ = static_cast<ORBAProc*>(object);
    if (proc_) proc_->NonDelegatingAddRef();
  }
  ~DirectProc() { Reset(); }
  void Reset() {
    if (proc_) proc_->NonDelegatingRelease();
    proc_ = nullptr;
  }
  ORBAProc* operator->() const { return proc_; }
  ORBAProc* Get() const { return proc_; }
  IBaseFilter* Filter() const { return static_cast<IBaseFilter*>(proc_); }

 private:
  ORBAProc* proc_ = nullptr;
};

void MakeType(CMediaType* mt, const GUID& subtype, const GUID& format, ULONG formatBytes) {
  MakeMjpgType(mt, 640, 480);
  mt->SetSubtype(&subtype);
  mt->SetFormatType(&format);
  mt->ReallocFormatBuffer(formatBytes);
  if (formatBytes > 88) std::memset(mt->Format() + 88, 0, formatBytes - 88);
}

// ---------------------------------------------------------------- input types

TEST(ProcNegotiation, MotionJpegVideoInfoIsTheOnlyInput) {
  orba_test::DebugOutputCapture log;
  ComScope com;
  DirectProc proc;
  CMediaType mt;
  MakeType(&mt, MEDIASUBTYPE_MJPG, FORMAT_VideoInfo, 88);
  EXPECT_EQ(S_OK, proc->CheckInputType(&mt));
  MakeType(&mt, MEDIASUBTYPE_MJPG, FORMAT_VideoInfo, 1088);
  EXPECT_EQ(S_OK, proc->CheckInputType(&mt));
  EXPECT_EQ(E_POINTER, proc->CheckInputType(nullptr));
  EXPECT_EQ(0u, log.Count("VFW_E_TYPE_NOT_ACCEPTED"));

  struct Case {
    const GUID* major;
    const GUID* subtype;
    const GUID* format;
    ULONG bytes;
  } refused[] = {
      {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2, &FORMAT_VideoInfo, 88},
      {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24, &FORMAT_VideoInfo, 88},
      {&MEDIATYPE_Video, &MEDIASUBTYPE_MJPG, &FORMAT_VideoInfo2, 112},
      {&MEDIATYPE_Video, &MEDIASUBTYPE_MJPG, &FORMAT_VideoInfo, 87},
      {&MEDIATYPE_Video, &MEDIASUBTYPE_MJPG, &FORMAT_None, 88},
      {&MEDIATYPE_Audio, &MEDIASUBTYPE_MJPG, &FORMAT_VideoInfo, 88},
  };
  for (const Case& c : refused) {
    MakeType(&mt, *c.subtype, *c.format, c.bytes);
    mt.SetType(c.major);
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, proc->CheckInputType(&mt));
  }
  EXPECT_EQ(6u, log.Count("590: VFW_E_TYPE_NOT_ACCEPTED"));
}

TEST(ProcNegotiation, TransformNeedsTheSameBitmapHeaderOnBothSides) {
  ComScope com;
  DirectProc proc;
  CMediaType in, out;
  MakeType(&in, MEDIASUBTYPE_MJPG, FORMAT_VideoInfo, 88);
  out = in;
  EXPECT_EQ(E_POINTER, proc->CheckTransform(nullptr, &out));
  EXPECT_EQ(E_POINTER, proc->CheckTransform(&in, nullptr));

  // Only the bitmap header counts; the rectangles may differ.
  reinterpret_cast<VIDEOINFOHEADER*>(out.Format())->rcTarget = {0, 0, 320, 240};
  EXPECT_EQ(S_OK, proc->CheckTransform(&in, &out));
  EXPECT_EQ(640, proc->FrameWidth());
  EXPECT_EQ(480, proc->FrameHeight());

  auto differs = [&](void (*change)(BITMAPINFOHEADER*)) {
    CMediaType other = in;
    change(&reinterpret_cast<VIDEOINFOHEADER*>(other.Format())->bmiHeader);
    return proc->CheckTransform(&in, &other);
  };
  EXPECT_EQ(E_INVALIDARG, differs([](BITMAPINFOHEADER* h) { h->biWidth = 320; }));
  EXPECT_EQ(E_INVALIDARG, differs([](BITMAPINFOHEADER* h) { h->biHeight = -480; }));
  EXPECT_EQ(E_INVALIDARG, differs([](BITMAPINFOHEADER* h) { h->biCompression = BI_RGB; }));
  EXPECT_EQ(E_INVALIDARG, differs([](BITMAPINFOHEADER* h) { h->biSizeImage += 1; }));
  EXPECT_EQ(E_INVALIDARG, differs([](BITMAPINFOHEADER* h) { h->biClrImportant = 1; }));

  CMediaType v2 = in;
  v2.SetFormatType(&FORMAT_VideoInfo2);
  EXPECT_EQ(E_INVALIDARG, proc->CheckTransform(&in, &v2));
  CMediaType shortOut = in;
  shortOut.ReallocFormatBuffer(87);
  EXPECT_EQ(E_INVALIDARG, proc->CheckTransform(&in, &shortOut));
  // A refused input type gives its own result first.
  CMediaType yuy2 = in;
  yuy2.SetSubtype(&MEDIASUBTYPE_YUY2);
  EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, proc->CheckTransform(&yuy2, &out));
}

TEST(ProcNegotiation, RecordedFormatOutlivesTheTypeItCameFrom) {
  ComScope com;
  DirectProc proc;
  {
    CMediaType in;
    MakeType(&in, MEDIASUBTYPE_MJPG, FORMAT_VideoInfo, 88);
    reinterpret_cast<VIDEOINFOHEADER*>(in.Format())->bmiHeader.biWidth = 1280;
    CMediaType out = in;
    ASSERT_EQ(S_OK, proc->CheckTransform(&in, &out));
  }
  // Both types are gone; a new sample type replaces the kept copy.
  CMediaType next;
  MakeType(&next, MEDIASUBTYPE_MJPG, FORMAT_VideoInfo, 88);
  reinterpret_cast<VIDEOINFOHEADER*>(next.Format())->bmiHeader.biHeight = 720;
  EXPECT_EQ(S_OK, proc->UpdateFormat(&next));
  EXPECT_EQ(640, proc->FrameWidth());
  EXPECT_EQ(720, proc->FrameHeight());
}

TEST(ProcNegotiation, OutputTypesNeedAConnectedInput) {
  ComScope com;
  DirectProc proc;
  CMediaType mt;
  EXPECT_EQ(E_UNEXPECTED, proc->GetMediaType(0, &mt));
  EXPECT_EQ(E_UNEXPECTED, proc->GetMediaType(1, &mt));
  EXPECT_EQ(E_UNEXPECTED, proc->GetMediaType(-1, &mt));
  CSpyAllocator* allocator = new CSpyAllocator();
  ALLOCATOR_PROPERTIES props = {};
  EXPECT_EQ(E_UNEXPECTED, proc->DecideBufferSize(allocator, &props));
  EXPECT_EQ(E_POINTER, proc->DecideBufferSize(nullptr, &props));
  EXPECT_EQ(E_POINTER, proc->DecideBufferSize(allocator, nullptr));
  EXPECT_TRUE(allocator->Requests().empty());
  allocator->Release();
}

// The direct filter between a test source and a sink in one of Wine's graphs.
class ProcConnected : public ::testing::Test {
 protected:
  void Connect(const CMediaType& type) {
    type_ = type;
    graph_ = CreateGraph();
    source_ = new CPushSource(type, kSourceBufferBytes);
    sourceFilter_ = static_cast<IBaseFilter*>(source_);
    sink_ = new CAllocatorSink();
    sinkFilter_ = static_cast<IBaseFilter*>(sink_);
    ASSERT_EQ(S_OK, graph_->AddFilter(sourceFilter_.Get(), L"Source"));
    ASSERT_EQ(S_OK, graph_->AddFilter(proc_.Filter(), L"ORBA Proc"));
    ASSERT_EQ(S_OK, graph_->AddFilter(sinkFilter_.Get(), L"Sink"));
    ASSERT_EQ(S_OK,
              graph_->ConnectDirect(source_->OutPin(), PinOf(proc_.Filter(), L"In").Get(), &type));
  }
  HRESULT ConnectSink() {
    return graph_->ConnectDirect(PinOf(proc_.Filter(), L"Out").Get(),
                                 static_cast<IPin*>(sink_->Pin()), nullptr);
  }
  void TearDown() override {
    if (graph_) {
      graph_->RemoveFilter(proc_.Filter());
    }
  }

  ComScope com_;
  DirectProc proc_;
  CMediaType type_;
  ComPtr<IGraphBuilder> graph_;
  CPushSource* source_ = nullptr;
  ComPtr<IBaseFilter> sourceFilter_;
  CAllocatorSink* sink_ = nullptr;
  ComPtr<IBaseFilter> sinkFilter_;
};

TEST_F(ProcConnected, OutputOffersExactlyTheInputType) {
  CMediaType mt;
  MakeMjpgType(&mt, 1280, 720);
  ASSERT_NO_FATAL_FAILURE(Connect(mt));
  CMediaType offered;
  EXPECT_EQ(S_OK, proc_->GetMediaType(0, &offered));
  EXPECT_TRUE(offered == mt);
  EXPECT_EQ(VFW_S_NO_MORE_ITEMS, proc_->GetMediaType(1, &offered));
  EXPECT_EQ(E_INVALIDARG, proc_->GetMediaType(-1, &offered));
  EXPECT_EQ(E_POINTER, proc_->GetMediaType(0, nullptr));
}

TEST_F(ProcConnected, VariableSizeSamplesAskForFiveBuffersOf100000) {
  CMediaType mt;
  MakeMjpgType(&mt, 1280, 720);
  ASSERT_NO_FATAL_FAILURE(Connect(mt));
  ASSERT_EQ(S_OK, ConnectSink());
  const std::vector<ALLOCATOR_PROPERTIES> asked = sink_->Allocator()->Requests();
  ASSERT_EQ(1u, asked.size());
  EXPECT_EQ(5, asked[0].cBuffers);
  EXPECT_EQ(100000, asked[0].cbBuffer);
  EXPECT_EQ(static_cast<IMemAllocator*>(sink_->Allocator()), sink_->Pin()->CurrentAllocator());
}

TEST_F(ProcConnected, FixedSizeSamplesAskForFourTimesTheSampleEvenBelow100000) {
  CMediaType mt;
  MakeMjpgType(&mt, 160, 120);
  mt.SetSampleSize(1000);
  ASSERT_NO_FATAL_FAILURE(Connect(mt));
  ASSERT_EQ(S_OK, ConnectSink());
  const std::vector<ALLOCATOR_PROPERTIES> asked = sink_->Allocator()->Requests();
  ASSERT_EQ(1u, asked.size());
  EXPECT_EQ(5, asked[0].cBuffers);
  EXPECT_EQ(4000, asked[0].cbBuffer);
}

TEST_F(ProcConnected, LargeFixedSamplesAskForFourTimesTheSample) {
  CMediaType mt;
  MakeMjpgType(&mt, 1280, 720);
  mt.SetSampleSize(300000);
  ASSERT_NO_FATAL_FAILURE(Connect(mt));
  ASSERT_EQ(S_OK, ConnectSink());
  const std::vector<ALLOCATOR_PROPERTIES> asked = sink_->Allocator()->Requests();
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(1200000, asked[0].cbBuffer);
}

TEST_F(ProcConnected, AllocatorGrantingFewerBuffersIsRefused) {
  CMediaType mt;
  MakeMjpgType(&mt, 1280, 720);
  ASSERT_NO_FATAL_FAILURE(Connect(mt));
  sink_->Allocator()->LimitBuffers(4);
  ALLOCATOR_PROPERTIES props = {};
  EXPECT_EQ(E_FAIL, proc_->DecideBufferSize(sink_->Allocator(), &props));
  EXPECT_EQ(5, props.cBuffers);
  EXPECT_EQ(100000, props.cbBuffer);
  // The output pin then falls back to a memory allocator of its own.
  EXPECT_EQ(S_OK, ConnectSink());
  EXPECT_NE(static_cast<IMemAllocator*>(sink_->Allocator()), sink_->Pin()->CurrentAllocator());
}

TEST_F(ProcConnected, SampleSizeTooLargeForAnyAllocatorIsRefused) {
  CMediaType mt;
  MakeMjpgType(&mt, 1280, 720);
  mt.SetSampleSize(0x40000000);
  ASSERT_NO_FATAL_FAILURE(Connect(mt));
  ALLOCATOR_PROPERTIES props = {};
  EXPECT_EQ(E_INVALIDARG, proc_->DecideBufferSize(sink_->Allocator(), &props));
  EXPECT_TRUE(sink_->Allocator()->Requests().empty());
}

// ---------------------------------------------------------------- sample types

TEST(ProcSampleFormat, UpdateFormatChecksTheAnnouncedType) {
  orba_test::DebugOutputCapture log;
  ComScope com;
  DirectProc proc;
  EXPECT_EQ(E_POINTER, proc->UpdateFormat(nullptr));
  CMediaType mt;
  MakeType(&mt, MEDIASUBTYPE_MJPG, FORMAT_VideoInfo2, 112);
  EXPECT_EQ(E_INVALIDARG, proc->UpdateFormat(&mt));
  EXPECT_TRUE(log.Contains("590: Invalid videoinfo"));
  MakeType(&mt, MEDIASUBTYPE_MJPG, FORMAT_VideoInfo, 48);
  EXPECT_EQ(E_FAIL, proc->UpdateFormat(&mt));
  // A block that ends inside the bitmap header is not read past its end.
  MakeType(&mt, MEDIASUBTYPE_MJPG, FORMAT_VideoInfo, 60);
  EXPECT_EQ(E_FAIL, proc->UpdateFormat(&mt));
  EXPECT_EQ(2u, log.Count("590: Invalid bitmapinfosize"));

  log.Clear();
  MakeType(&mt, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, 88);
  auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.Format());
  vih->bmiHeader.biCompression = BI_PNG;
  vih->bmiHeader.biWidth = 320;
  vih->bmiHeader.biHeight = 200;
  EXPECT_EQ(S_OK, proc->UpdateFormat(&mt));
  EXPECT_FALSE(log.Contains("Unknown image format"));
  EXPECT_EQ(320, proc->FrameWidth());
  EXPECT_EQ(200, proc->FrameHeight());
  MakeType(&mt, MEDIASUBTYPE_MJPG, FORMAT_VideoInfo, 88);
  EXPECT_EQ(S_OK, proc->UpdateFormat(&mt));
  EXPECT_TRUE(log.Contains("590: Unknown image format 47504A4D"));
}

TEST(ProcSampleFormat, TransformRefusesASampleWhoseTypeCannotBeTakenAndStoresNothing) {
  orba_test::DebugOutputCapture log;
  ComScope com;
  PictureFolderScope pictures;
  DirectProc proc;
  const std::string root = orba_test::MakeTempDir("direct");
  const std::string folder = root + "\\rec";
  ASSERT_EQ(S_OK, proc->SetRecordFolder(folder.c_str()));
  ASSERT_EQ(S_OK, proc->ToggleRecording(0));
  ASSERT_EQ(S_OK, proc->SetTakePicture(1));
  EXPECT_EQ(E_POINTER, proc->Transform(nullptr, nullptr));

  CMediaType v2;
  MakeType(&v2, MEDIASUBTYPE_MJPG, FORMAT_VideoInfo2, 112);
  FakeSample* sample = new FakeSample(MakeJpeg(32, 16, 1), &v2);
  EXPECT_EQ(S_FALSE, proc->Transform(sample, nullptr));
  sample->Release();
  EXPECT_TRUE(log.Contains("590: Failed to update bitmapinfoheader"));
  EXPECT_FALSE(orba_test::FileExists(folder));
  EXPECT_TRUE(FilesIn(pictures.Folder()).empty());

  // A sample claiming more bytes than its buffer holds is not read past its end.
  sample = new FakeSample("short");
  sample->ClaimLength(100000);
  EXPECT_EQ(S_FALSE, proc->Transform(sample, nullptr));
  sample->Release();
  EXPECT_FALSE(orba_test::FileExists(folder));
  EXPECT_TRUE(FilesIn(pictures.Folder()).empty());

  // The next plain sample is the recording's first.
  sample = new FakeSample("frame");
  EXPECT_EQ(S_OK, proc->Transform(sample, nullptr));
  sample->Release();
  EXPECT_EQ("frame", orba_test::ReadFileBytes(folder + "\\frame_0.jpg"));
  EXPECT_EQ(1u, FilesIn(pictures.Folder()).size());
  orba_test::RemoveTree(root);
}

// ---------------------------------------------------------------- magnifier area

TEST(ProcMagnifierArea, FailedRequestStillComputesTheArea) {
  ComScope com;
  DirectProc proc;
  const int cx = GetSystemMetrics(SM_CXSCREEN);
  const int cy = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_EQ(E_FAIL, proc->SetParams(3, 0.5, 0.5));
  const RECT r = proc->AreaRect();
  EXPECT_EQ(0, r.left);
  EXPECT_EQ(0, r.top);
  EXPECT_EQ(cx / 2, r.right);
  EXPECT_EQ(cy, r.bottom);
  EXPECT_TRUE(proc->AreaActive());
  EXPECT_EQ(S_OK, proc->SetParams(100, 0, 0));
  EXPECT_FALSE(proc->AreaActive());
  EXPECT_FALSE(proc->HoldsDirectDraw());
}

TEST(ProcMagnifierArea, HalvesOfA1366By768Screen) {
  if (GetSystemMetrics(SM_CXSCREEN) != 1366 || GetSystemMetrics(SM_CYSCREEN) != 768) {
    GTEST_SKIP() << "needs the test display of 1366 x 768";
  }
  ComScope com;
  DirectProc proc;
  proc->SetParams(5, 1, 1);
  RECT r = proc->AreaRect();
  EXPECT_EQ(683, r.left);
  EXPECT_EQ(0, r.top);
  EXPECT_EQ(1366, r.right);
  EXPECT_EQ(768, r.bottom);
  proc->SetParams(6, 1, 1);
  r = proc->AreaRect();
  EXPECT_EQ(0, r.left);
  EXPECT_EQ(384, r.top);
  EXPECT_EQ(1366, r.right);
  EXPECT_EQ(768, r.bottom);
  proc->SetParams(4, 1, 1);
  r = proc->AreaRect();
  EXPECT_EQ(1366, r.right);
  EXPECT_EQ(384, r.bottom);
  proc->SetParams(2, 1, 1);
  r = proc->AreaRect();
  EXPECT_EQ(1366, r.right);
  EXPECT_EQ(768, r.bottom);
}

TEST(ProcMagnifierArea, DirectDrawPrimarySurfaceIsHeldUntilExit) {
  orba_test::DebugOutputCapture log;
  ComScope com;
  DirectProc proc;
  char status[256];
  ASSERT_TRUE(proc->InitDirectDraw());
  EXPECT_TRUE(proc->HoldsDirectDraw());
  proc->GetStatusText(status);
  EXPECT_STREQ("InitDirectDraw exits with returnValue = 1", status);
  EXPECT_TRUE(log.Contains("590: InitDirectDraw"));
  proc->ExitDirectDraw();
  EXPECT_FALSE(proc->HoldsDirectDraw());
  EXPECT_TRUE(log.Contains("590: ExitDirectDraw entry"));
  // Objects left by a request that did not change the mode go with the filter.
  ASSERT_TRUE(proc->InitDirectDraw());
  log.Clear();
  proc.Reset();
  EXPECT_EQ(1u, log.Count("590: ExitDirectDraw entry"));
}

TEST(ProcMagnifierArea, WithAVideoStreamAndNoMagnifierTheModeIsTaken) {
  orba_test::DebugOutputCapture log;
  ComScope com;
  DirectProc proc;
  proc->SetAreaHandles(0x1234, 0x5678);
  EXPECT_EQ(S_OK, proc->SetParams(4, 1.25, 0.75));
  long mode = 0;
  double dx = 0, dy = 0;
  proc->GetParams(&mode, &dx, &dy);
  EXPECT_EQ(4, mode);
  EXPECT_EQ(1.25, dx);
  EXPECT_EQ(0.75, dy);
  EXPECT_TRUE(proc->HoldsDirectDraw());
  // A plain diagnostic, without the build number.
  const std::string line = log.Matching("SetParams: Neither ZT nor Kavrelo on");
  EXPECT_FALSE(line.empty());
  EXPECT_EQ(std::string::npos, line.find("590:"));
  // Destroyed with a mode other than off: the area goes and DirectDraw with it.
  log.Clear();
  proc.Reset();
  EXPECT_TRUE(log.Contains("590: ExitDirectDraw entry"));
  EXPECT_TRUE(log.Contains("590: Filter destroyed!"));
}

TEST(ProcMagnifierArea, KavreloGetsTheViewportOfTheHalf) {
  kavrelo_sim::KavreloSim sim;
  ASSERT_TRUE(sim.Start()) << sim.Error();
  CCTV_Init(nullptr, 0);
  ASSERT_TRUE(sim.WaitForMessages(1, 5000));
  {
    ComScope com;
    DirectProc proc;
    proc->SetAreaHandles(0x1234, 0x5678);
    ASSERT_EQ(S_OK, proc->SetParams(101, 0, 0));
    ASSERT_EQ(S_OK, proc->SetParams(3, 2.0, 2.0));
    ASSERT_TRUE(sim.WaitForMessages(4, 5000));
    const std::vector<kavrelo_sim::MessageRecord> got = sim.Messages();
    ASSERT_EQ(4u, got.size());
    EXPECT_EQ(1053u, got[1].message);  // cleared first
    EXPECT_EQ(1051u, got[2].message);  // options 0, 1
    EXPECT_EQ(1u, got[2].wParam);
    EXPECT_EQ(0u, got[2].lParam);
    EXPECT_EQ(1052u, got[3].message);
    const uint32_t cx = static_cast<uint32_t>(GetSystemMetrics(SM_CXSCREEN));
    const uint32_t cy = static_cast<uint32_t>(GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(0u, got[3].wParam);                     // top, left
    EXPECT_EQ((cy << 16) | (cx / 2), got[3].lParam);  // bottom, right
  }
  CCTV_Close();
  sim.Stop();
}

// With a running ZoomText (the simulated one, installed for the test) the
// area goes to ZoomText as its set-area record.
class ProcZoomTextArea : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(install_.AddVersion(L"10.0", L"10.0", 0));
    ASSERT_TRUE(sim_.Start()) << sim_.Error();
    ASSERT_EQ(S_OK, proc_->SetAreaHandles(0x1234, 0x5678));
  }
  std::vector<zoomtext_sim::ZxCall> Sent(int code) const {
    std::vector<zoomtext_sim::ZxCall> out;
    for (const auto& call : install_.Calls(L"10.0")) {
      if (call.entry == "ZxCommandApi" && call.code == code) out.push_back(call);
    }
    return out;
  }
  std::string Status() {
    char text[256] = {};
    proc_->GetStatusText(text);
    return text;
  }
  long Mode() {
    long mode = 0;
    double dx = 0, dy = 0;
    proc_->GetParams(&mode, &dx, &dy);
    return mode;
  }

  zoomtext_sim::ZoomTextInstall install_;
  zoomtext_sim::ZoomTextSim sim_;
  ComScope com_;
  DirectProc proc_;
};

TEST_F(ProcZoomTextArea, EachAreaReachesZoomTextAsItsType) {
  orba_test::DebugOutputCapture log;
  for (long code = 2; code <= 6; ++code) {
    ASSERT_TRUE(install_.ClearCalls(L"10.0"));
    EXPECT_EQ(S_OK, proc_->SetParams(code, 1.5, 0.5)) << code;
    const auto sets = Sent(1033);
    ASSERT_EQ(1u, sets.size()) << code;
    EXPECT_EQ(40u, sets[0].record.size);
    EXPECT_EQ(0x1234u, sets[0].record.owner);
    EXPECT_EQ(0x5678u, sets[0].record.video);
    EXPECT_EQ(static_cast<uint32_t>(code), sets[0].record.type);
    EXPECT_EQ(0, sets[0].record.left | sets[0].record.right | sets[0].record.bottom);
    ASSERT_EQ(1u, Sent(1024).size()) << "the old area goes first";
    EXPECT_EQ(0x1234u, Sent(1024)[0].record.owner);
    EXPECT_EQ(code, Mode());
  }
  EXPECT_TRUE(log.Contains("SetParams ZTON"));
  EXPECT_TRUE(log.Contains("CCTV AREA2 SET OK"));
  EXPECT_FALSE(log.Contains("Neither ZT nor Kavrelo on"));

  // Destroyed with an area set: the area goes with the filter.
  ASSERT_TRUE(install_.ClearCalls(L"10.0"));
  proc_.Reset();
  ASSERT_EQ(1u, Sent(1024).size());
  EXPECT_EQ(0x1234u, Sent(1024)[0].record.owner);
}

TEST_F(ProcZoomTextArea, ZoomTextsRefusalsGiveTheirTextAndKeepTheMode) {
  ASSERT_EQ(S_OK, proc_->SetParams(5, 1.0, 1.0));
  const struct {
    const char* answer;
    const char* text;
  } refusals[] = {{"3", "pSetArea is invalid"},
                  {"6", "rect is invalid"},
                  {"7", "pSetArea->type is set to unsupported area"},
                  {"8", "a different process already owns the CCTV area"},
                  {"42", "Unknown error: hr = 42"}};
  for (const auto& refusal : refusals) {
    ASSERT_TRUE(install_.SetAnswer(L"10.0", "result_1033", refusal.answer));
    EXPECT_EQ(static_cast<HRESULT>(std::atoi(refusal.answer)), proc_->SetParams(3, 2.0, 2.0));
    EXPECT_EQ(refusal.text, Status());
    EXPECT_EQ(5, Mode()) << refusal.answer;
  }
}

TEST_F(ProcZoomTextArea, WithMagnificationOffOnlyTheAreaIsTakenBack) {
  ASSERT_TRUE(install_.SetAnswer(L"10.0", "magnifying", 0));
  for (long code = 2; code <= 6; ++code) EXPECT_EQ(S_OK, proc_->SetParams(code, 1.0, 1.0));
  EXPECT_TRUE(Sent(1033).empty());
  EXPECT_TRUE(Sent(1024).empty()) << "only a ZoomText that magnifies is asked";
  EXPECT_EQ(S_OK, proc_->SetParams(7, 1.0, 1.0));
  EXPECT_EQ(1u, Sent(1024).size());
  EXPECT_EQ(S_OK, proc_->SetParams(100, 1.0, 1.0));
  EXPECT_EQ(2u, Sent(1024).size());
}

TEST_F(ProcZoomTextArea, ZoomTextComesBeforeKavrelo) {
  kavrelo_sim::KavreloSim kavrelo;
  ASSERT_TRUE(kavrelo.Start()) << kavrelo.Error();
  CCTV_Init(nullptr, 0);
  ASSERT_TRUE(kavrelo.WaitForMessages(1, 5000));
  ASSERT_EQ(S_OK, proc_->SetParams(101, 0, 0));
  EXPECT_EQ(S_OK, proc_->SetParams(3, 1.0, 1.0));
  EXPECT_EQ(1u, Sent(1033).size());
  Sleep(200);  // a viewport message would have arrived by now
  EXPECT_EQ(0u, kavrelo.Count(1052));
  EXPECT_EQ(0u, kavrelo.Count(1053));
  CCTV_Close();
}

// ---------------------------------------------------------------- JPEG and names

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s.push_back(static_cast<char>(v));
  return s;
}

HuffmanTables Find(const std::string& s, size_t* at = nullptr) {
  size_t dummy = 0;
  return orba_filter::FindHuffmanTables(reinterpret_cast<const uint8_t*>(s.data()), s.size(),
                                        at ? at : &dummy);
}

TEST(ProcJpeg, FindsWhereTheTablesAreMissing) {
  const std::string withTables = MakeJpeg(32, 16, 3);
  EXPECT_EQ(HuffmanTables::kPresent, Find(withTables));
  const std::string without = StripHuffmanTables(withTables);
  size_t at = 0;
  ASSERT_EQ(HuffmanTables::kMissing, Find(without, &at));
  EXPECT_EQ(0xFF, static_cast<unsigned char>(without[at]));
  EXPECT_EQ(0xDA, static_cast<unsigned char>(without[at + 1]));

  // SOI, fill bytes, APP0 of 4 bytes, SOS.
  const std::string filled = Bytes({0xFF, 0xD8, 0xFF, 0xFF, 0xE0, 0x00, 0x04, 1, 2, 0xFF, 0xDA, 0});
  ASSERT_EQ(HuffmanTables::kMissing, Find(filled, &at));
  EXPECT_EQ(9u, at);
  // Arithmetic coding needs no Huffman tables.
  const std::string arithmetic =
      Bytes({0xFF, 0xD8, 0xFF, 0xC9, 0x00, 0x02, 0xFF, 0xDA, 0x00, 0x02});
  EXPECT_EQ(HuffmanTables::kPresent, Find(arithmetic));
}

TEST(ProcJpeg, AnythingItCannotWalkIsLeftAlone) {
  EXPECT_EQ(HuffmanTables::kNotJpeg, Find(""));
  EXPECT_EQ(HuffmanTables::kNotJpeg, Find("hello world"));
  EXPECT_EQ(HuffmanTables::kNotJpeg, Find(Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x40, 1})));
  EXPECT_EQ(HuffmanTables::kNotJpeg, Find(Bytes({0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xDA})));
  EXPECT_EQ(HuffmanTables::kNotJpeg, Find(Bytes({0xFF, 0xD8, 0x12, 0xFF, 0xDA})));
  EXPECT_EQ(HuffmanTables::kNotJpeg, Find(Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0xFF, 0xDA})));
  EXPECT_EQ(HuffmanTables::kNotJpeg, Find(Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02})));
}

TEST(ProcJpeg, StandardSegmentHoldsTheFourTablesOfTheStandard) {
  size_t size = 0;
  const uint8_t* dht = orba_filter::StandardHuffmanSegment(&size);
  ASSERT_EQ(420u, size);
  EXPECT_EQ(0xFF, dht[0]);
  EXPECT_EQ(0xC4, dht[1]);
  EXPECT_EQ(size - 2, static_cast<size_t>((dht[2] << 8) | dht[3]));
  const uint8_t ids[] = {0x00, 0x10, 0x01, 0x11};
  const size_t symbols[] = {12, 162, 12, 162};
  size_t at = 4;
  for (int t = 0; t < 4; ++t) {
    ASSERT_LT(at, size);
    EXPECT_EQ(ids[t], dht[at]) << t;
    size_t count = 0;
    for (int i = 1; i <= 16; ++i) count += dht[at + i];
    EXPECT_EQ(symbols[t], count) << t;
    at += 17 + count;
  }
  EXPECT_EQ(size, at);
}

TEST(ProcPictureNames, FirstFreeNameGetsASuffix) {
  const std::string folder = orba_test::MakeTempDir("names");
  char path[orba_filter::kPathBytes];
  ASSERT_TRUE(orba_filter::FreePicturePath(folder.c_str(), "240103_09.05.07", path, sizeof path));
  EXPECT_EQ(folder + "\\240103_09.05.07.jpg", path);
  orba_test::WriteFileBytes(path, "1");
  HANDLE h =
      orba_filter::CreateFreePictureFile(folder.c_str(), "240103_09.05.07", path, sizeof path);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  CloseHandle(h);
  EXPECT_EQ(folder + "\\240103_09.05.07_2.jpg", path);
  h = orba_filter::CreateFreePictureFile(folder.c_str(), "240103_09.05.07", path, sizeof path);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  CloseHandle(h);
  EXPECT_EQ(folder + "\\240103_09.05.07_3.jpg", path);
  EXPECT_EQ("1", orba_test::ReadFileBytes(folder + "\\240103_09.05.07.jpg"));

  // A missing folder creates nothing; a path that does not fit names nothing.
  EXPECT_EQ(INVALID_HANDLE_VALUE, orba_filter::CreateFreePictureFile((folder + "\\missing").c_str(),
                                                                     "x", path, sizeof path));
  const std::string longFolder(990, 'f');
  EXPECT_FALSE(
      orba_filter::FreePicturePath(longFolder.c_str(), "240103_09.05.07", path, sizeof path));
  EXPECT_STREQ("", path);
  EXPECT_EQ(INVALID_HANDLE_VALUE, orba_filter::CreateFreePictureFile(
                                      longFolder.c_str(), "240103_09.05.07", path, sizeof path));
  orba_test::RemoveTree(folder);
}

TEST(ProcSettings, TextValuesOfTheViewersKey) {
  SettingsKeyScope settings;
  char buf[orba_filter::kPathBytes];
  EXPECT_EQ(1, orba_filter::ReadSettingsText("ImageFolderPath", buf, sizeof buf));
  ASSERT_TRUE(settings.WriteText("ImageFolderPath", ""));
  EXPECT_EQ(1, orba_filter::ReadSettingsText("ImageFolderPath", buf, sizeof buf));
  ASSERT_EQ(ERROR_SUCCESS, orba_filter::WriteSettingsText("ImageFolderPath", "C:\\PICTUR~1"));
  EXPECT_EQ(0, orba_filter::ReadSettingsText("ImageFolderPath", buf, sizeof buf));
  EXPECT_STREQ("C:\\PICTUR~1", buf);
  ASSERT_TRUE(settings.WriteText("ImageFolderPath", std::string(1000, 'z')));
  std::memset(buf, 'k', sizeof buf);
  EXPECT_EQ(1, orba_filter::ReadSettingsText("ImageFolderPath", buf, sizeof buf));
  EXPECT_EQ('\0', buf[0]);
}

TEST(ProcSettings, WritingNeverCreatesTheKey) {
  SettingsKeyScope settings(false);
  EXPECT_NE(ERROR_SUCCESS, orba_filter::WriteSettingsText("ImageFolderPath", "C:\\X"));
  EXPECT_FALSE(orba_test::RegistryKeyExists(HKEY_CURRENT_USER, orba::kSettingsKey));
}

}  // namespace
}  // namespace filter_test
