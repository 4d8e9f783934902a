#include "Startup.h"

#include <cstdio>
#include <cstdlib>

#include "Camera.h"
#include "CameraCommands.h"
#include "CaptureGraph.h"
#include "Environment.h"
#include "ErrorBox.h"
#include "HotKeys.h"
#include "Layout.h"
#include "Recording.h"
#include "Settings.h"
#include "SingleInstance.h"
#include "TRV_CCTV.h"
#include "ViewerState.h"
#include "ViewerWindow.h"
#include "ZoomTextPlacement.h"
#include "FilterArea.h"
#include "orba/ComPtr.h"
#include "orba/Log.h"
#include "orba/ZoomTextCctv.h"

namespace {

constexpr int kIconResource = 100;
// A visible popup. The low word belongs to the window class, and the viewer's
// class gives its 0x20 no meaning; it is kept so the style stays the one
// magnifiers and tests have always seen.
constexpr DWORD kViewerStyle = WS_POPUP | WS_VISIBLE | 0x20;
static_assert(kViewerStyle == 0x90000020, "the viewer window's style");
constexpr UINT kShrinkFlags =
    SWP_NOREDRAW | SWP_SHOWWINDOW | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING | SWP_DEFERERASE;
static_assert(kShrinkFlags == 0x2648, "the one-pixel shrink's flags");

void LogKavreloStatus(int status) {
  switch (status) {
    case KAVRELO_IS_NOT_RUNNING:
      DebugLine("KAVRELO_IS_NOT_RUNNING");
      break;
    case KAVRELO_API_NOT_SUPPORTED:
      DebugLine("KAVRELO_API_NOT_SUPPORTED");
      break;
    case KAVRELO_IS_RUNNING:
    case KAVRELO_NEW_API_IS_RUNNING:
      DebugLine("KAVRELO_IS_RUNNING");
      break;
    default:
      break;
  }
}

void ShrinkViewerToOnePixel() {
  SetWindowPos(g_viewer.hwndViewer, HWND_TOP, 0, 0, 1, 1, kShrinkFlags);
  UpdateWindow(g_viewer.hwndViewer);
}

void RunGraphAndSettle() {
  // A graph that does not run shows the empty window; there is nothing else to do.
  if (g_viewer.pMediaControl) g_viewer.pMediaControl->Run();
  // Gives the graph its first frames before the pass takes keys.
  Sleep(200);
}

// One start-up pass; the fatal errors end the process here.
void StartupPass(bool firstPass) {
  ZoomTextInfo info = {sizeof(ZoomTextInfo), 0, 0};
  GetZoomTextVersion(&info);

  g_viewer.usingZTRenderer = 0;
  g_viewer.ztAreaShown = 0;

  AllocateFrameBuffers();
  CreateDecompressor();

  // A conversion that still runs is not forgotten: it keeps its buffers and no
  // new recording may start before it has ended.
  ForgetFinishedConversion();

  SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);

  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
    ErrorBox("Error #26 CoInitialize Failed!\r\n");
    FatalExit();
  }

  orba::ReleaseAndClear(g_viewer.pSrcFilter);
  FindCamera(&g_viewer.pSrcFilter);
  if (!g_viewer.pSrcFilter) {
    ErrorBox("Error #25A Sorry no or wrong camera Program ends\n");
    FatalExit();
  }
  OpenCameraControl();
  if (!g_viewer.pCameraControl) {
    ErrorBox("Error #25B Sorry could not find camera control interface. Program ends.\n");
    FatalExit();
  }

  CreateSettingsKey();
  SendCameraStartupSequence();

  g_viewer.zoomTextMagnifying = (info.magnifying & kZoomTextMagnifyingMask) != 0 ? 1 : 0;

  WNDCLASSA wc = {};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = ViewerWndProc;
  wc.hInstance = g_viewer.hInstance;
  wc.hIcon = LoadIconA(g_viewer.hInstance, MAKEINTRESOURCEA(kIconResource));
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  wc.lpszClassName = kViewerClassName;
  if (!RegisterClassA(&wc)) {
    ErrorBox("Error #27 RegisterClass Failed! Error=0x%x\r\n",
             static_cast<unsigned>(GetLastError()));
    CoUninitialize();
    FatalExit();
  }

  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  g_viewer.hwndViewer =
      CreateWindowExA(0, kViewerClassName, kViewerTitle, kViewerStyle, 0, 0, width, height, nullptr,
                      nullptr, g_viewer.hInstance, nullptr);
  if (!g_viewer.hwndViewer) {
    char text[128];
    std::snprintf(text, sizeof text, "Error # CreateWindowEx Failed! Error=0x%x\r\n",
                  static_cast<unsigned>(GetLastError()));
    MessageBoxA(nullptr, text, nullptr, MB_OK);
    FatalExit();
  }

  g_viewer.displayDriverType = DetectDisplayDriverModel();
  switch (g_viewer.displayDriverType) {
    case kDriverXDDM:
      DebugLine("Display Driver is XDDM");
      break;
    case kDriverWDDM:
      DebugLine("Display Driver is WDDM");
      break;
    default:
      DebugLine("Error detecting Display Driver type!");
      break;
  }

  g_viewer.kavreloStatus = CCTV_Init(g_viewer.hwndViewer, kCctvNotifyMessage);
  LogKavreloStatus(g_viewer.kavreloStatus);
  SwitchesAfterCctvInit();

  RegisterViewerHotKeys();
  SetTimer(g_viewer.hwndViewer, kReleaseTimerId, 0x7FFFFFFF, nullptr);

  if (FAILED(CaptureVideo())) {
    ErrorBox("Error #28 Failed to capture video! \n");
    TeardownGraph();
    // The destroy handler posts the quit message; the loop then ends the program.
    DestroyWindow(g_viewer.hwndViewer);
  } else {
    ShowWindow(g_viewer.hwndViewer, g_viewer.showCommand);
    if (firstPass && g_viewer.usingZTRenderer) {
      DebugLine("usingZTRenderer restart == false");
      ShrinkViewerToOnePixel();
    } else if (firstPass) {
      SetFilterAreaForLayout(kViewFull);  // the window starts full screen
      RunGraphAndSettle();
    } else if (g_viewer.usingZTRenderer) {
      DebugLine("usingZTRenderer restart == true");
      ShrinkViewerToOnePixel();
      ZTSetViewForMode(g_viewer.viewMode);
    } else {
      ShowViewerInLayout(g_viewer.viewMode);
      SetFilterAreaForLayout(g_viewer.viewMode);
      RunGraphAndSettle();
    }
  }

  g_viewer.zoomTextStateChangeMsg = RegisterWindowMessageA("ZoomTextStateChangeMsg");
  g_viewer.restartRequested = 0;
}

