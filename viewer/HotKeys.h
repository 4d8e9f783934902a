#pragma once
// The viewer's global hot keys (Ctrl+Win+key), registered on the viewer window,
// and what each one does: camera commands, pictures, recordings, the layouts,
// the version message and the end of the program.
#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "orba/Version.h"

enum HotKeyId : int {
  kHotKeyTakePicture = 1100,  // I
  kHotKeyT = 1101,
  kHotKeyZoomIn = 1102,   // Up; L on Windows 10 and later
  kHotKeyZoomOut = 1103,  // Down; K on Windows 10 and later
  kHotKeyF3 = 1104,
  kHotKeyF2 = 1105,
  kHotKeyF1 = 1106,
  kHotKeyCycleLayout = 1107,  // S
  kHotKeyTopBottom = 1108,    // Y
  kHotKeyRightLeft = 1109,    // L; A on Windows 10 and later
  kHotKeyHideFull = 1110,     // M
  kHotKeyEnd = 1114,          // E
  kHotKeyC = 1115,
  kHotKeyV = 1116,
  kHotKeyZ = 1117,
  kHotKeySavePictureAs = 1120,  // J
  kHotKeyRecord = 1121,         // O
  kHotKeyVersion = 1200,        // N
  kHotKeyInsert = 1201,
  kHotKeyDelete = 1202,
  kHotKeySkipFramesOn = 1203,   // F10
  kHotKeySkipFramesOff = 1204,  // F11
  kHotKeyG = 1205,
  kHotKeyH = 1206,
};

constexpr UINT kHotKeyModifiers = MOD_CONTROL | MOD_WIN;  // 0x000A
constexpr size_t kHotKeyCount = 24;

struct HotKeyBinding {
  int id;
  UINT virtualKey;
};

// The keys in registration order. From Windows 10 on, Ctrl+Win+arrow belongs
// to the system's window snapping, so the zoom moves to L and K and the halves
// to A.
std::array<HotKeyBinding, kHotKeyCount> ViewerHotKeyTable(bool win10OrLater);

void RegisterViewerHotKeys();
// Releases every identifier from 1100 to 1117, 1120, 1121 and 1200 to 1206.
void UnregisterViewerHotKeys();
// WM_HOTKEY of the viewer window, with the hot-key identifier.
void HandleViewerHotKey(WPARAM id);

// Shows layout 0..5 through ZoomText's renderer when it draws the picture,
// else with the viewer window itself.
void ApplyLayout(int32_t layout);
// The layout keys: camera command first, then the layout; they keep viewMode
// and their toggles.
void TopBottomKey();
void RightLeftKey();
void HideFullKey();
void CycleLayoutKey();

// The version message with the filter's build number; false when it does not fit.
bool FormatVersionText(long filterBuild, char* text, size_t cap);
constexpr long kViewerBuildNumber = ORBA_VERSION_BUILD;
