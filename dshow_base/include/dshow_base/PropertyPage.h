#pragma once
// CBasePropertyPage: IPropertyPage over a dialog resource of the module. The dialog
// is created as a child of the property frame's window; its messages go to the
// OnReceiveMessage of the derived class.
#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include "dshow_base/ComBase.h"

class CBasePropertyPage : public IPropertyPage, public CUnknown {
 public:
  // DialogId and TitleId are resource ids of the module (dialog, string).
  CBasePropertyPage(LPCTSTR pName, LPUNKNOWN pUnk, int DialogId, int TitleId);
  ~CBasePropertyPage() override;

  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // Hooks of the derived page.
  virtual HRESULT OnConnect(IUnknown*) { return S_OK; }
  virtual HRESULT OnDisconnect() { return S_OK; }
  virtual HRESULT OnActivate() { return S_OK; }
  virtual HRESULT OnDeactivate() { return S_OK; }
  virtual HRESULT OnApplyChanges() { return S_OK; }
  // The dialog procedure's answer; the default handles nothing (0).
  virtual INT_PTR OnReceiveMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

  // IPropertyPage
  STDMETHODIMP SetPageSite(LPPROPERTYPAGESITE pPageSite) override;
  STDMETHODIMP Activate(HWND hwndParent, LPCRECT prect, BOOL fModal) override;
  STDMETHODIMP Deactivate() override;
  STDMETHODIMP GetPageInfo(LPPROPPAGEINFO pPageInfo) override;
  STDMETHODIMP SetObjects(ULONG cObjects, LPUNKNOWN* ppUnk) override;
  STDMETHODIMP Show(UINT nCmdShow) override;
  STDMETHODIMP Move(LPCRECT prect) override;
  STDMETHODIMP IsPageDirty() override { return m_bDirty ? S_OK : S_FALSE; }
  STDMETHODIMP Apply() override;
  STDMETHODIMP Help(LPCOLESTR) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(LPMSG) override { return E_NOTIMPL; }

 protected:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

  LPPROPERTYPAGESITE m_pPageSite;  // holds a reference
  HWND m_hwnd;                     // the active dialog, null when not active
  HWND m_Dlg;                      // the dialog, known from WM_INITDIALOG on
  BOOL m_bDirty;
  int m_TitleId;
  int m_DialogId;
  BOOL m_bObjectSet;
};
