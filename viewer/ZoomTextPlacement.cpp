#include "ZoomTextPlacement.h"

#include "ViewerState.h"
#include "orba/ZoomTextCctvRenderer.h"
#include "orba/Log.h"
#include "orba/Text.h"

namespace {

// The screen size is read for every coordinate: the display may change at any
// time, and ZoomText's area must follow the screen as it is now.
LONG ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
LONG ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

// Which half (or the whole) of the screen and of the camera frame is shown.
enum class Placement { kLeft, kRight, kTop, kBottom, kFull };

RECT ScreenAreaOf(Placement placement) {
  switch (placement) {
    case Placement::kLeft:
      return {0, 0, ScreenWidth() / 2, ScreenHeight()};
    case Placement::kRight:
      return {ScreenWidth() / 2, 0, ScreenWidth(), ScreenHeight()};
    case Placement::kTop:
      return {0, 0, ScreenWidth(), ScreenHeight() / 2};
    case Placement::kBottom:
      return {0, ScreenHeight() / 2, ScreenWidth(), ScreenHeight()};
    case Placement::kFull:
    default:
      return {0, 0, ScreenWidth(), ScreenHeight()};
  }
}

// A half-screen area shows the left (or top) half of the frame at its own scale.
RECT CameraPartOf(Placement placement) {
  const LONG cw = g_viewer.cameraRes.width;
  const LONG ch = g_viewer.cameraRes.height;
  switch (placement) {
    case Placement::kLeft:
    case Placement::kRight:
      return {0, 0, cw / 2, ch};
    case Placement::kTop:
    case Placement::kBottom:
      return {0, 0, cw, ch / 2};
    case Placement::kFull:
    default:
      return {0, 0, cw, ch};
  }
}

void LogScreenSize() {
  char line[96];
  if (orba::FormatBounded(line, sizeof line, "screenWidth = %d  , screenHeight = %d\n",
                          static_cast<int>(ScreenWidth()), static_cast<int>(ScreenHeight()))) {
    orba::DebugRaw(line);
  }
}

// Area, size and camera part go to the renderer; the area is shown only when it
// is hidden, so consecutive placements just move and resize it. The renderer's
// answers carry nothing the viewer could act on.
void Place(const char* name, Placement placement) {
  DebugLine("%s", name);
  LogScreenSize();
  IZoomTextCCTV* const cctv = g_viewer.g_pZTCCTV2;
  IZoomTextCCTV2* const cctv2 = g_viewer.pZTCCTV2Only;
  if (!cctv || !cctv2) return;

  g_viewer.ztArea = ScreenAreaOf(placement);
  cctv->SetCCTVArea(&g_viewer.ztArea);

  SIZE size = {g_viewer.ztArea.right - g_viewer.ztArea.left,
               g_viewer.ztArea.bottom - g_viewer.ztArea.top};
  cctv2->SetCCTVAreaSize(&size);

  RECT part = CameraPartOf(placement);
  cctv2->SetCameraPart(&part);

  if (g_viewer.ztAreaShown == 0) {
    cctv->ShowCCTVArea(1);
    g_viewer.ztAreaShown = 1;
  }
}

}  // namespace

void ZTSetViewLeft() { Place("ZTSetViewLeft", Placement::kLeft); }
void ZTSetViewRight() { Place("ZTSetViewRight", Placement::kRight); }
void ZTSetViewTop() { Place("ZTSetViewTop", Placement::kTop); }
void ZTSetViewBottom() { Place("ZTSetViewBottom", Placement::kBottom); }
void ZTSetViewFull() { Place("ZTSetViewFull", Placement::kFull); }

void ZTSetViewHide() {
  DebugLine("ZTSetViewHide");
  // Callers only hide while ZoomText renders; without its interface there is no
  // area to hide, and the call must not fault.
  if (g_viewer.g_pZTCCTV2) g_viewer.g_pZTCCTV2->ShowCCTVArea(0);
  g_viewer.ztAreaShown = 0;
}

void ZTSetViewForMode(int viewMode) {
  switch (viewMode) {
    case kViewTop:
      ZTSetViewTop();
      break;
    case kViewBottom:
      ZTSetViewBottom();
      break;
    case kViewLeft:
      ZTSetViewLeft();
      break;
    case kViewRight:
      ZTSetViewRight();
      break;
    case kViewHidden:
      ZTSetViewHide();
      break;
    case kViewFull:
      ZTSetViewFull();
      break;
    default:
      break;
  }
}
