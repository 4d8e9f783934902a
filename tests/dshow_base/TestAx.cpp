// DShowBaseTest.ax: an in-process server built only from the base layer, so that
// its COM contract can be tested the way a graph or a property frame uses it.
#include <windows.h>

#include <dshow.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "TestAxIds.h"
#include "dshow_base/Streams.h"
#include "orba/ComPtr.h"

namespace {

bool IsAcceptedInput(const CMediaType* mt) {
  return mt && *mt->Type() == MEDIATYPE_Video && *mt->Subtype() == MEDIASUBTYPE_MJPG &&
         *mt->FormatType() == FORMAT_VideoInfo && mt->FormatLength() >= sizeof(VIDEOINFOHEADER);
}

class CTestTransform : public CTransformFilter, public ITestTransformControl {
 public:
  CTestTransform(LPUNKNOWN pUnk, HRESULT* phr)
      : CTransformFilter(nullptr, pUnk, CLSID_BaseTestTransform) {
    if (phr) *phr = S_OK;
  }

  DECLARE_IUNKNOWN

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_ITestTransformControl) {
      return GetInterface(static_cast<ITestTransformControl*>(this), ppv);
    }
    return CTransformFilter::NonDelegatingQueryInterface(riid, ppv);
  }

  HRESULT Transform(IMediaSample* pIn, IMediaSample* pOut) override {
    InterlockedIncrement(&transforms_);
    BYTE* src = nullptr;
    BYTE* dst = nullptr;
    if (SUCCEEDED(pIn->GetPointer(&src)) && SUCCEEDED(pOut->GetPointer(&dst))) {
      const long length = pOut->GetActualDataLength();
      if (length > 0) std::memcpy(dst, src, static_cast<size_t>(length));
    }
    return result_;
  }

  HRESULT CheckInputType(const CMediaType* mtIn) override {
    return IsAcceptedInput(mtIn) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }

  HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override {
    if (!mtIn || !mtOut) return E_POINTER;
    if (!IsAcceptedInput(mtIn)) return VFW_E_TYPE_NOT_ACCEPTED;
    return *mtIn == *mtOut ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }

  HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override {
    if (!pAlloc || !pProp) return E_POINTER;
    // A count of 0 lets a test make the negotiation fail.
    if (bufferCount_ <= 0) return E_FAIL;
    pProp->cBuffers = bufferCount_;
    pProp->cbBuffer = bufferSize_;
    ALLOCATOR_PROPERTIES actual = {};
    const HRESULT hr = pAlloc->SetProperties(pProp, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cBuffers < bufferCount_ || actual.cbBuffer < bufferSize_) return E_FAIL;
    return S_OK;
  }

  HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override {
    if (!m_pInput || !m_pInput->IsConnected()) return E_UNEXPECTED;
    if (iPosition < 0) return E_INVALIDARG;
    if (iPosition > 0) return VFW_S_NO_MORE_ITEMS;
    if (!pMediaType) return E_POINTER;
    return pMediaType->Set(m_pInput->CurrentMediaType());
  }

  HRESULT StartStreaming() override {
    InterlockedIncrement(&starts_);
    return S_OK;
  }
  HRESULT StopStreaming() override {
    InterlockedIncrement(&stops_);
    return S_OK;
  }

  const AMOVIESETUP_FILTER* GetSetupData() override;

  // ITestTransformControl
  STDMETHODIMP SetTransformResult(HRESULT hr) override {
    result_ = hr;
    return S_OK;
  }
  STDMETHODIMP GetCounts(LONG* transforms, LONG* startStreaming, LONG* stopStreaming) override {
    if (!transforms || !startStreaming || !stopStreaming) return E_POINTER;
    *transforms = transforms_;
    *startStreaming = starts_;
    *stopStreaming = stops_;
    return S_OK;
  }
  STDMETHODIMP SetBufferRequest(LONG count, LONG size) override {
    bufferCount_ = count;
    bufferSize_ = size;
    return S_OK;
  }
  STDMETHODIMP SetValue(LONG value) override {
    value_ = value;
    return S_OK;
  }
  STDMETHODIMP GetValue(LONG* value) override {
    if (!value) return E_POINTER;
    *value = value_;
    return S_OK;
  }

  static CUnknown* CALLBACK CreateInstance(LPUNKNOWN pUnk, HRESULT* phr) {
    auto* filter = new (std::nothrow) CTestTransform(pUnk, phr);
    if (!filter && phr) *phr = E_OUTOFMEMORY;
    return filter;
  }

 private:
  volatile HRESULT result_ = S_OK;
  volatile LONG transforms_ = 0;
  volatile LONG starts_ = 0;
  volatile LONG stops_ = 0;
  LONG bufferCount_ = 3;
  LONG bufferSize_ = 65536;
  volatile LONG value_ = 0;
};

