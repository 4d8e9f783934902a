#include "dshow_base/BasePin.h"

#include <cstring>
#include <cwchar>
#include <new>

#include "dshow_base/EnumMediaTypes.h"
#include "orba/MediaType.h"

namespace {
// Failures that only say "not this type" are reported as the standard code.
HRESULT MapTypeFailure(HRESULT hr) {
  if (SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG) return VFW_E_TYPE_NOT_ACCEPTED;
  return hr;
}
}  // namespace

CBasePin::CBasePin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                   LPCWSTR pName, PIN_DIRECTION dir)
    : CUnknown(pObjectName, nullptr),
      m_pName(nullptr),
      m_Connected(nullptr),
      m_dir(dir),
      m_pLock(pLock),
      m_bRunTimeError(FALSE),
      m_bCanReconnectWhenActive(FALSE),
      m_bTryMyTypesFirst(FALSE),
      m_pFilter(pFilter),
      m_pQSink(nullptr),
      m_TypeVersion(1),
      m_tStart(0),
      m_tStop(MAXLONGLONG),
      m_dRate(1.0) {
  const WCHAR* name = pName ? pName : L"";
  const size_t len = std::wcslen(name);
  m_pName = new (std::nothrow) WCHAR[len + 1];
  if (m_pName) {
    std::wmemcpy(m_pName, name, len + 1);
  } else if (phr) {
    *phr = E_OUTOFMEMORY;
  }
}

CBasePin::~CBasePin() {
  if (m_Connected) m_Connected->Release();
  delete[] m_pName;
}

STDMETHODIMP CBasePin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IPin) return GetInterface(static_cast<IPin*>(this), ppv);
  if (riid == IID_IQualityControl) return GetInterface(static_cast<IQualityControl*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingAddRef() { return m_pFilter->AddRef(); }

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingRelease() { return m_pFilter->Release(); }

STDMETHODIMP CBasePin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
  if (!pReceivePin) return E_POINTER;
  CAutoLock lock(m_pLock);
  if (m_Connected) return VFW_E_ALREADY_CONNECTED;
  if (!IsStopped() && !m_bCanReconnectWhenActive) return VFW_E_NOT_STOPPED;
  const HRESULT hr = AgreeMediaType(pReceivePin, static_cast<const CMediaType*>(pmt));
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  return S_OK;
}

HRESULT CBasePin::AgreeMediaType(IPin* pReceivePin, const CMediaType* pmt) {
  if (pmt && !pmt->IsPartiallySpecified()) return AttemptConnection(pReceivePin, pmt);

  HRESULT hrFailure = VFW_E_NO_ACCEPTABLE_TYPES;
  for (int pass = 0; pass < 2; ++pass) {
    // The receiving pin's types come first unless this pin prefers its own.
    const bool receiverTypes = (pass == 0) != static_cast<bool>(m_bTryMyTypesFirst);
    IEnumMediaTypes* types = nullptr;
    HRESULT hr = receiverTypes ? pReceivePin->EnumMediaTypes(&types) : EnumMediaTypes(&types);
    if (FAILED(hr) || !types) continue;
    hr = TryMediaTypes(pReceivePin, pmt, types);
    types->Release();
    if (SUCCEEDED(hr)) return S_OK;
    if (hr != E_FAIL && hr != E_INVALIDARG && hr != VFW_E_TYPE_NOT_ACCEPTED) hrFailure = hr;
  }
  return hrFailure;
}

HRESULT CBasePin::TryMediaTypes(IPin* pReceivePin, const CMediaType* pmt, IEnumMediaTypes* pEnum) {
  HRESULT hrFailure = VFW_E_NO_ACCEPTABLE_TYPES;
  if (FAILED(pEnum->Reset())) return hrFailure;
  for (;;) {
    AM_MEDIA_TYPE* candidate = nullptr;
    ULONG fetched = 0;
    if (pEnum->Next(1, &candidate, &fetched) != S_OK || fetched != 1 || !candidate) break;
    HRESULT hr = VFW_E_TYPE_NOT_ACCEPTED;
    const CMediaType* type = static_cast<const CMediaType*>(candidate);
    if (!pmt || type->MatchesPartial(pmt)) hr = AttemptConnection(pReceivePin, type);
    orba::DeleteMediaType(candidate);
    if (SUCCEEDED(hr)) return S_OK;
    if (hr != E_FAIL && hr != E_INVALIDARG && hr != VFW_E_TYPE_NOT_ACCEPTED) hrFailure = hr;
  }
  return hrFailure;
}