// The polling loop; the quit message's wParam, or nothing when a restart was asked for.
WPARAM MainLoop() {
  MSG msg = {};
  for (;;) {
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      // A polling loop: a message waits at most this long, and nothing else runs here.
      Sleep(100);
      continue;
    }
    if (msg.message == WM_QUIT) {
      DebugLine("WM_QUIT MESSAGE!!!");
      return msg.wParam;
    }
    if (g_viewer.zoomTextStateChangeMsg != 0 && msg.message == g_viewer.zoomTextStateChangeMsg) {
      DebugLine("ZoomText State Change! Restarting!");
      g_viewer.zoomTextStateChangeMsg = 0;
      g_viewer.restartRequested = 1;
      return 0;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// COM references the teardown leaves behind go before COM is uninitialised:
// released later, they would call into servers COM has already unloaded.
void ReleaseRemainingComReferences() {
  ReleaseGraphReferences(/*keepZoomTextRenderer=*/false);
  orba::ReleaseAndClear(g_viewer.pSrcFilter);
}

void EndOfPass(bool restart) {
  // Before the teardown: the conversion must start while the filter, the
  // decompressor and the buffers are still there.
  StopRecordingAtEndOfPass();
  // After error 28 the teardown has already let go of the camera's property
  // set; the camera still gets its end command.
  if (!g_viewer.pCameraControl && g_viewer.pSrcFilter) OpenCameraControl();
  CameraEndCommand();
  WriteSettingFlag(kSkipFramesValue, g_viewer.skipFrames != 0);
  if (g_viewer.usingZTRenderer) ZTSetViewHide();
  RemoveFilterArea();
  // The magnifiers act on the hidden view and the removed area in their own
  // time; the graph they draw from stays up until they have.
  Sleep(200);
  Sleep(50);
  TeardownGraph();
  // ZoomText's renderer is released only after the stopped graph has settled.
  Sleep(100);
  if (g_viewer.usingZTRenderer) ReleaseZoomTextRenderer();
  // Only a window that still exists sends the destroy message that must be skipped.
  if (restart && IsWindow(g_viewer.hwndViewer)) g_viewer.ignoreDestroyOnce = 1;
  DestroyWindow(g_viewer.hwndViewer);
  g_viewer.hwndViewer = nullptr;
  UnregisterClassA(kViewerClassName, g_viewer.hInstance);
  ReleaseRemainingComReferences();
  CoUninitialize();
}

}  // namespace

void FatalExit() {
  // A video being made is finished first (bounded): the error ends the
  // program, not the recording.
  WaitForConversionsBounded();
  PutBackRecordedSwitches();
  ExitProcess(1);
}

int RunViewer(HINSTANCE instance, const char* commandLine, int showCommand) {
  g_viewer.hInstance = instance;
  g_viewer.showCommand = showCommand;
  if (AnotherViewerIsRunning(commandLine)) return 1;

  // An earlier run that did not end normally may have left the machine-wide
  // graphics switches changed.
  PutBackRecordedSwitches();
  ReadOsVersion();
  // Frames a killed or crashed run left behind become a video in the background.
  RecoverLeftFrames();
  KeepPlatformLibrariesLoaded();
  // One multithreaded apartment for the whole run: each pass enters and leaves
  // it again, but it is not torn down and made anew on every restart (under
  // Wine each new apartment keeps a handle to this thread, and more). It is
  // left to the process end: leaving it at the end of the run would unload the
  // COM libraries under threads that may still be ending.
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  SetCameraFriendlyName(kCameraDisplayName);
  g_viewer.tempBufferRGB = nullptr;
  g_viewer.tempBufferJPEG = nullptr;

  bool firstPass = true;
  WPARAM exitCode = 0;
  for (;;) {
    StartupPass(firstPass);
    exitCode = MainLoop();
    const bool restart = g_viewer.restartRequested != 0;
    EndOfPass(restart);
    if (!restart) break;
    DebugLine("Restarting");
    firstPass = false;
  }

  WaitForConversionAtProgramEnd();
  CCTV_Close();
  RestoreSwitchesAtProgramEnd();
  ForgetRecordedSwitches();
  return static_cast<int>(exitCode);
}
