// IEnumPins and IEnumMediaTypes of the base layer: Next, Skip, Reset and Clone.
#include <gtest/gtest.h>

#include "TestFilters.h"
#include "TestHelpers.h"
#include "orba/MediaType.h"

namespace dshow_test {
namespace {

LONG WidthOf(const AM_MEDIA_TYPE* mt) {
  return reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader.biWidth;
}

TEST(EnumPins, NextSkipResetClone) {
  ComScope com;
  ComPtr<IBaseFilter> filter = CreateTestTransform();
  ComPtr<IEnumPins> pins;
  ASSERT_EQ(S_OK, filter->EnumPins(&pins));
  const ULONG filterRefs = RefCount(filter.Get());

  IPin* got[3] = {};
  ULONG fetched = 99;
  // One at a time, with and without a count pointer.
  ASSERT_EQ(S_OK, pins->Next(1, got, nullptr));
  EXPECT_EQ(L"XForm In", PinName(got[0]));
  EXPECT_EQ(filterRefs + 1, RefCount(filter.Get()));
  got[0]->Release();
  ASSERT_EQ(S_OK, pins->Next(1, got, &fetched));
  EXPECT_EQ(1u, fetched);
  EXPECT_EQ(L"XForm Out", PinName(got[0]));
  got[0]->Release();
  got[0] = nullptr;
  EXPECT_EQ(S_FALSE, pins->Next(1, got, &fetched));
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ(nullptr, got[0]);

  // More than remain: what is there, and S_FALSE.
  ASSERT_EQ(S_OK, pins->Reset());
  EXPECT_EQ(S_FALSE, pins->Next(3, got, &fetched));
  EXPECT_EQ(2u, fetched);
  got[0]->Release();
  got[1]->Release();
  EXPECT_EQ(filterRefs, RefCount(filter.Get()));

  // Several need a count pointer.
  ASSERT_EQ(S_OK, pins->Reset());
  EXPECT_EQ(E_INVALIDARG, pins->Next(2, got, nullptr));
  EXPECT_EQ(E_POINTER, pins->Next(1, nullptr, &fetched));

  EXPECT_EQ(S_OK, pins->Skip(1));
  ComPtr<IEnumPins> clone;
  ASSERT_EQ(S_OK, pins->Clone(&clone));
  EXPECT_EQ(E_POINTER, pins->Clone(nullptr));
  // The clone starts where the original stood; both move on their own.
  ASSERT_EQ(S_OK, clone->Next(1, got, nullptr));
  EXPECT_EQ(L"XForm Out", PinName(got[0]));
  got[0]->Release();
  ASSERT_EQ(S_OK, pins->Next(1, got, nullptr));
  EXPECT_EQ(L"XForm Out", PinName(got[0]));
  got[0]->Release();

  ASSERT_EQ(S_OK, pins->Reset());
  EXPECT_EQ(S_FALSE, pins->Skip(3));
  EXPECT_EQ(S_FALSE, pins->Next(1, got, &fetched));
  EXPECT_EQ(0u, fetched);
  ASSERT_EQ(S_OK, pins->Reset());
  EXPECT_EQ(S_OK, pins->Skip(2));
  EXPECT_EQ(S_FALSE, pins->Skip(1));

  clone = nullptr;
  pins = nullptr;
  EXPECT_EQ(1u, RefCount(filter.Get()));
}

TEST(EnumMediaTypes, NextSkipResetClone) {
  ComScope com;
  CPushSource* raw = new CPushSource();
  ComPtr<IBaseFilter> source(static_cast<IBaseFilter*>(raw));
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(S_OK, raw->Pin()->EnumMediaTypes(&types));

  AM_MEDIA_TYPE* got[3] = {};
  ULONG fetched = 99;
  ASSERT_EQ(S_OK, types->Next(1, got, nullptr));
  EXPECT_EQ(MEDIASUBTYPE_MJPG, got[0]->subtype);
  ASSERT_EQ(sizeof(VIDEOINFOHEADER), got[0]->cbFormat);
  EXPECT_EQ(1280, WidthOf(got[0]));
  orba::DeleteMediaType(got[0]);

  ASSERT_EQ(S_OK, types->Next(1, got, &fetched));
  EXPECT_EQ(1u, fetched);
  EXPECT_EQ(640, WidthOf(got[0]));
  orba::DeleteMediaType(got[0]);
  got[0] = nullptr;
  EXPECT_EQ(S_FALSE, types->Next(1, got, &fetched));
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ(nullptr, got[0]);

  ASSERT_EQ(S_OK, types->Reset());
  EXPECT_EQ(S_FALSE, types->Next(3, got, &fetched));
  ASSERT_EQ(2u, fetched);
  EXPECT_EQ(1280, WidthOf(got[0]));
  EXPECT_EQ(640, WidthOf(got[1]));
  // Every type is a separate allocation that the caller owns.
  EXPECT_NE(got[0]->pbFormat, got[1]->pbFormat);
  orba::DeleteMediaType(got[0]);
  orba::DeleteMediaType(got[1]);

  ASSERT_EQ(S_OK, types->Reset());
  EXPECT_EQ(E_INVALIDARG, types->Next(2, got, nullptr));
  EXPECT_EQ(S_OK, types->Skip(1));
  ComPtr<IEnumMediaTypes> clone;
  ASSERT_EQ(S_OK, types->Clone(&clone));
  ASSERT_EQ(S_OK, clone->Next(1, got, nullptr));
  EXPECT_EQ(640, WidthOf(got[0]));
  orba::DeleteMediaType(got[0]);
  EXPECT_EQ(S_OK, types->Skip(1));
  EXPECT_EQ(S_FALSE, types->Skip(1));
  ASSERT_EQ(S_OK, types->Reset());
  EXPECT_EQ(S_FALSE, types->Skip(5));
  EXPECT_EQ(S_FALSE, types->Next(1, got, &fetched));
  EXPECT_EQ(0u, fetched);
}

TEST(EnumMediaTypes, TransformOutputOffersNothingUntilTheInputIsConnected) {
  ComScope com;
  ComPtr<IBaseFilter> filter = CreateTestTransform();
  ComPtr<IPin> out = PinOf(filter.Get(), L"Out");
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(S_OK, out->EnumMediaTypes(&types));
  AM_MEDIA_TYPE* got = nullptr;
  ULONG fetched = 99;
  EXPECT_EQ(S_FALSE, types->Next(1, &got, &fetched));
  EXPECT_EQ(0u, fetched);
}

}  // namespace
}  // namespace dshow_test
