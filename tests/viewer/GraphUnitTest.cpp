// The capture graph's building blocks and CaptureVideo / TeardownGraph inside
// the test process, on the simulated camera, the registered ORBAProc and the
// platform's filters.
#include <gtest/gtest.h>

#include <windows.h>

#include <dshow.h>
#include <dvdmedia.h>

#include <cstring>
#include <cwchar>

#include "Camera.h"
#include "CaptureGraph.h"
#include "LiveTestUtil.h"
#include "ViewerState.h"
#include "ZtRendererSimClient.h"
#include "dshow_base/Streams.h"
#include "orba/ComPtr.h"
#include "orba/MediaType.h"
#include "simcam/SimCamControl.h"
#include "simcam/SimCamIds.h"

namespace {

using orba::ComPtr;

// {5E2D7C10-3A4B-4C8D-9E1F-2A3B4C5D6E7F}
const CLSID kClsidFormatSource = {
    0x5e2d7c10, 0x3a4b, 0x4c8d, {0x9e, 0x1f, 0x2a, 0x3b, 0x4c, 0x5d, 0x6e, 0x7f}};

// A capture source whose one pin reports whatever format a test gives it.
class CFormatSource;
class CFormatPin : public CBaseOutputPin, public IAMStreamConfig, public IKsPropertySet {
 public:
  CFormatPin(CFormatSource* filter, CCritSec* lock, HRESULT* phr)
      : CBaseOutputPin(nullptr, reinterpret_cast<CBaseFilter*>(filter), lock, phr, L"Capture") {}
  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IAMStreamConfig) return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
    if (riid == IID_IKsPropertySet) return GetInterface(static_cast<IKsPropertySet*>(this), ppv);
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
  }
  HRESULT GetMediaType(int i, CMediaType* mt) override {
    if (i < 0) return E_INVALIDARG;
    if (i > 0) return VFW_S_NO_MORE_ITEMS;
    return mt->Set(format);
  }
  HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
  HRESULT DecideBufferSize(IMemAllocator*, ALLOCATOR_PROPERTIES*) override { return E_FAIL; }

  STDMETHODIMP SetFormat(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** out) override {
    *out = orba::CreateMediaTypeCopy(&format);
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP GetNumberOfCapabilities(int*, int*) override { return E_NOTIMPL; }
  STDMETHODIMP GetStreamCaps(int, AM_MEDIA_TYPE**, BYTE*) override { return E_NOTIMPL; }

  STDMETHODIMP Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD size,
                   DWORD* returned) override {
    if (set != AMPROPSETID_Pin || id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (!data || size < sizeof(GUID)) return E_UNEXPECTED;
    std::memcpy(data, &PIN_CATEGORY_CAPTURE, sizeof(GUID));
    if (returned) *returned = sizeof(GUID);
    return S_OK;
  }
  STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override {
    if (set != AMPROPSETID_Pin || id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (support) *support = KSPROPERTY_SUPPORT_GET;
    return S_OK;
  }

  CMediaType format;
};

class CFormatSource : public CBaseFilter {
 public:
  CFormatSource() : CBaseFilter(nullptr, nullptr, &lock_, kClsidFormatSource) {
    HRESULT hr = S_OK;
    pin_ = new CFormatPin(this, &lock_, &hr);
  }
  ~CFormatSource() override { delete pin_; }
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? pin_ : nullptr; }
  CFormatPin* Pin() { return pin_; }

 private:
  CCritSec lock_;
  CFormatPin* pin_;
};

// A video format block of the given type and size whose bitmap header says w x h.
void SetFormat(CMediaType* mt, const GUID& formatType, ULONG bytes, LONG w, LONG h) {
  mt->InitMediaType();
  mt->SetType(&MEDIATYPE_Video);
  mt->SetSubtype(&MEDIASUBTYPE_MJPG);
  mt->SetFormatType(&formatType);
  BYTE* block = mt->AllocFormatBuffer(bytes);
  std::memset(block, 0, bytes);
  BITMAPINFOHEADER* header = nullptr;
  if (formatType == FORMAT_VideoInfo2 && bytes >= sizeof(VIDEOINFOHEADER2)) {
    header = &reinterpret_cast<VIDEOINFOHEADER2*>(block)->bmiHeader;
  } else if (bytes >= sizeof(VIDEOINFOHEADER)) {
    header = &reinterpret_cast<VIDEOINFOHEADER*>(block)->bmiHeader;
  }
  if (header) {
    header->biWidth = w;
    header->biHeight = h;
  }
}

