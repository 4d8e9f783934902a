#include "HotKeys.h"

#include "CameraCommands.h"
#include "Environment.h"
#include "Layout.h"
#include "Recording.h"
#include "ViewerState.h"
#include "ZoomTextPlacement.h"
#include "FilterArea.h"
#include "orba/Log.h"
#include "orba/Text.h"

namespace {

const char kVersionTitle[] = "ORBA";
constexpr size_t kVersionTextBytes = 512;

const char* DriverText(int32_t type) {
  switch (type) {
    case kDriverXDDM:
      return "XDDM";
    case kDriverWDDM:
      return "WDDM";
    default:
      return "UNDETECTED";
  }
}

void ShowVersionBox() {
  long filterBuild = 0;
  if (g_viewer.pOrbaProc) g_viewer.pOrbaProc->GetBuildNumber(&filterBuild);
  char text[kVersionTextBytes];
  if (!FormatVersionText(filterBuild, text, sizeof text)) return;
  MessageBoxA(g_viewer.hwndViewer, text, kVersionTitle, MB_OK);
}

void UpdateViewer() { UpdateWindow(g_viewer.hwndViewer); }

}  // namespace

std::array<HotKeyBinding, kHotKeyCount> ViewerHotKeyTable(bool win10OrLater) {
  return {{
      {kHotKeyZoomIn, win10OrLater ? 'L' : static_cast<UINT>(VK_UP)},
      {kHotKeyZoomOut, win10OrLater ? 'K' : static_cast<UINT>(VK_DOWN)},
      {kHotKeyRightLeft, static_cast<UINT>(win10OrLater ? 'A' : 'L')},
      {kHotKeyTakePicture, 'I'},
      {kHotKeyT, 'T'},
      {kHotKeyF3, VK_F3},
      {kHotKeyF2, VK_F2},
      {kHotKeyF1, VK_F1},
      {kHotKeyCycleLayout, 'S'},
      {kHotKeyTopBottom, 'Y'},
      {kHotKeyHideFull, 'M'},
      {kHotKeyEnd, 'E'},
      {kHotKeyC, 'C'},
      {kHotKeyV, 'V'},
      {kHotKeyZ, 'Z'},
      {kHotKeySavePictureAs, 'J'},
      {kHotKeyRecord, 'O'},
      {kHotKeyVersion, 'N'},
      {kHotKeyInsert, VK_INSERT},
      {kHotKeyDelete, VK_DELETE},
      {kHotKeySkipFramesOn, VK_F10},
      {kHotKeySkipFramesOff, VK_F11},
      {kHotKeyG, 'G'},
      {kHotKeyH, 'H'},
  }};
}

void RegisterViewerHotKeys() {
  // A key another program holds stays unregistered; the others still work.
  for (const HotKeyBinding& key : ViewerHotKeyTable(IsWin10OrLater())) {
    RegisterHotKey(g_viewer.hwndViewer, key.id, kHotKeyModifiers, key.virtualKey);
  }
}

void UnregisterViewerHotKeys() {
  for (int id = 1100; id <= 1117; ++id) UnregisterHotKey(g_viewer.hwndViewer, id);
  UnregisterHotKey(g_viewer.hwndViewer, kHotKeySavePictureAs);
  UnregisterHotKey(g_viewer.hwndViewer, kHotKeyRecord);
  for (int id = 1200; id <= 1206; ++id) UnregisterHotKey(g_viewer.hwndViewer, id);
}

bool FormatVersionText(long filterBuild, char* text, size_t cap) {
  return orba::FormatBounded(
      text, cap,
      "Opticorva ORBA version: %d.%d.%d.%d\nORBAProc version: %d.%d.%d.%d\nWindows %d.%d build %d "
      "ServicePack %d.%d\nDisplay driver type is %s.",
      ORBA_VERSION_MAJOR, ORBA_VERSION_MINOR, ORBA_VERSION_PATCH,
      static_cast<int>(kViewerBuildNumber), ORBAPROC_VERSION_MAJOR, ORBAPROC_VERSION_MINOR,
      ORBAPROC_VERSION_PATCH, static_cast<int>(filterBuild), static_cast<int>(g_viewer.osMajor),
      static_cast<int>(g_viewer.osMinor), static_cast<int>(g_viewer.osBuild),
      static_cast<int>(g_viewer.osServicePackMajor), static_cast<int>(g_viewer.osServicePackMinor),
      DriverText(g_viewer.displayDriverType));
}

