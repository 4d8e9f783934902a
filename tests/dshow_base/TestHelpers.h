#pragma once
// Shared helpers of the base-layer contract tests.
#include <windows.h>

#include <dshow.h>
#include <gtest/gtest.h>

#include <string>

#include "TestAxIds.h"
#include "dshow_base/Streams.h"
#include "orba/ComPtr.h"

namespace dshow_test {

using orba::ComPtr;

// {C1F400A4-3F08-11D3-9F0B-006008039E37}
inline const CLSID kClsidNullRenderer = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

// The reference count as the object reports it.
inline ULONG RefCount(IUnknown* p) {
  p->AddRef();
  return p->Release();
}

// COM for one test, in the apartment the test needs.
class ComScope {
 public:
  explicit ComScope(DWORD model = COINIT_MULTITHREADED) : hr_(CoInitializeEx(nullptr, model)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  HRESULT hr() const { return hr_; }

 private:
  HRESULT hr_;
};

// The transform of DShowBaseTest.ax, created through the registry.
inline ComPtr<IBaseFilter> CreateTestTransform() {
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_BaseTestTransform, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IBaseFilter, filter.PutVoid()));
  return filter;
}

inline ComPtr<ITestTransformControl> ControlOf(IBaseFilter* filter) {
  ComPtr<ITestTransformControl> control;
  EXPECT_EQ(S_OK, filter->QueryInterface(IID_ITestTransformControl, control.PutVoid()));
  return control;
}

inline ComPtr<IPin> PinOf(IBaseFilter* filter, const wchar_t* id) {
  ComPtr<IPin> pin;
  EXPECT_EQ(S_OK, filter->FindPin(id, &pin));
  return pin;
}

// A graph manager from the system.
inline ComPtr<IGraphBuilder> CreateGraph() {
  ComPtr<IGraphBuilder> graph;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, graph.PutVoid()));
  return graph;
}

inline std::wstring PinName(IPin* pin) {
  PIN_INFO info = {};
  if (FAILED(pin->QueryPinInfo(&info))) return L"";
  if (info.pFilter) info.pFilter->Release();
  return info.achName;
}

}  // namespace dshow_test
