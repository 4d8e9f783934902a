// cctv_notify_probe.exe <ready event> <stop event>: a camera program in
// miniature, linked to TRV_CCTV like the viewer. It registers a hidden window
// of class "CctvNotifyProbe" with CCTV_Init(window, 1124), sets the ready
// event, waits for the stop event, calls CCTV_Close and exits with its answer.
// The tests start it under different Windows versions of Wine's per-program
// settings to see where the registration lies.
#include <windows.h>

#include <cstdlib>

#include "TRV_CCTV.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc < 3) return 100;
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, __argv[1]);
  HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, __argv[2]);
  if (!ready || !stop) return 101;
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.lpszClassName = "CctvNotifyProbe";
  if (!RegisterClassA(&wc)) return 102;
  HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, wc.lpszClassName, "probe", WS_POPUP, 0, 0, 1, 1,
                                nullptr, nullptr, instance, nullptr);
  if (!window) return 102;
  CCTV_Init(window, 1124);
  SetEvent(ready);
  WaitForSingleObject(stop, 30000);
  const DWORD closed = CCTV_Close();
  DestroyWindow(window);
  return static_cast<int>(closed);
}
