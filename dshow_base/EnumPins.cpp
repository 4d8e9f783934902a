#include "dshow_base/EnumPins.h"

#include <new>

#include "dshow_base/BaseFilter.h"
#include "dshow_base/BasePin.h"

CEnumPins::CEnumPins(CBaseFilter* pFilter, CEnumPins* pEnumPins)
    : m_cRef(1), m_pFilter(pFilter), m_Position(0), m_Version(pFilter->GetPinVersion()) {
  m_pFilter->AddRef();
  if (pEnumPins) {
    m_Position = pEnumPins->m_Position;
    m_Version = pEnumPins->m_Version;
  }
}

CEnumPins::~CEnumPins() { m_pFilter->Release(); }

STDMETHODIMP CEnumPins::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IEnumPins) {
    *ppv = static_cast<IEnumPins*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumPins::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CEnumPins::Release() {
  const LONG ref = InterlockedDecrement(&m_cRef);
  if (ref == 0) delete this;
  return static_cast<ULONG>(ref);
}

bool CEnumPins::AreWeOutOfSync() const { return m_pFilter->GetPinVersion() != m_Version; }

STDMETHODIMP CEnumPins::Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) {
  if (!ppPins) return E_POINTER;
  // Without a count pointer only a single pin may be asked for.
  if (!pcFetched && cPins != 1) return E_INVALIDARG;
  if (pcFetched) *pcFetched = 0;
  if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;

  ULONG fetched = 0;
  const int count = m_pFilter->GetPinCount();
  while (fetched < cPins && m_Position < count) {
    CBasePin* pin = m_pFilter->GetPin(m_Position);
    if (!pin) break;
    ++m_Position;
    ppPins[fetched] = pin;
    pin->AddRef();
    ++fetched;
  }
  if (pcFetched) *pcFetched = fetched;
  return fetched == cPins ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG cPins) {
  if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  const ULONG remaining = static_cast<ULONG>(m_pFilter->GetPinCount() - m_Position);
  if (cPins > remaining) {
    m_Position += static_cast<int>(remaining);
    return S_FALSE;
  }
  m_Position += static_cast<int>(cPins);
  return S_OK;
}

STDMETHODIMP CEnumPins::Reset() {
  m_Position = 0;
  m_Version = m_pFilter->GetPinVersion();
  return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  *ppEnum = new (std::nothrow) CEnumPins(m_pFilter, this);
  return *ppEnum ? S_OK : E_OUTOFMEMORY;
}
