#pragma once
// The exported interface of TRV_CCTV.dll, through which a camera program
// cooperates with a running Kavrelo screen magnifier. Bound at load time by name.
#include <windows.h>

// Plain declarations: callers link the import library, and the names are
// exported undecorated through the library's .def file.
#define TRV_CCTV_API extern "C"

// CCTV_Init results.
enum : int {
  KAVRELO_IS_NOT_RUNNING = 0,
  KAVRELO_API_NOT_SUPPORTED = 1,
  KAVRELO_IS_RUNNING = 2,
  KAVRELO_NEW_API_IS_RUNNING = 3,
};

TRV_CCTV_API int WINAPI CCTV_Init(HWND notifyWindow, UINT notifyMessage);
TRV_CCTV_API DWORD WINAPI CCTV_Close(void);
TRV_CCTV_API int WINAPI CCTV_SetViewport(int left, int top, int right, int bottom, int optionA,
                                         int optionB);
TRV_CCTV_API DWORD WINAPI CCTV_ClearViewport(void);
TRV_CCTV_API void WINAPI CCTV_StartRender(DWORD value);
TRV_CCTV_API void WINAPI CCTV_StopRender(void);
TRV_CCTV_API void WINAPI CCTV_BitBlt(HDC destination, int x, int y, HBITMAP bitmap, int width,
                                     int height, int sourceX, int sourceY);
TRV_CCTV_API void WINAPI CCTV_StretchBlt(HDC destination, int x, int y, int width, int height,
                                         HBITMAP bitmap, int sourceX, int sourceY, int sourceWidth,
                                         int sourceHeight);
