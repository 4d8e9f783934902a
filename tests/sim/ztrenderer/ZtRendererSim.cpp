// ZtRendererSim.ax: a stand-in for ZoomText's CCTV renderer. It is registered
// under ZoomText's class id and offers its control interfaces, so that the
// viewer's ZoomText path can run without ZoomText. It renders nothing: its one
// input pin takes any video type and counts the samples. Every control call is
// appended to a log file that the tests read (ZtRendererSimProtocol.h).
#include <windows.h>

#include <dshow.h>
// VIDEOINFOHEADER2
#include <dvdmedia.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>

#include "orba/ZoomTextCctvRenderer.h"
#include "ZtRendererSimProtocol.h"
#include "dshow_base/Streams.h"
#include "orba/Scoped.h"
#include "orba/Text.h"

namespace {

using namespace zt_renderer_sim;

struct Options {
  LONG version = 2;
  LONG compatibleRunning = 1;
  LONG enabled = 1;
  char logPath[MAX_PATH] = {};
};

DWORD ReadDword(HKEY key, const char* name, DWORD fallback) {
  DWORD value = 0;
  DWORD type = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value) {
    return fallback;
  }
  return value;
}

Options ReadOptions() {
  Options options;
  orba::ScopedHKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kOptionsKey, 0, KEY_READ, key.Put()) == ERROR_SUCCESS) {
    options.compatibleRunning = ReadDword(key.Get(), kCompatibleRunningValue, 1) != 0 ? 1 : 0;
    options.enabled = ReadDword(key.Get(), kEnabledValue, 1) != 0 ? 1 : 0;
    options.version = ReadDword(key.Get(), kVersionValue, 2) == 1 ? 1 : 2;
  }
  if (orba::ReadRegistryString(HKEY_CURRENT_USER, kOptionsKey, kLogFileValue, options.logPath,
                               sizeof options.logPath) != ERROR_SUCCESS ||
      options.logPath[0] == '\0') {
    char temp[MAX_PATH] = {};
    const DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH ||
        !orba::FormatBounded(options.logPath, sizeof options.logPath, "%s%s", temp,
                             kDefaultLogName)) {
      options.logPath[0] = '\0';
    }
  }
  return options;
}

// Appends one record with a single write, so that a reader in another process
// sees whole lines only. The file is opened per record: a test may empty or
// delete it at any time.
class CallLog {
 public:
  explicit CallLog(const char* path) { orba::CopyBounded(path_, sizeof path_, path); }

  void Write(int slot, std::initializer_list<long> args) {
    if (path_[0] == '\0') return;
    char line[256];
    int used = std::snprintf(line, sizeof line, "%lu %d", GetCurrentProcessId(), slot);
    for (long arg : args) {
      if (used < 0 || static_cast<size_t>(used) >= sizeof line) return;
      used += std::snprintf(line + used, sizeof line - used, " %ld", arg);
    }
    if (used < 0 || static_cast<size_t>(used) + 1 >= sizeof line) return;
    line[used++] = '\n';
    CAutoLock lock(&lock_);
    orba::ScopedHandle file(CreateFileA(path_, FILE_APPEND_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.Get(), line, static_cast<DWORD>(used), &written, nullptr);
  }

 private:
  CCritSec lock_;
  char path_[MAX_PATH] = {};
};

class CZtRenderer;

class CZtRendererInputPin : public CBaseInputPin {
 public:
  CZtRendererInputPin(CZtRenderer* filter, CCritSec* lock, HRESULT* phr);

