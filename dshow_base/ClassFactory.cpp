#include "dshow_base/ClassFactory.h"

#include <new>

volatile LONG CClassFactory::m_cLocked = 0;

CClassFactory::CClassFactory(const CFactoryTemplate* pTemplate)
    : CBaseObject(TEXT("Class factory")), m_pTemplate(pTemplate), m_cRef(0) {}

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IClassFactory) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CClassFactory::Release() {
  const LONG ref = InterlockedDecrement(&m_cRef);
  if (ref == 0) delete this;
  return static_cast<ULONG>(ref);
}

STDMETHODIMP CClassFactory::CreateInstance(LPUNKNOWN pUnkOuter, REFIID riid, void** pv) {
  if (!pv) return E_POINTER;
  *pv = nullptr;
  // An aggregated object can only be asked for its inner unknown.
  if (pUnkOuter && riid != IID_IUnknown) return E_NOINTERFACE;

  HRESULT hr = S_OK;
  CUnknown* object = m_pTemplate->CreateInstance(pUnkOuter, &hr);
  if (!object) return FAILED(hr) ? hr : E_OUTOFMEMORY;
  if (FAILED(hr)) {
    delete object;
    return hr;
  }
  // The temporary reference keeps a failing query from leaking the object.
  object->NonDelegatingAddRef();
  hr = object->NonDelegatingQueryInterface(riid, pv);
  object->NonDelegatingRelease();
  return hr;
}

STDMETHODIMP CClassFactory::LockServer(BOOL fLock) {
  if (fLock) {
    InterlockedIncrement(&m_cLocked);
  } else {
    InterlockedDecrement(&m_cLocked);
  }
  return S_OK;
}

STDAPI DllGetClassObject(REFCLSID rClsID, REFIID riid, void** pv) {
  if (!pv) return E_POINTER;
  *pv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
  for (int i = 0; i < g_cTemplates; ++i) {
    const CFactoryTemplate* entry = &g_Templates[i];
    if (!entry->IsClassID(rClsID)) continue;
    auto* factory = new (std::nothrow) CClassFactory(entry);
    if (!factory) return E_OUTOFMEMORY;
    factory->AddRef();
    const HRESULT hr = factory->QueryInterface(riid, pv);
    factory->Release();
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
  return (CClassFactory::IsLocked() || CBaseObject::ObjectsActive() > 0) ? S_FALSE : S_OK;
}

BOOL WINAPI DllEntryPoint(HINSTANCE hInstance, ULONG ulReason, LPVOID) {
  switch (ulReason) {
    case DLL_PROCESS_ATTACH:
      DisableThreadLibraryCalls(hInstance);
      g_hInst = hInstance;
      for (int i = 0; i < g_cTemplates; ++i) {
        if (g_Templates[i].m_lpfnInit) g_Templates[i].m_lpfnInit(TRUE, g_Templates[i].m_ClsID);
      }
      break;
    case DLL_PROCESS_DETACH:
      for (int i = 0; i < g_cTemplates; ++i) {
        if (g_Templates[i].m_lpfnInit) g_Templates[i].m_lpfnInit(FALSE, g_Templates[i].m_ClsID);
      }
      break;
    default:
      break;
  }
  return TRUE;
}
