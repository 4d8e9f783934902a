#include "ORBAProc.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "FilterLog.h"
#include "orba/ImagesDir.h"
#include "orba/Text.h"

namespace {

// The filter is inserted by class id, never by automatic graph building.
constexpr DWORD kMerit = MERIT_DO_NOT_USE;

const AMOVIESETUP_MEDIATYPE kPinTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_NULL}};
const AMOVIESETUP_PIN kPins[] = {
    {L"Input", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, L"Output", 1, kPinTypes},
    {L"Output", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, L"Input", 1, kPinTypes},
};
const AMOVIESETUP_FILTER kSetup = {&CLSID_ORBAProc, L"ORBA Proc", kMerit, 2, kPins, nullptr};

// The camera's samples vary in size; this is what a buffer must hold then.
constexpr LONG kVariableSampleBuffer = 100000;
constexpr LONG kBufferCount = 5;
// A buffer of fixed-size samples holds this many of them: a camera's motion-JPEG
// frame can be larger than the size it declares.
constexpr ULONGLONG kDeclaredSamplesPerBuffer = 4;

// Offset of the BITMAPINFOHEADER inside a VIDEOINFOHEADER.
constexpr size_t kHeaderOffset = offsetof(VIDEOINFOHEADER, bmiHeader);
static_assert(kHeaderOffset == 48, "VIDEOINFOHEADER layout");
static_assert(sizeof(VIDEOINFOHEADER) == 88, "VIDEOINFOHEADER layout");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER layout");

// What the control interface's getters do: hand a value out through the
// caller's pointer.
HRESULT HandOut(long value, long* out) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

bool HasVideoInfo(const AM_MEDIA_TYPE& mt) {
  return mt.formattype == FORMAT_VideoInfo && mt.cbFormat >= sizeof(VIDEOINFOHEADER) &&
         mt.pbFormat != nullptr;
}

}  // namespace

const AMOVIESETUP_FILTER* ORBAProc::SetupData() { return &kSetup; }

CUnknown* CALLBACK ORBAProc::CreateInstance(LPUNKNOWN pUnk, HRESULT* phr) {
  auto* filter = new (std::nothrow) ORBAProc(pUnk, phr);
  if (!filter && phr) *phr = E_OUTOFMEMORY;
  return filter;
}

ORBAProc::ORBAProc(LPUNKNOWN pUnk, HRESULT* phr) : CTransformFilter(nullptr, pUnk, CLSID_ORBAProc) {
  // The picture folder exists from here on; an existing one is fine.
  char folder[kImagesDirBytes];
  GetImagesDirPath(folder, sizeof folder);
  CreateDirectoryA(folder, nullptr);
  orba::CopyBounded(m_statusText, sizeof m_statusText, "NO ERROR");
  FilterLog("Filter created.");
  FilterLog("No error.");
  if (phr) *phr = S_OK;
}

ORBAProc::~ORBAProc() {
  if (m_mode != kModeOff) {
    RemoveZoomTextCctvArea(m_setArea.owner);
    ExitDirectDraw();
  } else if (HoldsDirectDraw()) {
    // A failed request can leave DirectDraw objects behind while the mode
    // stays off; they go with the filter.
    ExitDirectDraw();
  }
  FilterLog("Filter destroyed!");
}

STDMETHODIMP ORBAProc::Stop() {
  // Teardown, unplugging, a restart and minimising all stop the filter: none of
  // them may wait for a person answering the dialog.
  m_saveAsDialog.Close(orba_filter::SaveAsDialog::kCloseWaitMs);
  const HRESULT hr = CTransformFilter::Stop();
  // A recording switched off with no sample after it is counted here.
  CAutoLock lock(&m_csReceive);
  if (!m_recording && m_recordingPrevious) {
    LogRecordingCounts();
    m_recordingPrevious = 0;
  }
  return hr;
}

STDMETHODIMP ORBAProc::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IORBAProc) return GetInterface(static_cast<IORBAProc*>(this), ppv);
  if (riid == IID_IORBAProcArea) return GetInterface(static_cast<IORBAProcArea*>(this), ppv);
  if (riid == IID_ISpecifyPropertyPages) {
    return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
  }
  return CTransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

// ---- media types

