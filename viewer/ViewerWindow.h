#pragma once
#include <windows.h>

// The window procedure of the viewer window (class "Orba Viewer").
LRESULT CALLBACK ViewerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
