// The small RAII types and text helpers shared by every module.
#include <gtest/gtest.h>

#include <cstring>

#include <dshow.h>

#include "orba/ComPtr.h"
#include "orba/MediaType.h"
#include "orba/Scoped.h"
#include "orba/Text.h"

namespace {

// Counts references the way a COM object does.
class Counted : public IUnknown {
 public:
  explicit Counted(int* alive) : alive_(alive) { ++*alive_; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  // Out of line: inlined, GCC cannot see that refs stays above zero.
  __attribute__((noinline)) ULONG STDMETHODCALLTYPE Release() override {
    ULONG r = --refs_;
    if (r == 0) {
      --*alive_;
      delete this;
    }
    return r;
  }
  ULONG refs() const { return refs_; }

 private:
  virtual ~Counted() = default;
  ULONG refs_ = 1;
  int* alive_;
};

HRESULT MakeCounted(int* alive, IUnknown** out) {
  *out = new Counted(alive);
  return S_OK;
}

TEST(ComPtr, AddressOfReleasesTheOldReference) {
  int alive = 0;
  orba::ComPtr<IUnknown> p;
  ASSERT_EQ(S_OK, MakeCounted(&alive, &p));
  EXPECT_EQ(1, alive);
  // A second out-parameter call must not leak the first object.
  ASSERT_EQ(S_OK, MakeCounted(&alive, &p));
  EXPECT_EQ(1, alive);
  p.Reset();
  EXPECT_EQ(0, alive);
}

TEST(ComPtr, CopyAndMoveKeepTheCountBalanced) {
  int alive = 0;
  orba::ComPtr<IUnknown> a;
  MakeCounted(&alive, &a);
  auto* raw = static_cast<Counted*>(a.Get());
  {
    orba::ComPtr<IUnknown> b = a;
    EXPECT_EQ(2u, raw->refs());
    orba::ComPtr<IUnknown> c = std::move(b);
    EXPECT_EQ(2u, raw->refs());
    EXPECT_FALSE(b);
    IUnknown* out = nullptr;
    ASSERT_EQ(S_OK, c.CopyTo(&out));
    EXPECT_EQ(3u, raw->refs());
    out->Release();
  }
  EXPECT_EQ(1u, raw->refs());
  orba::ComPtr<IUnknown> q;
  ASSERT_EQ(S_OK, a.QueryInterface(IID_IUnknown, q));
  EXPECT_EQ(2u, raw->refs());
  q = nullptr;
  a = nullptr;
  EXPECT_EQ(0, alive);
}

TEST(Scoped, HandleIsClosedOnceAndPutClosesFirst) {
  orba::ScopedHandle h(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(h);
  HANDLE first = h.Get();
  *h.Put() = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // The first handle was closed by Put().
  DWORD flags = 0;
  EXPECT_FALSE(GetHandleInformation(first, &flags));
  HANDLE second = h.Get();
  h.Reset();
  EXPECT_FALSE(GetHandleInformation(second, &flags));
  EXPECT_FALSE(h);
}

TEST(Scoped, InvalidHandleValueCountsAsNone) {
  orba::ScopedHandle h(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(h);
}

TEST(Scoped, GdiObjectIsDeleted) {
  HBRUSH raw;
  {
    orba::ScopedBrush brush(CreateSolidBrush(RGB(1, 2, 3)));
    raw = brush.Get();
    LOGBRUSH lb{};
    ASSERT_EQ(static_cast<int>(sizeof lb), GetObjectA(raw, sizeof lb, &lb));
  }
  LOGBRUSH lb{};
  EXPECT_EQ(0, GetObjectA(raw, sizeof lb, &lb));
}

TEST(MediaTypeOwner, CopyIsDeepAndFreeClearsTheBlock) {
  AM_MEDIA_TYPE src{};
  BYTE block[88] = {1, 2, 3};
  src.majortype = MEDIATYPE_Video;
  src.cbFormat = sizeof block;
  src.pbFormat = block;
  orba::MediaTypePtr copy(orba::CreateMediaTypeCopy(&src));
  ASSERT_TRUE(copy);
  EXPECT_NE(copy->pbFormat, block);
  EXPECT_EQ(0, std::memcmp(copy->pbFormat, block, sizeof block));
  EXPECT_EQ(88u, copy->cbFormat);

  AM_MEDIA_TYPE local{};
  ASSERT_EQ(S_OK, orba::CopyMediaType(&local, &src));
  orba::FreeMediaType(local);
  EXPECT_EQ(nullptr, local.pbFormat);
  EXPECT_EQ(0u, local.cbFormat);
}

TEST(Text, FormatBoundedRefusesTruncation) {
  char buf[8];
  EXPECT_TRUE(orba::FormatBounded(buf, sizeof buf, "%s", "1234567"));
  EXPECT_STREQ("1234567", buf);
  EXPECT_FALSE(orba::FormatBounded(buf, sizeof buf, "%s\\%s", "1234", "567"));
  EXPECT_STREQ("", buf);
}

TEST(Text, CopyBoundedRefusesTruncation) {
  char buf[4];
  EXPECT_TRUE(orba::CopyBounded(buf, sizeof buf, "abc"));
  EXPECT_FALSE(orba::CopyBounded(buf, sizeof buf, "abcd"));
  EXPECT_STREQ("", buf);
}

TEST(Text, TimeStampFormat) {
  SYSTEMTIME t{};
  t.wYear = 2024;
  t.wMonth = 1;
  t.wDay = 3;
  t.wHour = 9;
  t.wMinute = 5;
  t.wSecond = 7;
  char out[orba::kTimeStampBytes];
  orba::FormatTimeStamp(t, out);
  EXPECT_STREQ("240103_09.05.07", out);
}

}  // namespace
