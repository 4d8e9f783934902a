// PLACEHOLDER, compiled only while the build has no TRV_CCTV library: the
// answers of TRV_CCTV when no Kavrelo magnifier runs.
#include "TRV_CCTV.h"

int WINAPI CCTV_Init(HWND, UINT) { return KAVRELO_IS_NOT_RUNNING; }

DWORD WINAPI CCTV_Close(void) { return 0; }
