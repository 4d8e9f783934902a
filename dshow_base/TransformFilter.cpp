#include "dshow_base/TransformFilter.h"

#include <cwchar>
#include <new>

CTransformFilter::CTransformFilter(LPCTSTR pName, LPUNKNOWN pUnk, REFCLSID clsid)
    : CBaseFilter(pName, pUnk, &m_csFilter, clsid),
      m_bEOSDelivered(FALSE),
      m_bSampleSkipped(FALSE),
      m_bQualityChanged(FALSE),
      m_pInput(nullptr),
      m_pOutput(nullptr) {}

CTransformFilter::~CTransformFilter() {
  delete m_pInput;
  delete m_pOutput;
}

bool CTransformFilter::CreatePins() {
  CAutoLock lock(&m_csFilter);
  if (m_pInput) return true;
  HRESULT hr = S_OK;
  m_pInput =
      new (std::nothrow) CTransformInputPin(TEXT("Transform input pin"), this, &hr, L"XForm In");
  if (!m_pInput) return false;
  m_pOutput =
      new (std::nothrow) CTransformOutputPin(TEXT("Transform output pin"), this, &hr, L"XForm Out");
  if (!m_pOutput || FAILED(hr)) {
    delete m_pInput;
    delete m_pOutput;
    m_pInput = nullptr;
    m_pOutput = nullptr;
    return false;
  }
  return true;
}

CBasePin* CTransformFilter::GetPin(int n) {
  if (!CreatePins()) return nullptr;
  if (n == 0) return m_pInput;
  if (n == 1) return m_pOutput;
  return nullptr;
}

STDMETHODIMP CTransformFilter::FindPin(LPCWSTR Id, IPin** ppPin) {
  if (!ppPin) return E_POINTER;
  *ppPin = nullptr;
  if (!Id) return E_POINTER;
  CBasePin* pin = nullptr;
  if (std::wcscmp(Id, L"In") == 0) {
    pin = GetPin(0);
  } else if (std::wcscmp(Id, L"Out") == 0) {
    pin = GetPin(1);
  } else {
    return VFW_E_NOT_FOUND;
  }
  if (!pin) return E_OUTOFMEMORY;
  *ppPin = pin;
  pin->AddRef();
  return S_OK;
}

STDMETHODIMP CTransformFilter::Stop() {
  CAutoLock lockFilter(&m_csFilter);
  if (m_State == State_Stopped) return S_OK;
  if (!m_pInput || !m_pInput->IsConnected() || !m_pOutput->IsConnected()) {
    m_State = State_Stopped;
    m_bEOSDelivered = FALSE;
    return S_OK;
  }
  // Decommitting first releases an upstream thread blocked on our allocator before
  // the receive lock is taken.
  m_pInput->Inactive();
  CAutoLock lockReceive(&m_csReceive);
  m_pOutput->Inactive();
  const HRESULT hr = StopStreaming();
  if (SUCCEEDED(hr)) {
    m_State = State_Stopped;
    m_bEOSDelivered = FALSE;
  }
  return hr;
}

STDMETHODIMP CTransformFilter::Pause() {
  CAutoLock lockFilter(&m_csFilter);
  HRESULT hr = S_OK;
  if (m_State == State_Paused) {
    // Nothing to do.
  } else if (!CreatePins()) {
    hr = E_OUTOFMEMORY;
  } else if (!m_pInput->IsConnected()) {
    // Without input nothing will come: tell downstream at once.
    if (m_pOutput->IsConnected() && !m_bEOSDelivered) {
      m_pOutput->DeliverEndOfStream();
      m_bEOSDelivered = TRUE;
    }
    m_State = State_Paused;
  } else if (!m_pOutput->IsConnected()) {
    m_State = State_Paused;
  } else {
    if (m_State == State_Stopped) {
      CAutoLock lockReceive(&m_csReceive);
      hr = StartStreaming();
    }
    if (SUCCEEDED(hr)) hr = CBaseFilter::Pause();
  }
  m_bSampleSkipped = FALSE;
  m_bQualityChanged = FALSE;
  return hr;
}