  // Any video: the camera's compressed type straight from the tee as well as
  // whatever a decoder would hand on.
  HRESULT CheckMediaType(const CMediaType* pmt) override {
    return pmt && *pmt->Type() == MEDIATYPE_Video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  // A renderer proposes nothing; the upstream pin's types decide.
  HRESULT GetMediaType(int iPosition, CMediaType*) override {
    return iPosition < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
  }
  HRESULT CompleteConnect(IPin* pReceivePin) override;
  STDMETHODIMP Receive(IMediaSample* pSample) override;
  STDMETHODIMP EndOfStream() override;

 private:
  CZtRenderer* renderer_;
};

class CZtRenderer : public CBaseFilter,
                    public IZoomTextCCTV2,
                    public IAMFilterMiscFlags,
                    public IZtRendererSimInfo {
 public:
  CZtRenderer(LPUNKNOWN pUnk, HRESULT* phr)
      : CBaseFilter(nullptr, pUnk, &lock_, CLSID_ZT_CCTV_Renderer),
        options_(ReadOptions()),
        log_(options_.logPath),
        pin_(this, &lock_, phr) {
    log_.Write(kEventCreated, {options_.version, options_.compatibleRunning, options_.enabled});
  }
  ~CZtRenderer() override { log_.Write(kEventDestroyed, {samples_}); }

  DECLARE_IUNKNOWN

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IZoomTextCCTV2) {
      if (options_.version < 2) {
        *ppv = nullptr;
        return E_NOINTERFACE;
      }
      return GetInterface(static_cast<IZoomTextCCTV2*>(this), ppv);
    }
    if (riid == IID_IZoomTextCCTV) {
      return GetInterface(static_cast<IZoomTextCCTV*>(static_cast<IZoomTextCCTV2*>(this)), ppv);
    }
    if (riid == IID_IAMFilterMiscFlags) {
      return GetInterface(static_cast<IAMFilterMiscFlags*>(this), ppv);
    }
    if (riid == IID_IZtRendererSimInfo) {
      return GetInterface(static_cast<IZtRendererSimInfo*>(this), ppv);
    }
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
  }

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? &pin_ : nullptr; }

  STDMETHODIMP Run(REFERENCE_TIME tStart) override {
    const HRESULT hr = CBaseFilter::Run(tStart);
    if (SUCCEEDED(hr)) log_.Write(kEventRun, {});
    return hr;
  }
  STDMETHODIMP Stop() override {
    const bool wasActive = !IsStopped();
    const HRESULT hr = CBaseFilter::Stop();
    if (wasActive) log_.Write(kEventStopped, {samples_});
    return hr;
  }

  const AMOVIESETUP_FILTER* GetSetupData() override;

  // IZoomTextCCTV
  STDMETHODIMP SetCCTVArea(RECT* area) override { return LogRect(kSlotSetArea, area); }
  STDMETHODIMP ShowCCTVArea(LONG show) override {
    log_.Write(kSlotShowArea, {show});
    return S_OK;
  }
  STDMETHODIMP IsCompatibleZoomTextRunning() override {
    log_.Write(kSlotIsCompatible, {});
    return options_.compatibleRunning ? S_OK : S_FALSE;
  }
  STDMETHODIMP IsZoomTextAnabled() override {
    log_.Write(kSlotIsEnabled, {});
    return options_.enabled ? S_OK : S_FALSE;
  }

  // IZoomTextCCTV2
  STDMETHODIMP ReservedSlot7() override {
    log_.Write(kSlotReserved7, {});
    return E_NOTIMPL;
  }
  STDMETHODIMP SetCCTVAreaSize(SIZE* size) override {
    if (!size) {
      log_.Write(kSlotSetAreaSize, {});
      return E_POINTER;
    }
    log_.Write(kSlotSetAreaSize, {size->cx, size->cy});
    return S_OK;
  }
  STDMETHODIMP SetCameraPart(RECT* part) override { return LogRect(kSlotSetCameraPart, part); }

  // IAMFilterMiscFlags: the graph counts this filter as a renderer.
  STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

  // IZtRendererSimInfo
  STDMETHODIMP GetSamplesReceived(LONG* count) override {
    if (!count) return E_POINTER;
    *count = samples_;
    return S_OK;
  }
  STDMETHODIMP GetOptions(LONG* version, LONG* compatibleRunning, LONG* enabled) override {
    if (!version || !compatibleRunning || !enabled) return E_POINTER;
    *version = options_.version;
    *compatibleRunning = options_.compatibleRunning;
    *enabled = options_.enabled;
    return S_OK;
  }

  void OnConnected(const CMediaType& mt) {
    LONG width = 0;
    LONG height = 0;
    if (*mt.FormatType() == FORMAT_VideoInfo && mt.FormatLength() >= sizeof(VIDEOINFOHEADER)) {
      const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.Format());
      width = vih->bmiHeader.biWidth;
      height = vih->bmiHeader.biHeight;
    } else if (*mt.FormatType() == FORMAT_VideoInfo2 &&
               mt.FormatLength() >= sizeof(VIDEOINFOHEADER2)) {
      const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.Format());
      width = vih->bmiHeader.biWidth;
      height = vih->bmiHeader.biHeight;
    }
    log_.Write(kEventConnected, {static_cast<long>(mt.Subtype()->Data1), width, height});
  }
  void OnSample(IMediaSample* sample) {
    if (InterlockedIncrement(&samples_) == 1) {
      log_.Write(kEventFirstSample, {sample->GetActualDataLength()});
    }
  }
  void OnEndOfStream() {
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
  }

  static CUnknown* CALLBACK CreateInstance(LPUNKNOWN pUnk, HRESULT* phr) {
    HRESULT hr = S_OK;
    auto* renderer = new (std::nothrow) CZtRenderer(pUnk, &hr);
    if (!renderer) hr = E_OUTOFMEMORY;
    if (renderer && FAILED(hr)) {
      delete renderer;
      renderer = nullptr;
    }
    if (phr) *phr = hr;
    return renderer;
  }

 private:
  HRESULT LogRect(int slot, const RECT* rect) {
    if (!rect) {
      log_.Write(slot, {});
      return E_POINTER;
    }
    log_.Write(slot, {rect->left, rect->top, rect->right, rect->bottom});
    return S_OK;
  }

  CCritSec lock_;
  const Options options_;
  CallLog log_;
  CZtRendererInputPin pin_;
  volatile LONG samples_ = 0;
};