HRESULT ORBAProc::CheckInputType(const CMediaType* mtIn) {
  if (!mtIn) return E_POINTER;
  if (mtIn->majortype == MEDIATYPE_Video && mtIn->subtype == MEDIASUBTYPE_MJPG &&
      HasVideoInfo(*mtIn)) {
    return S_OK;
  }
  FilterLog("VFW_E_TYPE_NOT_ACCEPTED");
  return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT ORBAProc::RecordInputFormat(const AM_MEDIA_TYPE& mt, DWORD* compression) {
  CAutoLock lock(&m_csFormat);
  // The type handed in may be a proposal or a sample's type that its owner
  // frees; the filter keeps its own copy.
  if (&mt != static_cast<const AM_MEDIA_TYPE*>(&m_inputType)) {
    const HRESULT hr = m_inputType.Set(mt);
    if (FAILED(hr)) return hr;
  }
  m_pInputFormat = reinterpret_cast<const VIDEOINFOHEADER*>(m_inputType.Format());
  m_pInputHeader = &m_pInputFormat->bmiHeader;
  m_frameWidth = m_pInputHeader->biWidth;
  m_frameHeight = m_pInputHeader->biHeight;
  if (compression) *compression = m_pInputHeader->biCompression;
  return S_OK;
}

LONG ORBAProc::FrameWidth() {
  CAutoLock lock(&m_csFormat);
  return m_frameWidth;
}

LONG ORBAProc::FrameHeight() {
  CAutoLock lock(&m_csFormat);
  return m_frameHeight;
}

HRESULT ORBAProc::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) {
  if (!mtIn || !mtOut) return E_POINTER;
  const HRESULT hr = CheckInputType(mtIn);
  if (FAILED(hr)) return hr;
  if (mtOut->formattype != FORMAT_VideoInfo) return E_INVALIDARG;
  if (!HasVideoInfo(*mtIn) || !HasVideoInfo(*mtOut)) return E_INVALIDARG;
  if (std::memcmp(mtIn->pbFormat + kHeaderOffset, mtOut->pbFormat + kHeaderOffset,
                  sizeof(BITMAPINFOHEADER)) != 0) {
    return E_INVALIDARG;
  }
  return RecordInputFormat(*mtIn);
}

HRESULT ORBAProc::GetMediaType(int iPosition, CMediaType* pMediaType) {
  if (!InputConnected()) return E_UNEXPECTED;
  if (iPosition < 0) return E_INVALIDARG;
  if (iPosition > 0) return VFW_S_NO_MORE_ITEMS;
  if (!pMediaType) return E_POINTER;
  return pMediaType->Set(m_pInput->CurrentMediaType());
}

HRESULT ORBAProc::DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pProperties) {
  if (!pAllocator || !pProperties) return E_POINTER;
  if (!InputConnected()) return E_UNEXPECTED;
  const CMediaType& in = m_pInput->CurrentMediaType();
  const ULONGLONG sampleSize = in.bFixedSizeSamples ? in.lSampleSize : 0;
  ULONGLONG size = kDeclaredSamplesPerBuffer * sampleSize;
  if (!in.bFixedSizeSamples && size < kVariableSampleBuffer) size = kVariableSampleBuffer;
  // A declared sample size whose buffer size no allocator can describe.
  if (size > static_cast<ULONGLONG>(MAXLONG)) return E_INVALIDARG;

  pProperties->cBuffers = kBufferCount;
  pProperties->cbBuffer = static_cast<LONG>(size);
  ALLOCATOR_PROPERTIES actual = {};
  const HRESULT hr = pAllocator->SetProperties(pProperties, &actual);
  if (FAILED(hr)) return hr;
  if (actual.cBuffers < kBufferCount || actual.cbBuffer < static_cast<LONG>(size)) return E_FAIL;
  return S_OK;
}

HRESULT ORBAProc::UpdateFormat(const AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  if (pmt->formattype != FORMAT_VideoInfo) {
    FilterLog("Invalid videoinfo");
    return E_INVALIDARG;
  }
  // The header is read whole, so the block must hold all of it.
  if (pmt->cbFormat < sizeof(VIDEOINFOHEADER) || !pmt->pbFormat) {
    FilterLog("Invalid bitmapinfosize");
    return E_FAIL;
  }
  DWORD compression = 0;
  const HRESULT hr = RecordInputFormat(*pmt, &compression);
  if (FAILED(hr)) return hr;
  if (compression > BI_PNG)
    FilterLog("Unknown image format %lX", static_cast<unsigned long>(compression));
  return S_OK;
}

// ---- property pages

STDMETHODIMP ORBAProc::GetPages(CAUUID* pPages) {
  if (!pPages) return E_POINTER;
  pPages->cElems = 1;
  pPages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
  if (!pPages->pElems) {
    pPages->cElems = 0;
    return E_OUTOFMEMORY;
  }
  pPages->pElems[0] = CLSID_ORBAProcProperties;
  return S_OK;
}

// ---- IORBAProc: plain stores and reads

