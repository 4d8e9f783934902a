// zt_renderer_probe.exe <name>: uses the registered ZoomText renderer from a
// process of its own, as the viewer does: creates it through COM, makes one
// call on each slot the viewer uses (fixed arguments), sets the event
// "<name>_called" and keeps the renderer until "<name>_release" is set.
// Exit code 0, or 2 (no renderer), 3 (no control interface), 4 (events).
#include <windows.h>

#include <dshow.h>

#include <string>

#include "orba/ZoomTextCctvRenderer.h"

int main(int argc, char** argv) {
  if (argc < 2) return 4;
  const std::string base = argv[1];
  HANDLE called = CreateEventA(nullptr, TRUE, FALSE, (base + "_called").c_str());
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, (base + "_release").c_str());
  if (!called || !release) return 4;

  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  int code = 0;
  IBaseFilter* filter = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ZT_CCTV_Renderer, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IBaseFilter, reinterpret_cast<void**>(&filter)))) {
    code = 2;
  } else {
    IZoomTextCCTV2* cctv2 = nullptr;
    IZoomTextCCTV* cctv = nullptr;
    if (SUCCEEDED(filter->QueryInterface(IID_IZoomTextCCTV2, reinterpret_cast<void**>(&cctv2)))) {
      cctv = cctv2;
    } else if (FAILED(filter->QueryInterface(IID_IZoomTextCCTV, reinterpret_cast<void**>(&cctv)))) {
      cctv = nullptr;
    }
    if (!cctv) {
      code = 3;
    } else {
      cctv->IsCompatibleZoomTextRunning();
      cctv->IsZoomTextAnabled();
      RECT area = {10, 20, 30, 40};
      cctv->SetCCTVArea(&area);
      cctv->ShowCCTVArea(1);
      if (cctv2) {
        SIZE size = {-5, 70000};
        cctv2->SetCCTVAreaSize(&size);
        RECT part = {0, 0, 640, 720};
        cctv2->SetCameraPart(&part);
      }
      SetEvent(called);
      WaitForSingleObject(release, 30000);
      cctv->Release();  // one reference, shared with cctv2 when there is one
    }
    filter->Release();
  }
  if (code != 0) SetEvent(called);
  CoUninitialize();
  CloseHandle(called);
  CloseHandle(release);
  return code;
}
