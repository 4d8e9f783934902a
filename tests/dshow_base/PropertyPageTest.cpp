// The property-page base: the page of DShowBaseTest.ax driven as a property frame
// drives it.
#include <gtest/gtest.h>

#include "PropertyPageSite.h"
#include "TestHelpers.h"

namespace dshow_test {
namespace {

using FakeSite = orba_test::PropertyPageSite;

class PropertyPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_BaseTestPage, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IPropertyPage, page_.PutVoid()));
    frame_ = CreateWindowExW(0, L"STATIC", L"frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 400,
                             300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(frame_);
    filter_ = CreateTestTransform();
    control_ = ControlOf(filter_.Get());
  }
  void TearDown() override {
    page_ = nullptr;
    if (frame_) DestroyWindow(frame_);
  }

  HWND PageWindow() const { return GetWindow(frame_, GW_CHILD); }

  ComScope com_{COINIT_APARTMENTTHREADED};
  ComPtr<IPropertyPage> page_;
  HWND frame_ = nullptr;
  ComPtr<IBaseFilter> filter_;
  ComPtr<ITestTransformControl> control_;
};

TEST_F(PropertyPageTest, PageInfoHasTheTitleAndTheDialogSize) {
  ComPtr<IBaseFilter> notAFilter;
  EXPECT_EQ(E_NOINTERFACE, page_->QueryInterface(IID_IBaseFilter, notAFilter.PutVoid()));
  EXPECT_EQ(E_POINTER, page_->GetPageInfo(nullptr));
  PROPPAGEINFO info = {};
  ASSERT_EQ(S_OK, page_->GetPageInfo(&info));
  EXPECT_EQ(sizeof(PROPPAGEINFO), info.cb);
  ASSERT_TRUE(info.pszTitle);
  EXPECT_STREQ(kTestPageTitleText, info.pszTitle);
  // 160 x 60 dialog units are well over 100 x 40 pixels with any font.
  EXPECT_GT(info.size.cx, 100);
  EXPECT_GT(info.size.cy, 40);
  EXPECT_EQ(nullptr, info.pszHelpFile);
  EXPECT_EQ(nullptr, info.pszDocString);
  CoTaskMemFree(info.pszTitle);
  // Measuring leaves no window behind.
  EXPECT_EQ(nullptr, PageWindow());
}

TEST_F(PropertyPageTest, SetObjectsConnectsAndDisconnects) {
  const ULONG filterRefs = RefCount(filter_.Get());
  IUnknown* none = nullptr;
  EXPECT_EQ(E_POINTER, page_->SetObjects(1, nullptr));
  EXPECT_EQ(E_POINTER, page_->SetObjects(1, &none));
  ComPtr<IUnknown> clock;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   clock.PutVoid()));
  IUnknown* wrong = clock.Get();
  // The page's OnConnect decides what it can edit.
  EXPECT_EQ(E_NOINTERFACE, page_->SetObjects(1, &wrong));

  IUnknown* object = filter_.Get();
  ASSERT_EQ(S_OK, page_->SetObjects(1, &object));
  EXPECT_EQ(filterRefs + 1, RefCount(filter_.Get()));
  EXPECT_EQ(E_UNEXPECTED, page_->SetObjects(2, &object));
  ASSERT_EQ(S_OK, page_->SetObjects(0, nullptr));
  EXPECT_EQ(filterRefs, RefCount(filter_.Get()));
  // OnDisconnect's answer comes back: nothing was connected any more.
  EXPECT_EQ(E_UNEXPECTED, page_->SetObjects(0, nullptr));
}

TEST_F(PropertyPageTest, PageSiteIsHeldOnce) {
  FakeSite site;
  ASSERT_EQ(S_OK, page_->SetPageSite(&site));
  EXPECT_EQ(2u, site.refs);
  EXPECT_EQ(E_UNEXPECTED, page_->SetPageSite(&site));
  ASSERT_EQ(S_OK, page_->SetPageSite(nullptr));
  EXPECT_EQ(1u, site.refs);
  EXPECT_EQ(E_UNEXPECTED, page_->SetPageSite(nullptr));
}

