// The property page created through its registered factory and activated on a
// test window, as a property frame would: its dialog, the values it loads, and
// what each control sends to the filter.
#include <gtest/gtest.h>

#include <ocidl.h>
#include <olectl.h>

#include <cstring>
#include <string>
#include <vector>

#include "FilterTestKit.h"
#include "PropertyPageSite.h"
#include "TestEnv.h"

namespace filter_test {
namespace {

enum : int {
  kSaveImage = 1004,
  kFlipH = 1010,
  kFlipV = 1011,
  kTop = 1012,
  kLeft = 1013,
  kBottom = 1014,
  kRight = 1015,
  kDx = 1016,
  kDy = 1017,
  kOff = 1018,
  kStatus = 1019,
  kFull = 1020,
  kSetArea = 1021,
  kBeginGdi = 1022,
  kDirectDraw = 1023,
};

// A filter stand-in that records what the page sends.
class FakeProc : public IORBAProc {
 public:
  struct Call {
    long code;
    double dx, dy;
  };
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IORBAProc) {
      *ppv = static_cast<IORBAProc*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP SetReservedValues(long, long) override { return S_OK; }
  STDMETHODIMP SetParams(long code, double dx, double dy) override {
    calls.push_back({code, dx, dy});
    return result;
  }
  STDMETHODIMP GetParams(long* m, double* x, double* y) override {
    ++loads;
    *m = mode;
    *x = dx;
    *y = dy;
    return S_OK;
  }
  STDMETHODIMP SetFlipHorizontal(long v) override {
    flips.push_back("h" + std::to_string(v));
    return S_OK;
  }
  STDMETHODIMP GetFlipHorizontal(long* v) override {
    *v = flipH;
    return S_OK;
  }
  STDMETHODIMP SetFlipVertical(long v) override {
    flips.push_back("v" + std::to_string(v));
    return S_OK;
  }
  STDMETHODIMP GetFlipVertical(long* v) override {
    *v = flipV;
    return S_OK;
  }
  STDMETHODIMP SetSpareFlag(long) override { return S_OK; }
  STDMETHODIMP GetSpareFlag(long* v) override {
    *v = 0;
    return S_OK;
  }
  STDMETHODIMP GetBuildNumber(long* v) override {
    *v = 590;
    return S_OK;
  }
  STDMETHODIMP SetTakePicture(long v) override {
    flips.push_back("p" + std::to_string(v));
    return S_OK;
  }
  STDMETHODIMP GetTakePicture(long* v) override {
    *v = takePicture;
    return S_OK;
  }
  STDMETHODIMP IsOutputConnected(long* v) override {
    *v = 0;
    return S_OK;
  }
  STDMETHODIMP GetStatusText(char* text) override {
    std::memcpy(text, status.c_str(), status.size() + 1);
    return S_OK;
  }
  STDMETHODIMP SetSavePictureAs(long, HWND) override { return S_OK; }
  STDMETHODIMP ToggleRecording(long) override { return S_OK; }
  STDMETHODIMP SetRecordFolder(const char*) override { return S_OK; }

  ULONG refs = 1;
  HRESULT result = S_OK;
  std::vector<Call> calls;
  std::vector<std::string> flips;
  int loads = 0;
  long mode = 7, flipH = 0, flipV = 0, takePicture = 0;
  double dx = 1.0, dy = 1.0;
  std::string status = "NO ERROR";
};

using Site = orba_test::PropertyPageSite;

class ProcPage : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ORBAProcPageTestFrame";
    RegisterClassW(&wc);
    frame_ =
        CreateWindowExW(0, wc.lpszClassName, L"Property frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                        10, 10, 600, 500, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, frame_);
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ORBAProcProperties, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IPropertyPage, page_.PutVoid()));
    ASSERT_EQ(S_OK, page_->SetPageSite(&site_));
  }
  void TearDown() override {
    if (page_) {
      if (dialog_) page_->Deactivate();
      if (connected_) page_->SetObjects(0, nullptr);
      page_->SetPageSite(nullptr);
      page_.Reset();
    }
    if (frame_) DestroyWindow(frame_);
  }

  void Open(IUnknown* object) {
    ASSERT_EQ(S_OK, page_->SetObjects(1, &object));
    connected_ = true;
    RECT rc = {0, 0, 500, 400};
    ASSERT_EQ(S_OK, page_->Activate(frame_, &rc, FALSE));
    dialog_ = GetWindow(frame_, GW_CHILD);
    ASSERT_NE(nullptr, dialog_);
  }

  HWND Item(int id) { return GetDlgItem(dialog_, id); }
  void Click(int id) { SendMessageW(Item(id), BM_CLICK, 0, 0); }
  bool Checked(int id) { return IsDlgButtonChecked(dialog_, id) == BST_CHECKED; }
  std::string Text(int id) {
    char buf[300] = {};
    GetDlgItemTextA(dialog_, id, buf, sizeof buf);
    return buf;
  }
  void Type(int id, const char* text) { SetDlgItemTextA(dialog_, id, text); }

  ComScope com_{COINIT_APARTMENTTHREADED};
  HWND frame_ = nullptr;
  Site site_;
  FakeProc fake_;  // outlives the page's connection
  ComPtr<IPropertyPage> page_;
  HWND dialog_ = nullptr;
  bool connected_ = false;
};

