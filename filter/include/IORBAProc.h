#pragma once
// The control interface of the ORBAProc filter and its class identifiers. The
// method order is the interface's binary layout: never reorder it.
#include <windows.h>

#include <unknwn.h>

#include "orba/Version.h"

// {A2F63A43-4E90-4D8D-85C2-26A799C950E3}
inline const GUID CLSID_ORBAProc = {
    0xa2f63a43, 0x4e90, 0x4d8d, {0x85, 0xc2, 0x26, 0xa7, 0x99, 0xc9, 0x50, 0xe3}};
// {6C54B635-ECAA-4757-B3A2-638A285E23E1}
inline const GUID CLSID_ORBAProcProperties = {
    0x6c54b635, 0xecaa, 0x4757, {0xb3, 0xa2, 0x63, 0x8a, 0x28, 0x5e, 0x23, 0xe1}};
// {E26F771A-355D-4FBF-8989-7CD0916DF484}
inline const GUID IID_IORBAProc = {
    0xe26f771a, 0x355d, 0x4fbf, {0x89, 0x89, 0x7c, 0xd0, 0x91, 0x6d, 0xf4, 0x84}};

// The filter's build number, reported by GetBuildNumber and in its log lines.
constexpr long kORBAProcBuildNumber = ORBAPROC_VERSION_BUILD;

// The codes of SetParams: the magnifier area's layout, its removal, and the
// Kavrelo magnifier's state as the host found it.
enum : long {
  kModeFull = 2,
  kModeLeft = 3,
  kModeTop = 4,
  kModeRight = 5,
  kModeBottom = 6,
  kModeOff = 7,
  kCodeRemoveArea = 100,
  kCodeKavreloEnabled = 101,
  kCodeKavreloDisabled = 102,
  kCodeKavreloNewApiEnabled = 103,
};

struct IORBAProc : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetReservedValues(long a, long b) = 0;           // 3
  virtual HRESULT STDMETHODCALLTYPE SetParams(long code, double dx, double dy) = 0;  // 4
  virtual HRESULT STDMETHODCALLTYPE GetParams(long* mode, double* dx, double* dy) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFlipHorizontal(long flip) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFlipHorizontal(long* flip) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFlipVertical(long flip) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFlipVertical(long* flip) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSpareFlag(long flag) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSpareFlag(long* flag) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetBuildNumber(long* build) = 0;  // 12
  virtual HRESULT STDMETHODCALLTYPE SetTakePicture(long request) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTakePicture(long* request) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsOutputConnected(long* connected) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatusText(char* text) = 0;  // 16
  virtual HRESULT STDMETHODCALLTYPE SetSavePictureAs(long request, HWND owner) = 0;
  virtual HRESULT STDMETHODCALLTYPE ToggleRecording(long unused) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetRecordFolder(const char* path) = 0;  // 19
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IORBAProc, 0xe26f771a, 0x355d, 0x4fbf, 0x89, 0x89, 0x7c, 0xd0, 0x91, 0x6d, 0xf4,
                0x84)
#endif
