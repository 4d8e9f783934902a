#include "dshow_base/PropertyPage.h"

#include "dshow_base/ClassFactory.h"

namespace {
// Only measures the dialog: no page behind it, no message handled.
INT_PTR CALLBACK MeasureProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
}  // namespace

CBasePropertyPage::CBasePropertyPage(LPCTSTR pName, LPUNKNOWN pUnk, int DialogId, int TitleId)
    : CUnknown(pName, pUnk),
      m_pPageSite(nullptr),
      m_hwnd(nullptr),
      m_Dlg(nullptr),
      m_bDirty(FALSE),
      m_TitleId(TitleId),
      m_DialogId(DialogId),
      m_bObjectSet(FALSE) {}

CBasePropertyPage::~CBasePropertyPage() {
  // A frame that drops the page without Deactivate must not leave a dialog that
  // points at a deleted page.
  if (m_hwnd) {
    SetWindowLongPtrW(m_hwnd, DWLP_USER, 0);
    DestroyWindow(m_hwnd);
  }
  if (m_pPageSite) m_pPageSite->Release();
}

STDMETHODIMP CBasePropertyPage::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IPropertyPage) return GetInterface(static_cast<IPropertyPage*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

INT_PTR CBasePropertyPage::OnReceiveMessage(HWND, UINT, WPARAM, LPARAM) { return 0; }

INT_PTR CALLBACK CBasePropertyPage::DialogProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CBasePropertyPage* page;
  if (uMsg == WM_INITDIALOG) {
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    page = reinterpret_cast<CBasePropertyPage*>(lParam);
    if (!page) return TRUE;
    page->m_Dlg = hwnd;
  } else {
    page = reinterpret_cast<CBasePropertyPage*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    // Messages before WM_INITDIALOG have no page yet.
    if (!page) return FALSE;
  }
  return page->OnReceiveMessage(hwnd, uMsg, wParam, lParam);
}

STDMETHODIMP CBasePropertyPage::SetPageSite(LPPROPERTYPAGESITE pPageSite) {
  if (pPageSite) {
    if (m_pPageSite) return E_UNEXPECTED;
    m_pPageSite = pPageSite;
    m_pPageSite->AddRef();
  } else {
    if (!m_pPageSite) return E_UNEXPECTED;
    m_pPageSite->Release();
    m_pPageSite = nullptr;
  }
  return S_OK;
}

STDMETHODIMP CBasePropertyPage::Activate(HWND hwndParent, LPCRECT prect, BOOL) {
  if (!prect) return E_POINTER;
  if (m_hwnd) return E_UNEXPECTED;
  HWND hwnd = CreateDialogParamW(AMGetModuleInstance(), MAKEINTRESOURCEW(m_DialogId), hwndParent,
                                 DialogProc, reinterpret_cast<LPARAM>(this));
  if (!hwnd) return E_OUTOFMEMORY;
  m_hwnd = hwnd;
  // Lets the frame's tab key move into the page's controls.
  SetWindowLongPtrW(m_hwnd, GWL_EXSTYLE,
                    GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
  OnActivate();
  Move(prect);
  return Show(SW_SHOWNORMAL);
}

STDMETHODIMP CBasePropertyPage::Deactivate() {
  if (!m_hwnd) return E_UNEXPECTED;
  OnDeactivate();
  HWND hwnd = m_hwnd;
  m_hwnd = nullptr;
  DestroyWindow(hwnd);
  m_Dlg = nullptr;
  return S_OK;
}

STDMETHODIMP CBasePropertyPage::GetPageInfo(LPPROPPAGEINFO pPageInfo) {
  if (!pPageInfo) return E_POINTER;
  WCHAR title[256];
  if (LoadStringW(AMGetModuleInstance(), static_cast<UINT>(m_TitleId), title, 256) <= 0) {
    title[0] = L'\0';
  }
  LPOLESTR copy = nullptr;
  HRESULT hr = AMGetWideString(title, &copy);
  if (FAILED(hr)) return hr;

  // The frame needs the dialog's size in pixels: create it once, hidden, to measure.
  SIZE size = {0, 0};
  HWND probe = CreateDialogParamW(AMGetModuleInstance(), MAKEINTRESOURCEW(m_DialogId),
                                  GetDesktopWindow(), MeasureProc, 0);
  if (probe) {
    RECT rc;
    GetWindowRect(probe, &rc);
    size.cx = rc.right - rc.left;
    size.cy = rc.bottom - rc.top;
    DestroyWindow(probe);
  }

  pPageInfo->cb = sizeof(PROPPAGEINFO);
  pPageInfo->pszTitle = copy;
  pPageInfo->size = size;
  pPageInfo->pszDocString = nullptr;
  pPageInfo->pszHelpFile = nullptr;
  pPageInfo->dwHelpContext = 0;
  return S_OK;
}

STDMETHODIMP CBasePropertyPage::SetObjects(ULONG cObjects, LPUNKNOWN* ppUnk) {
  if (cObjects == 1) {
    if (!ppUnk || !*ppUnk) return E_POINTER;
    const HRESULT hr = OnConnect(*ppUnk);
    // A page whose object was refused has nothing to apply to.
    m_bObjectSet = SUCCEEDED(hr);
    return hr;
  }
  if (cObjects == 0) {
    m_bObjectSet = FALSE;
    return OnDisconnect();
  }
  return E_UNEXPECTED;
}

STDMETHODIMP CBasePropertyPage::Show(UINT nCmdShow) {
  if (!m_hwnd) return E_UNEXPECTED;
  if (nCmdShow != SW_SHOW && nCmdShow != SW_SHOWNORMAL && nCmdShow != SW_HIDE) return E_INVALIDARG;
  ShowWindow(m_hwnd, static_cast<int>(nCmdShow));
  InvalidateRect(m_hwnd, nullptr, TRUE);
  return S_OK;
}

STDMETHODIMP CBasePropertyPage::Move(LPCRECT prect) {
  if (!prect) return E_POINTER;
  if (!m_hwnd) return E_UNEXPECTED;
  MoveWindow(m_hwnd, prect->left, prect->top, prect->right - prect->left,
             prect->bottom - prect->top, TRUE);
  return S_OK;
}

STDMETHODIMP CBasePropertyPage::Apply() {
  if (!m_bObjectSet || !m_pPageSite) return E_UNEXPECTED;
  if (!m_bDirty) return S_OK;
  const HRESULT hr = OnApplyChanges();
  if (SUCCEEDED(hr)) m_bDirty = FALSE;
  return hr;
}
