#pragma once
// The magnifier-area handles of the ORBAProc filter, for the program that hosts
// it. The owner identifies the owner of the magnifier's camera area (the viewer
// passes its window); the video stream is a non-zero value of the host that the
// filter passes to ZoomText unexamined. Both are 32-bit values, also on 64-bit
// Windows. The method order is the interface's binary layout: never reorder it.
#include <windows.h>

#include <unknwn.h>

// {D5E80C2F-F0E0-42C7-BE2C-6B9B919F2DFE}
inline const GUID IID_IORBAProcArea = {
    0xd5e80c2f, 0xf0e0, 0x42c7, {0xbe, 0x2c, 0x6b, 0x9b, 0x91, 0x9f, 0x2d, 0xfe}};

struct IORBAProcArea : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetAreaHandles(DWORD owner, DWORD videoStream) = 0;    // 3
  virtual HRESULT STDMETHODCALLTYPE GetAreaHandles(DWORD* owner, DWORD* videoStream) = 0;  // 4
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IORBAProcArea, 0xd5e80c2f, 0xf0e0, 0x42c7, 0xbe, 0x2c, 0x6b, 0x9b, 0x91, 0x9f, 0x2d,
                0xfe)
#endif
