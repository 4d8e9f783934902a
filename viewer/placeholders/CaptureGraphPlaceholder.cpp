// PLACEHOLDER for the capture graph. CaptureVideo builds no graph yet and
// succeeds, keeping the graphics-switch moments at its beginning and end;
// TeardownGraph dismantles whatever the start-up pass set up. Replace this whole
// file with the real graph construction.
#include "CaptureGraph.h"

#include "Environment.h"
#include "HotKeys.h"
#include "Startup.h"
#include "ViewerState.h"
#include "orba/Log.h"

namespace {
template <class T>
void ReleaseAndClear(T*& p) {
  if (p) {
    p->Release();
    p = nullptr;
  }
}
}  // namespace

HRESULT CaptureVideo() {
  DebugLine("CaptureVideo() init");
  PrepareDirectInit();
  DebugLine("innan MyCompleteDirectInit()");
  MyCompleteDirectInit();
  return S_OK;
}

void TeardownGraph() {
  if (g_viewer.pMediaControl) {
    g_viewer.pMediaControl->Stop();
    g_viewer.graphState = 0;
  }
  if (g_viewer.pMediaEvent) g_viewer.pMediaEvent->SetNotifyWindow(0, 0, 0);
  if (g_viewer.pVideoWindow) {
    g_viewer.pVideoWindow->put_Visible(OAFALSE);
    g_viewer.pVideoWindow->put_Owner(0);
  }
  g_viewer.rotCookie = 0;
  ReleaseAndClear(g_viewer.pCameraControl);
  ReleaseAndClear(g_viewer.pMediaControl);
  ReleaseAndClear(g_viewer.pMediaEvent);
  ReleaseAndClear(g_viewer.pVideoWindow);
  ReleaseAndClear(g_viewer.pNullRenderer);
  ReleaseAndClear(g_viewer.pSmartTee);
  ReleaseAndClear(g_viewer.pOrbaProc);
  ReleaseAndClear(g_viewer.pWindowlessControl);
  g_viewer.pPaintControl = nullptr;
  UnregisterViewerHotKeys();
  DestroyDecompressor();
  FreeFrameBuffers();
}
