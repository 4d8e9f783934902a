// The simulated camera as the viewer finds it: a registered capture source with
// the camera's identity, its capture pin and its one motion-JPEG format.
#include <gtest/gtest.h>

#include "SimCamTestUtil.h"
#include "TestEnv.h"
#include "orba/MediaType.h"
#include "orba/Scoped.h"
#include "orba/Text.h"

namespace simcam_test {
namespace {

void ExpectCameraFormat(const AM_MEDIA_TYPE* mt, REFERENCE_TIME interval) {
  ASSERT_TRUE(mt);
  EXPECT_EQ(MEDIATYPE_Video, mt->majortype);
  EXPECT_EQ(MEDIASUBTYPE_MJPG, mt->subtype);
  EXPECT_EQ(FORMAT_VideoInfo, mt->formattype);
  EXPECT_FALSE(mt->bFixedSizeSamples);
  EXPECT_FALSE(mt->bTemporalCompression);
  ASSERT_EQ(88u, mt->cbFormat);
  ASSERT_TRUE(mt->pbFormat);
  const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
  EXPECT_EQ(interval, vih->AvgTimePerFrame);
  EXPECT_EQ(static_cast<DWORD>(sizeof(BITMAPINFOHEADER)), vih->bmiHeader.biSize);
  EXPECT_EQ(1280, vih->bmiHeader.biWidth);
  EXPECT_EQ(720, vih->bmiHeader.biHeight);
  EXPECT_EQ(1, vih->bmiHeader.biPlanes);
  EXPECT_EQ(24, vih->bmiHeader.biBitCount);
  EXPECT_EQ(static_cast<DWORD>(MAKEFOURCC('M', 'J', 'P', 'G')), vih->bmiHeader.biCompression);
  EXPECT_EQ(1280u * 720u * 3u, vih->bmiHeader.biSizeImage);
}

TEST_F(SimCamTest, CreatedThroughTheRegistryAsACaptureSource) {
  ComPtr<IBaseFilter> camera = CreateCamera();
  ASSERT_TRUE(camera);
  CLSID clsid = GUID_NULL;
  ASSERT_EQ(S_OK, camera->GetClassID(&clsid));
  EXPECT_EQ(simcam::CLSID_OrbaSimCam, clsid);
  ComPtr<IKsPropertySet> props;
  EXPECT_EQ(S_OK, camera->QueryInterface(IID_IKsPropertySet, props.PutVoid()));
  ComPtr<IAMFilterMiscFlags> misc;
  ASSERT_EQ(S_OK, camera->QueryInterface(IID_IAMFilterMiscFlags, misc.PutVoid()));
  EXPECT_EQ(static_cast<ULONG>(AM_FILTER_MISC_FLAGS_IS_SOURCE), misc->GetMiscFlags());

  // Exactly one pin: the output "Capture".
  ComPtr<IEnumPins> pins;
  ASSERT_EQ(S_OK, camera->EnumPins(&pins));
  IPin* all[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, pins->Next(2, all, &fetched));
  ASSERT_EQ(1u, fetched);
  ComPtr<IPin> pin;
  pin.Attach(all[0]);
  PIN_INFO info = {};
  ASSERT_EQ(S_OK, pin->QueryPinInfo(&info));
  info.pFilter->Release();
  EXPECT_STREQ(L"Capture", info.achName);
  EXPECT_EQ(PINDIR_OUTPUT, info.dir);
  ComPtr<IAMStreamConfig> config;
  EXPECT_EQ(S_OK, pin->QueryInterface(IID_IAMStreamConfig, config.PutVoid()));
  ComPtr<IMemInputPin> mem;
  EXPECT_EQ(E_NOINTERFACE, pin->QueryInterface(IID_IMemInputPin, mem.PutVoid()));
}

TEST_F(SimCamTest, DeviceEnumeratorFindsItWithItsUsbPath) {
  std::wstring name, path;
  ComPtr<IMoniker> moniker = FindCameraMoniker(&name, &path);
  ASSERT_TRUE(moniker);
  EXPECT_EQ(L"ORBA Camera", name);
  EXPECT_NE(std::wstring::npos, path.find(L"\\\\?\\usb#vid_0525&pid_a941&mi_00#"));
  ComPtr<IBaseFilter> camera;
  ASSERT_EQ(S_OK, moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, camera.PutVoid()));
  CLSID clsid = GUID_NULL;
  ASSERT_EQ(S_OK, camera->GetClassID(&clsid));
  EXPECT_EQ(simcam::CLSID_OrbaSimCam, clsid);
}

TEST_F(SimCamTest, CaptureCategoryLeadsToTheStreamConfig) {
  ComPtr<IBaseFilter> camera = CreateCamera();
  ComPtr<IPin> pin = FindPin(camera.Get(), PINDIR_OUTPUT);
  ASSERT_TRUE(pin);
  ComPtr<IKsPropertySet> pinProps;
  ASSERT_EQ(S_OK, pin->QueryInterface(IID_IKsPropertySet, pinProps.PutVoid()));
  GUID category = GUID_NULL;
  DWORD returned = 0;
  ASSERT_EQ(S_OK, pinProps->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                                sizeof category, &returned));
  EXPECT_EQ(PIN_CATEGORY_CAPTURE, category);
  EXPECT_EQ(sizeof(GUID), returned);
  EXPECT_EQ(E_UNEXPECTED, pinProps->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0,
                                        &category, sizeof category - 1, &returned));
  DWORD support = 0;
  ASSERT_EQ(S_OK, pinProps->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support));
  EXPECT_EQ(static_cast<DWORD>(KSPROPERTY_SUPPORT_GET), support);

  ComPtr<ICaptureGraphBuilder2> builder;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICaptureGraphBuilder2, builder.PutVoid()));
  ComPtr<IAMStreamConfig> config;
  ASSERT_EQ(S_OK, builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, camera.Get(),
                                         IID_IAMStreamConfig, config.PutVoid()));
  ComPtr<IPin> owner;
  ASSERT_EQ(S_OK, config->QueryInterface(IID_IPin, owner.PutVoid()));
  EXPECT_EQ(pin.Get(), owner.Get());
}

