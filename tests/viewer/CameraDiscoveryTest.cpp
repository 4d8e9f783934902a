// Camera discovery against Wine's system device enumerator, with video input
// devices registered the way the enumerator reads them.
#include <gtest/gtest.h>

#include <string>

#include "Camera.h"
#include "SpyPropertySet.h"
#include "VideoInputDevices.h"
#include "ViewerState.h"
#include "orba/ComPtr.h"

namespace {

using orba_test::AddVideoInputDevice;
using orba_test::kNullRendererClsid;
using orba_test::kOrbaCameraDevicePath;
using orba_test::kSmartTeeClsid;

const char kInstanceA[] = "{0A000000-0000-4000-8000-0000000000A1}";
const char kInstanceB[] = "{0B000000-0000-4000-8000-0000000000B2}";
const char kInstanceC[] = "{0C000000-0000-4000-8000-0000000000C3}";

GUID ParseGuid(const char* text) {
  wchar_t wide[64];
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 64);
  GUID g = {};
  CLSIDFromString(wide, &g);
  return g;
}

GUID ClassOf(IBaseFilter* filter) {
  CLSID id = {};
  filter->GetClassID(&id);
  return id;
}

class CameraDiscovery : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
  void TearDown() override {
    if (g_viewer.pCameraControl) g_viewer.pCameraControl->Release();
    g_viewer.pCameraControl = nullptr;
    g_viewer.pSrcFilter = nullptr;
    CoUninitialize();
  }
  // Only the devices a test adds are in the category.
  orba_test::ScopedVideoInputDevices devices_{orba_test::ScopedVideoInputDevices::kRemoveAll};
};

TEST_F(CameraDiscovery, EmptyCategoryFindsNoCamera) {
  IBaseFilter* camera = nullptr;
  EXPECT_EQ(S_FALSE, FindCamera(&camera));
  EXPECT_EQ(nullptr, camera);
  EXPECT_FALSE(IsCameraPresent());
}

TEST_F(CameraDiscovery, TheFirstEnumeratedOfTwoCamerasIsUsed) {
  // Both orders, so that the answer cannot come from the filter kind.
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    orba_test::ScopedVideoInputDevices clean(orba_test::ScopedVideoInputDevices::kRemoveAll);
    const char* first = round == 0 ? kSmartTeeClsid : kNullRendererClsid;
    const char* second = round == 0 ? kNullRendererClsid : kSmartTeeClsid;
    ASSERT_TRUE(AddVideoInputDevice(kInstanceA, "camera A", first, kOrbaCameraDevicePath));
    ASSERT_TRUE(AddVideoInputDevice(kInstanceB, "camera B", second, kOrbaCameraDevicePath));
    const auto names = orba_test::VideoInputDeviceNames();
    ASSERT_EQ(2u, names.size());
    const char* expected = names[0] == "camera A" ? first : second;

    orba::ComPtr<IBaseFilter> camera;
    EXPECT_EQ(S_OK, FindCamera(&camera));
    ASSERT_TRUE(camera);
    EXPECT_TRUE(IsEqualGUID(ParseGuid(expected), ClassOf(camera.Get())));
  }
}

TEST_F(CameraDiscovery, UpperCaseVendorAndProductDoNotMatch) {
  ASSERT_TRUE(AddVideoInputDevice(
      kInstanceA, "upper", kSmartTeeClsid,
      "\\\\?\\usb#VID_0525&PID_A941&mi_00#7&1&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}"));
  ASSERT_TRUE(AddVideoInputDevice(kInstanceB, "vendor only", kSmartTeeClsid,
                                  "\\\\?\\usb#vid_0525&pid_0001&mi_00#7&1&0&0000"));
  ASSERT_TRUE(AddVideoInputDevice(kInstanceC, "product only", kSmartTeeClsid,
                                  "\\\\?\\usb#vid_1234&pid_a941&mi_00#7&1&0&0000"));
  // Left untouched when nothing matches.
  IBaseFilter* const sentinel = reinterpret_cast<IBaseFilter*>(static_cast<uintptr_t>(0x1234));
  IBaseFilter* camera = sentinel;
  FindCamera(&camera);
  EXPECT_EQ(sentinel, camera);
  EXPECT_FALSE(IsCameraPresent());
}

