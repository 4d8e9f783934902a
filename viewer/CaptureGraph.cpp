#include "CaptureGraph.h"

// VIDEOINFOHEADER2
#include <dvdmedia.h>

#include <cstring>
#include <cwchar>

#include "Environment.h"
#include "ErrorBox.h"
#include "HotKeys.h"
#include "PreviewChain.h"
#include "Recording.h"
#include "Startup.h"
#include "ViewerState.h"
#include "orba/ZoomTextCctvRenderer.h"
#include "ZoomTextPlacement.h"
#include "FilterArea.h"
#include "orba/ComPtr.h"
#include "orba/Log.h"
#include "orba/MediaType.h"

const wchar_t kMixRendererLabel[] = L"VMR9";
// The platform's Null Renderer (qedit), not declared by the headers at hand.
const CLSID CLSID_NullRenderer = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

namespace {

using orba::ComPtr;

// The formats whose size the viewer understands, by their exact block size.
static_assert(sizeof(VIDEOINFOHEADER) == 88, "VIDEOINFOHEADER is 88 bytes");
static_assert(sizeof(VIDEOINFOHEADER2) == 112, "VIDEOINFOHEADER2 is 112 bytes");
static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) == 48, "its bitmap header at byte 48");
static_assert(offsetof(VIDEOINFOHEADER2, bmiHeader) == 72, "its bitmap header at byte 72");

constexpr size_t kPinNameBytes = 128;

HRESULT CreateFilter(REFCLSID clsid, IBaseFilter** filter) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          reinterpret_cast<void**>(filter));
}

// A pin missing on either side is reported as a failed connection, never handed
// to the graph as a null pointer.
HRESULT ConnectPins(IPin* out, IPin* in) {
  if (!out || !in) return E_POINTER;
  return g_viewer.pGraph->Connect(out, in);
}

// The preview through ZoomText's CCTV renderer. True when ZoomText now
// renders the picture (the graph then runs already); false sends the caller to
// the mixing renderer. Never shows a message.
bool TryZoomTextRenderer(IPin* preview) {
  if (FAILED(CreateFilter(CLSID_ZT_CCTV_Renderer, &g_viewer.ZT_RenderFilter)) ||
      !g_viewer.ZT_RenderFilter) {
    DebugLine("CoCreateInstance CLSID_ZT_CCTV_Renderer failed!");
    g_viewer.ZT_RenderFilter = nullptr;
    return false;
  }
  DebugLine("CoCreateInstance CLSID_ZT_CCTV_Renderer succeeded!");

  if (SUCCEEDED(g_viewer.ZT_RenderFilter->QueryInterface(
          IID_IZoomTextCCTV2, reinterpret_cast<void**>(&g_viewer.pZTCCTV2Only))) &&
      g_viewer.pZTCCTV2Only) {
    // One reference serves both fields (see ViewerState).
    g_viewer.g_pZTCCTV2 = g_viewer.pZTCCTV2Only;
    DebugLine("QueryInterface(IID_IZoomTextCCTV2, (LPVOID*)&g_pZTCCTV2) succeeded!");
  } else {
    g_viewer.pZTCCTV2Only = nullptr;
    if (FAILED(g_viewer.ZT_RenderFilter->QueryInterface(
            IID_IZoomTextCCTV, reinterpret_cast<void**>(&g_viewer.g_pZTCCTV2))) ||
        !g_viewer.g_pZTCCTV2) {
      g_viewer.g_pZTCCTV2 = nullptr;
      DebugLine("ZT_RenderFilter->QueryInterface failed");
      return false;
    }
  }

  // Both questions are asked, whatever the first answer.
  const HRESULT running = g_viewer.g_pZTCCTV2->IsCompatibleZoomTextRunning();
  const HRESULT enabled = g_viewer.g_pZTCCTV2->IsZoomTextAnabled();
  if (running != S_OK || enabled != S_OK) {
    DebugLine("IsCompatibleZoomTextRunning() FALSE");
    g_viewer.usingZTRenderer = 0;
    g_viewer.ztAreaShown = 0;
    return false;
  }
  DebugLine("IsCompatibleZoomTextRunning() TRUE");
  DebugLine("IsZoomTextAnabled() TRUE");
  g_viewer.usingZTRenderer = 1;
  g_viewer.ztAreaShown = 1;

  HRESULT hr = g_viewer.pGraph->AddFilter(g_viewer.ZT_RenderFilter, L"ZoomText Renderer");
  DebugLine(hr == S_OK ? "AddFilter ZoomText Renderer OK!" : "AddFilter ZoomText Renderer failed!");
  if (hr == S_OK) {
    hr = preview ? g_viewer.pCaptureBuilder->RenderStream(nullptr, nullptr, preview, nullptr,
                                                          g_viewer.ZT_RenderFilter)
                 : E_POINTER;
  }
  if (hr == S_OK || hr == VFW_S_NOPREVIEWPIN) {
    DebugLine("RenderStream() ZoomText OK!");
  } else {
    DebugLine("RenderStream() ZoomText Renderer failed! hr=%x", static_cast<unsigned>(hr));
  }

  hr = g_viewer.pMediaControl->Run();
  DebugLine(hr == S_OK ? "Run() ZoomText OK!" : "Run() ZoomText failed!");
  ZTSetViewFull();
  return true;
}

