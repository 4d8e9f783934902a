#include "Layout.h"

#include <windows.h>

#include "ViewerState.h"

ViewRect ViewModeRect(int32_t viewMode, int32_t w, int32_t h) {
  switch (viewMode) {
    case kViewTop:
      return {0, 0, w, h / 2};
    case kViewBottom:
      return {0, h / 2, w, h};
    case kViewLeft:
      return {0, 0, w / 2, h};
    case kViewRight:
      return {w / 2, 0, w, h};
    case kViewHidden:
      return {0, 0, 1, 1};
    default:
      return {0, 0, w, h};
  }
}

void ShowViewerInLayout(int32_t viewMode) {
  const ViewRect r =
      ViewModeRect(viewMode, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  SetWindowPos(g_viewer.hwndViewer, HWND_TOPMOST, r.x, r.y, r.width, r.height, SWP_SHOWWINDOW);
}