TEST_F(ProcPage, TitleIsORBAAndTheDialogHasItsSize) {
  PROPPAGEINFO info = {};
  ASSERT_EQ(S_OK, page_->GetPageInfo(&info));
  EXPECT_STREQ(L"ORBA", info.pszTitle);
  // 255 x 176 dialog units in pixels of the dialog's font.
  RECT units = {0, 0, 255, 176};
  FakeProc& fake = fake_;
  ASSERT_NO_FATAL_FAILURE(Open(&fake));
  MapDialogRect(dialog_, &units);
  EXPECT_EQ(units.right, info.size.cx);
  EXPECT_EQ(units.bottom, info.size.cy);
  CoTaskMemFree(info.pszTitle);
  EXPECT_TRUE(GetWindowLongW(dialog_, GWL_STYLE) & WS_CHILD);
}

TEST_F(ProcPage, TwentyControlsInTheirOrderAndStyles) {
  FakeProc& fake = fake_;
  ASSERT_NO_FATAL_FAILURE(Open(&fake));
  struct Expected {
    int id;
    const char* cls;
    const char* caption;
  } expected[] = {
      {kOff, "Button", "Off"},
      {kTop, "Button", "Top"},
      {kLeft, "Button", "Left"},
      {kBottom, "Button", "Bottom"},
      {kRight, "Button", "Right"},
      {kDx, "Edit", nullptr},
      {kDy, "Edit", nullptr},
      {kFlipH, "Button", "Flip horisontally"},
      {kFlipV, "Button", "Flip vertically (mirror)"},
      {kSaveImage, "Button", "Save image"},
      {-1, "Button", ""},
      {-1, "Static", "dx"},
      {-1, "Static", "dy"},
      {-1, "Static", "(x 0.01)"},
      {-1, "Static", "(x 0.01)"},
      {kStatus, "Edit", nullptr},
      {kFull, "Button", "Full"},
      {kSetArea, "Button", "set area"},
      {kBeginGdi, "Button", "begin gdi"},
      {kDirectDraw, "Button", "directdraw"},
  };
  HWND child = GetWindow(dialog_, GW_CHILD);
  size_t n = 0;
  for (; child; child = GetWindow(child, GW_HWNDNEXT), ++n) {
    ASSERT_LT(n, 20u);
    const Expected& e = expected[n];
    const int id = GetDlgCtrlID(child);
    if (e.id == -1) {
      EXPECT_TRUE(id == -1 || id == 0xFFFF) << n << " id " << id;
    } else {
      EXPECT_EQ(e.id, id) << n;
    }
    char cls[64] = {};
    GetClassNameA(child, cls, sizeof cls);
    EXPECT_STREQ(e.cls, cls) << n;
    if (e.caption && std::strcmp(e.cls, "Edit") != 0) {
      char text[64] = {};
      GetWindowTextA(child, text, sizeof text);
      EXPECT_STREQ(e.caption, text) << n;
    }
  }
  EXPECT_EQ(20u, n);
  // No tab stop and no group; the system gives the checked one ("Off") a tab stop.
  for (int id : {kOff, kTop, kLeft, kBottom, kRight, kFull}) {
    const LONG style = GetWindowLongW(Item(id), GWL_STYLE);
    EXPECT_EQ(BS_AUTORADIOBUTTON, style & 0x0F) << id;
    if (id != kOff) {
      EXPECT_FALSE(style & WS_TABSTOP) << id;
    }
    EXPECT_FALSE(style & WS_GROUP) << id;
  }
  const LONG status = GetWindowLongW(Item(kStatus), GWL_STYLE);
  EXPECT_TRUE(status & ES_READONLY);
  EXPECT_TRUE(status & ES_MULTILINE);
}

