#pragma once
// The simulated ORBA camera: a live capture source with one output pin "Capture"
// (motion JPEG, 1280 x 720) and the camera-control property set on the filter.
#include <windows.h>

#include <dshow.h>

#include <string>

#include "dshow_base/Streams.h"
#include "simcam/SimCamControl.h"

namespace simcam {

class CSimCamFilter;
class CSimCamPin;

// Pushes frames from its own thread while the filter runs.
class CSimCamStream {
 public:
  CSimCamStream() = default;
  ~CSimCamStream();
  CSimCamStream(const CSimCamStream&) = delete;
  CSimCamStream& operator=(const CSimCamStream&) = delete;

  // Starts the thread (paused: it makes no frames until SetRunning(true)).
  HRESULT Start(CSimCamPin* pin, const Options& options);
  // Ends the thread and waits for it. The allocator must be decommitted first so
  // that a thread waiting for a buffer comes back.
  void Stop();
  // Running: frames are made and stamped relative to tStart on the clock.
  void SetRunning(bool running, IReferenceClock* clock, REFERENCE_TIME tStart);
  uint32_t FramesDelivered() const { return static_cast<uint32_t>(delivered_); }

 private:
  static DWORD WINAPI ThreadProc(void* self);
  void Loop();
  bool DeliverFrame(uint32_t number, bool first);
  REFERENCE_TIME Now();

  CSimCamPin* pin_ = nullptr;
  Options options_;
  HANDLE thread_ = nullptr;
  HANDLE stopEvent_ = nullptr;
  HANDLE unpluggedEvent_ = nullptr;
  CCritSec lock_;  // guards running_, clock_, tStart_
  bool running_ = false;
  IReferenceClock* clock_ = nullptr;
  REFERENCE_TIME tStart_ = 0;
  REFERENCE_TIME nextStamp_ = 0;
  volatile LONG delivered_ = 0;
  uint32_t nextFrame_ = 0;
};

class CSimCamPin : public CBaseOutputPin, public IAMStreamConfig, public IKsPropertySet {
 public:
  CSimCamPin(CSimCamFilter* filter, CCritSec* lock, HRESULT* phr, uint32_t frameRate);

  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
  HRESULT CheckMediaType(const CMediaType* pmt) override;
  HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;
  HRESULT Active() override;
  HRESULT Inactive() override;

  // IAMStreamConfig
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** ppmt) override;
  STDMETHODIMP GetNumberOfCapabilities(int* piCount, int* piSize) override;
  STDMETHODIMP GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) override;

  // IKsPropertySet: the pin category (PIN_CATEGORY_CAPTURE), read only.
  STDMETHODIMP Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                   LPVOID pPropData, DWORD cbPropData) override;
  STDMETHODIMP Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                   LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) override;
  STDMETHODIMP QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) override;

  REFERENCE_TIME FrameInterval() const { return frameInterval_; }
  CSimCamStream& Stream() { return stream_; }

 private:
  CSimCamFilter* filter_;
  REFERENCE_TIME frameInterval_;
  CSimCamStream stream_;
};

class CSimCamFilter : public CBaseFilter, public IKsPropertySet, public IAMFilterMiscFlags {
 public:
  CSimCamFilter(LPUNKNOWN pUnk, HRESULT* phr);
  ~CSimCamFilter() override;

  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? pin_ : nullptr; }

  // A live source: nothing is made while paused, and Pause says so.
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME tStart) override;
  STDMETHODIMP GetState(DWORD dwMSecs, FILTER_STATE* State) override;

  // IKsPropertySet: the camera-control property set, logged call by call.
  STDMETHODIMP Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                   LPVOID pPropData, DWORD cbPropData) override;
  STDMETHODIMP Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                   LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) override;
  STDMETHODIMP QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) override;

  // IAMFilterMiscFlags
  STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }

  const Options& CameraOptions() const { return options_; }

  static CUnknown* CALLBACK CreateInstance(LPUNKNOWN pUnk, HRESULT* phr);

 private:
  void Log(PropertyCall::Kind kind, REFGUID set, DWORD id, DWORD instanceBytes, const void* data,
           DWORD dataBytes, HRESULT result);

  CCritSec lock_;
  Options options_;
  CSimCamPin* pin_ = nullptr;
};

}  // namespace simcam