CZtRendererInputPin::CZtRendererInputPin(CZtRenderer* filter, CCritSec* lock, HRESULT* phr)
    : CBaseInputPin(nullptr, filter, lock, phr, kInputPinName), renderer_(filter) {}

HRESULT CZtRendererInputPin::CompleteConnect(IPin* pReceivePin) {
  const HRESULT hr = CBaseInputPin::CompleteConnect(pReceivePin);
  if (SUCCEEDED(hr)) renderer_->OnConnected(m_mt);
  return hr;
}

STDMETHODIMP CZtRendererInputPin::Receive(IMediaSample* pSample) {
  const HRESULT hr = CBaseInputPin::Receive(pSample);
  if (hr != S_OK) return hr;
  renderer_->OnSample(pSample);
  return S_OK;
}

STDMETHODIMP CZtRendererInputPin::EndOfStream() {
  const HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  renderer_->OnEndOfStream();
  return S_OK;
}

const AMOVIESETUP_MEDIATYPE kPinTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_NULL}};
const AMOVIESETUP_PIN kPins[] = {
    {kInputPinName, TRUE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kPinTypes},
};
// Never picked by intelligent connection: only a graph that asks for it by
// class gets it, as with ZoomText's own renderer.
const AMOVIESETUP_FILTER kFilterSetup = {&CLSID_ZT_CCTV_Renderer, kFilterName, MERIT_DO_NOT_USE, 1,
                                         kPins};

const AMOVIESETUP_FILTER* CZtRenderer::GetSetupData() { return &kFilterSetup; }

}  // namespace

CFactoryTemplate g_Templates[] = {
    {kFilterName, &CLSID_ZT_CCTV_Renderer, CZtRenderer::CreateInstance, nullptr, &kFilterSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

STDAPI DllRegisterServer() { return AMovieDllRegisterServer2(TRUE); }

STDAPI DllUnregisterServer() { return AMovieDllRegisterServer2(FALSE); }

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved) {
  return DllEntryPoint(hInstance, dwReason, lpReserved);
}