TEST_F(ProcPage, NewFilterOpensClearedOffWith100AndNoError) {
  ComPtr<IBaseFilter> filter = CreateProc();
  ASSERT_TRUE(filter);
  ASSERT_NO_FATAL_FAILURE(Open(filter.Get()));
  EXPECT_FALSE(Checked(kFlipH));
  EXPECT_FALSE(Checked(kFlipV));
  EXPECT_FALSE(Checked(kSaveImage));
  EXPECT_TRUE(Checked(kOff));
  for (int id : {kTop, kLeft, kBottom, kRight, kFull}) EXPECT_FALSE(Checked(id)) << id;
  EXPECT_EQ("100", Text(kDx));
  EXPECT_EQ("100", Text(kDy));
  EXPECT_EQ("NO ERROR", Text(kStatus));
}

TEST_F(ProcPage, LoadsTheFiltersValues) {
  FakeProc& fake = fake_;
  fake.flipH = 1;
  fake.takePicture = 1;
  fake.mode = 5;
  fake.dx = 1.509;
  fake.dy = -0.5;
  fake.status = "some status";
  ASSERT_NO_FATAL_FAILURE(Open(&fake));
  EXPECT_TRUE(Checked(kFlipH));
  EXPECT_FALSE(Checked(kFlipV));
  EXPECT_TRUE(Checked(kSaveImage));
  EXPECT_TRUE(Checked(kRight));
  EXPECT_FALSE(Checked(kOff));
  EXPECT_EQ("150", Text(kDx)) << "truncated toward zero";
  EXPECT_EQ("4294967246", Text(kDy)) << "-50 shown unsigned";
  EXPECT_EQ("some status", Text(kStatus));
}

TEST_F(ProcPage, AreaButtonsSendTheirModeWithTheTypedFactors) {
  FakeProc& fake = fake_;
  ASSERT_NO_FATAL_FAILURE(Open(&fake));
  Type(kDx, "150");
  Click(kLeft);
  ASSERT_EQ(1u, fake.calls.size());
  EXPECT_EQ(3, fake.calls[0].code);
  EXPECT_EQ(1.5, fake.calls[0].dx);
  EXPECT_EQ(1.0, fake.calls[0].dy);

  const std::pair<int, long> buttons[] = {{kFull, 2},   {kTop, 4}, {kRight, 5},
                                          {kBottom, 6}, {kOff, 7}, {kSetArea, 4}};
  for (const auto& b : buttons) {
    fake.calls.clear();
    Click(b.first);
    ASSERT_EQ(1u, fake.calls.size()) << b.first;
    EXPECT_EQ(b.second, fake.calls[0].code) << b.first;
  }
  fake.calls.clear();
  Click(kBeginGdi);
  Click(kDirectDraw);
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(ProcPage, FieldThatDoesNotTranslateKeepsThePreviousFactor) {
  FakeProc& fake = fake_;
  ASSERT_NO_FATAL_FAILURE(Open(&fake));
  Type(kDx, "250");
  Type(kDy, "75");
  Click(kTop);
  for (const char* bad : {"", "abc", "-5"}) {
    Type(kDx, bad);
    Click(kBottom);
    ASSERT_FALSE(fake.calls.empty());
    EXPECT_EQ(2.5, fake.calls.back().dx) << "'" << bad << "'";
    EXPECT_EQ(0.75, fake.calls.back().dy);
  }
}

TEST_F(ProcPage, FailedRequestReloadsTheControlsToShowTheFiltersMessage) {
  FakeProc& fake = fake_;
  ASSERT_NO_FATAL_FAILURE(Open(&fake));
  const int loadsAtStart = fake.loads;
  fake.status = "changed behind the page";
  Click(kFull);
  EXPECT_EQ(loadsAtStart, fake.loads) << "success reloads only the status";
  EXPECT_EQ("changed behind the page", Text(kStatus));
  EXPECT_TRUE(Checked(kFull));

  fake.result = E_FAIL;
  fake.status = "SetParams: No video stream detected";
  Click(kLeft);
  EXPECT_EQ(loadsAtStart + 1, fake.loads);
  EXPECT_EQ("SetParams: No video stream detected", Text(kStatus));
  // The mode shown is the filter's again, and only that one.
  EXPECT_TRUE(Checked(kOff));
  for (int id : {kFull, kLeft, kTop, kRight, kBottom}) EXPECT_FALSE(Checked(id)) << id;

  fake.result = static_cast<HRESULT>(8);  // a ZoomText result code
  fake.status = "a different process already owns the CCTV area";
  Click(kRight);
  EXPECT_EQ("a different process already owns the CCTV area", Text(kStatus));
}

TEST_F(ProcPage, CheckBoxesSendTheirState) {
  FakeProc& fake = fake_;
  ASSERT_NO_FATAL_FAILURE(Open(&fake));
  Click(kFlipH);
  Click(kFlipV);
  Click(kFlipH);
  Click(kSaveImage);
  EXPECT_EQ((std::vector<std::string>{"h1", "v1", "h0", "p1"}), fake.flips);
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(ProcPage, RealFilterRefusesAnAreaWithoutVideoStream) {
  ComPtr<IBaseFilter> filter = CreateProc();
  ASSERT_TRUE(filter);
  ASSERT_NO_FATAL_FAILURE(Open(filter.Get()));
  Type(kDx, "150");
  Click(kLeft);
  EXPECT_EQ("SetParams: No video stream detected", Text(kStatus));
  EXPECT_TRUE(Checked(kOff));
  long mode = 0;
  double dx = 0, dy = 0;
  ASSERT_EQ(S_OK, ProcOf(filter.Get())->GetParams(&mode, &dx, &dy));
  EXPECT_EQ(7, mode);
  EXPECT_EQ(1.0, dx);
  // The reload showed the filter's factor again.
  EXPECT_EQ("100", Text(kDx));
  Type(kDx, "150");
  Click(kOff);
  ASSERT_EQ(S_OK, ProcOf(filter.Get())->GetParams(&mode, &dx, &dy));
  EXPECT_EQ(7, mode);
  EXPECT_EQ(1.5, dx);

  // With the handles a host sets, the same page takes the area and shows the
  // filter's own account of it.
  ComPtr<IORBAProcArea> area;
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IORBAProcArea, area.PutVoid()));
  ASSERT_EQ(S_OK, area->SetAreaHandles(0x1234, 0x5678));
  Click(kRight);
  ASSERT_EQ(S_OK, ProcOf(filter.Get())->GetParams(&mode, &dx, &dy));
  EXPECT_EQ(5, mode);
  EXPECT_EQ("InitDirectDraw exits with returnValue = 1", Text(kStatus));
  EXPECT_TRUE(Checked(kRight));
  EXPECT_FALSE(Checked(kOff));
}

