// TRV_CCTV.dll: the exported names (see TRV_CCTV.def) over the library's logic.
#include "TRV_CCTV.h"

#include "CctvCore.h"

// All state is set up by CCTV_Init; loading and unloading need nothing.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

int WINAPI CCTV_Init(HWND notifyWindow, UINT notifyMessage) {
  return trv_cctv::Init(notifyWindow, notifyMessage);
}

DWORD WINAPI CCTV_Close(void) { return trv_cctv::Close(); }

int WINAPI CCTV_SetViewport(int left, int top, int right, int bottom, int optionA, int optionB) {
  return trv_cctv::SetViewport(left, top, right, bottom, optionA, optionB);
}

DWORD WINAPI CCTV_ClearViewport(void) { return trv_cctv::ClearViewport(); }

void WINAPI CCTV_StartRender(DWORD value) { trv_cctv::StartRender(value); }

void WINAPI CCTV_StopRender(void) { trv_cctv::StopRender(); }

void WINAPI CCTV_BitBlt(HDC destination, int x, int y, HBITMAP bitmap, int width, int height,
                        int sourceX, int sourceY) {
  trv_cctv::DriverBitBlt(destination, x, y, bitmap, width, height, sourceX, sourceY);
}

void WINAPI CCTV_StretchBlt(HDC destination, int x, int y, int width, int height, HBITMAP bitmap,
                            int sourceX, int sourceY, int sourceWidth, int sourceHeight) {
  trv_cctv::DriverStretchBlt(destination, x, y, width, height, bitmap, sourceX, sourceY,
                             sourceWidth, sourceHeight);
}
