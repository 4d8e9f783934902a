#include <cstring>

#include "SimCamFilter.h"
#include "orba/MediaType.h"
#include "simcam/SimCamIds.h"

namespace simcam {
namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;
// Buffers in the shared allocator: one being filled, the tee's copies for its two
// branches and what renderers hold on to.
constexpr long kMinBuffers = 6;

void BuildType(CMediaType* mt, REFERENCE_TIME frameInterval) {
  mt->InitMediaType();
  mt->SetType(&MEDIATYPE_Video);
  mt->SetSubtype(&MEDIASUBTYPE_MJPG);
  mt->SetFormatType(&FORMAT_VideoInfo);
  mt->SetTemporalCompression(FALSE);
  // Each JPEG has its own size; lSampleSize only says how large one can get.
  mt->SetVariableSize();
  mt->lSampleSize = kSizeImage;
  auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  if (!vih) return;
  std::memset(vih, 0, sizeof *vih);
  vih->AvgTimePerFrame = frameInterval;
  vih->dwBitRate = static_cast<DWORD>(static_cast<ULONGLONG>(kSizeImage) * 8 * kUnitsPerSecond /
                                      static_cast<ULONGLONG>(frameInterval));
  vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih->bmiHeader.biWidth = kWidth;
  vih->bmiHeader.biHeight = kHeight;
  vih->bmiHeader.biPlanes = 1;
  vih->bmiHeader.biBitCount = kBitCount;
  vih->bmiHeader.biCompression = MAKEFOURCC('M', 'J', 'P', 'G');
  vih->bmiHeader.biSizeImage = kSizeImage;
}

const VIDEOINFOHEADER* VideoInfo(const AM_MEDIA_TYPE* mt) {
  if (!mt || mt->formattype != FORMAT_VideoInfo || mt->cbFormat < sizeof(VIDEOINFOHEADER) ||
      !mt->pbFormat) {
    return nullptr;
  }
  return reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
}

}  // namespace

CSimCamPin::CSimCamPin(CSimCamFilter* filter, CCritSec* lock, HRESULT* phr, uint32_t frameRate)
    : CBaseOutputPin(nullptr, filter, lock, phr, kCapturePinName),
      filter_(filter),
      frameInterval_(kUnitsPerSecond / (frameRate ? frameRate : kDefaultFrameRate)) {}

STDMETHODIMP CSimCamPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IAMStreamConfig) return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
  if (riid == IID_IKsPropertySet) return GetInterface(static_cast<IKsPropertySet*>(this), ppv);
  return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CSimCamPin::GetMediaType(int iPosition, CMediaType* pMediaType) {
  if (iPosition < 0) return E_INVALIDARG;
  if (iPosition > 0) return VFW_S_NO_MORE_ITEMS;
  if (!pMediaType) return E_POINTER;
  BuildType(pMediaType, frameInterval_);
  return pMediaType->FormatLength() == sizeof(VIDEOINFOHEADER) ? S_OK : E_OUTOFMEMORY;
}

HRESULT CSimCamPin::CheckMediaType(const CMediaType* pmt) {
  const VIDEOINFOHEADER* vih = VideoInfo(pmt);
  if (!vih || *pmt->Type() != MEDIATYPE_Video || *pmt->Subtype() != MEDIASUBTYPE_MJPG) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  const BITMAPINFOHEADER& bmi = vih->bmiHeader;
  if (bmi.biWidth != kWidth || bmi.biHeight != kHeight ||
      bmi.biCompression != MAKEFOURCC('M', 'J', 'P', 'G')) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return S_OK;
}

