#include "TestFilters.h"

#include <cstring>

namespace orba_test {

namespace {

// {6E0A3F10-41C2-4D7B-8F3A-1B2C3D4E5F60}
const GUID kClsidPushSource = {
    0x6e0a3f10, 0x41c2, 0x4d7b, {0x8f, 0x3a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f, 0x60}};
// {6E0A3F10-41C2-4D7B-8F3A-1B2C3D4E5F61}
const GUID kClsidRecordingSink = {
    0x6e0a3f10, 0x41c2, 0x4d7b, {0x8f, 0x3a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f, 0x61}};

bool IsMjpgVideo(const AM_MEDIA_TYPE& mt) {
  return mt.majortype == MEDIATYPE_Video && mt.subtype == MEDIASUBTYPE_MJPG;
}

}  // namespace

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
    : CBaseOutputPin(nullptr, filter, lock, phr, L"Out"), source_(filter) {}

HRESULT CPushSourcePin::GetMediaType(int iPosition, CMediaType* pMediaType) {
  if (iPosition < 0) return E_INVALIDARG;
  const std::vector<CMediaType>& offered = source_->Offered();
  if (static_cast<size_t>(iPosition) >= offered.size()) return VFW_S_NO_MORE_ITEMS;
  return pMediaType->Set(offered[static_cast<size_t>(iPosition)]);
}

HRESULT CPushSourcePin::CheckMediaType(const CMediaType* pmt) {
  for (const CMediaType& offered : source_->Offered()) {
    if (offered == *pmt) return S_OK;
  }
  return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CPushSourcePin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) {
  pProp->cBuffers = 2;
  pProp->cbBuffer = source_->BufferBytes();
  ALLOCATOR_PROPERTIES actual = {};
  const HRESULT hr = pAlloc->SetProperties(pProp, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < pProp->cbBuffer ? E_FAIL : S_OK;
}

HRESULT CPushSourcePin::Push(const SampleDesc& desc) {
  IMediaSample* sample = nullptr;
  HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  if (static_cast<size_t>(sample->GetSize()) < desc.data.size()) {
    sample->Release();
    return E_OUTOFMEMORY;
  }
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
  if (desc.mediaType) sample->SetMediaType(const_cast<AM_MEDIA_TYPE*>(desc.mediaType));
  hr = Deliver(sample);
  sample->Release();
  return hr;
}

CPushSource::CPushSource()
    : CBaseFilter(nullptr, nullptr, &lock_, kClsidPushSource), offered_(2), bufferBytes_(200000) {
  MakeMjpgType(&offered_[0], 1280, 720);
  MakeMjpgType(&offered_[1], 640, 480);
  HRESULT hr = S_OK;
  pin_ = new CPushSourcePin(this, &lock_, &hr);
}

CPushSource::CPushSource(const AM_MEDIA_TYPE& offered, long bufferBytes)
    : CBaseFilter(nullptr, nullptr, &lock_, kClsidPushSource),
      offered_(1, CMediaType(offered)),
      bufferBytes_(bufferBytes) {
  HRESULT hr = S_OK;
  pin_ = new CPushSourcePin(this, &lock_, &hr);
}

CPushSource::~CPushSource() { delete pin_; }

HRESULT CPushSource::Push(const std::string& bytes, const AM_MEDIA_TYPE* announce) {
  SampleDesc desc;
  desc.data = bytes;
  desc.hasTime = false;
  desc.syncPoint = true;
  desc.mediaType = announce;
  return pin_->Push(desc);
}

// ---- sink ----

CRecordingSinkPin::CRecordingSinkPin(CRecordingSink* filter, CCritSec* lock, HRESULT* phr)
    : CBaseInputPin(nullptr, filter, lock, phr, L"In"), sink_(filter) {}

HRESULT CRecordingSinkPin::CheckMediaType(const CMediaType* pmt) {
  return sink_->accept_(*pmt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
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
  const long length = pSample->GetActualDataLength();
  r.data.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(length < 0 ? 0 : length));
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
    : CRecordingSink(offersAllocator, IsMjpgVideo) {}

CRecordingSink::CRecordingSink(bool offersAllocator, Accept accept)
    : CBaseFilter(nullptr, nullptr, &lock_, kClsidRecordingSink),
      offersAllocator_(offersAllocator),
      accept_(std::move(accept)) {
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

}  // namespace orba_test
