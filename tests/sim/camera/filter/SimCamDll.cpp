// OrbaSimCam.ax: the in-process server of the simulated camera. Registration adds
// the COM class and the video-input device instance that carries the camera's
// identity (friendly name, class id and a USB device path with vid_0525&pid_a941).
#include <windows.h>

#include "SimCamFilter.h"
#include "dshow_base/Streams.h"
#include "simcam/SimCamControl.h"
#include "simcam/SimCamIds.h"

CFactoryTemplate g_Templates[] = {
    {simcam::kFilterName, &simcam::CLSID_OrbaSimCam, simcam::CSimCamFilter::CreateInstance, nullptr,
     nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

STDAPI DllRegisterServer() {
  const HRESULT hr = AMovieDllRegisterServer2(TRUE);
  if (FAILED(hr)) return hr;
  return simcam::WriteDeviceInstance() ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
  const bool removed = simcam::RemoveDeviceInstance();
  const HRESULT hr = AMovieDllRegisterServer2(FALSE);
  if (FAILED(hr)) return hr;
  return removed ? S_OK : SELFREG_E_CLASS;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved) {
  return DllEntryPoint(hInstance, dwReason, lpReserved);
}
