// PLACEHOLDER for the ZoomText CCTV client. Until ZoomText detection, its command
// library and the product settings exist, every call answers exactly as the
// client does when no ZoomText is running: version 0, and 16 from every call
// that needs a running ZoomText. The record checks come first, as in the client.
// Replace this whole file (and its line in CMakeLists.txt) with the real client.
#include "orba/ZoomTextCctv.h"

namespace {

// A band of the screen that touches at least three screen edges.
bool IsCctvAreaRectValid(const RECT& rect, RECT* clipped) {
  SetRectEmpty(clipped);
  const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (IsRectEmpty(&rect) || !IntersectRect(clipped, &rect, &screen)) {
    SetRectEmpty(clipped);
    return false;
  }
  const int onEdges = (clipped->left == screen.left) + (clipped->top == screen.top) +
                      (clipped->right == screen.right) + (clipped->bottom == screen.bottom);
  return onEdges >= 3;
}

template <class Record>
int CheckAreaRecord(const Record* record, uint32_t expectedSize) {
  if (!record || record->size != expectedSize) return ZTCCTV_ERROR_BAD_RECORD;
  if (record->owner == 0) return ZTCCTV_ERROR_NO_OWNER;
  if (record->type == ZTCCTV_AREA_UNSUPPORTED) return ZTCCTV_ERROR_BAD_TYPE;
  if (record->type == ZTCCTV_AREA_RECT) {
    const RECT rect = {record->left, record->top, record->right, record->bottom};
    RECT clipped;
    if (!IsCctvAreaRectValid(rect, &clipped)) return ZTCCTV_ERROR_BAD_RECT;
  }
  return ZTCCTV_OK;
}

}  // namespace

int GetZoomTextVersion(ZoomTextInfo* pInfo) {
  if (!pInfo || pInfo->size != sizeof(ZoomTextInfo)) return ZTCCTV_ERROR_BAD_RECORD;
  pInfo->version = 0;  // not running; the magnifying field stays as the caller set it
  return ZTCCTV_OK;
}

int SetZoomTextCctvArea2(CctvSetArea2* pSetArea) {
  const int check = CheckAreaRecord(pSetArea, sizeof(CctvSetArea2));
  return check != ZTCCTV_OK ? check : ZTCCTV_ERROR_NOT_RUNNING;
}

int RemoveZoomTextCctvArea(uint32_t) { return ZTCCTV_ERROR_NOT_RUNNING; }

int IsZoomTextCctvSupported(uint32_t* supported) {
  if (supported) *supported = 0;
  return ZTCCTV_ERROR_NOT_RUNNING;
}

int SuspendDirectDrawEmulation() { return ZTCCTV_ERROR_NOT_RUNNING; }

int RestoreDirectDrawEmulation() { return ZTCCTV_ERROR_NOT_RUNNING; }
