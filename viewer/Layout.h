#pragma once
// The window rectangle of each viewMode.
#include <cstdint>

struct ViewRect {
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
};

// The bottom and right layouts keep the full height and width and reach past
// the screen edge, so only their lower or right half is visible. A mode outside
// 0..5 gives the full screen.
ViewRect ViewModeRect(int32_t viewMode, int32_t screenWidth, int32_t screenHeight);

// Makes the viewer window topmost and shown with the rectangle of viewMode.
void ShowViewerInLayout(int32_t viewMode);