TEST_F(PropertyPageTest, ActivateShowsTheDialogAsAChildAndApplyWritesBack) {
  FakeSite site;
  ASSERT_EQ(S_OK, page_->SetPageSite(&site));
  IUnknown* object = filter_.Get();
  ASSERT_EQ(S_OK, control_->SetValue(7));
  ASSERT_EQ(S_OK, page_->SetObjects(1, &object));

  EXPECT_EQ(E_UNEXPECTED, page_->Show(SW_SHOW));
  EXPECT_EQ(E_UNEXPECTED, page_->Deactivate());
  RECT rc = {5, 6, 305, 206};
  EXPECT_EQ(E_POINTER, page_->Activate(frame_, nullptr, FALSE));
  ASSERT_EQ(S_OK, page_->Activate(frame_, &rc, FALSE));
  EXPECT_EQ(E_UNEXPECTED, page_->Activate(frame_, &rc, FALSE));
  HWND dialog = PageWindow();
  ASSERT_TRUE(dialog);
  EXPECT_EQ(frame_, GetParent(dialog));
  EXPECT_TRUE(GetWindowLongW(dialog, GWL_STYLE) & WS_CHILD);
  EXPECT_TRUE(IsWindowVisible(dialog));
  RECT placed;
  GetWindowRect(dialog, &placed);
  MapWindowPoints(nullptr, frame_, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(5, placed.left);
  EXPECT_EQ(6, placed.top);
  EXPECT_EQ(300, placed.right - placed.left);
  EXPECT_EQ(200, placed.bottom - placed.top);
  // WM_INITDIALOG reached the page, which loaded the value.
  BOOL ok = FALSE;
  EXPECT_EQ(7u, GetDlgItemInt(dialog, kTestPageValueEdit, &ok, TRUE));

  // Nothing changed yet.
  EXPECT_EQ(S_FALSE, page_->IsPageDirty());
  EXPECT_EQ(S_OK, page_->Apply());
  SendMessageW(GetDlgItem(dialog, kTestPageDirtyButton), BM_CLICK, 0, 0);
  EXPECT_EQ(S_OK, page_->IsPageDirty());
  EXPECT_TRUE(site.statusFlags & PROPPAGESTATUS_DIRTY);
  SetDlgItemInt(dialog, kTestPageValueEdit, 42, TRUE);
  ASSERT_EQ(S_OK, page_->Apply());
  LONG value = 0;
  ASSERT_EQ(S_OK, control_->GetValue(&value));
  EXPECT_EQ(42, value);
  EXPECT_EQ(S_FALSE, page_->IsPageDirty());

  RECT moved = {20, 30, 220, 130};
  EXPECT_EQ(E_POINTER, page_->Move(nullptr));
  ASSERT_EQ(S_OK, page_->Move(&moved));
  GetWindowRect(dialog, &placed);
  MapWindowPoints(nullptr, frame_, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(20, placed.left);
  EXPECT_EQ(200, placed.right - placed.left);
  EXPECT_EQ(E_INVALIDARG, page_->Show(SW_MINIMIZE));
  ASSERT_EQ(S_OK, page_->Show(SW_HIDE));
  EXPECT_FALSE(IsWindowVisible(dialog));
  ASSERT_EQ(S_OK, page_->Show(SW_SHOW));
  EXPECT_TRUE(IsWindowVisible(dialog));

  EXPECT_EQ(E_NOTIMPL, page_->Help(nullptr));
  MSG msg = {};
  EXPECT_EQ(E_NOTIMPL, page_->TranslateAccelerator(&msg));

  ASSERT_EQ(S_OK, page_->Deactivate());
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(E_UNEXPECTED, page_->Deactivate());
  ASSERT_EQ(S_OK, page_->SetObjects(0, nullptr));
  ASSERT_EQ(S_OK, page_->SetPageSite(nullptr));
  EXPECT_EQ(1u, site.refs);
}

TEST_F(PropertyPageTest, ApplyNeedsAnObjectAndASite) {
  EXPECT_EQ(E_UNEXPECTED, page_->Apply());
  IUnknown* object = filter_.Get();
  ASSERT_EQ(S_OK, page_->SetObjects(1, &object));
  EXPECT_EQ(E_UNEXPECTED, page_->Apply());
  FakeSite site;
  ASSERT_EQ(S_OK, page_->SetPageSite(&site));
  EXPECT_EQ(S_OK, page_->Apply());
  ASSERT_EQ(S_OK, page_->SetPageSite(nullptr));
  ASSERT_EQ(S_OK, page_->SetObjects(0, nullptr));
}

TEST_F(PropertyPageTest, ReleasingAnActivePageRemovesItsDialog) {
  IUnknown* object = filter_.Get();
  ASSERT_EQ(S_OK, page_->SetObjects(1, &object));
  RECT rc = {0, 0, 200, 100};
  ASSERT_EQ(S_OK, page_->Activate(frame_, &rc, FALSE));
  HWND dialog = PageWindow();
  ASSERT_TRUE(IsWindow(dialog));
  const ULONG filterRefs = RefCount(filter_.Get());
  page_ = nullptr;
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(filterRefs - 1, RefCount(filter_.Get()));
}

}  // namespace
}  // namespace dshow_test
