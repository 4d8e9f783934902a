#pragma once
// Helpers of the base-layer contract tests: the shared graph helpers and test
// filters, and DShowBaseTest.ax's transform.
#include <windows.h>

#include <dshow.h>
#include <gtest/gtest.h>

#include <string>

#include "TestAxIds.h"
#include "TestFilters.h"
#include "dshow_base/Streams.h"
#include "orba/ComPtr.h"

namespace dshow_test {

using orba::ComPtr;
using orba_test::ComScope;
using orba_test::CPushSource;
using orba_test::CreateGraph;
using orba_test::CRecordingSink;
using orba_test::kClsidNullRenderer;
using orba_test::MakeMjpgType;
using orba_test::PinName;
using orba_test::PinOf;
using orba_test::ReceivedSample;
using orba_test::RefCount;
using orba_test::SampleDesc;

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

}  // namespace dshow_test