class GraphParts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_ICaptureGraphBuilder2, builder_.PutVoid()));
    source_ = new CFormatSource();
    source_->AddRef();
  }
  void TearDown() override {
    if (source_) source_->Release();
    builder_.Reset();
    CoUninitialize();
  }
  IBaseFilter* Source() { return static_cast<IBaseFilter*>(source_); }

  ComPtr<ICaptureGraphBuilder2> builder_;
  CFormatSource* source_ = nullptr;
};

TEST_F(GraphParts, CameraResolutionFromEitherVideoHeader) {
  int32_t w = -1, h = -1;
  SetFormat(&source_->Pin()->format, FORMAT_VideoInfo, sizeof(VIDEOINFOHEADER), 1280, 720);
  EXPECT_EQ(S_OK, GetCameraResolution(builder_.Get(), Source(), &w, &h));
  EXPECT_EQ(1280, w);
  EXPECT_EQ(720, h);
  SetFormat(&source_->Pin()->format, FORMAT_VideoInfo2, sizeof(VIDEOINFOHEADER2), 640, -480);
  EXPECT_EQ(S_OK, GetCameraResolution(builder_.Get(), Source(), &w, &h));
  EXPECT_EQ(640, w);
  EXPECT_EQ(-480, h) << "the height is taken as the header has it";
}

TEST_F(GraphParts, UnrecognisedFormatsLeaveTheResolutionAlone) {
  const struct {
    GUID type;
    ULONG bytes;
  } formats[] = {
      {FORMAT_VideoInfo, sizeof(VIDEOINFOHEADER) + 4},    // a palette or masks after the header
      {FORMAT_VideoInfo2, sizeof(VIDEOINFOHEADER2) - 8},  // too short
      {FORMAT_VideoInfo2, sizeof(VIDEOINFOHEADER)},       // the other header's size
      {FORMAT_WaveFormatEx, sizeof(VIDEOINFOHEADER)},
  };
  for (const auto& f : formats) {
    SetFormat(&source_->Pin()->format, f.type, f.bytes, 320, 240);
    int32_t w = 11, h = 22;
    EXPECT_EQ(E_UNEXPECTED, GetCameraResolution(builder_.Get(), Source(), &w, &h)) << f.bytes;
    EXPECT_EQ(11, w);
    EXPECT_EQ(22, h);
  }
  // No format block at all.
  source_->Pin()->format.ResetFormatBuffer();
  int32_t w = 11, h = 22;
  EXPECT_EQ(E_UNEXPECTED, GetCameraResolution(builder_.Get(), Source(), &w, &h));
  EXPECT_EQ(11, w);
}

TEST_F(GraphParts, CameraResolutionRefusesNullArguments) {
  int32_t w = 0, h = 0;
  EXPECT_EQ(E_INVALIDARG, GetCameraResolution(nullptr, Source(), &w, &h));
  EXPECT_EQ(E_INVALIDARG, GetCameraResolution(builder_.Get(), nullptr, &w, &h));
  EXPECT_EQ(E_INVALIDARG, GetCameraResolution(builder_.Get(), Source(), nullptr, &h));
  EXPECT_EQ(E_INVALIDARG, GetCameraResolution(builder_.Get(), Source(), &w, nullptr));
}

ULONG RefCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