// The preview through the Video Mixing Renderer 9, windowless in the
// viewer window. The graph is started later by the start-up pass.
HRESULT UseMixingRenderer(IPin* preview) {
  HRESULT hr = CreateFilter(CLSID_VideoMixingRenderer9, &g_viewer.pMixRenderer);
  if (FAILED(hr) || !g_viewer.pMixRenderer) {
    g_viewer.pMixRenderer = nullptr;
    hr = FAILED(hr) ? hr : E_POINTER;
  } else {
    hr = g_viewer.pGraph->AddFilter(g_viewer.pMixRenderer, kMixRendererLabel);
  }
  if (FAILED(hr)) {
    ErrorBox("Error #11 Sorry, problems with setting up directx\r\n This program will now end");
    FatalExit();
  }

  {
    ComPtr<IVMRFilterConfig9> config;
    hr = g_viewer.pMixRenderer->QueryInterface(IID_IVMRFilterConfig9, config.PutVoid());
    if (FAILED(hr)) {
      ErrorBox("Error #12 Config ,NSS");
    } else {
      hr = config->SetRenderingMode(VMR9Mode_Windowless);
    }
    if (FAILED(hr)) ErrorBox("Error #12,  windowless");
  }

  hr = g_viewer.pMixRenderer->QueryInterface(
      IID_IVMRWindowlessControl9, reinterpret_cast<void**>(&g_viewer.pWindowlessControl));
  if (FAILED(hr) || !g_viewer.pWindowlessControl) {
    g_viewer.pWindowlessControl = nullptr;
    ErrorBox("Error #14");
  } else {
    if (FAILED(g_viewer.pWindowlessControl->SetVideoClippingWindow(g_viewer.hwndViewer))) {
      ErrorBox("Error #15 no clipping");
    }
    g_viewer.pPaintControl = g_viewer.pWindowlessControl;
    LONG width = 0, height = 0, arWidth = 0, arHeight = 0;
    if (SUCCEEDED(g_viewer.pWindowlessControl->GetNativeVideoSize(&width, &height, &arWidth,
                                                                  &arHeight))) {
      RECT client = {};
      GetClientRect(g_viewer.hwndViewer, &client);
      RECT dest = {0, 0, client.right, client.bottom};
      if (FAILED(g_viewer.pWindowlessControl->SetVideoPosition(nullptr, &dest))) {
        ErrorBox("Error #16 Set Position,NSS");
      }
    }
  }

  hr = RenderPreview(g_viewer.pGraph, preview, g_viewer.pMixRenderer, &g_viewer.previewChain);
  if (FAILED(hr)) {
    ErrorBox("Error #17 Couldn't run the graph!  hr=0x%x", static_cast<unsigned>(hr));
    return hr;
  }
  return S_OK;
}

}  // namespace

HRESULT GetVideoInterfaces() {
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&g_viewer.pGraph));
  if (FAILED(hr)) {
    g_viewer.pGraph = nullptr;
    return hr;
  }
  hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                        IID_ICaptureGraphBuilder2,
                        reinterpret_cast<void**>(&g_viewer.pCaptureBuilder));
  if (FAILED(hr)) {
    g_viewer.pCaptureBuilder = nullptr;
    return hr;
  }
  hr = g_viewer.pGraph->QueryInterface(IID_IMediaControl,
                                       reinterpret_cast<void**>(&g_viewer.pMediaControl));
  if (FAILED(hr)) {
    g_viewer.pMediaControl = nullptr;
    return hr;
  }
  hr = g_viewer.pGraph->QueryInterface(IID_IVideoWindow,
                                       reinterpret_cast<void**>(&g_viewer.pVideoWindow));
  if (FAILED(hr)) {
    g_viewer.pVideoWindow = nullptr;
    return hr;
  }
  hr = g_viewer.pGraph->QueryInterface(IID_IMediaEventEx,
                                       reinterpret_cast<void**>(&g_viewer.pMediaEvent));
  if (FAILED(hr)) {
    g_viewer.pMediaEvent = nullptr;
    return hr;
  }
  return g_viewer.pMediaEvent->SetNotifyWindow(reinterpret_cast<OAHWND>(g_viewer.hwndViewer),
                                               kGraphNotifyMessage, 0);
}