HRESULT CBasePin::AttemptConnection(IPin* pReceivePin, const CMediaType* pmt) {
  HRESULT hr = CheckConnect(pReceivePin);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  hr = CheckMediaType(pmt);
  if (hr == S_OK) {
    m_Connected = pReceivePin;
    m_Connected->AddRef();
    hr = SetMediaType(pmt);
    if (SUCCEEDED(hr)) {
      hr = pReceivePin->ReceiveConnection(static_cast<IPin*>(this), pmt);
      if (SUCCEEDED(hr)) {
        hr = CompleteConnect(pReceivePin);
        if (SUCCEEDED(hr)) return hr;
        pReceivePin->Disconnect();
      }
    }
  } else {
    hr = MapTypeFailure(hr);
  }
  BreakConnect();
  if (m_Connected) {
    m_Connected->Release();
    m_Connected = nullptr;
  }
  return hr;
}

STDMETHODIMP CBasePin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) {
  if (!pConnector || !pmt) return E_POINTER;
  CAutoLock lock(m_pLock);
  if (m_Connected) return VFW_E_ALREADY_CONNECTED;
  if (!IsStopped() && !m_bCanReconnectWhenActive) return VFW_E_NOT_STOPPED;
  HRESULT hr = CheckConnect(pConnector);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  const CMediaType* type = static_cast<const CMediaType*>(pmt);
  hr = CheckMediaType(type);
  if (hr != S_OK) {
    BreakConnect();
    return MapTypeFailure(hr);
  }
  m_Connected = pConnector;
  m_Connected->AddRef();
  hr = SetMediaType(type);
  if (SUCCEEDED(hr)) {
    hr = CompleteConnect(pConnector);
    if (SUCCEEDED(hr)) return S_OK;
  }
  m_Connected->Release();
  m_Connected = nullptr;
  BreakConnect();
  return hr;
}

STDMETHODIMP CBasePin::Disconnect() {
  CAutoLock lock(m_pLock);
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  return DisconnectInternal();
}

HRESULT CBasePin::DisconnectInternal() {
  if (!m_Connected) return S_FALSE;
  const HRESULT hr = BreakConnect();
  if (FAILED(hr)) return hr;
  m_Connected->Release();
  m_Connected = nullptr;
  return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** pPin) {
  if (!pPin) return E_POINTER;
  CAutoLock lock(m_pLock);
  *pPin = m_Connected;
  if (!m_Connected) return VFW_E_NOT_CONNECTED;
  m_Connected->AddRef();
  return S_OK;
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  CAutoLock lock(m_pLock);
  if (!m_Connected) {
    std::memset(pmt, 0, sizeof *pmt);
    return VFW_E_NOT_CONNECTED;
  }
  return orba::CopyMediaType(pmt, &m_mt);
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO* pInfo) {
  if (!pInfo) return E_POINTER;
  pInfo->pFilter = static_cast<IBaseFilter*>(m_pFilter);
  pInfo->pFilter->AddRef();
  pInfo->achName[0] = L'\0';
  if (m_pName) {
    std::wcsncpy(pInfo->achName, m_pName, MAX_PIN_NAME - 1);
    pInfo->achName[MAX_PIN_NAME - 1] = L'\0';
  }
  pInfo->dir = m_dir;
  return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* pPinDir) {
  if (!pPinDir) return E_POINTER;
  *pPinDir = m_dir;
  return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR* Id) { return AMGetWideString(Name(), Id); }

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  const HRESULT hr = CheckMediaType(static_cast<const CMediaType*>(pmt));
  return hr == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = new (std::nothrow) CEnumMediaTypes(this, nullptr);
  return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CBasePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

STDMETHODIMP CBasePin::EndOfStream() { return S_OK; }

STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
  m_tStart = tStart;
  m_tStop = tStop;
  m_dRate = dRate;
  return S_OK;
}

STDMETHODIMP CBasePin::Notify(IBaseFilter*, Quality) { return E_NOTIMPL; }

STDMETHODIMP CBasePin::SetSink(IQualityControl* piqc) {
  CAutoLock lock(m_pLock);
  m_pQSink = piqc;
  return S_OK;
}

HRESULT CBasePin::SetMediaType(const CMediaType* pmt) { return m_mt.Set(*pmt); }

HRESULT CBasePin::CheckConnect(IPin* pPin) {
  PIN_DIRECTION dir;
  const HRESULT hr = pPin->QueryDirection(&dir);
  if (FAILED(hr)) return hr;
  return dir == m_dir ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::GetMediaType(int, CMediaType*) { return E_UNEXPECTED; }