TEST_F(GraphParts, PinsOfTheSmartTeeByIndexNameAndConnection) {
  ComPtr<IBaseFilter> tee;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SmartTee, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   tee.PutVoid()));
  const ULONG refs = RefCount(tee.Get());
  {
    ASSERT_NE(nullptr, GetPin(tee.Get(), PINDIR_INPUT, 0).Get());
    EXPECT_EQ(nullptr, GetPin(tee.Get(), PINDIR_INPUT, 1).Get());
    const orba::ComPtr<IPin> secondOut = GetPin(tee.Get(), PINDIR_OUTPUT, 1);
    ASSERT_NE(nullptr, secondOut.Get());
    const orba::ComPtr<IPin> preview = FindPinByName(tee.Get(), "Preview");
    const orba::ComPtr<IPin> capture = FindPinByName(tee.Get(), "Capture");
    ASSERT_NE(nullptr, preview.Get());
    ASSERT_NE(nullptr, capture.Get());
    EXPECT_NE(preview.Get(), capture.Get());
    EXPECT_TRUE(secondOut == preview || secondOut == capture);
    EXPECT_EQ(preview.Get(), FindPinByName(tee.Get(), "review").Get())
        << "a part of the name is enough";
    EXPECT_EQ(nullptr, FindPinByName(tee.Get(), "preview").Get()) << "case counts";
    EXPECT_EQ(nullptr, FindPinByName(tee.Get(), "Input").Get()) << "output pins only";

    PIN_INFO info = {};
    ASSERT_EQ(S_OK, preview->QueryPinInfo(&info));
    if (info.pFilter) info.pFilter->Release();
    EXPECT_EQ(PINDIR_OUTPUT, info.dir);
    EXPECT_NE(nullptr, std::wcsstr(info.achName, L"Preview"));
  }
  EXPECT_EQ(refs, RefCount(tee.Get())) << "every pin a lookup returned gave its reference back";
  const orba::ComPtr<IPin> input = GetPin(tee.Get(), PINDIR_INPUT, 0);
  // The camera's output is unconnected until it feeds the tee.
  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, graph.PutVoid()));
  ComPtr<IBaseFilter> camera;
  ASSERT_TRUE(simcam::Plug());
  ASSERT_EQ(S_OK, CoCreateInstance(simcam::CLSID_OrbaSimCam, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IBaseFilter, camera.PutVoid()));
  ASSERT_EQ(S_OK, graph->AddFilter(camera.Get(), L"Video Capture"));
  ASSERT_EQ(S_OK, graph->AddFilter(tee.Get(), L"Smart Tee"));
  ComPtr<IPin> out;
  ASSERT_EQ(S_OK, FindUnconnectedPin(camera.Get(), PINDIR_OUTPUT, &out));
  ASSERT_NE(nullptr, out.Get());
  ComPtr<IPin> none;
  EXPECT_EQ(E_FAIL, FindUnconnectedPin(camera.Get(), PINDIR_INPUT, &none));
  EXPECT_EQ(nullptr, none.Get());
  ASSERT_EQ(S_OK, graph->Connect(out.Get(), input.Get()));
  EXPECT_EQ(E_FAIL, FindUnconnectedPin(camera.Get(), PINDIR_OUTPUT, &none));
  EXPECT_EQ(nullptr, none.Get());
  ComPtr<IPin> teeOut;
  EXPECT_EQ(S_OK, FindUnconnectedPin(tee.Get(), PINDIR_OUTPUT, &teeOut));
  graph->RemoveFilter(camera.Get());
  graph->RemoveFilter(tee.Get());
}

TEST_F(GraphParts, GraphIsNamedInTheRunningObjectTableUntilRemoved) {
  DWORD cookie = 0;
  EXPECT_EQ(E_POINTER, RegisterGraphInRot(nullptr, &cookie));
  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, graph.PutVoid()));
  EXPECT_EQ(E_POINTER, RegisterGraphInRot(graph.Get(), nullptr));
  ASSERT_EQ(S_OK, RegisterGraphInRot(graph.Get(), &cookie));
  EXPECT_NE(0u, cookie);
  char expected[64];
  std::snprintf(expected, sizeof expected, "FilterGraph %08x pid %08lx",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(graph.Get())),
                static_cast<unsigned long>(GetCurrentProcessId()));
  EXPECT_EQ(std::vector<std::string>{expected}, live_test::RotGraphNames(GetCurrentProcessId()));
  RemoveGraphFromRot(cookie);
  EXPECT_TRUE(live_test::RotGraphNames(GetCurrentProcessId()).empty());
}