ComPtr<IPin> GetPin(IBaseFilter* filter, PIN_DIRECTION direction, int index) {
  if (!filter || index < 0) return nullptr;
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(&pins)) || !pins) return nullptr;
  ComPtr<IPin> pin;
  ULONG fetched = 0;
  while (pins->Next(1, &pin, &fetched) == S_OK && fetched == 1) {
    PIN_DIRECTION pinDirection;
    if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction) {
      if (index == 0) return pin;
      --index;
    }
  }
  return nullptr;
}

HRESULT FindUnconnectedPin(IBaseFilter* filter, PIN_DIRECTION direction, IPin** found) {
  if (!found) return E_POINTER;
  *found = nullptr;
  if (!filter) return E_POINTER;
  ComPtr<IEnumPins> pins;
  HRESULT hr = filter->EnumPins(&pins);
  if (FAILED(hr) || !pins) return FAILED(hr) ? hr : E_FAIL;
  ComPtr<IPin> pin;
  ULONG fetched = 0;
  while (pins->Next(1, &pin, &fetched) == S_OK && fetched == 1) {
    PIN_DIRECTION pinDirection;
    if (FAILED(pin->QueryDirection(&pinDirection)) || pinDirection != direction) continue;
    ComPtr<IPin> peer;
    if (FAILED(pin->ConnectedTo(&peer))) {
      *found = pin.Detach();
      return S_OK;
    }
  }
  return E_FAIL;
}

ComPtr<IPin> FindPinByName(IBaseFilter* filter, const char* text) {
  if (!filter || !text) return nullptr;
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(&pins)) || !pins) return nullptr;
  pins->Reset();
  ComPtr<IPin> pin;
  ULONG fetched = 0;
  while (pins->Next(1, &pin, &fetched) == S_OK && fetched == 1) {
    PIN_INFO info = {};
    if (FAILED(pin->QueryPinInfo(&info))) continue;
    if (info.pFilter) info.pFilter->Release();
    if (info.dir != PINDIR_OUTPUT) continue;
    char name[kPinNameBytes] = {};
    // A name that does not fit is cut, and stays terminated.
    WideCharToMultiByte(CP_ACP, 0, info.achName, -1, name, sizeof name - 1, nullptr, nullptr);
    name[sizeof name - 1] = '\0';
    if (std::strstr(name, text)) return pin;
  }
  return nullptr;
}

HRESULT GetCameraResolution(ICaptureGraphBuilder2* builder, IBaseFilter* capture, int32_t* width,
                            int32_t* height) {
  if (!builder || !capture || !width || !height) return E_INVALIDARG;
  ComPtr<IAMStreamConfig> config;
  HRESULT hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, capture,
                                      IID_IAMStreamConfig, config.PutVoid());
  if (FAILED(hr)) return hr;
  if (!config) return E_NOINTERFACE;
  orba::MediaTypePtr format;
  hr = config->GetFormat(&format);
  if (FAILED(hr)) return hr;
  if (!format.Get() || !format->pbFormat) return E_UNEXPECTED;
  const BITMAPINFOHEADER* header = nullptr;
  if (format->formattype == FORMAT_VideoInfo && format->cbFormat == sizeof(VIDEOINFOHEADER)) {
    header = &reinterpret_cast<const VIDEOINFOHEADER*>(format->pbFormat)->bmiHeader;
  } else if (format->formattype == FORMAT_VideoInfo2 &&
             format->cbFormat == sizeof(VIDEOINFOHEADER2)) {
    header = &reinterpret_cast<const VIDEOINFOHEADER2*>(format->pbFormat)->bmiHeader;
  } else {
    return E_UNEXPECTED;
  }
  *width = header->biWidth;
  *height = header->biHeight;
  return hr;
}

