#pragma once
// Helpers of the simulated camera's tests.
#include <windows.h>

#include <dshow.h>
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstring>
#include <string>
#include <vector>

#include "GraphTestUtil.h"
#include "TestEnv.h"
#include "orba/ComPtr.h"
#include "simcam/SimCamControl.h"
#include "simcam/SimCamIds.h"

namespace simcam_test {

using orba::ComPtr;
using orba_test::CreateFilter;
using orba_test::FindPin;
using orba_test::kClsidNullRenderer;
using orba_test::WaitFor;

// Each test starts from the camera's defaults, plugged in, with an empty log, and
// leaves it that way.
class SimCamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ResetCamera();
  }
  void TearDown() override {
    ResetCamera();
    CoUninitialize();
  }
  static void ResetCamera() {
    EXPECT_TRUE(simcam::ClearOptions());
    EXPECT_TRUE(simcam::Plug());
    EXPECT_TRUE(simcam::ResetLog());
  }
};

inline ComPtr<IBaseFilter> CreateCamera() {
  ComPtr<IBaseFilter> camera;
  EXPECT_EQ(S_OK, CoCreateInstance(simcam::CLSID_OrbaSimCam, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IBaseFilter, camera.PutVoid()));
  return camera;
}

// The camera's device moniker as the system device enumerator lists it, or null.
inline ComPtr<IMoniker> FindCameraMoniker(std::wstring* friendlyName = nullptr,
                                          std::wstring* devicePath = nullptr) {
  ComPtr<ICreateDevEnum> devices;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                              IID_ICreateDevEnum, devices.PutVoid()))) {
    return nullptr;
  }
  ComPtr<IEnumMoniker> monikers;
  if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK)
    return nullptr;
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, &moniker, nullptr) == S_OK) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid()))) continue;
    VARIANT v;
    VariantInit(&v);
    std::wstring path;
    if (SUCCEEDED(bag->Read(L"DevicePath", &v, nullptr)) && v.vt == VT_BSTR) path = v.bstrVal;
    VariantClear(&v);
    if (path.find(L"vid_0525") == std::wstring::npos ||
        path.find(L"pid_a941") == std::wstring::npos) {
      continue;
    }
    if (devicePath) *devicePath = path;
    if (friendlyName && SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR) {
      *friendlyName = v.bstrVal;
    }
    VariantClear(&v);
    return moniker;
  }
  return nullptr;
}

// Decodes a JPEG; false when TurboJPEG refuses it.
inline bool DecodeJpeg(const std::string& jpeg, int* width, int* height,
                       std::vector<unsigned char>* rgb = nullptr) {
  tjhandle tj = tjInitDecompress();
  if (!tj) return false;
  int w = 0, h = 0, sub = 0, colorspace = 0;
  auto* data = reinterpret_cast<const unsigned char*>(jpeg.data());
  const auto size = static_cast<unsigned long>(jpeg.size());
  bool ok = tjDecompressHeader3(tj, data, size, &w, &h, &sub, &colorspace) == 0;
  std::vector<unsigned char> pixels;
  if (ok) {
    pixels.resize(static_cast<size_t>(w) * h * 3);
    ok = tjDecompress2(tj, data, size, pixels.data(), w, 0, h, TJPF_RGB, 0) == 0;
  }
  tjDestroy(tj);
  if (ok) {
    *width = w;
    *height = h;
    if (rgb) rgb->swap(pixels);
  }
  return ok;
}

}  // namespace simcam_test
