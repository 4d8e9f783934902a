// PLACEHOLDER for the split-screen placement through ZoomText's CCTV renderer.
// These run only while usingZTRenderer is set, which the placeholder capture
// graph never sets; each logs its name, and the hide call clears ztAreaShown.
// Replace this whole file with the real placement operations.
#include "ZoomTextPlacement.h"

#include "ViewerState.h"
#include "orba/Log.h"

void ZTSetViewTop() { DebugLine("ZTSetViewTop"); }
void ZTSetViewBottom() { DebugLine("ZTSetViewBottom"); }
void ZTSetViewLeft() { DebugLine("ZTSetViewLeft"); }
void ZTSetViewRight() { DebugLine("ZTSetViewRight"); }
void ZTSetViewFull() { DebugLine("ZTSetViewFull"); }
void ZTSetViewHide() {
  DebugLine("ZTSetViewHide");
  g_viewer.ztAreaShown = 0;
}