HRESULT CSimCamPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) {
  if (!pAlloc || !pProp) return E_POINTER;
  if (pProp->cBuffers < kMinBuffers) pProp->cBuffers = kMinBuffers;
  if (pProp->cbBuffer < static_cast<long>(kSizeImage))
    pProp->cbBuffer = static_cast<long>(kSizeImage);
  if (pProp->cbAlign <= 0) pProp->cbAlign = 1;
  ALLOCATOR_PROPERTIES actual = {};
  const HRESULT hr = pAlloc->SetProperties(pProp, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < static_cast<long>(kSizeImage) ? E_FAIL : S_OK;
}

HRESULT CSimCamPin::Active() {
  HRESULT hr = CBaseOutputPin::Active();
  if (FAILED(hr)) return hr;
  return stream_.Start(this, filter_->CameraOptions());
}

HRESULT CSimCamPin::Inactive() {
  // The thread itself is ended by the filter's Stop, outside the filter lock.
  stream_.SetRunning(false, nullptr, 0);
  return CBaseOutputPin::Inactive();
}

// ---- IAMStreamConfig ----

STDMETHODIMP CSimCamPin::SetFormat(AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  CAutoLock lock(m_pLock);
  const CMediaType* type = static_cast<const CMediaType*>(pmt);
  if (CheckMediaType(type) != S_OK) return VFW_E_INVALIDMEDIATYPE;
  REFERENCE_TIME interval = VideoInfo(pmt)->AvgTimePerFrame;
  if (interval == 0) interval = frameInterval_;
  if (interval < kUnitsPerSecond / kMaxFrameRate || interval > kUnitsPerSecond / kMinFrameRate) {
    return VFW_E_INVALIDMEDIATYPE;
  }
  if (interval == frameInterval_) return S_OK;
  // The rate is part of the connected type; it changes only between connections.
  if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
  frameInterval_ = interval;
  IncrementTypeVersion();
  return S_OK;
}

STDMETHODIMP CSimCamPin::GetFormat(AM_MEDIA_TYPE** ppmt) {
  if (!ppmt) return E_POINTER;
  CAutoLock lock(m_pLock);
  CMediaType current;
  if (IsConnected()) {
    current = m_mt;
  } else {
    GetMediaType(0, &current);
  }
  *ppmt = orba::CreateMediaTypeCopy(&current);
  return *ppmt ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CSimCamPin::GetNumberOfCapabilities(int* piCount, int* piSize) {
  if (!piCount || !piSize) return E_POINTER;
  *piCount = 1;
  *piSize = sizeof(VIDEO_STREAM_CONFIG_CAPS);
  return S_OK;
}

STDMETHODIMP CSimCamPin::GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) {
  if (!ppmt || !pSCC) return E_POINTER;
  *ppmt = nullptr;
  if (iIndex < 0) return E_INVALIDARG;
  if (iIndex > 0) return S_FALSE;
  CMediaType type;
  HRESULT hr = GetMediaType(0, &type);
  if (FAILED(hr)) return hr;
  VIDEO_STREAM_CONFIG_CAPS caps = {};
  caps.guid = FORMAT_VideoInfo;
  caps.InputSize = {kWidth, kHeight};
  caps.MinCroppingSize = caps.MaxCroppingSize = caps.InputSize;
  caps.CropGranularityX = caps.CropGranularityY = 1;
  caps.CropAlignX = caps.CropAlignY = 1;
  caps.MinOutputSize = caps.MaxOutputSize = caps.InputSize;
  caps.MinFrameInterval = kUnitsPerSecond / kMaxFrameRate;
  caps.MaxFrameInterval = kUnitsPerSecond / kMinFrameRate;
  caps.MinBitsPerSecond = static_cast<LONG>(kSizeImage / 4 * 8 * kMinFrameRate);
  caps.MaxBitsPerSecond =
      static_cast<LONG>(static_cast<ULONGLONG>(kSizeImage) * 8 * kMaxFrameRate / 4);
  std::memcpy(pSCC, &caps, sizeof caps);
  *ppmt = orba::CreateMediaTypeCopy(&type);
  return *ppmt ? S_OK : E_OUTOFMEMORY;
}

// ---- IKsPropertySet (pin category) ----

STDMETHODIMP CSimCamPin::Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) {
  return E_PROP_ID_UNSUPPORTED;
}

STDMETHODIMP CSimCamPin::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID, DWORD, LPVOID pPropData,
                             DWORD cbPropData, DWORD* pcbReturned) {
  if (guidPropSet != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (dwPropID != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (pcbReturned) *pcbReturned = sizeof(GUID);
  // Without a buffer the caller only asks for the size.
  if (!pPropData) return pcbReturned ? S_OK : E_POINTER;
  if (cbPropData < sizeof(GUID)) return E_UNEXPECTED;
  std::memcpy(pPropData, &PIN_CATEGORY_CAPTURE, sizeof(GUID));
  return S_OK;
}

STDMETHODIMP CSimCamPin::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) {
  if (guidPropSet != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (dwPropID != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (pTypeSupport) *pTypeSupport = KSPROPERTY_SUPPORT_GET;
  return S_OK;
}

}  // namespace simcam
