#pragma once
// ZoomText's CCTV renderer as the viewer uses it: the renderer's class and its
// two control interfaces. They belong to ZoomText; only the slots the viewer
// calls are given meaning here, and the method order is the binary layout that
// ZoomText fixes: never reorder it.
#include <windows.h>

#include <unknwn.h>

// {A23E26CA-938B-46F6-81A8-50D9717C7C4E}
inline const GUID CLSID_ZT_CCTV_Renderer = {
    0xa23e26ca, 0x938b, 0x46f6, {0x81, 0xa8, 0x50, 0xd9, 0x71, 0x7c, 0x7c, 0x4e}};
// The version-1 control interface. {77CA0E18-A140-41B4-9D78-68228F919E77}
inline const GUID IID_IZoomTextCCTV = {
    0x77ca0e18, 0xa140, 0x41b4, {0x9d, 0x78, 0x68, 0x22, 0x8f, 0x91, 0x9e, 0x77}};
// {27EAF594-6230-423C-8676-BE410DD4C7CE}
inline const GUID IID_IZoomTextCCTV2 = {
    0x27eaf594, 0x6230, 0x423c, {0x86, 0x76, 0xbe, 0x41, 0x0d, 0xd4, 0xc7, 0xce}};

// Version 1. The viewer holds the renderer through this shape whichever version
// it got, and calls slots 3 to 6 only.
struct IZoomTextCCTV : public IUnknown {
  // The screen area of the picture (left, top, right, bottom, screen pixels).
  virtual HRESULT STDMETHODCALLTYPE SetCCTVArea(RECT* area) = 0;  // 3
  // 1 shows the area, 0 hides it.
  virtual HRESULT STDMETHODCALLTYPE ShowCCTVArea(LONG show) = 0;  // 4
  // S_OK when a ZoomText that works with this renderer runs.
  virtual HRESULT STDMETHODCALLTYPE IsCompatibleZoomTextRunning() = 0;  // 5
  // S_OK when that ZoomText has the CCTV feature enabled. (ZoomText's spelling.)
  virtual HRESULT STDMETHODCALLTYPE IsZoomTextAnabled() = 0;  // 6
};

// Version 2: version 1 plus the area's size and the part of the camera frame.
struct IZoomTextCCTV2 : public IZoomTextCCTV {
  // Not used by the viewer; declared so that the following slots land right.
  virtual HRESULT STDMETHODCALLTYPE ReservedSlot7() = 0;  // 7
  // The size of the screen area (width, height).
  virtual HRESULT STDMETHODCALLTYPE SetCCTVAreaSize(SIZE* size) = 0;  // 8
  // The part of the camera frame to show, in camera pixels.
  virtual HRESULT STDMETHODCALLTYPE SetCameraPart(RECT* part) = 0;  // 9
};

static_assert(sizeof(RECT) == 16 && sizeof(SIZE) == 8 && sizeof(LONG) == 4,
              "the renderer takes 32-bit coordinates");

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IZoomTextCCTV, 0x77ca0e18, 0xa140, 0x41b4, 0x9d, 0x78, 0x68, 0x22, 0x8f, 0x91, 0x9e,
                0x77)
__CRT_UUID_DECL(IZoomTextCCTV2, 0x27eaf594, 0x6230, 0x423c, 0x86, 0x76, 0xbe, 0x41, 0x0d, 0xd4,
                0xc7, 0xce)
#endif
