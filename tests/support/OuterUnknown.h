#pragma once
// The controlling unknown of the aggregation tests: it answers IUnknown itself,
// hands every other interface to the aggregated object's inner unknown, counts
// its own references and notes each interface it was asked for.
#include <windows.h>

#include <unknwn.h>

#include <vector>

namespace orba_test {

class OuterUnknown : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    asked.push_back(riid);
    if (riid == IID_IUnknown) {
      *ppv = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    if (inner) return inner->QueryInterface(riid, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }

  ULONG refs = 1;
  IUnknown* inner = nullptr;  // the aggregated object's own unknown, once made
  std::vector<IID> asked;
};

}  // namespace orba_test