HRESULT RegisterGraphInRot(IUnknown* graph, DWORD* cookie) {
  if (!graph || !cookie) return E_POINTER;
  ComPtr<IRunningObjectTable> rot;
  if (FAILED(GetRunningObjectTable(0, &rot)) || !rot) return E_FAIL;
  // The low 32 bits of the graph's address, as graph tools expect them.
  wchar_t name[64];
  if (std::swprintf(name, sizeof name / sizeof name[0], L"FilterGraph %08x pid %08x",
                    static_cast<unsigned>(reinterpret_cast<uintptr_t>(graph)),
                    static_cast<unsigned>(GetCurrentProcessId())) < 0) {
    return E_FAIL;
  }
  ComPtr<IMoniker> moniker;
  HRESULT hr = CreateItemMoniker(L"!", name, &moniker);
  if (FAILED(hr)) return hr;
  return rot->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, graph, moniker.Get(), cookie);
}

void RemoveGraphFromRot(DWORD cookie) {
  ComPtr<IRunningObjectTable> rot;
  if (SUCCEEDED(GetRunningObjectTable(0, &rot)) && rot) rot->Revoke(cookie);
}

HRESULT CaptureVideo() {
  DebugLine("CaptureVideo() init");
  PrepareDirectInit();

  HRESULT hr = GetVideoInterfaces();
  if (FAILED(hr)) {
    ErrorBox("Error #1 Failed to get video interfaces!  hr=0x%x", static_cast<unsigned>(hr));
    return hr;
  }
  hr = g_viewer.pCaptureBuilder->SetFiltergraph(g_viewer.pGraph);
  if (FAILED(hr)) {
    ErrorBox("Error #2 Failed to set capture filter graph!  hr=0x%x", static_cast<unsigned>(hr));
    return hr;
  }
  hr = g_viewer.pSrcFilter ? g_viewer.pGraph->AddFilter(g_viewer.pSrcFilter, L"Video Capture")
                           : E_POINTER;
  if (FAILED(hr)) {
    ErrorBox(
        "Error #5 Couldn't add the capture filter to the graph!  hr=0x%x\r\n\r\nIf you have a "
        "working video capture device, please make sure\r\nthat it is connected and is not being "
        "used by another application.\r\n\r\nThe program will now close.",
        static_cast<unsigned>(hr));
    return hr;
  }

  ComPtr<IPin> cameraOut;
  if (FAILED(FindUnconnectedPin(g_viewer.pSrcFilter, PINDIR_OUTPUT, &cameraOut))) {
    ErrorBox("Error N0 #6");
  }

  if (FAILED(CreateFilter(CLSID_ORBAProc, &g_viewer.pOrbaProcFilter)) ||
      !g_viewer.pOrbaProcFilter) {
    g_viewer.pOrbaProcFilter = nullptr;
    ErrorBox(
        " Error #7 ,Failed to create ORBAProc\r\nCheck ORBAPROC.AX file\r\nSorry, this program "
        "will end");
    ShowWindow(g_viewer.hwndViewer, SW_HIDE);
    TeardownGraph();
    FatalExit();
  }

  // An unknown resolution stays 0 x 0 and is only logged: the graph works without it.
  GetCameraResolution(g_viewer.pCaptureBuilder, g_viewer.pSrcFilter, &g_viewer.cameraRes.width,
                      &g_viewer.cameraRes.height);
  DebugLine("cameraRes: width = %d , height = %d", static_cast<int>(g_viewer.cameraRes.width),
            static_cast<int>(g_viewer.cameraRes.height));

  if (FAILED(g_viewer.pGraph->AddFilter(g_viewer.pOrbaProcFilter, L"ORBAProc"))) {
    ErrorBox("Error #7D");
  }

  if (FAILED(CreateFilter(CLSID_SmartTee, &g_viewer.pSmartTee))) g_viewer.pSmartTee = nullptr;
  hr =
      g_viewer.pSmartTee ? g_viewer.pGraph->AddFilter(g_viewer.pSmartTee, L"Smart Tee") : E_POINTER;
  if (FAILED(hr)) ErrorBox("Error #7E");

  const HRESULT teeConnected =
      ConnectPins(cameraOut.Get(), GetPin(g_viewer.pSmartTee, PINDIR_INPUT, 0).Get());
  if (FAILED(teeConnected)) ErrorBox("Error #7F");

  // The tee's pins are looked up even when its input did not connect, and that
  // one result is reported again for each: the numbered messages say which
  // step of the graph a user saw fail, and support asks for them.
  const ComPtr<IPin> preview = FindPinByName(g_viewer.pSmartTee, "Preview");
  if (FAILED(teeConnected)) ErrorBox("Error #8");
  const ComPtr<IPin> capture = FindPinByName(g_viewer.pSmartTee, "Capture");
  if (FAILED(teeConnected)) ErrorBox("Error #8b");

  if (FAILED(ConnectPins(capture.Get(), GetPin(g_viewer.pOrbaProcFilter, PINDIR_INPUT, 0).Get()))) {
    ErrorBox("Error #8c");
  }

  // The null renderer only ends ORBAProc's output. Its connection has no
  // message of its own; the graph goes on without it (only its creation is reported).
  ComPtr<IPin> orbaOut;
  FindUnconnectedPin(g_viewer.pOrbaProcFilter, PINDIR_OUTPUT, &orbaOut);
  if (SUCCEEDED(CreateFilter(CLSID_NullRenderer, &g_viewer.pNullRenderer)) &&
      g_viewer.pNullRenderer) {
    g_viewer.pGraph->AddFilter(g_viewer.pNullRenderer, L"Null Renderer");
    ConnectPins(orbaOut.Get(), GetPin(g_viewer.pNullRenderer, PINDIR_INPUT, 0).Get());
  } else {
    g_viewer.pNullRenderer = nullptr;
    ErrorBox("Error #8d");
  }

  if (FAILED(g_viewer.pOrbaProcFilter->QueryInterface(
          IID_IORBAProc, reinterpret_cast<void**>(&g_viewer.pOrbaProc))) ||
      !g_viewer.pOrbaProc) {
    g_viewer.pOrbaProc = nullptr;
    ErrorBox("Error #10 Failed to set filter");
    return E_FAIL;
  }
  TellFilterAreaOwner();

  if (!TryZoomTextRenderer(preview.Get())) {
    hr = UseMixingRenderer(preview.Get());
    if (FAILED(hr)) return hr;
  }

  g_viewer.graphState = State_Running;
  hr = RegisterGraphInRot(g_viewer.pGraph, &g_viewer.rotCookie);
  if (FAILED(hr)) {
    ErrorBox("Failed to register filter graph with ROT!  hr=0x%x", static_cast<unsigned>(hr));
    g_viewer.rotCookie = 0;
  }

  DebugLine("innan MyCompleteDirectInit()");
  MyCompleteDirectInit();
  return S_OK;
}