// CaptureVideo in this process, as the start-up pass calls it.
class CaptureVideoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_TRUE(simcam::ClearOptions());
    ASSERT_TRUE(simcam::Plug());
    // A missing ORBAProc would end this process with error 7.
    ComPtr<IBaseFilter> probe;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ORBAProc, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                     probe.PutVoid()));
    window_ = CreateWindowExA(0, "STATIC", "viewer", WS_POPUP | WS_VISIBLE, 0, 0, 640, 360, nullptr,
                              nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window_);
    g_viewer = ViewerState{};
    g_viewer.hwndViewer = window_;
    FindCamera(&g_viewer.pSrcFilter);
    ASSERT_NE(nullptr, g_viewer.pSrcFilter);
    ASSERT_EQ(S_OK, OpenCameraControl());
  }
  void TearDown() override {
    TeardownGraph();
    // As the end of a pass does for ZoomText's renderer.
    g_viewer.pZTCCTV2Only = nullptr;
    if (g_viewer.g_pZTCCTV2) g_viewer.g_pZTCCTV2->Release();
    if (g_viewer.ZT_RenderFilter) g_viewer.ZT_RenderFilter->Release();
    if (g_viewer.pSrcFilter) g_viewer.pSrcFilter->Release();
    g_viewer = ViewerState{};
    if (window_) DestroyWindow(window_);
    simcam::ClearOptions();
    CoUninitialize();
  }
  void ExpectAllGraphReferencesGone() {
    EXPECT_EQ(nullptr, g_viewer.pGraph);
    EXPECT_EQ(nullptr, g_viewer.pCaptureBuilder);
    EXPECT_EQ(nullptr, g_viewer.pMediaControl);
    EXPECT_EQ(nullptr, g_viewer.pMediaEvent);
    EXPECT_EQ(nullptr, g_viewer.pVideoWindow);
    EXPECT_EQ(nullptr, g_viewer.pCameraControl);
    EXPECT_EQ(nullptr, g_viewer.pOrbaProc);
    EXPECT_EQ(nullptr, g_viewer.pOrbaProcFilter);
    EXPECT_EQ(nullptr, g_viewer.pSmartTee);
    EXPECT_EQ(nullptr, g_viewer.pNullRenderer);
    EXPECT_EQ(nullptr, g_viewer.pMixRenderer);
    EXPECT_EQ(nullptr, g_viewer.pWindowlessControl);
    EXPECT_EQ(nullptr, g_viewer.pPaintControl);
    EXPECT_EQ(0u, g_viewer.rotCookie);
    EXPECT_EQ(0, g_viewer.graphState);
    // Nothing but the viewer's own reference holds the camera any more.
    EXPECT_EQ(1u, RefCount(g_viewer.pSrcFilter));
  }

  HWND window_ = nullptr;
};

