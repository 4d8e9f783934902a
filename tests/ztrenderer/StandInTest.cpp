// The stand-in for ZoomText's CCTV renderer, created through the registry as
// the viewer creates it: registration, interfaces and slots, switches and the
// call log seen from this and from another process.
#include <gtest/gtest.h>

#include <windows.h>

#include <dshow.h>

#include <cstdio>
#include <string>

#include "RegistrySnapshot.h"
#include "TestEnv.h"
#include "ZtTestHelpers.h"

namespace {

using namespace zt_test;
using namespace zt_renderer_sim;

// {083863F1-70DE-11D0-BD40-00A0C911CE86}: the legacy DirectShow filter category.
const char kFilterInstanceKey[] =
    "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\"
    "{A23E26CA-938B-46F6-81A8-50D9717C7C4E}";
const char kClassKey[] = "CLSID\\{A23E26CA-938B-46F6-81A8-50D9717C7C4E}";

TEST(ZtRendererStandIn, IsNotInstalledInThePrefix) {
  ComScope com;
  EXPECT_FALSE(IsServerRegistered());
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateRenderer(filter));
}

TEST(ZtRendererStandIn, RegistersAndUnregistersCleanly) {
  ComScope com;
  {
    ScopedZtRenderer renderer;
    ASSERT_EQ(S_OK, renderer.registerResult());
    ASSERT_TRUE(IsServerRegistered());
    const std::string path = RegisteredServerPath();
    const std::string expected = orba_test::BinPath(kAxFile);
    EXPECT_EQ(0, lstrcmpiA(expected.c_str(), path.c_str())) << path;
    char model[32] = {};
    DWORD size = sizeof model;
    EXPECT_EQ(ERROR_SUCCESS,
              RegGetValueA(HKEY_CLASSES_ROOT, (std::string(kClassKey) + "\\InprocServer32").c_str(),
                           "ThreadingModel", RRF_RT_REG_SZ, nullptr, model, &size));
    EXPECT_STREQ("Both", model);
    EXPECT_TRUE(orba_test::RegistryKeyExists(HKEY_CLASSES_ROOT, kFilterInstanceKey))
        << "registered as a DirectShow filter as well";

    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(S_OK, CreateRenderer(filter));
  }
  EXPECT_FALSE(orba_test::RegistryKeyExists(HKEY_CLASSES_ROOT, kClassKey));
  EXPECT_FALSE(orba_test::RegistryKeyExists(HKEY_CLASSES_ROOT, kFilterInstanceKey));
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateRenderer(filter));
}

TEST(ZtRendererStandIn, ScopeRestoresTheSwitchesItFound) {
  orba_test::ScopedRegistryTree guard(HKEY_CURRENT_USER, kOptionsKey);
  RendererOptions before;
  before.enabled = false;
  ASSERT_TRUE(WriteOptions(before, "C:\\somewhere\\else.log"));
  {
    ScopedZtRenderer renderer;
    EXPECT_EQ(1, orba_test::ReadDwordValue(HKEY_CURRENT_USER, kOptionsKey, kEnabledValue));
  }
  EXPECT_EQ(0, orba_test::ReadDwordValue(HKEY_CURRENT_USER, kOptionsKey, kEnabledValue));
  char path[MAX_PATH] = {};
  DWORD size = sizeof path;
  EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, kOptionsKey, kLogFileValue,
                                        RRF_RT_REG_SZ, nullptr, path, &size));
  EXPECT_STREQ("C:\\somewhere\\else.log", path);
}

class ZtRendererInstance : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(com_.hr()));
    ASSERT_TRUE(renderer_.ok()) << std::hex << renderer_.registerResult();
  }
  const ZtRendererLog& Log() const { return renderer_.Log(); }

  ComScope com_;
  ScopedZtRenderer renderer_;
};

TEST_F(ZtRendererInstance, OffersTheFilterAndBothControlInterfacesOnOneObject) {
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(S_OK, CreateRenderer(filter));
  ComPtr<IZoomTextCCTV2> cctv2;
  ComPtr<IZoomTextCCTV> cctv;
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IZoomTextCCTV2, cctv2.PutVoid()));
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IZoomTextCCTV, cctv.PutVoid()));
  ComPtr<IUnknown> a, b, c;
  filter->QueryInterface(IID_IUnknown, a.PutVoid());
  cctv2->QueryInterface(IID_IUnknown, b.PutVoid());
  cctv->QueryInterface(IID_IUnknown, c.PutVoid());
  EXPECT_EQ(a.Get(), b.Get());
  EXPECT_EQ(a.Get(), c.Get());

  CLSID clsid = {};
  EXPECT_EQ(S_OK, filter->GetClassID(&clsid));
  EXPECT_TRUE(clsid == CLSID_ZT_CCTV_Renderer);

  ComPtr<IAMFilterMiscFlags> flags;
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IAMFilterMiscFlags, flags.PutVoid()));
  EXPECT_EQ(static_cast<ULONG>(AM_FILTER_MISC_FLAGS_IS_RENDERER), flags->GetMiscFlags());

  // One input pin, no output.
  ComPtr<IEnumPins> pins;
  ASSERT_EQ(S_OK, filter->EnumPins(&pins));
  IPin* got[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, pins->Next(2, got, &fetched));
  ASSERT_EQ(1u, fetched);
  ComPtr<IPin> pin;
  pin.Attach(got[0]);
  PIN_DIRECTION dir = PINDIR_OUTPUT;
  pin->QueryDirection(&dir);
  EXPECT_EQ(PINDIR_INPUT, dir);
  PIN_INFO info = {};
  ASSERT_EQ(S_OK, pin->QueryPinInfo(&info));
  if (info.pFilter) info.pFilter->Release();
  EXPECT_STREQ(kInputPinName, info.achName);
}

