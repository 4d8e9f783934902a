#pragma once
// ORBAProc: a transform filter on the capture branch that taps the camera's
// motion-JPEG stream. It stores samples as pictures and as the frame files of a
// recording and carries the magnifier-area control; the video passes unchanged.
#include <windows.h>

#include <ddraw.h>
#include <ocidl.h>

#include <cstdint>

#include "IORBAProc.h"
#include "IORBAProcArea.h"
#include "FilterPaths.h"
#include "SaveAsDialog.h"
#include "dshow_base/Streams.h"
#include "orba/ComPtr.h"
#include "orba/ZoomTextCctv.h"

class ORBAProc : public CTransformFilter,
                 public IORBAProc,
                 public IORBAProcArea,
                 public ISpecifyPropertyPages {
 public:
  static CUnknown* CALLBACK CreateInstance(LPUNKNOWN pUnk, HRESULT* phr);
  static const AMOVIESETUP_FILTER* SetupData();

  // Size of the status text, NUL included.
  static constexpr size_t kStatusBytes = 256;
  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
  ~ORBAProc() override;

  // IMediaFilter: an open Save As dialog is closed first.
  STDMETHODIMP Stop() override;

  // CTransformFilter
  HRESULT Transform(IMediaSample* pIn, IMediaSample* pOut) override;
  HRESULT CheckInputType(const CMediaType* mtIn) override;
  HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
  HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pProperties) override;
  HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
  const AMOVIESETUP_FILTER* GetSetupData() override { return SetupData(); }
  // A sample of a type the filter does not take is skipped; the tap never
  // stops the stream.
  bool SkipsRefusedSampleTypes() override { return true; }

  // A new media type announced by an input sample.
  HRESULT UpdateFormat(const AM_MEDIA_TYPE* pmt);

  // ISpecifyPropertyPages
  STDMETHODIMP GetPages(CAUUID* pPages) override;

  // IORBAProc
  STDMETHODIMP SetReservedValues(long a, long b) override;
  STDMETHODIMP SetParams(long code, double dx, double dy) override;
  STDMETHODIMP GetParams(long* mode, double* dx, double* dy) override;
  STDMETHODIMP SetFlipHorizontal(long flip) override;
  STDMETHODIMP GetFlipHorizontal(long* flip) override;
  STDMETHODIMP SetFlipVertical(long flip) override;
  STDMETHODIMP GetFlipVertical(long* flip) override;
  STDMETHODIMP SetSpareFlag(long flag) override;
  STDMETHODIMP GetSpareFlag(long* flag) override;
  STDMETHODIMP GetBuildNumber(long* build) override;
  STDMETHODIMP SetTakePicture(long request) override;
  STDMETHODIMP GetTakePicture(long* request) override;
  STDMETHODIMP IsOutputConnected(long* connected) override;
  STDMETHODIMP GetStatusText(char* text) override;
  STDMETHODIMP SetSavePictureAs(long request, HWND owner) override;
  STDMETHODIMP ToggleRecording(long unused) override;
  STDMETHODIMP SetRecordFolder(const char* path) override;

  // DirectDraw primary-surface check of a magnifier-area request.
  bool InitDirectDraw();
  void ExitDirectDraw();

  // IORBAProcArea: the handles that identify the area's owner and the video
  // stream to ZoomText; both 0 until the host sets them.
  STDMETHODIMP SetAreaHandles(DWORD owner, DWORD videoStream) override;
  STDMETHODIMP GetAreaHandles(DWORD* owner, DWORD* videoStream) override;

  // Read-only views for the module's own checks.
  RECT AreaRect();
  bool AreaActive();
  long KavreloStatus();
  bool HoldsDirectDraw();
  LONG FrameWidth();
  LONG FrameHeight();

 private:
  ORBAProc(LPUNKNOWN pUnk, HRESULT* phr);

  bool InputConnected() const { return m_pInput && m_pInput->IsConnected(); }
  // Keeps a copy of the type as the current input format; gives its
  // compression code when asked.
  HRESULT RecordInputFormat(const AM_MEDIA_TYPE& mt, DWORD* compression = nullptr);
  void SetStatus(const char* fmt, ...) __attribute__((format(gnu_printf, 2, 3)));
  void RecordingPass(const BYTE* data, long length);
  void LogRecordingCounts();
  void PicturePass(const BYTE* data, long length);
  HRESULT SetParamsLocked(long code, double dx, double dy);

  // Input format: an owned copy of the last accepted or announced type, and
  // views into it. Negotiation and QueryAccept record it on the application's
  // threads, samples on the streaming thread: all of it under m_csFormat.
  CCritSec m_csFormat;
  CMediaType m_inputType;
  const VIDEOINFOHEADER* m_pInputFormat = nullptr;
  const BITMAPINFOHEADER* m_pInputHeader = nullptr;
  CCritSec m_csParams;  // mode, dx, dy, the reserved values, status text
  LONG m_frameWidth = 0;
  LONG m_frameHeight = 0;
  long m_reservedA = 0;
  orba::ComPtr<IDirectDrawSurface> m_pPrimarySurface;
  orba::ComPtr<IDirectDraw> m_pDirectDraw;
  HWND m_desktopWindow = nullptr;
  long m_areaActive = 0;
  long m_kavreloStatus = 0;
  long m_reservedB = 0;
  CctvSetArea2 m_setArea = {};
  long m_mode = kModeOff;
  RECT m_area = {0, 0, 0, 0};
  double m_dx = 1.0;
  double m_dy = 1.0;
  volatile long m_flipHorizontal = 0;
  volatile long m_flipVertical = 0;
  volatile long m_spareFlag = 0;
  volatile long m_takePicture = 0;
  volatile long m_savePictureAs = 0;
  volatile long m_recording = 0;
  long m_recordingPrevious = 0;
  HWND volatile m_saveDialogOwner = nullptr;
  long m_frameCounter = 0;
  // Frames of the current recording stored whole, and the ones that were not.
  long m_framesWritten = 0;
  long m_framesFailed = 0;
  // The record folder is copied in by the control thread and read per sample
  // on the streaming thread; the lock keeps a reader from seeing half a path.
  CCritSec m_csFolder;
  char m_recordFolder[orba_filter::kPathBytes] = {};
  char m_statusText[kStatusBytes] = {};
  uint32_t m_videoStream = 0;
  uint32_t m_areaOwner = 0;
  // Last member: it goes first, so an open dialog is closed before the rest.
  orba_filter::SaveAsDialog m_saveAsDialog;
};