void ReleaseZoomTextRenderer() {
  g_viewer.pZTCCTV2Only = nullptr;  // shares g_pZTCCTV2's reference
  orba::ReleaseAndClear(g_viewer.g_pZTCCTV2);
  orba::ReleaseAndClear(g_viewer.ZT_RenderFilter);
}

void ReleaseGraphReferences(bool keepZoomTextRenderer) {
  orba::ReleaseAndClear(g_viewer.pCameraControl);
  orba::ReleaseAndClear(g_viewer.pMediaControl);
  orba::ReleaseAndClear(g_viewer.pMediaEvent);
  orba::ReleaseAndClear(g_viewer.pVideoWindow);
  orba::ReleaseAndClear(g_viewer.pNullRenderer);
  orba::ReleaseAndClear(g_viewer.pSmartTee);
  orba::ReleaseAndClear(g_viewer.pOrbaProc);
  orba::ReleaseAndClear(g_viewer.pWindowlessControl);
  g_viewer.pPaintControl = nullptr;  // a copy of pWindowlessControl, no reference of its own
  orba::ReleaseAndClear(g_viewer.pMixRenderer);
  orba::ReleaseAndClear(g_viewer.pOrbaProcFilter);
  if (!keepZoomTextRenderer) ReleaseZoomTextRenderer();
  orba::ReleaseAndClear(g_viewer.pCaptureBuilder);
  orba::ReleaseAndClear(g_viewer.pGraph);
}

void TeardownGraph() {
  if (g_viewer.pMediaControl) {
    g_viewer.pMediaControl->Stop();
    g_viewer.graphState = State_Stopped;
  }
  if (g_viewer.pMediaEvent) g_viewer.pMediaEvent->SetNotifyWindow(0, 0, 0);
  if (g_viewer.pVideoWindow) {
    g_viewer.pVideoWindow->put_Visible(OAFALSE);
    g_viewer.pVideoWindow->put_Owner(0);
  }
  if (g_viewer.rotCookie) {
    RemoveGraphFromRot(g_viewer.rotCookie);
    g_viewer.rotCookie = 0;
  }
  // The stopped graph goes too: kept, it would hold the camera's old capture
  // filter and every filter of this pass until the process ends. ZoomText's
  // renderer stays while it renders: the end of the pass hides its area first
  // and releases it after the graph has settled.
  ReleaseGraphReferences(g_viewer.usingZTRenderer != 0);

  UnregisterViewerHotKeys();
  DestroyDecompressor();
  FreeFrameBuffers();
}