// The methods are called by their place in the method table: calling each
// place by number must reach the method the renderer logs under that number.
TEST_F(ZtRendererInstance, EachSlotReachesTheMethodOfThatNumber) {
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(S_OK, CreateRenderer(filter));
  ComPtr<IZoomTextCCTV2> cctv2;
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IZoomTextCCTV2, cctv2.PutVoid()));
  ASSERT_TRUE(Log().Clear());

  void** vtable = *reinterpret_cast<void***>(cctv2.Get());
  typedef HRESULT(STDMETHODCALLTYPE * RectSlot)(void*, RECT*);
  typedef HRESULT(STDMETHODCALLTYPE * FlagSlot)(void*, LONG);
  typedef HRESULT(STDMETHODCALLTYPE * PlainSlot)(void*);
  typedef HRESULT(STDMETHODCALLTYPE * SizeSlot)(void*, SIZE*);
  RECT area = {1, 2, 3, 4};
  RECT part = {5, 6, 7, 8};
  SIZE size = {9, 10};
  EXPECT_EQ(S_OK, reinterpret_cast<RectSlot>(vtable[3])(cctv2.Get(), &area));
  EXPECT_EQ(S_OK, reinterpret_cast<FlagSlot>(vtable[4])(cctv2.Get(), 1));
  EXPECT_EQ(S_OK, reinterpret_cast<PlainSlot>(vtable[5])(cctv2.Get()));
  EXPECT_EQ(S_OK, reinterpret_cast<PlainSlot>(vtable[6])(cctv2.Get()));
  reinterpret_cast<PlainSlot>(vtable[7])(cctv2.Get());
  EXPECT_EQ(S_OK, reinterpret_cast<SizeSlot>(vtable[8])(cctv2.Get(), &size));
  EXPECT_EQ(S_OK, reinterpret_cast<RectSlot>(vtable[9])(cctv2.Get(), &part));
  EXPECT_EQ("3(1,2,3,4) 4(1) 5() 6() 7() 8(9,10) 9(5,6,7,8)", Describe(Log().Calls()));
}

TEST_F(ZtRendererInstance, DefaultsAnswerYesAndOfferVersion2) {
  // Without any switch the stand-in is a compatible, enabled ZoomText.
  ASSERT_TRUE(orba_test::DeleteRegistryTree(HKEY_CURRENT_USER, kOptionsKey));
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(S_OK, CreateRenderer(filter));
  ComPtr<IZoomTextCCTV2> cctv2;
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IZoomTextCCTV2, cctv2.PutVoid()));
  EXPECT_EQ(S_OK, cctv2->IsCompatibleZoomTextRunning());
  EXPECT_EQ(S_OK, cctv2->IsZoomTextAnabled());
}

TEST_F(ZtRendererInstance, SwitchesAreReadAtCreation) {
  RendererOptions options;
  options.compatibleRunning = false;
  ASSERT_TRUE(renderer_.SetOptions(options));
  ComPtr<IBaseFilter> notCompatible;
  ASSERT_EQ(S_OK, CreateRenderer(notCompatible));

  options.compatibleRunning = true;
  options.enabled = false;
  ASSERT_TRUE(renderer_.SetOptions(options));
  ComPtr<IBaseFilter> notEnabled;
  ASSERT_EQ(S_OK, CreateRenderer(notEnabled));

  ComPtr<IZoomTextCCTV> a, b;
  ASSERT_EQ(S_OK, notCompatible->QueryInterface(IID_IZoomTextCCTV, a.PutVoid()));
  ASSERT_EQ(S_OK, notEnabled->QueryInterface(IID_IZoomTextCCTV, b.PutVoid()));
  EXPECT_EQ(S_FALSE, a->IsCompatibleZoomTextRunning());
  EXPECT_EQ(S_OK, a->IsZoomTextAnabled()) << "the first instance kept its switches";
  EXPECT_EQ(S_OK, b->IsCompatibleZoomTextRunning());
  EXPECT_EQ(S_FALSE, b->IsZoomTextAnabled());

  const auto created = Log().Of(kEventCreated);
  ASSERT_EQ(2u, created.size());
  EXPECT_EQ("100(2,0,1) 100(2,1,0)", Describe(created));
}

