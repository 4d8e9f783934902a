// CMediaType: a value type that owns its format block and object reference.
#include <gtest/gtest.h>

#include <cstring>

#include "TestFilters.h"
#include "TestHelpers.h"

namespace dshow_test {
namespace {

TEST(MediaType, EmptyTypeIsFixedSizeOfOneByte) {
  CMediaType mt;
  EXPECT_FALSE(mt.IsValid());
  EXPECT_TRUE(mt.IsFixedSize());
  EXPECT_EQ(1u, mt.GetSampleSize());
  EXPECT_EQ(0u, mt.FormatLength());
  EXPECT_EQ(nullptr, mt.Format());
  EXPECT_TRUE(mt.IsPartiallySpecified());
  mt.SetVariableSize();
  EXPECT_EQ(0u, mt.GetSampleSize());
  mt.SetSampleSize(4096);
  EXPECT_TRUE(mt.IsFixedSize());
  EXPECT_EQ(4096u, mt.GetSampleSize());
}

TEST(MediaType, CopiesOwnTheirFormatBlock) {
  CMediaType a;
  MakeMjpgType(&a, 1280, 720);
  CMediaType b(a);
  ASSERT_EQ(a.FormatLength(), b.FormatLength());
  EXPECT_NE(a.Format(), b.Format());
  EXPECT_TRUE(a == b);
  reinterpret_cast<VIDEOINFOHEADER*>(b.Format())->bmiHeader.biWidth = 640;
  EXPECT_TRUE(a != b);
  EXPECT_EQ(1280, reinterpret_cast<VIDEOINFOHEADER*>(a.Format())->bmiHeader.biWidth);

  CMediaType c;
  c = b;
  EXPECT_TRUE(c == b);
  c = c;  // self-assignment keeps the block
  EXPECT_TRUE(c == b);
  ASSERT_NE(nullptr, c.Format());

  c.ResetFormatBuffer();
  EXPECT_TRUE(c != b);
  EXPECT_EQ(0u, c.FormatLength());
}

TEST(MediaType, FormatBufferHelpers) {
  CMediaType mt(&MEDIATYPE_Video);
  const BYTE bytes[4] = {1, 2, 3, 4};
  ASSERT_TRUE(mt.SetFormat(bytes, 4));
  EXPECT_EQ(4u, mt.FormatLength());
  EXPECT_EQ(0, std::memcmp(bytes, mt.Format(), 4));
  BYTE* grown = mt.ReallocFormatBuffer(8);
  ASSERT_TRUE(grown);
  EXPECT_EQ(8u, mt.FormatLength());
  EXPECT_EQ(0, std::memcmp(bytes, grown, 4));
  EXPECT_EQ(nullptr, mt.ReallocFormatBuffer(0));
  EXPECT_EQ(0u, mt.FormatLength());
  EXPECT_FALSE(mt.SetFormat(nullptr, 4));
}

TEST(MediaType, PartialMatching) {
  CMediaType full;
  MakeMjpgType(&full, 1280, 720);
  EXPECT_FALSE(full.IsPartiallySpecified());
  CMediaType partial(&MEDIATYPE_Video);
  EXPECT_TRUE(full.MatchesPartial(&partial));
  partial.SetSubtype(&MEDIASUBTYPE_MJPG);
  EXPECT_TRUE(full.MatchesPartial(&partial));
  partial.SetSubtype(&MEDIASUBTYPE_RGB24);
  EXPECT_FALSE(full.MatchesPartial(&partial));
  CMediaType other;
  MakeMjpgType(&other, 640, 480);
  EXPECT_FALSE(full.MatchesPartial(&other));
  EXPECT_TRUE(full.MatchesPartial(&full));
}

TEST(MediaType, ObjectReferenceIsSharedAndReleased) {
  ComScope com;
  ComPtr<IUnknown> object;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   object.PutVoid()));
  const ULONG start = RefCount(object.Get());
  {
    CMediaType a;
    MakeMjpgType(&a, 320, 240);
    a.pUnk = object.Get();
    object->AddRef();
    CMediaType b(a);
    EXPECT_EQ(start + 2, RefCount(object.Get()));
  }
  EXPECT_EQ(start, RefCount(object.Get()));
}

}  // namespace
}  // namespace dshow_test
