#pragma once
// The module's class-factory table and the COM exports built on it. The module
// defines g_Templates and g_cTemplates, exports DllGetClassObject and
// DllCanUnloadNow (defined here) and calls DllEntryPoint from its DllMain.
#include <windows.h>

#include "dshow_base/ComBase.h"
#include "dshow_base/Setup.h"

// Creates an object (aggregated when pUnkOuter is set); on failure returns null
// and reports through phr.
typedef CUnknown*(CALLBACK* LPFNNewCOMObject)(LPUNKNOWN pUnkOuter, HRESULT* phr);
// Called when the module is loaded (TRUE) and unloaded (FALSE).
typedef void(CALLBACK* LPFNInitRoutine)(BOOL bLoading, const CLSID* rclsid);

class CFactoryTemplate {
 public:
  const WCHAR* m_Name;
  const CLSID* m_ClsID;
  LPFNNewCOMObject m_lpfnNew;
  LPFNInitRoutine m_lpfnInit;
  const AMOVIESETUP_FILTER* m_pAMovieSetup_Filter;  // null: a plain COM class

  BOOL IsClassID(REFCLSID rclsid) const { return m_ClsID && *m_ClsID == rclsid; }
  CUnknown* CreateInstance(LPUNKNOWN pUnk, HRESULT* phr) const { return m_lpfnNew(pUnk, phr); }
};

extern CFactoryTemplate g_Templates[];
extern int g_cTemplates;

// The module handle, set by DllEntryPoint.
extern HINSTANCE g_hInst;
// g_hInst, or the module that holds this code when DllEntryPoint was not called.
HINSTANCE AMGetModuleInstance();

BOOL WINAPI DllEntryPoint(HINSTANCE hInstance, ULONG ulReason, LPVOID pv);

class CClassFactory : public IClassFactory, public CBaseObject {
 public:
  explicit CClassFactory(const CFactoryTemplate* pTemplate);

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateInstance(LPUNKNOWN pUnkOuter, REFIID riid, void** pv) override;
  STDMETHODIMP LockServer(BOOL fLock) override;

  static BOOL IsLocked() { return m_cLocked > 0; }

 private:
  const CFactoryTemplate* const m_pTemplate;
  volatile LONG m_cRef;
  static volatile LONG m_cLocked;
};
