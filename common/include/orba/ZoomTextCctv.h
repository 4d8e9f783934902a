#pragma once
// Client side of the CCTV agreement with a running ZoomText: version and
// magnification state, the CCTV area, and the DirectDraw emulation pair.
// Compiled into the viewer and into the filter; each keeps its own state.
#include <windows.h>

#include <cstdint>

#pragma pack(push, 4)
struct ZoomTextInfo {
  uint32_t size;        // must be 12
  uint32_t version;     // e.g. 912, 9112, 1000; 0 when ZoomText is not running
  uint32_t magnifying;  // non-zero while ZoomText's magnification is on
};
// Only the low byte of the magnifying answer carries the state.
constexpr uint32_t kZoomTextMagnifyingMask = 0xFF;

// The older record, without the video field.
struct CctvSetArea {
  uint32_t size;  // must be 36
  uint32_t owner;
  uint32_t type;
  int32_t left, top, right, bottom;
  uint32_t reserved1;
  uint32_t reserved2;
};

struct CctvSetArea2 {
  uint32_t size;  // must be 40
  uint32_t owner;
  uint32_t video;
  uint32_t type;
  int32_t left, top, right, bottom;
  uint32_t reserved1;
  uint32_t reserved2;
};
#pragma pack(pop)

static_assert(sizeof(ZoomTextInfo) == 12, "ZoomTextInfo is a fixed 12-byte record");
static_assert(sizeof(CctvSetArea) == 36, "CctvSetArea is a fixed 36-byte record");
static_assert(sizeof(CctvSetArea2) == 40, "CctvSetArea2 is a fixed 40-byte record");

// Area types of CctvSetArea(2).type.
enum : uint32_t {
  ZTCCTV_AREA_RECT = 1,
  ZTCCTV_AREA_FULL = 2,
  ZTCCTV_AREA_LEFT = 3,
  ZTCCTV_AREA_TOP = 4,
  ZTCCTV_AREA_RIGHT = 5,
  ZTCCTV_AREA_BOTTOM = 6,
  ZTCCTV_AREA_UNSUPPORTED = 7,
};

// Result codes shared by every client function.
enum : int {
  ZTCCTV_OK = 0,
  ZTCCTV_ERROR_NOT_SUPPORTED = 2,
  ZTCCTV_ERROR_BAD_RECORD = 3,
  ZTCCTV_ERROR_NO_OWNER = 4,
  ZTCCTV_ERROR_BAD_RECT = 6,
  ZTCCTV_ERROR_BAD_TYPE = 7,
  ZTCCTV_ERROR_AREA_OWNED = 8,
  ZTCCTV_ERROR_NOT_RUNNING = 16,
  ZTCCTV_ERROR_TOO_OLD = 17,
  ZTCCTV_ERROR_NOT_INSTALLED = 18,
  ZTCCTV_ERROR_NO_REGISTRY = 19,
  ZTCCTV_ERROR_NO_LIBRARY = 20,
  ZTCCTV_ERROR_NOT_ALLOWED_AREA = 21,
  ZTCCTV_ERROR_UNEXPECTED = 22,
  ZTCCTV_ERROR_UNEXPECTED_STATE = 23,
  ZTCCTV_ERROR_ACCESS_DENIED = 24,
  ZTCCTV_ERROR_SWITCH_MISSING = 25,
};

// Every call finds the running ZoomText anew and talks to it through its
// command library; all answer a result code above and never show anything.
int GetZoomTextVersion(ZoomTextInfo* pInfo);
int SetZoomTextCctvArea2(CctvSetArea2* pSetArea);
int SetZoomTextCctvArea(CctvSetArea* pSetArea);
int RemoveZoomTextCctvArea(uint32_t owner);
int IsZoomTextCctvSupported(uint32_t* supported);
int SuspendDirectDrawEmulation();
int RestoreDirectDrawEmulation();