// Edits the transform's value through ITestTransformControl.
class CTestPage : public CBasePropertyPage {
 public:
  CTestPage(LPUNKNOWN pUnk, HRESULT* phr)
      : CBasePropertyPage(nullptr, pUnk, kTestPageDialog, kTestPageTitle) {
    if (phr) *phr = S_OK;
  }
  ~CTestPage() override {
    if (control_) control_->Release();
  }

  HRESULT OnConnect(IUnknown* pUnknown) override {
    if (!pUnknown) return E_POINTER;
    if (control_) return E_UNEXPECTED;
    return pUnknown->QueryInterface(IID_ITestTransformControl, reinterpret_cast<void**>(&control_));
  }
  HRESULT OnDisconnect() override {
    if (!control_) return E_UNEXPECTED;
    control_->Release();
    control_ = nullptr;
    return S_OK;
  }
  HRESULT OnApplyChanges() override {
    if (!control_ || !m_hwnd) return E_UNEXPECTED;
    BOOL translated = FALSE;
    const int value =
        static_cast<int>(GetDlgItemInt(m_hwnd, kTestPageValueEdit, &translated, TRUE));
    if (!translated) return E_INVALIDARG;
    return control_->SetValue(value);
  }
  INT_PTR OnReceiveMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) override {
    switch (uMsg) {
      case WM_INITDIALOG: {
        LONG value = 0;
        if (control_) control_->GetValue(&value);
        SetDlgItemInt(hwnd, kTestPageValueEdit, static_cast<UINT>(value), TRUE);
        return TRUE;
      }
      case WM_COMMAND:
        if (LOWORD(wParam) == kTestPageDirtyButton && HIWORD(wParam) == BN_CLICKED) {
          m_bDirty = TRUE;
          if (m_pPageSite) m_pPageSite->OnStatusChange(PROPPAGESTATUS_DIRTY);
          return TRUE;
        }
        break;
      default:
        break;
    }
    return CBasePropertyPage::OnReceiveMessage(hwnd, uMsg, wParam, lParam);
  }

  static CUnknown* CALLBACK CreateInstance(LPUNKNOWN pUnk, HRESULT* phr) {
    auto* page = new (std::nothrow) CTestPage(pUnk, phr);
    if (!page && phr) *phr = E_OUTOFMEMORY;
    return page;
  }

 private:
  ITestTransformControl* control_ = nullptr;
};

const AMOVIESETUP_MEDIATYPE kPinTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_NULL}};
const AMOVIESETUP_PIN kPins[] = {
    {L"Input", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, L"Output", 1, kPinTypes},
    {L"Output", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, L"Input", 1, kPinTypes},
};
const AMOVIESETUP_FILTER kFilterSetup = {&CLSID_BaseTestTransform, kBaseTestTransformName,
                                         MERIT_DO_NOT_USE, 2, kPins};

const AMOVIESETUP_FILTER* CTestTransform::GetSetupData() { return &kFilterSetup; }

}  // namespace

CFactoryTemplate g_Templates[] = {
    {kBaseTestTransformName, &CLSID_BaseTestTransform, CTestTransform::CreateInstance, nullptr,
     &kFilterSetup},
    {kBaseTestPageName, &CLSID_BaseTestPage, CTestPage::CreateInstance, nullptr, nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

STDAPI DllRegisterServer() { return AMovieDllRegisterServer2(TRUE); }

STDAPI DllUnregisterServer() { return AMovieDllRegisterServer2(FALSE); }

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved) {
  return DllEntryPoint(hInstance, dwReason, lpReserved);
}
