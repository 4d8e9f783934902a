#include "dshow_base/ComBase.h"

#include <objbase.h>

#include <cstring>
#include <cwchar>

volatile LONG CBaseObject::m_cObjects = 0;

CBaseObject::CBaseObject(LPCTSTR) { InterlockedIncrement(&m_cObjects); }

CBaseObject::~CBaseObject() { InterlockedDecrement(&m_cObjects); }

CUnknown::CUnknown(LPCTSTR pName, LPUNKNOWN pUnk)
    : CBaseObject(pName),
      m_cRef(0),
      m_pUnknown(pUnk ? pUnk : reinterpret_cast<LPUNKNOWN>(static_cast<PNDUNKNOWN>(this))) {}

CUnknown::CUnknown(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT*) : CUnknown(pName, pUnk) {}

STDMETHODIMP CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown) {
    return GetInterface(reinterpret_cast<LPUNKNOWN>(static_cast<PNDUNKNOWN>(this)), ppv);
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingAddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingRelease() {
  const LONG ref = InterlockedDecrement(&m_cRef);
  if (ref == 0) {
    // A destructor that hands out and drops a reference must not delete twice.
    m_cRef = 1;
    delete this;
    return 0;
  }
  return static_cast<ULONG>(ref);
}

HRESULT GetInterface(LPUNKNOWN pUnk, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = pUnk;
  pUnk->AddRef();
  return S_OK;
}

HRESULT AMGetWideString(LPCWSTR psz, LPWSTR* ppszReturn) {
  if (!ppszReturn) return E_POINTER;
  *ppszReturn = nullptr;
  if (!psz) psz = L"";
  const size_t bytes = (std::wcslen(psz) + 1) * sizeof(WCHAR);
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (!copy) return E_OUTOFMEMORY;
  std::memcpy(copy, psz, bytes);
  *ppszReturn = copy;
  return S_OK;
}
