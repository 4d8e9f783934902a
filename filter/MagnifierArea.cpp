// The magnifier area: which part of the screen the camera picture is meant to
// take, told to ZoomText or to a Kavrelo magnifier.
#include <cstdio>
#include <cstring>

#include "FilterLog.h"
#include "ORBAProc.h"
#include "TRV_CCTV.h"
#include "orba/Log.h"

namespace {

// A ZoomText set-area refusal as the status text shows it.
void DescribeAreaResult(int result, char* text, size_t cap) {
  switch (result) {
    case ZTCCTV_ERROR_BAD_RECORD:
      std::snprintf(text, cap, "pSetArea is invalid");
      break;
    case ZTCCTV_ERROR_BAD_RECT:
      std::snprintf(text, cap, "rect is invalid");
      break;
    case ZTCCTV_ERROR_BAD_TYPE:
      std::snprintf(text, cap, "pSetArea->type is set to unsupported area");
      break;
    case ZTCCTV_ERROR_AREA_OWNED:
      std::snprintf(text, cap, "a different process already owns the CCTV area");
      break;
    default:
      std::snprintf(text, cap, "Unknown error: hr = %d", result);
      break;
  }
}

// The viewport options the Kavrelo magnifier is given with every area.
constexpr int kViewportOptionA = 0;
constexpr int kViewportOptionB = 1;

#if !defined(_WIN64)
static_assert(sizeof(DDSURFACEDESC) == 108, "the surface description of the 32-bit system");
#endif

}  // namespace

STDMETHODIMP ORBAProc::SetParams(long code, double dx, double dy) {
  CAutoLock lock(&m_csParams);
  return SetParamsLocked(code, dx, dy);
}

HRESULT ORBAProc::SetParamsLocked(long code, double dx, double dy) {
  const int cx = GetSystemMetrics(SM_CXSCREEN);
  const int cy = GetSystemMetrics(SM_CYSCREEN);

  ZoomTextInfo info = {};
  info.size = sizeof info;
  const int versionResult = GetZoomTextVersion(&info);
  const bool zoomTextOn = versionResult == ZTCCTV_OK && info.version != 0 &&
                          (info.magnifying & kZoomTextMagnifyingMask) != 0;
  if (versionResult == ZTCCTV_ERROR_UNEXPECTED_STATE) {
    FilterLog("SetParams: ZTCCTV_ERROR_UNEXPECTED_STATE");
  }

  switch (code) {
    case kModeFull:
      m_area = {0, 0, cx, cy};
      m_areaActive = 1;
      FilterLog("SetParams: Full");
      break;
    case kModeLeft:
      m_area = {0, 0, cx / 2, cy};
      m_areaActive = 1;
      FilterLog("SetParams: Left");
      break;
    case kModeTop:
      m_area = {0, 0, cx, cy / 2};
      m_areaActive = 1;
      FilterLog("SetParams: Top");
      break;
    case kModeRight:
      m_area = {cx / 2, 0, cx, cy};
      m_areaActive = 1;
      FilterLog("SetParams: Right");
      break;
    case kModeBottom:
      m_area = {0, cy / 2, cx, cy};
      m_areaActive = 1;
      FilterLog("SetParams: Bottom");
      break;
    case kModeOff:
      FilterLog("SetParams: press off");
      break;
    case kCodeRemoveArea:
      FilterLog("SetParams: CCTVAREA_REMOVE");
      m_areaActive = 0;
      RemoveZoomTextCctvArea(m_areaOwner);
      CCTV_ClearViewport();
      ExitDirectDraw();
      return S_OK;
    case kCodeKavreloEnabled:
      FilterLog("SetParams: TEMBACCTV_STATUS_ENABLED");
      m_kavreloStatus = KAVRELO_IS_RUNNING;
      return S_OK;
    case kCodeKavreloDisabled:
      FilterLog("SetParams: TEMBACCTV_STATUS_DISABLED");
      m_kavreloStatus = KAVRELO_IS_NOT_RUNNING;
      return S_OK;
    case kCodeKavreloNewApiEnabled:
      FilterLog("SetParams: TEMBACCTV_STATUS_NEW_API_ENABLED");
      m_kavreloStatus = KAVRELO_NEW_API_IS_RUNNING;
      return S_OK;
    default:
      return E_INVALIDARG;
  }

  if (code == kModeOff) {
    RemoveZoomTextCctvArea(m_areaOwner);
    CCTV_ClearViewport();
    ExitDirectDraw();
  } else {
    // Asked again on purpose: this answer only feeds the status text, the first
    // one decided zoomTextOn before the mode was taken.
    const int again = GetZoomTextVersion(&info);
    if (again == ZTCCTV_ERROR_NOT_SUPPORTED) {
      SetStatus("Operating system not supported");
      FilterLog("SetParams: Operating system not supported");
    } else if (again == ZTCCTV_ERROR_BAD_RECORD) {
      SetStatus("pInfo is a null pointer");
      FilterLog("SetParams: pInfo is a null pointer");
    }

    if (m_videoStream == 0) {
      SetStatus("SetParams: No video stream detected");
      FilterLog("%s", m_statusText);
      return E_FAIL;
    }

    ExitDirectDraw();
    m_desktopWindow = GetDesktopWindow();
    if (!m_desktopWindow) FilterLog("SetParams: GetDesktopWindow returned null!");
    if (!InitDirectDraw()) {
      FilterLog("SetParams: InitDirectDraw failed!");
      return E_FAIL;
    }

    if (zoomTextOn) {
      DebugLine("SetParams ZTON");
      std::memset(&m_setArea, 0, sizeof m_setArea);
      m_setArea.size = sizeof m_setArea;
      m_setArea.owner = m_areaOwner;
      m_setArea.video = m_videoStream;
      m_setArea.type = static_cast<uint32_t>(code);
      // The owner's old area goes first; the short sleep lets ZoomText drop it
      // before the new one is set.
      RemoveZoomTextCctvArea(m_areaOwner);
      Sleep(1);
      const int result = SetZoomTextCctvArea2(&m_setArea);
      if (result != ZTCCTV_OK) {
        DescribeAreaResult(result, m_statusText, sizeof m_statusText);
        FilterLog("%s", m_statusText);
        return static_cast<HRESULT>(result);
      }
      FilterLog("CCTV AREA2 SET OK");
    } else if (m_kavreloStatus == KAVRELO_IS_RUNNING ||
               m_kavreloStatus == KAVRELO_NEW_API_IS_RUNNING) {
      DebugLine("SetParams KAVRELOON");
      // As with ZoomText's area: the old viewport goes before the new one is set.
      CCTV_ClearViewport();
      DebugLine("left = %ld , top = %ld , right = %ld , bottom = %ld ", m_area.left, m_area.top,
                m_area.right, m_area.bottom);
      CCTV_SetViewport(m_area.left, m_area.top, m_area.right, m_area.bottom, kViewportOptionA,
                       kViewportOptionB);
    } else {
      DebugLine("SetParams: Neither ZT nor Kavrelo on");
    }
  }

  m_mode = code;
  m_dx = dx;
  m_dy = dy;
  return S_OK;
}

