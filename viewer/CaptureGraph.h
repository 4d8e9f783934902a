#pragma once
// The capture graph: camera -> Smart Tee -> ORBAProc -> Null Renderer, with the
// preview in the viewer window or in ZoomText's CCTV renderer.
#include <windows.h>

// 0 on success; a failure code after a numbered message.
HRESULT CaptureVideo();
// Stops and dismantles what CaptureVideo and the start-up pass set up. Every
// reference it releases is cleared, so a second call does nothing.
void TeardownGraph();