TEST_F(CaptureVideoTest, BuildsTheMixingRendererGraphStoppedAndTeardownLetsGoOfAllOfIt) {
  ASSERT_EQ(S_OK, CaptureVideo());
  EXPECT_NE(nullptr, g_viewer.pGraph);
  EXPECT_NE(nullptr, g_viewer.pCaptureBuilder);
  EXPECT_NE(nullptr, g_viewer.pMediaControl);
  EXPECT_NE(nullptr, g_viewer.pMediaEvent);
  EXPECT_NE(nullptr, g_viewer.pVideoWindow);
  EXPECT_NE(nullptr, g_viewer.pOrbaProc);
  EXPECT_NE(nullptr, g_viewer.pSmartTee);
  EXPECT_NE(nullptr, g_viewer.pNullRenderer);
  EXPECT_NE(nullptr, g_viewer.pMixRenderer);
  ASSERT_NE(nullptr, g_viewer.pWindowlessControl);
  EXPECT_EQ(g_viewer.pWindowlessControl, g_viewer.pPaintControl);
  EXPECT_EQ(nullptr, g_viewer.ZT_RenderFilter);
  EXPECT_EQ(0u, g_viewer.usingZTRenderer);
  EXPECT_NE(0u, g_viewer.rotCookie);
  EXPECT_EQ(2, g_viewer.graphState);
  EXPECT_EQ(simcam::kWidth, g_viewer.cameraRes.width);
  EXPECT_EQ(simcam::kHeight, g_viewer.cameraRes.height);
  long build = 0;
  EXPECT_EQ(S_OK, g_viewer.pOrbaProc->GetBuildNumber(&build));
  EXPECT_EQ(590, build);

  // Built but not started: the start-up pass runs it.
  OAFilterState state = State_Running;
  EXPECT_EQ(S_OK, g_viewer.pMediaControl->GetState(1000, &state));
  EXPECT_EQ(State_Stopped, state);
  // The mixing renderer draws into the whole of the viewer window.
  RECT source = {}, dest = {};
  EXPECT_EQ(S_OK, g_viewer.pWindowlessControl->GetVideoPosition(&source, &dest));
  EXPECT_EQ(640, dest.right - dest.left);
  EXPECT_EQ(360, dest.bottom - dest.top);

  TeardownGraph();
  ExpectAllGraphReferencesGone();
  TeardownGraph();  // a second call finds nothing to do
  ExpectAllGraphReferencesGone();
}

TEST_F(CaptureVideoTest, CompatibleZoomTextRendererRunsTheGraphBeforeReturning) {
  zt_renderer_sim::ScopedZtRenderer renderer;
  ASSERT_TRUE(renderer.ok());
  ASSERT_EQ(S_OK, CaptureVideo());
  EXPECT_EQ(1u, g_viewer.usingZTRenderer);
  EXPECT_EQ(1u, g_viewer.ztAreaShown);
  EXPECT_EQ(nullptr, g_viewer.pMixRenderer);
  EXPECT_EQ(nullptr, g_viewer.pWindowlessControl);
  ASSERT_NE(nullptr, g_viewer.ZT_RenderFilter);
  ASSERT_NE(nullptr, g_viewer.pZTCCTV2Only);
  EXPECT_EQ(static_cast<IZoomTextCCTV*>(g_viewer.pZTCCTV2Only), g_viewer.g_pZTCCTV2);
  OAFilterState state = State_Stopped;
  EXPECT_EQ(S_OK, g_viewer.pMediaControl->GetState(0, &state));
  EXPECT_EQ(State_Running, state);
  EXPECT_TRUE(renderer.Log().WaitFor(zt_renderer_sim::kEventFirstSample, 1, 10000));

  TeardownGraph();
  ExpectAllGraphReferencesGone();
  // The end of the pass hides ZoomText's area and lets go of it afterwards.
  EXPECT_NE(nullptr, g_viewer.ZT_RenderFilter);
  EXPECT_NE(nullptr, g_viewer.g_pZTCCTV2);
}

TEST_F(CaptureVideoTest, RefusedZoomTextRendererIsLetGoOfByTheTeardown) {
  zt_renderer_sim::RendererOptions options;
  options.enabled = false;
  zt_renderer_sim::ScopedZtRenderer renderer(options);
  ASSERT_TRUE(renderer.ok());
  ASSERT_EQ(S_OK, CaptureVideo());
  EXPECT_EQ(0u, g_viewer.usingZTRenderer);
  EXPECT_EQ(0u, g_viewer.ztAreaShown);
  EXPECT_NE(nullptr, g_viewer.pMixRenderer);
  TeardownGraph();
  ExpectAllGraphReferencesGone();
  EXPECT_EQ(nullptr, g_viewer.ZT_RenderFilter);
  EXPECT_EQ(nullptr, g_viewer.g_pZTCCTV2);
  EXPECT_EQ(nullptr, g_viewer.pZTCCTV2Only);
  EXPECT_EQ(1u, renderer.Log().Of(zt_renderer_sim::kEventDestroyed).size());
}

}  // namespace