HRESULT CTransformFilter::Transform(IMediaSample*, IMediaSample*) { return E_UNEXPECTED; }

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample* pSample,
                                                 IMediaSample** ppOutSample) {
  *ppOutSample = nullptr;
  const AM_SAMPLE2_PROPERTIES* props = m_pInput->SampleProps();
  DWORD flags = m_bSampleSkipped ? AM_GBF_PREVFRAMESKIPPED : 0;
  if (!(props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT)) flags |= AM_GBF_NOTASYNCPOINT;

  REFERENCE_TIME start = props->tStart;
  REFERENCE_TIME stop = props->tStop;
  const bool hasStart = (props->dwSampleFlags & AM_SAMPLE_TIMEVALID) != 0;
  const bool hasStop = (props->dwSampleFlags & AM_SAMPLE_STOPVALID) != 0;
  IMediaSample* out = nullptr;
  HRESULT hr = m_pOutput->GetDeliveryBuffer(&out, hasStart ? &start : nullptr,
                                            hasStop ? &stop : nullptr, flags);
  if (FAILED(hr)) return hr;
  if (!out) return E_UNEXPECTED;

  // The allocator hands out clean samples; only what the input says is set.
  out->SetTime(hasStart ? &start : nullptr, hasStart && hasStop ? &stop : nullptr);
  out->SetSyncPoint((props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT) ? TRUE : FALSE);
  out->SetPreroll((props->dwSampleFlags & AM_SAMPLE_PREROLL) ? TRUE : FALSE);
  const BOOL discontinuity = (props->dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) ? TRUE : FALSE;
  out->SetDiscontinuity(discontinuity);
  if (discontinuity) m_bSampleSkipped = FALSE;
  LONGLONG mediaStart = 0;
  LONGLONG mediaStop = 0;
  if (pSample->GetMediaTime(&mediaStart, &mediaStop) == S_OK) {
    out->SetMediaTime(&mediaStart, &mediaStop);
  } else {
    out->SetMediaTime(nullptr, nullptr);
  }
  // The data length, capped at what the output buffer holds.
  const long size = out->GetSize();
  const long length = props->lActual < size ? props->lActual : size;
  out->SetActualDataLength(length > 0 ? length : 0);

  *ppOutSample = out;
  return S_OK;
}

HRESULT CTransformFilter::Receive(IMediaSample* pSample) {
  const AM_SAMPLE2_PROPERTIES* props = m_pInput->SampleProps();
  if (props->dwStreamId != AM_STREAM_MEDIA) return m_pOutput->Deliver(pSample);

  IMediaSample* out = nullptr;
  HRESULT hr = InitializeOutputSample(pSample, &out);
  if (FAILED(hr)) return hr;

  hr = Transform(pSample, out);
  if (hr == S_OK) {
    hr = m_pOutput->Deliver(out);
    m_bSampleSkipped = FALSE;
  } else if (hr == S_FALSE) {
    // Skipping is a private agreement with Transform: the stream goes on.
    out->Release();
    m_bSampleSkipped = TRUE;
    if (!m_bQualityChanged) {
      NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
      m_bQualityChanged = TRUE;
    }
    return S_OK;
  }
  out->Release();
  return hr;
}

HRESULT CTransformFilter::EndOfStream() {
  return m_pOutput ? m_pOutput->DeliverEndOfStream() : S_OK;
}

HRESULT CTransformFilter::BeginFlush() { return m_pOutput ? m_pOutput->DeliverBeginFlush() : S_OK; }

HRESULT CTransformFilter::EndFlush() { return m_pOutput ? m_pOutput->DeliverEndFlush() : S_OK; }

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
  return m_pOutput ? m_pOutput->DeliverNewSegment(tStart, tStop, dRate) : S_OK;
}
