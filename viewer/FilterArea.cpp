#include "FilterArea.h"

#include "IORBAProc.h"
#include "IORBAProcArea.h"
#include "TRV_CCTV.h"
#include "ViewerState.h"
#include "orba/ComPtr.h"
#include "orba/Log.h"

namespace {

// Only the results are logged: a refused area never disturbs the viewer.
void RequestArea(long code) {
  if (!g_viewer.pOrbaProc) return;
  long mode = 0;
  double dx = 1.0;
  double dy = 1.0;
  if (FAILED(g_viewer.pOrbaProc->GetParams(&mode, &dx, &dy))) dx = dy = 1.0;
  const HRESULT hr = g_viewer.pOrbaProc->SetParams(code, dx, dy);
  DebugLine("Magnifier area %ld: hr=0x%x", code, static_cast<unsigned>(hr));
}

}  // namespace

uint32_t ViewerVideoStreamId() { return static_cast<uint32_t>(GetCurrentProcessId()); }

long AreaCodeForViewMode(int32_t viewMode) {
  switch (viewMode) {
    case kViewTop:
      return kModeTop;
    case kViewBottom:
      return kModeBottom;
    case kViewLeft:
      return kModeLeft;
    case kViewRight:
      return kModeRight;
    case kViewHidden:
      return kModeOff;
    default:
      return kModeFull;
  }
}

long KavreloCodeForStatus(int32_t status) {
  if (status == KAVRELO_IS_RUNNING) return kCodeKavreloEnabled;
  if (status == KAVRELO_NEW_API_IS_RUNNING) return kCodeKavreloNewApiEnabled;
  return kCodeKavreloDisabled;
}

void TellFilterAreaOwner() {
  if (!g_viewer.pOrbaProcFilter) return;
  orba::ComPtr<IORBAProcArea> area;
  if (SUCCEEDED(g_viewer.pOrbaProcFilter->QueryInterface(IID_IORBAProcArea,
                                                         reinterpret_cast<void**>(&area))) &&
      area) {
    // A window handle is a 32-bit value on every Windows, also in a 64-bit process.
    const DWORD owner = static_cast<DWORD>(reinterpret_cast<uintptr_t>(g_viewer.hwndViewer));
    const HRESULT hr = area->SetAreaHandles(owner, ViewerVideoStreamId());
    DebugLine("SetAreaHandles: hr=0x%x", static_cast<unsigned>(hr));
  } else {
    DebugLine("ORBAProc offers no area handles");
  }
  RequestArea(KavreloCodeForStatus(g_viewer.kavreloStatus));
}

void SetFilterAreaForLayout(int32_t viewMode) {
  if (g_viewer.usingZTRenderer) return;
  RequestArea(AreaCodeForViewMode(viewMode));
}

void RemoveFilterArea() {
  if (g_viewer.usingZTRenderer) return;
  RequestArea(kCodeRemoveArea);
}
