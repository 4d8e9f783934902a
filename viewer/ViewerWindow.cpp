#include "ViewerWindow.h"

#include <dbt.h>

#include "Camera.h"
#include "CameraCommands.h"
#include "CaptureGraph.h"
#include "ErrorBox.h"
#include "HotKeys.h"
#include "Recording.h"
#include "ViewerState.h"
#include "orba/Log.h"

namespace {

constexpr UINT kDeviceLostMessage = WM_USER + 1;  // 0x401

void PaintViewer() {
  RECT client;
  GetClientRect(g_viewer.hwndViewer, &client);
  PAINTSTRUCT ps;
  const HDC dc = BeginPaint(g_viewer.hwndViewer, &ps);
  if (g_viewer.pPaintControl) {
    g_viewer.pPaintControl->RepaintVideo(g_viewer.hwndViewer, dc);
  } else {
    FillRect(dc, &client, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNTEXT + 1)));
  }
  EndPaint(g_viewer.hwndViewer, &ps);
}

void DrainGraphEvents() {
  if (!g_viewer.pMediaEvent) return;
  long code = 0;
  LONG_PTR p1 = 0;
  LONG_PTR p2 = 0;
  while (SUCCEEDED(g_viewer.pMediaEvent->GetEvent(&code, &p1, &p2, 0))) {
    g_viewer.pMediaEvent->FreeEventParams(code, p1, p2);
  }
}

// Device changes and device-lost messages that come while an error box is open
// open no box of their own: they are noted here and looked at once it closes.
struct NotedEvents {
  bool deviceChange = false;
  bool deviceLost = false;
  bool ending = false;  // "Error #30" was shown: the program ends
};
NotedEvents g_noted;

void CheckCameraStillPresent() {
  if (g_noted.ending) return;
  if (ErrorBoxIsOpen()) {
    g_noted.deviceChange = true;
    return;
  }
  if (IsCameraPresent()) return;
  if (g_viewer.pMediaControl) g_viewer.pMediaControl->Stop();
  SetWindowPos(g_viewer.hwndViewer, HWND_TOPMOST, 0, 0, 1, 1, SWP_SHOWWINDOW);
  UpdateWindow(g_viewer.hwndViewer);
  g_noted.ending = true;
  ErrorBox("Error #30 Sorry Device lost\n program Ends");
  PostQuitMessage(0);
}

void ReportDeviceLost() {
  if (g_noted.ending) return;
  if (ErrorBoxIsOpen()) {
    g_noted.deviceLost = true;
    return;
  }
  ErrorBox("Error #24 Device lost");
  // Further ones that came while this box was open have been said by it.
  g_noted.deviceLost = false;
}

// The last error box has closed: first whether the camera is still there (an
// unplug ends the program), then a device-lost message another box held back.
void LookAtNotedEvents() {
  if (g_noted.deviceChange) {
    g_noted.deviceChange = false;
    CheckCameraStillPresent();
  }
  if (g_noted.deviceLost) {
    g_noted.deviceLost = false;
    ReportDeviceLost();
  }
}

}  // namespace

LRESULT CALLBACK ViewerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      DebugLine("WM_DESTROY MSG");
      if (g_viewer.ignoreDestroyOnce == 1) {
        DebugLine("ignoring WM_DESTROY MSG ONCE");
        g_viewer.ignoreDestroyOnce = 0;
      } else {
        PostQuitMessage(0);
      }
      return 0;
    case WM_SIZE:
      if (g_viewer.pVideoWindow) {
        RECT client;
        GetClientRect(g_viewer.hwndViewer, &client);
        g_viewer.pVideoWindow->SetWindowPosition(0, 0, client.right, client.bottom);
      }
      break;
    case WM_PAINT:
      if (g_viewer.zoomTextMagnifying == 0) PaintViewer();
      break;
    case WM_CLOSE:
      ShowWindow(g_viewer.hwndViewer, SW_HIDE);
      break;
    case WM_QUIT:
      ShowWindow(g_viewer.hwndViewer, SW_HIDE);
      TeardownGraph();
      break;
    case WM_WINDOWPOSCHANGED:
      if (g_viewer.pMediaControl) {
        if (IsIconic(window)) {
          g_viewer.pMediaControl->StopWhenReady();
          g_viewer.graphState = State_Stopped;
        } else {
          g_viewer.graphState = State_Running;
        }
      }
      break;
    case WM_DISPLAYCHANGE:
      if (g_viewer.zoomTextMagnifying == 1) PaintViewer();
      break;
    case WM_KEYDOWN:
      SendDigitCommands(SystemKeyInput());
      break;
    case kDeviceLostMessage:
      ReportDeviceLost();
      break;
    case kErrorBoxClosedMessage:
      if (!ErrorBoxIsOpen()) LookAtNotedEvents();
      break;
    case WM_TIMER:
    case kReleaseTimerId:
      // Timer 8740 completes a press-and-release command.
      if (message == kReleaseTimerId || wParam == kReleaseTimerId) CompleteReleaseTimer();
      break;
    case WM_DEVICECHANGE:
      if (wParam == DBT_DEVNODES_CHANGED) CheckCameraStillPresent();
      break;
    case WM_HOTKEY:
      HandleViewerHotKey(wParam);
      break;
    case WM_QUERYENDSESSION:
      // Answered at once; the wait for a running conversion comes with the end.
      if (ConversionRunning()) DebugLine("The session ends while a recording is converted");
      return TRUE;
    case WM_ENDSESSION:
      if (wParam) WaitForConversionsBounded();
      break;
    case kGraphNotifyMessage:
      DrainGraphEvents();
      break;
    default:
      break;
  }
  if (g_viewer.pVideoWindow) {
    g_viewer.pVideoWindow->NotifyOwnerMessage(reinterpret_cast<OAHWND>(window),
                                              static_cast<long>(message),
                                              static_cast<LONG_PTR>(wParam), lParam);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
