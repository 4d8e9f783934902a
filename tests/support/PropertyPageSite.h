#pragma once
// The site a property frame gives its pages: counts its references and
// remembers the status changes a page reports (dirty, validate).
#include <windows.h>

#include <ocidl.h>

namespace orba_test {

class PropertyPageSite : public IPropertyPageSite {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPropertyPageSite) {
      *ppv = static_cast<IPropertyPageSite*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP OnStatusChange(DWORD flags) override {
    statusFlags |= flags;
    ++statusChanges;
    return S_OK;
  }
  STDMETHODIMP GetLocaleID(LCID* id) override {
    if (!id) return E_POINTER;
    *id = LOCALE_USER_DEFAULT;
    return S_OK;
  }
  STDMETHODIMP GetPageContainer(IUnknown** container) override {
    if (container) *container = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP TranslateAccelerator(MSG*) override { return S_FALSE; }

  // Starts at one: the frame's own reference, never released.
  ULONG refs = 1;
  DWORD statusFlags = 0;
  int statusChanges = 0;
};

}  // namespace orba_test
