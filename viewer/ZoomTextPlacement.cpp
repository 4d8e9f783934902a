#include "ZoomTextPlacement.h"

#include "ViewerState.h"

void ZTSetViewForMode(int viewMode) {
  switch (viewMode) {
    case kViewTop:
      ZTSetViewTop();
      break;
    case kViewBottom:
      ZTSetViewBottom();
      break;
    case kViewLeft:
      ZTSetViewLeft();
      break;
    case kViewRight:
      ZTSetViewRight();
      break;
    case kViewHidden:
      ZTSetViewHide();
      break;
    case kViewFull:
      ZTSetViewFull();
      break;
    default:
      break;
  }
}
