#pragma once
// COM and filter-graph helpers of the DirectShow tests.
#include <windows.h>

#include <dshow.h>
#include <gtest/gtest.h>

#include <string>

#include "orba/ComPtr.h"

namespace orba_test {

// {C1F400A4-3F08-11D3-9F0B-006008039E37}
inline const CLSID kClsidNullRenderer = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

// COM for one test, in the apartment the test needs.
class ComScope {
 public:
  explicit ComScope(DWORD model = COINIT_MULTITHREADED) : hr_(CoInitializeEx(nullptr, model)) {}
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  HRESULT hr() const { return hr_; }

 private:
  HRESULT hr_;
};

// The reference count as the object reports it.
inline ULONG RefCount(IUnknown* p) {
  p->AddRef();
  return p->Release();
}

// A filter of the given class, created in process; the test fails without it.
inline orba::ComPtr<IBaseFilter> CreateFilter(REFCLSID clsid) {
  orba::ComPtr<IBaseFilter> filter;
  EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   filter.PutVoid()));
  return filter;
}

// A graph manager from the system; the test fails without it.
inline orba::ComPtr<IGraphBuilder> CreateGraph() {
  orba::ComPtr<IGraphBuilder> graph;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, graph.PutVoid()));
  return graph;
}

// The pin with this id; the test fails when the filter has none.
inline orba::ComPtr<IPin> PinOf(IBaseFilter* filter, const wchar_t* id) {
  orba::ComPtr<IPin> pin;
  EXPECT_EQ(S_OK, filter->FindPin(id, &pin));
  return pin;
}

// The filter's first pin, or null.
orba::ComPtr<IPin> FirstPin(IBaseFilter* filter);
// The first pin of a direction whose name contains the text (any pin for ""), or null.
orba::ComPtr<IPin> FindPin(IBaseFilter* filter, PIN_DIRECTION dir, const wchar_t* part = L"");
// The pin's name, empty when it does not answer.
std::wstring PinName(IPin* pin);

}  // namespace orba_test
