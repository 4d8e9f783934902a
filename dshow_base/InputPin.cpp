#include "dshow_base/InputPin.h"

#include <cstring>

#include "orba/ComPtr.h"
#include "orba/MediaType.h"

CBaseInputPin::CBaseInputPin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock,
                             HRESULT* phr, LPCWSTR pName)
    : CBasePin(pObjectName, pFilter, pLock, phr, pName, PINDIR_INPUT),
      m_pAllocator(nullptr),
      m_bReadOnly(FALSE),
      m_bFlushing(FALSE),
      m_SampleProps() {}

CBaseInputPin::~CBaseInputPin() {
  if (m_pAllocator) m_pAllocator->Release();
}

STDMETHODIMP CBaseInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IMemInputPin) return GetInterface(static_cast<IMemInputPin*>(this), ppv);
  return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseInputPin::GetAllocator(IMemAllocator** ppAllocator) {
  if (!ppAllocator) return E_POINTER;
  *ppAllocator = nullptr;
  CAutoLock lock(m_pLock);
  if (!m_pAllocator) {
    const HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IMemAllocator, reinterpret_cast<void**>(&m_pAllocator));
    if (FAILED(hr)) {
      m_pAllocator = nullptr;
      return hr;
    }
  }
  *ppAllocator = m_pAllocator;
  m_pAllocator->AddRef();
  return S_OK;
}

STDMETHODIMP CBaseInputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) {
  if (!pAllocator) return E_POINTER;
  CAutoLock lock(m_pLock);
  pAllocator->AddRef();
  if (m_pAllocator) m_pAllocator->Release();
  m_pAllocator = pAllocator;
  m_bReadOnly = bReadOnly;
  return S_OK;
}

STDMETHODIMP CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

HRESULT CBaseInputPin::CheckStreaming() {
  if (!IsConnected()) return VFW_E_NOT_CONNECTED;
  if (IsStopped()) return VFW_E_WRONG_STATE;
  if (m_bFlushing) return S_FALSE;
  if (m_bRunTimeError) return VFW_E_RUNTIME_ERROR;
  return S_OK;
}

STDMETHODIMP CBaseInputPin::Receive(IMediaSample* pSample) {
  if (!pSample) return E_POINTER;
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;

  AM_SAMPLE2_PROPERTIES& props = m_SampleProps;
  std::memset(&props, 0, sizeof props);
  props.cbData = sizeof props;
  props.dwStreamId = AM_STREAM_MEDIA;
  if (pSample->IsSyncPoint() == S_OK) props.dwSampleFlags |= AM_SAMPLE_SPLICEPOINT;
  if (pSample->IsPreroll() == S_OK) props.dwSampleFlags |= AM_SAMPLE_PREROLL;
  if (pSample->IsDiscontinuity() == S_OK) props.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
  const HRESULT hrTime = pSample->GetTime(&props.tStart, &props.tStop);
  if (hrTime == S_OK) {
    props.dwSampleFlags |= AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID;
  } else if (hrTime == VFW_S_NO_STOP_TIME) {
    props.dwSampleFlags |= AM_SAMPLE_TIMEVALID;
  } else {
    props.tStart = props.tStop = 0;
  }
  props.lActual = pSample->GetActualDataLength();
  props.cbBuffer = pSample->GetSize();
  if (FAILED(pSample->GetPointer(&props.pbBuffer))) props.pbBuffer = nullptr;

  AM_MEDIA_TYPE* announced = nullptr;
  if (pSample->GetMediaType(&announced) == S_OK && announced) {
    // A type change in the stream must still be one this pin accepts.
    props.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
    hr = CheckMediaType(static_cast<const CMediaType*>(announced));
    orba::DeleteMediaType(announced);
    if (hr != S_OK && !PassesRefusedSampleTypes()) {
      EndOfStream();
      m_pFilter->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
      m_bRunTimeError = TRUE;
      return VFW_E_INVALIDMEDIATYPE;
    }
  }
  return S_OK;
}

STDMETHODIMP CBaseInputPin::ReceiveMultiple(IMediaSample** pSamples, long nSamples,
                                            long* nSamplesProcessed) {
  if (!pSamples || !nSamplesProcessed) return E_POINTER;
  HRESULT hr = S_OK;
  *nSamplesProcessed = 0;
  while (nSamples-- > 0) {
    hr = Receive(pSamples[*nSamplesProcessed]);
    if (hr != S_OK) break;
    ++*nSamplesProcessed;
  }
  return hr;
}

STDMETHODIMP CBaseInputPin::ReceiveCanBlock() {
  // Blocking depends on what is downstream of the filter's outputs.
  const int count = m_pFilter->GetPinCount();
  int outputs = 0;
  for (int i = 0; i < count; ++i) {
    CBasePin* pin = m_pFilter->GetPin(i);
    if (!pin || pin->Direction() != PINDIR_OUTPUT) continue;
    ++outputs;
    IPin* peer = pin->GetConnected();
    if (!peer) continue;
    orba::ComPtr<IMemInputPin> input;
    if (SUCCEEDED(peer->QueryInterface(IID_IMemInputPin, input.PutVoid())) &&
        input->ReceiveCanBlock() != S_FALSE) {
      return S_OK;
    }
  }
  return outputs == 0 ? S_OK : S_FALSE;
}

STDMETHODIMP CBaseInputPin::BeginFlush() {
  CAutoLock lock(m_pLock);
  m_bFlushing = TRUE;
  return S_OK;
}

STDMETHODIMP CBaseInputPin::EndFlush() {
  CAutoLock lock(m_pLock);
  m_bFlushing = FALSE;
  m_bRunTimeError = FALSE;
  return S_OK;
}

HRESULT CBaseInputPin::BreakConnect() {
  if (m_pAllocator) {
    m_pAllocator->Decommit();
    m_pAllocator->Release();
    m_pAllocator = nullptr;
  }
  return S_OK;
}

HRESULT CBaseInputPin::Inactive() {
  m_bRunTimeError = FALSE;
  m_bFlushing = FALSE;
  if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
  // Unblocks an upstream thread waiting for a buffer.
  return m_pAllocator->Decommit();
}

HRESULT CBaseInputPin::PassNotify(Quality& q) {
  if (m_pQSink) return m_pQSink->Notify(static_cast<IBaseFilter*>(m_pFilter), q);
  if (!m_Connected) return VFW_E_NOT_FOUND;
  orba::ComPtr<IQualityControl> upstream;
  if (FAILED(m_Connected->QueryInterface(IID_IQualityControl, upstream.PutVoid()))) {
    return VFW_E_NOT_FOUND;
  }
  return upstream->Notify(static_cast<IBaseFilter*>(m_pFilter), q);
}
