#pragma once
// Identifiers of DShowBaseTest.ax, the in-process server built from the base layer
// for its contract tests: a small MJPG pass-through transform and a property page.
#include <windows.h>

#include <unknwn.h>

// {7B1D5C21-3E4A-4C2B-9A61-5D0F2E8B7A01}
inline const GUID CLSID_BaseTestTransform = {
    0x7b1d5c21, 0x3e4a, 0x4c2b, {0x9a, 0x61, 0x5d, 0x0f, 0x2e, 0x8b, 0x7a, 0x01}};
// {7B1D5C21-3E4A-4C2B-9A61-5D0F2E8B7A02}
inline const GUID CLSID_BaseTestPage = {
    0x7b1d5c21, 0x3e4a, 0x4c2b, {0x9a, 0x61, 0x5d, 0x0f, 0x2e, 0x8b, 0x7a, 0x02}};
// {7B1D5C21-3E4A-4C2B-9A61-5D0F2E8B7A03}
inline const GUID IID_ITestTransformControl = {
    0x7b1d5c21, 0x3e4a, 0x4c2b, {0x9a, 0x61, 0x5d, 0x0f, 0x2e, 0x8b, 0x7a, 0x03}};

constexpr wchar_t kBaseTestTransformName[] = L"ORBA Base Test Transform";
constexpr wchar_t kBaseTestPageName[] = L"ORBA Base Test Page";
constexpr char kBaseTestAxFile[] = "DShowBaseTest.ax";

// Resources of the module.
constexpr int kTestPageDialog = 200;
constexpr int kTestPageTitle = 300;
constexpr int kTestPageValueEdit = 1002;
constexpr int kTestPageDirtyButton = 1001;
constexpr wchar_t kTestPageTitleText[] = L"Base Test Page";

// Lets a test steer and observe the transform.
struct ITestTransformControl : public IUnknown {
  // What Transform returns from now on (S_OK by default).
  virtual HRESULT STDMETHODCALLTYPE SetTransformResult(HRESULT hr) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCounts(LONG* transforms, LONG* startStreaming,
                                              LONG* stopStreaming) = 0;
  // What DecideBufferSize asks the allocator for (3 x 65536 by default); a count
  // of 0 makes DecideBufferSize fail.
  virtual HRESULT STDMETHODCALLTYPE SetBufferRequest(LONG count, LONG size) = 0;
  // A value the property page edits.
  virtual HRESULT STDMETHODCALLTYPE SetValue(LONG value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValue(LONG* value) = 0;
};
