#pragma once
// The viewer's one process-wide state record. It starts zeroed and survives a
// restart except where the start-up pass recreates a field. COM references are
// plain pointers: the teardown releases and clears each one explicitly, so that
// nothing is released after COM has been uninitialised.
#include <windows.h>

#include <dshow.h>
// The mixing renderer's interfaces need the DirectShow types above.
#include <d3d9.h>
#include <vmr9.h>

#include <cstdint>

#include "IORBAProc.h"
#include "PreviewChain.h"
#include "orba/ZoomTextCctvRenderer.h"

class AviWriter;

// Screen layouts of the viewer window (viewMode).
enum ViewMode : int32_t {
  kViewTop = 0,
  kViewBottom = 1,
  kViewLeft = 2,
  kViewRight = 3,
  kViewHidden = 4,
  kViewFull = 5,
};

// displayDriverType
enum : int32_t {
  kDriverUndetected = 0,
  kDriverXDDM = 1,
  kDriverWDDM = 2,
};

// The record handed to the frames-to-video conversion thread.
struct ConvertParams {
  AviWriter* writer;
  char* frameFolder;             // videoTempFolder
  char* finalPath;               // videoFinalPath
  void* decompressor;            // decomp
  unsigned char* fileBuffer;     // tempBufferJPEG
  unsigned char* pictureBuffer;  // tempBufferRGB
};

constexpr size_t kFrameBufferBytes = 10485760;  // 0xA00000
constexpr size_t kVideoPathBytes = 1004;

struct CameraResolution {
  int32_t width;
  int32_t height;
};

struct ViewerState {
  // Process and window.
  HINSTANCE hInstance;
  HWND hwndViewer;
  UINT zoomTextStateChangeMsg;  // 0 when no restart message is armed
  uint32_t ignoreDestroyOnce;
  uint32_t restartRequested;  // the loop ended for a restart, not for quit
  int showCommand;            // as given to the entry point

  // Platform and magnifiers.
  uint32_t osMajor;
  uint32_t osMinor;
  uint32_t osBuild;
  uint16_t osServicePackMajor;
  uint16_t osServicePackMinor;
  int32_t displayDriverType;
  uint8_t zoomTextMagnifying;
  int32_t kavreloStatus;
  uint32_t kavreloSeen;
  uint32_t usingZTRenderer;
  uint32_t ztAreaShown;
  RECT ztArea;  // the last screen area sent to ZoomText's renderer

  // Layout.
  int32_t viewMode;
  uint32_t topBottomToggle;
  uint32_t rightLeftToggle;
  uint32_t hideFullToggle;

  // Camera, recording and frames.
  uint8_t skipFrames;
  uint8_t recording;
  HANDLE hConvertThread;
  HANDLE hRecoveryThread;  // converts frame files left by a cut-off recording, or null
  ConvertParams convertParams;
  void* decomp;  // tjhandle
  unsigned char* tempBufferRGB;
  unsigned char* tempBufferJPEG;
  CameraResolution cameraRes;
  char videoTempFolder[kVideoPathBytes];
  char videoFinalPath[kVideoPathBytes];
  AviWriter* aviWriter;

  // The capture graph and the camera.
  IGraphBuilder* pGraph;
  ICaptureGraphBuilder2* pCaptureBuilder;
  IMediaControl* pMediaControl;
  IMediaEventEx* pMediaEvent;
  IVideoWindow* pVideoWindow;
  IBaseFilter* pSrcFilter;         // the camera's capture filter
  IKsPropertySet* pCameraControl;  // the camera's property set (commands)
  IORBAProc* pOrbaProc;
  IBaseFilter* pOrbaProcFilter;  // the processing filter as created
  IBaseFilter* pSmartTee;
  IBaseFilter* pNullRenderer;
  IBaseFilter* pMixRenderer;
  IVMRWindowlessControl9* pWindowlessControl;
  IVMRWindowlessControl9* pPaintControl;  // copy of pWindowlessControl, no own reference
  PreviewChain previewChain;              // kept from pass to pass
  IBaseFilter* ZT_RenderFilter;
  // ZoomText's CCTV interface, version 2 if offered, else 1; holds the reference.
  IZoomTextCCTV* g_pZTCCTV2;
  // The version-2 interface alone, or null. When set it is the same object as
  // g_pZTCCTV2 and holds no reference of its own: release g_pZTCCTV2 only.
  IZoomTextCCTV2* pZTCCTV2Only;
  DWORD rotCookie;
  int32_t graphState;  // State_Stopped or State_Running
};

extern ViewerState g_viewer;

// Messages and identifiers the viewer shares between its parts.
constexpr UINT kCctvNotifyMessage = WM_USER + 100;  // 1124, handed to CCTV_Init
constexpr UINT_PTR kReleaseTimerId = 8740;          // 0x2224
constexpr UINT kGraphNotifyMessage = WM_APP + 1;    // 0x8001
// Posted to the viewer window when the last open error box has closed.
constexpr UINT kErrorBoxClosedMessage = WM_APP + 2;  // 0x8002
extern const char kViewerClassName[];                // "Orba Viewer"
extern const char kViewerTitle[];                    // "ORBA"
