#pragma once
// The viewer's global hot keys (Ctrl+Win+key), registered on the viewer window.
#include <windows.h>

void RegisterViewerHotKeys();
void UnregisterViewerHotKeys();
// WM_HOTKEY of the viewer window, with the hot-key identifier.
void HandleViewerHotKey(WPARAM id);
