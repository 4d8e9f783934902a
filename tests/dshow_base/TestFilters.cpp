#include "TestFilters.h"

#include <cstring>
#include <new>

namespace dshow_test {

// {6E0A3F10-41C2-4D7B-8F3A-1B2C3D4E5F60}
const GUID CLSID_TestPushSource = {
    0x6e0a3f10, 0x41c2, 0x4d7b, {0x8f, 0x3a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f, 0x60}};
// {6E0A3F10-41C2-4D7B-8F3A-1B2C3D4E5F61}
const GUID CLSID_TestRecordingSink = {
    0x6e0a3f10, 0x41c2, 0x4d7b, {0x8f, 0x3a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f, 0x61}};

void MakeMjpgType(CMediaType* mt, LONG width, LONG height) {
  mt->InitMediaType();
  mt->SetType(&MEDIATYPE_Video);
  mt->SetSubtype(&MEDIASUBTYPE_MJPG);
  mt->SetFormatType(&FORMAT_VideoInfo);
  mt->SetVariableSize();
  auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  std::memset(vih, 0, sizeof *vih);
  vih->AvgTimePerFrame = 333333;
  vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih->bmiHeader.biWidth = width;
  vih->bmiHeader.biHeight = height;
  vih->bmiHeader.biPlanes = 1;
  vih->bmiHeader.biBitCount = 24;
  vih->bmiHeader.biCompression = MAKEFOURCC('M', 'J', 'P', 'G');
  vih->bmiHeader.biSizeImage = static_cast<DWORD>(width * height * 3);
}

// ---- source ----

CPushSourcePin::CPushSourcePin(CPushSource* filter, CCritSec* lock, HRESULT* phr)
    : CBaseOutputPin(nullptr, filter, lock, phr, L"Out") {}

HRESULT CPushSourcePin::GetMediaType(int iPosition, CMediaType* pMediaType) {
  if (iPosition < 0) return E_INVALIDARG;
  if (iPosition > 1) return VFW_S_NO_MORE_ITEMS;
  if (iPosition == 0) {
    MakeMjpgType(pMediaType, 1280, 720);
  } else {
    MakeMjpgType(pMediaType, 640, 480);
  }
  return S_OK;
}

HRESULT CPushSourcePin::CheckMediaType(const CMediaType* pmt) {
  for (int i = 0; i < 2; ++i) {
    CMediaType offered;
    GetMediaType(i, &offered);
    if (offered == *pmt) return S_OK;
  }
  return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CPushSourcePin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) {
  pProp->cBuffers = 2;
  pProp->cbBuffer = 200000;
  ALLOCATOR_PROPERTIES actual = {};
  return pAlloc->SetProperties(pProp, &actual);
}

HRESULT CPushSourcePin::Push(const SampleDesc& desc) {
  IMediaSample* sample = nullptr;
  HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  std::memcpy(data, desc.data.data(), desc.data.size());
  sample->SetActualDataLength(static_cast<long>(desc.data.size()));
  REFERENCE_TIME start = desc.start;
  REFERENCE_TIME stop = desc.stop;
  if (desc.hasTime) sample->SetTime(&start, desc.hasStop ? &stop : nullptr);
  if (desc.hasMediaTime) {
    LONGLONG ms = desc.mediaStart;
    LONGLONG me = desc.mediaStop;
    sample->SetMediaTime(&ms, &me);
  }
  sample->SetSyncPoint(desc.syncPoint);
  sample->SetPreroll(desc.preroll);
  sample->SetDiscontinuity(desc.discontinuity);
  hr = Deliver(sample);
  sample->Release();
  return hr;
}

CPushSource::CPushSource() : CBaseFilter(nullptr, nullptr, &lock_, CLSID_TestPushSource) {
  HRESULT hr = S_OK;
  pin_ = new CPushSourcePin(this, &lock_, &hr);
}

CPushSource::~CPushSource() { delete pin_; }

// ---- sink ----

CRecordingSinkPin::CRecordingSinkPin(CRecordingSink* filter, CCritSec* lock, HRESULT* phr)
    : CBaseInputPin(nullptr, filter, lock, phr, L"In"), sink_(filter) {}

HRESULT CRecordingSinkPin::CheckMediaType(const CMediaType* pmt) {
  return *pmt->Type() == MEDIATYPE_Video && *pmt->Subtype() == MEDIASUBTYPE_MJPG
             ? S_OK
             : VFW_E_TYPE_NOT_ACCEPTED;
}

STDMETHODIMP CRecordingSinkPin::GetAllocator(IMemAllocator** ppAllocator) {
  if (!ppAllocator) return E_POINTER;
  if (!sink_->OffersAllocator()) {
    // Like a renderer without an allocator: only one handed to it is there.
    CAutoLock lock(m_pLock);
    *ppAllocator = m_pAllocator;
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    m_pAllocator->AddRef();
    return S_OK;
  }
  return CBaseInputPin::GetAllocator(ppAllocator);
}

STDMETHODIMP CRecordingSinkPin::Receive(IMediaSample* pSample) {
  HRESULT hr = CBaseInputPin::Receive(pSample);
  if (hr != S_OK) return hr;
  ReceivedSample r;
  BYTE* data = nullptr;
  pSample->GetPointer(&data);
  r.data.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(pSample->GetActualDataLength()));
  r.timeResult = pSample->GetTime(&r.start, &r.stop);
  r.mediaTimeResult = pSample->GetMediaTime(&r.mediaStart, &r.mediaStop);
  r.syncPoint = pSample->IsSyncPoint() == S_OK;
  r.preroll = pSample->IsPreroll() == S_OK;
  r.discontinuity = pSample->IsDiscontinuity() == S_OK;
  CAutoLock lock(&sink_->samplesLock_);
  sink_->samples_.push_back(r);
  return S_OK;
}

CRecordingSink::CRecordingSink(bool offersAllocator)
    : CBaseFilter(nullptr, nullptr, &lock_, CLSID_TestRecordingSink),
      offersAllocator_(offersAllocator) {
  HRESULT hr = S_OK;
  pin_ = new CRecordingSinkPin(this, &lock_, &hr);
}

CRecordingSink::~CRecordingSink() { delete pin_; }

std::vector<ReceivedSample> CRecordingSink::Samples() {
  CAutoLock lock(&samplesLock_);
  return samples_;
}

size_t CRecordingSink::Count() {
  CAutoLock lock(&samplesLock_);
  return samples_.size();
}

}  // namespace dshow_test
