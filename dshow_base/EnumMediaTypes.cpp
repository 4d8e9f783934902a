#include "dshow_base/EnumMediaTypes.h"

#include <new>

#include "dshow_base/BasePin.h"
#include "orba/MediaType.h"

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pPin, CEnumMediaTypes* pEnumMediaTypes)
    : m_cRef(1), m_pPin(pPin), m_Position(0), m_Version(pPin->GetMediaTypeVersion()) {
  m_pPin->AddRef();
  if (pEnumMediaTypes) {
    m_Position = pEnumMediaTypes->m_Position;
    m_Version = pEnumMediaTypes->m_Version;
  }
}

CEnumMediaTypes::~CEnumMediaTypes() { m_pPin->Release(); }

STDMETHODIMP CEnumMediaTypes::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes) {
    *ppv = static_cast<IEnumMediaTypes*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumMediaTypes::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CEnumMediaTypes::Release() {
  const LONG ref = InterlockedDecrement(&m_cRef);
  if (ref == 0) delete this;
  return static_cast<ULONG>(ref);
}

bool CEnumMediaTypes::AreWeOutOfSync() const { return m_pPin->GetMediaTypeVersion() != m_Version; }

bool CEnumMediaTypes::HasType(int position) const {
  CMediaType type;
  return m_pPin->GetMediaType(position, &type) == S_OK;
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes,
                                   ULONG* pcFetched) {
  if (!ppMediaTypes) return E_POINTER;
  if (!pcFetched && cMediaTypes != 1) return E_INVALIDARG;
  if (pcFetched) *pcFetched = 0;
  if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;

  ULONG fetched = 0;
  while (fetched < cMediaTypes) {
    CMediaType type;
    if (m_pPin->GetMediaType(m_Position, &type) != S_OK) break;
    AM_MEDIA_TYPE* copy = orba::CreateMediaTypeCopy(&type);
    if (!copy) {
      // Nothing half-done is handed out.
      while (fetched > 0) {
        --fetched;
        orba::DeleteMediaType(ppMediaTypes[fetched]);
        ppMediaTypes[fetched] = nullptr;
        --m_Position;
      }
      return E_OUTOFMEMORY;
    }
    ppMediaTypes[fetched++] = copy;
    ++m_Position;
  }
  if (pcFetched) *pcFetched = fetched;
  return fetched == cMediaTypes ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG cMediaTypes) {
  if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  while (cMediaTypes > 0) {
    if (!HasType(m_Position)) return S_FALSE;
    ++m_Position;
    --cMediaTypes;
  }
  return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Reset() {
  m_Position = 0;
  m_Version = m_pPin->GetMediaTypeVersion();
  return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  *ppEnum = new (std::nothrow) CEnumMediaTypes(m_pPin, this);
  return *ppEnum ? S_OK : E_OUTOFMEMORY;
}
