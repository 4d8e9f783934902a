#pragma once
// The viewer's layouts applied through ZoomText's CCTV renderer (only while
// usingZTRenderer is set).
void ZTSetViewTop();
void ZTSetViewBottom();
void ZTSetViewLeft();
void ZTSetViewRight();
void ZTSetViewHide();
void ZTSetViewFull();

// The placement of a viewMode (0 top .. 5 full).
void ZTSetViewForMode(int viewMode);
