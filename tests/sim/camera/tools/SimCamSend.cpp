// simcam_send.exe: sends camera command frames to the simulated camera from a
// process of its own, the way the viewer does: the camera is found through the
// system device enumerator, every frame goes out as three packets through the
// pan/tilt property (the third twice), followed by one read of the zoom property.
// Arguments: frames as "<class>:<code>" in hexadecimal, e.g. F0:03 6E:0C.
// With "--run <ms>" instead it plays the camera into a Null Renderer for that long,
// which lets a test see the frames another process made (through the dump folder).
// Exit code 0 when every call succeeded.
#include <windows.h>

#include <dshow.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "orba/ComPtr.h"
#include "simcam/SimCamControl.h"
#include "simcam/SimCamIds.h"

namespace {

using orba::ComPtr;

HRESULT FindCamera(IBaseFilter** filter) {
  ComPtr<ICreateDevEnum> devices;
  HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devices.PutVoid());
  if (FAILED(hr)) return hr;
  ComPtr<IEnumMoniker> monikers;
  hr = devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0);
  if (hr != S_OK) return hr == S_FALSE ? E_FAIL : hr;
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, &moniker, nullptr) == S_OK) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid()))) continue;
    VARIANT path;
    VariantInit(&path);
    const bool match = SUCCEEDED(bag->Read(L"DevicePath", &path, nullptr)) && path.vt == VT_BSTR &&
                       std::wcsstr(path.bstrVal, L"vid_0525") &&
                       std::wcsstr(path.bstrVal, L"pid_a941");
    VariantClear(&path);
    if (match)
      return moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                   reinterpret_cast<void**>(filter));
  }
  return E_FAIL;
}

HRESULT SendFrame(IKsPropertySet* props, const uint8_t frame[10]) {
  unsigned sum = 0;
  for (int i = 0; i < 10; ++i) sum += frame[i];
  const uint8_t packets[3][5] = {
      {1, frame[0], frame[1], frame[2], frame[3]},
      {2, frame[4], frame[5], frame[6], frame[7]},
      {3, frame[8], frame[9], static_cast<uint8_t>(sum & 0xFF), static_cast<uint8_t>(sum >> 8)},
  };
  simcam::CameraControlRecord record = {};
  record.Flags = simcam::kCameraControlFlagsManual;
  record.Capabilities = simcam::kCameraControlFlagsManual;
  HRESULT result = S_OK;
  for (int p = 0; p < 4; ++p) {
    LONG v1 = 0, v2 = 0;
    simcam::PackPacket(packets[p < 3 ? p : 2], &v1, &v2);
    record.Value1 = v1;
    record.Value2 = v2;
    const HRESULT hr = props->Set(simcam::kPropSetCameraControl, simcam::kPropPanTilt, &record,
                                  sizeof record, &record, sizeof record);
    if (FAILED(hr)) result = hr;
  }
  DWORD returned = 0;
  const HRESULT hr = props->Get(simcam::kPropSetCameraControl, simcam::kPropZoom, nullptr, 0,
                                &record, sizeof record, &returned);
  return FAILED(result) ? result : hr;
}

// {C1F400A4-3F08-11D3-9F0B-006008039E37}
const CLSID kClsidNullRenderer = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

ComPtr<IPin> FirstPin(IBaseFilter* filter) {
  ComPtr<IEnumPins> pins;
  ComPtr<IPin> pin;
  if (SUCCEEDED(filter->EnumPins(&pins))) pins->Next(1, &pin, nullptr);
  return pin;
}

int RunCamera(IBaseFilter* camera, DWORD milliseconds) {
  ComPtr<IGraphBuilder> graph;
  ComPtr<IBaseFilter> renderer;
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                              graph.PutVoid())) ||
      FAILED(CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                              renderer.PutVoid()))) {
    return 6;
  }
  ComPtr<IMediaControl> control;
  if (FAILED(graph->AddFilter(camera, L"Video Capture")) ||
      FAILED(graph->AddFilter(renderer.Get(), L"Null Renderer")) ||
      FAILED(
          graph->ConnectDirect(FirstPin(camera).Get(), FirstPin(renderer.Get()).Get(), nullptr)) ||
      FAILED(graph->QueryInterface(IID_IMediaControl, control.PutVoid())) ||
      FAILED(control->Run())) {
    return 7;
  }
  Sleep(milliseconds);
  control->Stop();
  return 0;
}

}  // namespace

int SendFrames(IBaseFilter* camera, int count, char** frames) {
  ComPtr<IKsPropertySet> props;
  const HRESULT hr = camera->QueryInterface(IID_IKsPropertySet, props.PutVoid());
  if (FAILED(hr)) {
    std::fprintf(stderr, "camera control not found: 0x%08lx\n", static_cast<unsigned long>(hr));
    return 3;
  }
  for (int i = 0; i < count; ++i) {
    unsigned cls = 0, code = 0;
    if (std::sscanf(frames[i], "%x:%x", &cls, &code) != 2 || cls > 0xFF || code > 0xFF) return 4;
    uint8_t frame[10] = {};
    frame[0] = static_cast<uint8_t>(cls);
    frame[8] = static_cast<uint8_t>(code);
    if (cls == 0x6E) {
      const uint8_t head[8] = {0x6E, 0x51, 0x86, 0xC2, 0x00, 0x00, 0x04, 0x30};
      std::memcpy(frame, head, sizeof head);
      uint8_t check = 0;
      for (int b = 0; b < 9; ++b) check ^= frame[b];
      frame[9] = check;
    }
    if (FAILED(SendFrame(props.Get(), frame))) return 5;
  }
  return 0;
}

int main(int argc, char** argv) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 2;
  int rc = 0;
  {
    ComPtr<IBaseFilter> camera;
    const HRESULT hr = FindCamera(&camera);
    if (FAILED(hr)) {
      std::fprintf(stderr, "camera not found: 0x%08lx\n", static_cast<unsigned long>(hr));
      rc = 3;
    } else if (argc == 3 && std::strcmp(argv[1], "--run") == 0) {
      rc = RunCamera(camera.Get(), static_cast<DWORD>(std::atoi(argv[2])));
    } else {
      rc = SendFrames(camera.Get(), argc - 1, argv + 1);
    }
  }
  CoUninitialize();
  return rc;
}