void ApplyLayout(int32_t layout) {
  if (g_viewer.usingZTRenderer) {
    ZTSetViewForMode(layout);
    return;
  }
  ShowViewerInLayout(layout);
  UpdateViewer();
  if (layout == kViewFull) {
    ShowWindow(g_viewer.hwndViewer, SW_MAXIMIZE);
    UpdateViewer();
  }
  SetFilterAreaForLayout(layout);
}

void TopBottomKey() {
  CameraHalfLayoutCommand();
  if (g_viewer.topBottomToggle == 0) {
    ApplyLayout(kViewTop);
    g_viewer.topBottomToggle = 1;
    g_viewer.viewMode = kViewTop;
  } else {
    ApplyLayout(kViewBottom);
    g_viewer.topBottomToggle = 0;
    g_viewer.viewMode = kViewBottom;
  }
}

void RightLeftKey() {
  CameraHalfLayoutCommand();
  if (g_viewer.rightLeftToggle == 0) {
    ApplyLayout(kViewRight);
    g_viewer.rightLeftToggle = 1;
    g_viewer.viewMode = kViewRight;
  } else {
    ApplyLayout(kViewLeft);
    g_viewer.rightLeftToggle = 0;
    g_viewer.viewMode = kViewLeft;
  }
}

void HideFullKey() {
  if (g_viewer.hideFullToggle == 0) {
    CameraHalfLayoutCommand();
    ApplyLayout(kViewHidden);
    // ZoomText's area leaves the desktop behind it unpainted.
    if (g_viewer.usingZTRenderer) InvalidateRect(nullptr, nullptr, TRUE);
    UpdateViewer();
    g_viewer.hideFullToggle = 1;
    g_viewer.viewMode = kViewHidden;
  } else {
    CameraFullLayoutCommand();
    ApplyLayout(kViewFull);
    UpdateViewer();
    g_viewer.hideFullToggle = 0;
    g_viewer.viewMode = kViewFull;
  }
}

void CycleLayoutKey() {
  const int32_t next =
      g_viewer.viewMode >= kViewFull || g_viewer.viewMode < 0 ? kViewTop : g_viewer.viewMode + 1;
  g_viewer.viewMode = next;
  if (next <= kViewRight) {
    CameraHalfLayoutCommand();
  } else {
    CameraFullLayoutCommand();
  }
  ApplyLayout(next);
  UpdateViewer();
}

void HandleViewerHotKey(WPARAM wParam) {
  const KeyInput keys = SystemKeyInput();
  const bool win10 = IsWin10OrLater();
  switch (static_cast<int>(wParam)) {
    case kHotKeyTakePicture:
      if (g_viewer.pOrbaProc) g_viewer.pOrbaProc->SetTakePicture(1);
      break;
    case kHotKeySavePictureAs:
      if (g_viewer.pOrbaProc) g_viewer.pOrbaProc->SetSavePictureAs(1, g_viewer.hwndViewer);
      break;
    case kHotKeyRecord:
      HandleRecordingKey();
      break;
    case kHotKeyT:
      CameraKeyTCommand();
      break;
    case kHotKeyZ:
      CameraKeyZCommand();
      break;
    case kHotKeyZoomIn:
      HoldToZoom(true, win10 ? 'L' : VK_UP, keys);
      break;
    case kHotKeyZoomOut:
      HoldToZoom(false, win10 ? 'K' : VK_DOWN, keys);
      break;
    case kHotKeyF3:
      CameraKeyF3Command();
      break;
    case kHotKeyF2:
      CameraKeyF2Command();
      break;
    case kHotKeyF1:
      CameraKeyF1Command();
      break;
    case kHotKeyTopBottom:
      TopBottomKey();
      break;
    case kHotKeyRightLeft:
      RightLeftKey();
      break;
    case kHotKeyHideFull:
      HideFullKey();
      break;
    case kHotKeyEnd:
      // Stops a running recording first; refuses to end while its conversion runs.
      HandleEndKey();
      break;
    case kHotKeyC:
      PressAndRelease(CameraKeyCCommand, 'C', keys);
      break;
    case kHotKeyV:
      PressAndRelease(CameraKeyVCommand, 'V', keys);
      break;
    case kHotKeyVersion:
      ShowVersionBox();
      break;
    case kHotKeyInsert:
      CameraKeyInsertCommand();
      break;
    case kHotKeyDelete:
      CameraKeyDeleteCommand();
      break;
    case kHotKeySkipFramesOn:
      SetFrameSkipping(true);
      break;
    case kHotKeySkipFramesOff:
      SetFrameSkipping(false);
      break;
    case kHotKeyG:
      CameraKeyGCommand();
      break;
    case kHotKeyH:
      CameraKeyHCommand();
      break;
    case kHotKeyCycleLayout:
      CycleLayoutKey();
      break;
    default:
      break;
  }
}