bool ORBAProc::InitDirectDraw() {
  CAutoLock lock(&m_csParams);
  FilterLog("InitDirectDraw");
  bool answer = false;
  HRESULT hr = m_pDirectDraw ? S_OK : DirectDrawCreate(nullptr, &m_pDirectDraw, nullptr);
  if (FAILED(hr)) {
    // What a failed call left in its out-parameter is no reference: not released.
    m_pDirectDraw.Detach();
    SetStatus("DirectDrawCreate FAILED (%8.8lX)", static_cast<unsigned long>(hr));
    FilterLog("%s", m_statusText);
  } else if (FAILED(hr = m_pDirectDraw->SetCooperativeLevel(m_desktopWindow, DDSCL_NORMAL))) {
    SetStatus("IDirectDraw_SetCooperativeLevel FAILED (%8.8lX)", static_cast<unsigned long>(hr));
    FilterLog("IDirectDraw_SetCooperativeLevel FAILED ");
  } else {
    DDSURFACEDESC desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    // A surface of an earlier call is dropped, not leaked: & releases it first.
    hr = m_pDirectDraw->CreateSurface(&desc, &m_pPrimarySurface, nullptr);
    if (SUCCEEDED(hr)) {
      answer = true;
    } else {
      m_pPrimarySurface.Detach();  // as above: no reference to release
      SetStatus("IDirectDraw_CreateSurface(primary) FAILED (%8.8lX)",
                static_cast<unsigned long>(hr));
      FilterLog("IDirectDraw_CreateSurface(primary) FAILED ");
    }
  }
  SetStatus("InitDirectDraw exits with returnValue = %d", answer ? 1 : 0);
  FilterLog("%s", m_statusText);
  return answer;
}

void ORBAProc::ExitDirectDraw() {
  CAutoLock lock(&m_csParams);
  FilterLog("ExitDirectDraw entry");
  // The surface goes before the DirectDraw object that made it.
  m_pPrimarySurface.Reset();
  m_pDirectDraw.Reset();
}