TEST_F(CameraDiscovery, ProductBeforeVendorStillMatches) {
  ASSERT_TRUE(AddVideoInputDevice(kInstanceA, "swapped", kSmartTeeClsid,
                                  "\\\\?\\usb#pid_a941&vid_0525#whatever"));
  EXPECT_TRUE(IsCameraPresent());
}

TEST_F(CameraDiscovery, DeviceWithoutOrWithANonTextPathIsSkipped) {
  ASSERT_TRUE(AddVideoInputDevice(kInstanceA, "no path", kNullRendererClsid, nullptr));
  const std::string numberPath = std::string(orba_test::kVideoInputInstanceKey) + "\\" + kInstanceB;
  ASSERT_TRUE(AddVideoInputDevice(kInstanceB, "number path", kNullRendererClsid, nullptr));
  const DWORD number = 525;
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CLASSES_ROOT, numberPath.c_str(), "DevicePath",
                                           REG_DWORD, &number, sizeof number));
  IBaseFilter* camera = nullptr;
  FindCamera(&camera);
  EXPECT_EQ(nullptr, camera);

  ASSERT_TRUE(AddVideoInputDevice(kInstanceC, "camera", kSmartTeeClsid, kOrbaCameraDevicePath));
  orba::ComPtr<IBaseFilter> found;
  EXPECT_EQ(S_OK, FindCamera(&found));
  ASSERT_TRUE(found);
  EXPECT_TRUE(IsEqualGUID(ParseGuid(kSmartTeeClsid), ClassOf(found.Get())));
}

TEST_F(CameraDiscovery, PresenceCheckLeavesTheViewersReferencesAlone) {
  ASSERT_TRUE(AddVideoInputDevice(kInstanceA, "camera", kSmartTeeClsid, kOrbaCameraDevicePath));
  orba::ComPtr<IBaseFilter> held;
  ASSERT_EQ(S_OK, FindCamera(&held));
  g_viewer.pSrcFilter = held.Get();
  EXPECT_TRUE(IsCameraPresent());
  EXPECT_EQ(held.Get(), g_viewer.pSrcFilter);
  // One reference of ours, one of the temporary is gone again.
  held->AddRef();
  EXPECT_EQ(1u, held->Release());
}

TEST_F(CameraDiscovery, FilterWithoutPropertySetGivesNoCameraControl) {
  ASSERT_TRUE(AddVideoInputDevice(kInstanceA, "tee", kSmartTeeClsid, kOrbaCameraDevicePath));
  orba::ComPtr<IBaseFilter> camera;
  ASSERT_EQ(S_OK, FindCamera(&camera));
  g_viewer.pSrcFilter = camera.Get();
  EXPECT_EQ(E_NOINTERFACE, OpenCameraControl());
  EXPECT_EQ(nullptr, g_viewer.pCameraControl);
}

// A capture filter that only answers the property set (all a camera needs here).
class PropertySetFilter : public IBaseFilter {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == kIID_IKsPropertySet) return properties.QueryInterface(iid, out);
    if (iid == IID_IUnknown || iid == IID_IBaseFilter) {
      *out = static_cast<IBaseFilter*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stop() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Pause() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

  SpyPropertySet properties;
};

TEST_F(CameraDiscovery, CameraControlIsTheFiltersPropertySet) {
  PropertySetFilter camera;
  g_viewer.pSrcFilter = &camera;
  EXPECT_EQ(S_OK, OpenCameraControl());
  EXPECT_EQ(static_cast<IKsPropertySet*>(&camera.properties), g_viewer.pCameraControl);
  // Opening again does not leak the reference held before.
  EXPECT_EQ(S_OK, OpenCameraControl());
  EXPECT_EQ(2u, camera.properties.refs_);
  g_viewer.pSrcFilter = nullptr;
  EXPECT_EQ(E_POINTER, OpenCameraControl());
  EXPECT_EQ(nullptr, g_viewer.pCameraControl);
  EXPECT_EQ(1u, camera.properties.refs_);
}

}  // namespace