TEST_F(SimCamTest, OffersExactlyOneMjpgFormat) {
  ComPtr<IBaseFilter> camera = CreateCamera();
  ComPtr<IPin> pin = FindPin(camera.Get(), PINDIR_OUTPUT);
  ComPtr<IAMStreamConfig> config;
  ASSERT_EQ(S_OK, pin->QueryInterface(IID_IAMStreamConfig, config.PutVoid()));

  orba::MediaTypePtr format;
  ASSERT_EQ(S_OK, config->GetFormat(&format));
  ExpectCameraFormat(format.Get(), 333333);

  int count = 0, size = 0;
  ASSERT_EQ(S_OK, config->GetNumberOfCapabilities(&count, &size));
  EXPECT_EQ(1, count);
  EXPECT_EQ(static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS)), size);
  VIDEO_STREAM_CONFIG_CAPS caps = {};
  orba::MediaTypePtr capsType;
  ASSERT_EQ(S_OK, config->GetStreamCaps(0, &capsType, reinterpret_cast<BYTE*>(&caps)));
  ExpectCameraFormat(capsType.Get(), 333333);
  EXPECT_EQ(FORMAT_VideoInfo, caps.guid);
  EXPECT_EQ(1280, caps.MaxOutputSize.cx);
  EXPECT_EQ(720, caps.MaxOutputSize.cy);
  EXPECT_LE(caps.MinFrameInterval, 333333);
  EXPECT_GE(caps.MaxFrameInterval, 333333);
  EXPECT_EQ(S_FALSE, config->GetStreamCaps(1, &capsType, reinterpret_cast<BYTE*>(&caps)));

  // The pin's own enumeration offers the same single type.
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(S_OK, pin->EnumMediaTypes(&types));
  AM_MEDIA_TYPE* offered[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, types->Next(2, offered, &fetched));
  ASSERT_EQ(1u, fetched);
  ExpectCameraFormat(offered[0], 333333);
  orba::DeleteMediaType(offered[0]);

  // Only that format is accepted.
  EXPECT_EQ(S_OK, config->SetFormat(format.Get()));
  auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(format->pbFormat);
  vih->bmiHeader.biWidth = 640;
  vih->bmiHeader.biHeight = 480;
  EXPECT_TRUE(FAILED(config->SetFormat(format.Get())));
  EXPECT_EQ(E_POINTER, config->SetFormat(nullptr));
}