void ORBAProc::SetStatus(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  // The texts are short; one that does not fit is cut, never overrun.
  std::vsnprintf(m_statusText, sizeof m_statusText, fmt, args);
  va_end(args);
}

STDMETHODIMP ORBAProc::SetReservedValues(long a, long b) {
  CAutoLock lock(&m_csParams);
  m_reservedA = a;
  m_reservedB = b;
  return S_OK;
}

STDMETHODIMP ORBAProc::GetParams(long* mode, double* dx, double* dy) {
  if (!mode || !dx || !dy) return E_POINTER;
  CAutoLock lock(&m_csParams);
  *mode = m_mode;
  *dx = m_dx;
  *dy = m_dy;
  return S_OK;
}

STDMETHODIMP ORBAProc::SetFlipHorizontal(long flip) {
  m_flipHorizontal = flip;
  return S_OK;
}

STDMETHODIMP ORBAProc::GetFlipHorizontal(long* flip) { return HandOut(m_flipHorizontal, flip); }

STDMETHODIMP ORBAProc::SetFlipVertical(long flip) {
  m_flipVertical = flip;
  return S_OK;
}

STDMETHODIMP ORBAProc::GetFlipVertical(long* flip) { return HandOut(m_flipVertical, flip); }

STDMETHODIMP ORBAProc::SetSpareFlag(long flag) {
  m_spareFlag = flag;
  return S_OK;
}

STDMETHODIMP ORBAProc::GetSpareFlag(long* flag) { return HandOut(m_spareFlag, flag); }

STDMETHODIMP ORBAProc::GetBuildNumber(long* build) { return HandOut(kORBAProcBuildNumber, build); }

STDMETHODIMP ORBAProc::SetTakePicture(long request) {
  m_takePicture = request;
  return S_OK;
}

STDMETHODIMP ORBAProc::GetTakePicture(long* request) { return HandOut(m_takePicture, request); }

STDMETHODIMP ORBAProc::IsOutputConnected(long* connected) {
  return HandOut((m_pOutput && m_pOutput->IsConnected()) ? 1 : 0, connected);
}

STDMETHODIMP ORBAProc::GetStatusText(char* text) {
  if (!text) return E_POINTER;
  // Written under the parameter lock by SetParams; read whole under it.
  CAutoLock lock(&m_csParams);
  std::memcpy(text, m_statusText, std::strlen(m_statusText) + 1);
  return S_OK;
}

STDMETHODIMP ORBAProc::SetSavePictureAs(long request, HWND owner) {
  m_saveDialogOwner = owner;
  m_savePictureAs = request;
  return S_OK;
}

STDMETHODIMP ORBAProc::ToggleRecording(long) {
  m_recording = m_recording ? 0 : 1;
  return S_OK;
}

STDMETHODIMP ORBAProc::SetRecordFolder(const char* path) {
  if (!path) return S_OK;
  // A folder that does not fit is refused whole: a cut path would name
  // another folder.
  const size_t length = strnlen(path, sizeof m_recordFolder);
  if (length >= sizeof m_recordFolder) {
    FilterLog("SetRecordFolder: path too long, folder kept");
    return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  }
  CAutoLock lock(&m_csFolder);
  std::memcpy(m_recordFolder, path, length + 1);
  return S_OK;
}

// ---- IORBAProcArea

STDMETHODIMP ORBAProc::SetAreaHandles(DWORD owner, DWORD videoStream) {
  CAutoLock lock(&m_csParams);
  m_areaOwner = owner;
  m_videoStream = videoStream;
  FilterLog("SetAreaHandles: owner 0x%lx, video stream 0x%lx", static_cast<unsigned long>(owner),
            static_cast<unsigned long>(videoStream));
  return S_OK;
}

STDMETHODIMP ORBAProc::GetAreaHandles(DWORD* owner, DWORD* videoStream) {
  if (!owner || !videoStream) return E_POINTER;
  CAutoLock lock(&m_csParams);
  *owner = m_areaOwner;
  *videoStream = m_videoStream;
  return S_OK;
}

// ---- read-only views

RECT ORBAProc::AreaRect() {
  CAutoLock lock(&m_csParams);
  return m_area;
}

bool ORBAProc::AreaActive() {
  CAutoLock lock(&m_csParams);
  return m_areaActive != 0;
}

long ORBAProc::KavreloStatus() {
  CAutoLock lock(&m_csParams);
  return m_kavreloStatus;
}

bool ORBAProc::HoldsDirectDraw() {
  CAutoLock lock(&m_csParams);
  return m_pDirectDraw || m_pPrimarySurface;
}