TEST_F(ProcPage, ConnectionHoldsOneReferenceAndRefusesOtherObjects) {
  FakeProc& fake = fake_;
  IUnknown* object = &fake;
  ASSERT_EQ(S_OK, page_->SetObjects(1, &object));
  EXPECT_EQ(2u, fake.refs);
  EXPECT_EQ(S_OK, page_->SetObjects(0, nullptr));
  EXPECT_EQ(1u, fake.refs);
  EXPECT_EQ(E_UNEXPECTED, page_->SetObjects(0, nullptr));

  Site notAFilter;
  IUnknown* other = &notAFilter;
  EXPECT_EQ(E_NOINTERFACE, page_->SetObjects(1, &other));
  EXPECT_EQ(1u, notAFilter.refs);
  EXPECT_EQ(E_POINTER, page_->SetObjects(1, nullptr));
}

TEST_F(ProcPage, SaveImageStoresOnePictureFromTheRunningGraph) {
  PictureFolderScope pictures;
  CMediaType type;
  MakeMjpgType(&type, 64, 48);
  TapChain chain(type);
  ASSERT_EQ(S_OK, chain.ConnectOutput());
  ASSERT_NO_FATAL_FAILURE(chain.Run());
  ASSERT_NO_FATAL_FAILURE(Open(chain.Filter()));
  Click(kSaveImage);
  const std::string jpeg = MakeJpeg(64, 48, 9);
  ASSERT_EQ(S_OK, chain.Push(jpeg));
  ASSERT_EQ(S_OK, chain.Push(jpeg));
  const std::vector<std::string> stored = FilesIn(pictures.Folder());
  ASSERT_EQ(1u, stored.size());
  EXPECT_EQ(jpeg, orba_test::ReadFileBytes(pictures.Folder() + "\\" + stored[0]));
  EXPECT_TRUE(Checked(kSaveImage)) << "the box stays checked until the page loads again";
  page_->Deactivate();
  dialog_ = nullptr;
  page_->SetObjects(0, nullptr);
  connected_ = false;
}

}  // namespace
}  // namespace filter_test