TEST_F(SimCamTest, FrameRateComesFromTheOptions) {
  simcam::Options options;
  options.frameRate = 15;
  ASSERT_TRUE(simcam::SetOptions(options));
  ComPtr<IBaseFilter> camera = CreateCamera();
  ComPtr<IAMStreamConfig> config;
  ASSERT_EQ(
      S_OK,
      FindPin(camera.Get(), PINDIR_OUTPUT)->QueryInterface(IID_IAMStreamConfig, config.PutVoid()));
  orba::MediaTypePtr format;
  ASSERT_EQ(S_OK, config->GetFormat(&format));
  ExpectCameraFormat(format.Get(), 666666);
  // A rate given through the stream configuration takes over before connecting.
  reinterpret_cast<VIDEOINFOHEADER*>(format->pbFormat)->AvgTimePerFrame = 200000;
  ASSERT_EQ(S_OK, config->SetFormat(format.Get()));
  ASSERT_EQ(S_OK, config->GetFormat(&format));
  ExpectCameraFormat(format.Get(), 200000);
}

TEST_F(SimCamTest, NoPropertySetOptionHidesTheCameraControl) {
  simcam::Options options;
  options.noPropertySet = true;
  ASSERT_TRUE(simcam::SetOptions(options));
  ComPtr<IBaseFilter> camera = CreateCamera();
  ComPtr<IKsPropertySet> props;
  EXPECT_EQ(E_NOINTERFACE, camera->QueryInterface(IID_IKsPropertySet, props.PutVoid()));
  EXPECT_FALSE(props);
  // The capture pin still names its category.
  EXPECT_EQ(
      S_OK,
      FindPin(camera.Get(), PINDIR_OUTPUT)->QueryInterface(IID_IKsPropertySet, props.PutVoid()));
}

}  // namespace
}  // namespace simcam_test

namespace simcam_test {
namespace {

using RegisterFn = HRESULT(STDAPICALLTYPE*)();

TEST_F(SimCamTest, RegistrationAddsAndRemovesClassAndDevice) {
  orba::ScopedModule module(LoadLibraryA(orba_test::BinPath("OrbaSimCam.ax").c_str()));
  ASSERT_TRUE(module);
  auto reg = reinterpret_cast<RegisterFn>(GetProcAddress(module.Get(), "DllRegisterServer"));
  auto unreg = reinterpret_cast<RegisterFn>(GetProcAddress(module.Get(), "DllUnregisterServer"));
  ASSERT_TRUE(reg && unreg);
  // Whatever fails below, later tests find the camera registered again.
  struct Reregister {
    RegisterFn fn;
    ~Reregister() { fn(); }
  } reregister{reg};

  ASSERT_EQ(S_OK, unreg());
  EXPECT_FALSE(simcam::DeviceInstanceExists());
  EXPECT_FALSE(FindCameraMoniker());
  ComPtr<IBaseFilter> camera;
  EXPECT_EQ(REGDB_E_CLASSNOTREG,
            CoCreateInstance(simcam::CLSID_OrbaSimCam, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IBaseFilter, camera.PutVoid()));

  ASSERT_EQ(S_OK, reg());
  EXPECT_TRUE(simcam::DeviceInstanceExists());
  EXPECT_TRUE(FindCameraMoniker());
  char text[MAX_PATH];
  ASSERT_EQ(ERROR_SUCCESS,
            orba::ReadRegistryString(
                HKEY_CLASSES_ROOT, "CLSID\\{B7E3F0A2-5C14-4D8E-A0F9-0525A941C0DE}\\InprocServer32",
                "ThreadingModel", text, sizeof text));
  EXPECT_STREQ("Both", text);
  ASSERT_EQ(ERROR_SUCCESS,
            orba::ReadRegistryString(
                HKEY_CLASSES_ROOT, "CLSID\\{B7E3F0A2-5C14-4D8E-A0F9-0525A941C0DE}\\InprocServer32",
                nullptr, text, sizeof text));
  EXPECT_EQ(0, _stricmp(orba_test::BinPath("OrbaSimCam.ax").c_str(), text));
  EXPECT_EQ(S_OK, CoCreateInstance(simcam::CLSID_OrbaSimCam, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IBaseFilter, camera.PutVoid()));
}

}  // namespace
}  // namespace simcam_test