TEST_F(ZtRendererInstance, Version1OnlyRefusesTheVersion2Interface) {
  RendererOptions options;
  options.version = 1;
  ASSERT_TRUE(renderer_.SetOptions(options));
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(S_OK, CreateRenderer(filter));
  ComPtr<IZoomTextCCTV2> cctv2;
  EXPECT_EQ(E_NOINTERFACE, filter->QueryInterface(IID_IZoomTextCCTV2, cctv2.PutVoid()));
  EXPECT_FALSE(cctv2);
  ComPtr<IZoomTextCCTV> cctv;
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IZoomTextCCTV, cctv.PutVoid()));
  EXPECT_EQ(S_OK, cctv->IsCompatibleZoomTextRunning());
  ComPtr<zt_renderer_sim::IZtRendererSimInfo> info;
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IZtRendererSimInfo, info.PutVoid()));
  LONG version = 0, compatible = 0, enabled = 0;
  ASSERT_EQ(S_OK, info->GetOptions(&version, &compatible, &enabled));
  EXPECT_EQ(1, version);
}

TEST_F(ZtRendererInstance, NullArgumentsAreRefusedAndLoggedWithoutValues) {
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(S_OK, CreateRenderer(filter));
  ComPtr<IZoomTextCCTV2> cctv2;
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IZoomTextCCTV2, cctv2.PutVoid()));
  ASSERT_TRUE(Log().Clear());
  EXPECT_EQ(E_POINTER, cctv2->SetCCTVArea(nullptr));
  EXPECT_EQ(E_POINTER, cctv2->SetCCTVAreaSize(nullptr));
  EXPECT_EQ(E_POINTER, cctv2->SetCameraPart(nullptr));
  EXPECT_EQ("3() 8() 9()", Describe(Log().Calls()));
}

TEST_F(ZtRendererInstance, LastReleaseDestroysTheRenderer) {
  {
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(S_OK, CreateRenderer(filter));
    ComPtr<IZoomTextCCTV2> cctv2;
    ASSERT_EQ(S_OK, filter->QueryInterface(IID_IZoomTextCCTV2, cctv2.PutVoid()));
    filter = nullptr;
    EXPECT_TRUE(Log().Of(kEventDestroyed).empty()) << "the control interface keeps it alive";
  }
  EXPECT_EQ("105(0)", Describe(Log().Of(kEventDestroyed)));
}

// A viewer in another process drives the renderer; the test reads the log
// while that renderer is still alive and again after it is gone.
void RunProbeAgainstRenderer(const ZtRendererLog& log, const char* expectedCalls) {
  char base[64];
  std::snprintf(base, sizeof base, "orba_zt_probe_%lu", GetCurrentProcessId());
  HANDLE called = CreateEventA(nullptr, TRUE, FALSE, (std::string(base) + "_called").c_str());
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, (std::string(base) + "_release").c_str());
  ASSERT_TRUE(called && release);

  std::string command = "\"" + orba_test::BinPath("zt_renderer_probe.exe") + "\" " + base;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(
      CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(called, 20000));

  const auto whileAlive = log.Read();
  ASSERT_FALSE(whileAlive.empty());
  EXPECT_EQ(kEventCreated, whileAlive.front().slot);
  for (const LogRecord& r : whileAlive) EXPECT_EQ(pi.dwProcessId, r.pid);
  EXPECT_EQ(expectedCalls, Describe(log.Calls()));
  EXPECT_TRUE(log.Of(kEventDestroyed).empty());

  SetEvent(release);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 20000));
  DWORD code = 99;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(0u, code);
  const auto destroyed = log.Of(kEventDestroyed);
  ASSERT_EQ(1u, destroyed.size()) << "the probe's single release ends the renderer";
  EXPECT_EQ(pi.dwProcessId, destroyed[0].pid);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  CloseHandle(called);
  CloseHandle(release);
}

TEST_F(ZtRendererInstance, LogIsReadableFromAnotherProcess) {
  RunProbeAgainstRenderer(Log(), "5() 6() 3(10,20,30,40) 4(1) 8(-5,70000) 9(0,0,640,720)");
}

TEST_F(ZtRendererInstance, AnotherProcessSeesVersion1Only) {
  RendererOptions options;
  options.version = 1;
  ASSERT_TRUE(renderer_.SetOptions(options));
  RunProbeAgainstRenderer(Log(), "5() 6() 3(10,20,30,40) 4(1)");
}

TEST(ZtRendererLogParsing, TakesWholeRecordLinesOnly) {
  const auto records = ParseLog(
      "12 3 0 384 1366 768\n"
      "12 5\n"
      "not a record\n"
      "12 8 -683 2147483647\r\n"
      "12 9 0 0 12");  // still being written
  ASSERT_EQ(3u, records.size());
  EXPECT_EQ(12u, records[0].pid);
  EXPECT_EQ("3(0,384,1366,768) 5() 8(-683,2147483647)", Describe(records));
}

}  // namespace
