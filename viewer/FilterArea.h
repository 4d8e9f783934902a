#pragma once
// What the viewer tells the filter's magnifier area: whose area it is, which
// Kavrelo magnifier runs, and which part of the screen each layout gives the
// picture, so that the magnifier leaves that part unmagnified.
#include <cstdint>

// The filter's video-stream value: the viewer's process id, which is never 0
// and names the program whose picture fills the area.
uint32_t ViewerVideoStreamId();

// After the filter exists in a pass: the owner (the viewer window) and the
// video stream, then the Kavrelo status of this pass's CCTV_Init.
void TellFilterAreaOwner();
// The area of a layout the viewer draws itself; nothing while ZoomText's
// renderer draws the picture (its placements tell ZoomText already).
void SetFilterAreaForLayout(int32_t viewMode);
// The whole screen back to the magnifier, before the graph goes.
void RemoveFilterArea();

// SetParams code of a viewMode: top 4, bottom 6, left 3, right 5, full 2,
// hidden 7.
long AreaCodeForViewMode(int32_t viewMode);
// SetParams code that passes a CCTV_Init status on: 101, 103 or 102.
long KavreloCodeForStatus(int32_t status);
