#include "SimCamFilter.h"

#include <cstring>
#include <new>

#include "simcam/SimCamIds.h"

namespace simcam {

CSimCamFilter::CSimCamFilter(LPUNKNOWN pUnk, HRESULT* phr)
    : CBaseFilter(nullptr, pUnk, &lock_, CLSID_OrbaSimCam), options_(ReadOptions()) {
  HRESULT hr = S_OK;
  pin_ = new (std::nothrow) CSimCamPin(this, &lock_, &hr, options_.frameRate);
  if (!pin_) hr = E_OUTOFMEMORY;
  if (phr) *phr = hr;
}

CSimCamFilter::~CSimCamFilter() {
  // A filter released while streaming still ends its thread cleanly.
  if (pin_ && !IsStopped()) Stop();
  delete pin_;
}

CUnknown* CALLBACK CSimCamFilter::CreateInstance(LPUNKNOWN pUnk, HRESULT* phr) {
  auto* filter = new (std::nothrow) CSimCamFilter(pUnk, phr);
  if (!filter && phr) *phr = E_OUTOFMEMORY;
  return filter;
}

STDMETHODIMP CSimCamFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IKsPropertySet) {
    // A camera without its control interface, for the viewer's error path.
    if (options_.noPropertySet) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    return GetInterface(static_cast<IKsPropertySet*>(this), ppv);
  }
  if (riid == IID_IAMFilterMiscFlags)
    return GetInterface(static_cast<IAMFilterMiscFlags*>(this), ppv);
  return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CSimCamFilter::Stop() {
  // Decommits the allocator (a thread waiting for a buffer returns), then the
  // thread is ended outside the filter lock.
  const HRESULT hr = CBaseFilter::Stop();
  pin_->Stream().Stop();
  return hr;
}

STDMETHODIMP CSimCamFilter::Pause() {
  CAutoLock lock(&lock_);
  const bool wasRunning = m_State == State_Running;
  const HRESULT hr = CBaseFilter::Pause();
  if (FAILED(hr)) return hr;
  if (wasRunning) pin_->Stream().SetRunning(false, nullptr, 0);
  return VFW_S_CANT_CUE;
}

STDMETHODIMP CSimCamFilter::Run(REFERENCE_TIME tStart) {
  CAutoLock lock(&lock_);
  const HRESULT hr = CBaseFilter::Run(tStart);
  if (FAILED(hr)) return hr;
  pin_->Stream().SetRunning(true, m_pClock, tStart);
  return S_OK;
}

STDMETHODIMP CSimCamFilter::GetState(DWORD dwMSecs, FILTER_STATE* State) {
  const HRESULT hr = CBaseFilter::GetState(dwMSecs, State);
  if (FAILED(hr)) return hr;
  return *State == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

void CSimCamFilter::Log(PropertyCall::Kind kind, REFGUID set, DWORD id, DWORD instanceBytes,
                        const void* data, DWORD dataBytes, HRESULT result) {
  PropertyCall call;
  call.kind = kind;
  call.propSet = set;
  call.id = id;
  call.instanceBytes = instanceBytes;
  call.dataBytes = dataBytes;
  call.result = result;
  if (data && dataBytes >= sizeof(CameraControlRecord)) {
    CameraControlRecord record;
    std::memcpy(&record, data, sizeof record);
    call.value1 = record.Value1;
    call.value2 = record.Value2;
    call.flags = record.Flags;
    call.capabilities = record.Capabilities;
  }
  AppendLog(options_.logPath, call);
}

STDMETHODIMP CSimCamFilter::Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID, DWORD cbInstanceData,
                                LPVOID pPropData, DWORD cbPropData) {
  HRESULT hr = S_OK;
  if (guidPropSet != kPropSetCameraControl) {
    hr = E_PROP_SET_UNSUPPORTED;
  } else if (dwPropID != kPropPanTilt) {
    hr = E_PROP_ID_UNSUPPORTED;
  } else if (!pPropData) {
    hr = E_POINTER;
  } else if (cbPropData < sizeof(CameraControlRecord)) {
    hr = E_INVALIDARG;
  }
  Log(PropertyCall::kSet, guidPropSet, dwPropID, cbInstanceData, pPropData, cbPropData, hr);
  return hr;
}

STDMETHODIMP CSimCamFilter::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID, DWORD cbInstanceData,
                                LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) {
  HRESULT hr = S_OK;
  if (guidPropSet != kPropSetCameraControl) {
    hr = E_PROP_SET_UNSUPPORTED;
  } else if (dwPropID != kPropZoom) {
    hr = E_PROP_ID_UNSUPPORTED;
  } else if (!pPropData) {
    hr = E_POINTER;
  } else if (cbPropData < sizeof(CameraControlRecord)) {
    hr = E_INVALIDARG;
  } else {
    CameraControlRecord record;
    std::memcpy(&record, pPropData, sizeof record);
    record.Value1 = kZoomValue;
    record.Value2 = 0;
    record.Flags = kCameraControlFlagsManual;
    record.Capabilities = kCameraControlFlagsManual;
    std::memcpy(pPropData, &record, sizeof record);
    if (pcbReturned) *pcbReturned = sizeof record;
  }
  Log(PropertyCall::kGet, guidPropSet, dwPropID, cbInstanceData,
      SUCCEEDED(hr) ? pPropData : nullptr, cbPropData, hr);
  return hr;
}

STDMETHODIMP CSimCamFilter::QuerySupported(REFGUID guidPropSet, DWORD dwPropID,
                                           DWORD* pTypeSupport) {
  if (guidPropSet != kPropSetCameraControl) return E_PROP_SET_UNSUPPORTED;
  if (dwPropID != kPropPanTilt && dwPropID != kPropZoom) return E_PROP_ID_UNSUPPORTED;
  if (pTypeSupport) {
    *pTypeSupport = dwPropID == kPropPanTilt ? KSPROPERTY_SUPPORT_SET : KSPROPERTY_SUPPORT_GET;
  }
  return S_OK;
}

}  // namespace simcam
