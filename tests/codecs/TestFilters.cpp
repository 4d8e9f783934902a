#include "TestFilters.h"

#include <cstring>

#include "orba/MediaType.h"

namespace codec_test {

namespace {

bool GuidMatches(const GUID& wanted, const GUID& have) { return wanted == GUID_NULL || wanted == have; }

// Enumerates a fixed list of pins (zero or one here).
class PinEnum : public IEnumPins {
 public:
  PinEnum(IPin* pin, ULONG pos) : pin_(pin), pos_(pos) {
    if (pin_) pin_->AddRef();
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IEnumPins) {
      *out = static_cast<IEnumPins*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  __attribute__((noinline)) ULONG STDMETHODCALLTYPE Release() override {
    ULONG r = --refs_;
    if (r == 0) delete this;
    return r;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override {
    if (!pins) return E_POINTER;
    ULONG n = 0;
    while (n < count && pos_ < 1 && pin_) {
      pins[n] = pin_;
      pin_->AddRef();
      ++n;
      ++pos_;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    pos_ += count;
    return pos_ <= 1 ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    pos_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumPins** out) override {
    if (!out) return E_POINTER;
    *out = new PinEnum(pin_, pos_);
    return S_OK;
  }

 private:
  virtual ~PinEnum() {
    if (pin_) pin_->Release();
  }
  std::atomic<ULONG> refs_{1};
  IPin* pin_;
  ULONG pos_;
};

// Enumerates zero or one media type.
class TypeEnum : public IEnumMediaTypes {
 public:
  TypeEnum(const AM_MEDIA_TYPE* type, ULONG pos) : pos_(pos) {
    if (type) {
      orba::CopyMediaType(&type_, type);
      hasType_ = true;
    }
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IEnumMediaTypes) {
      *out = static_cast<IEnumMediaTypes*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  __attribute__((noinline)) ULONG STDMETHODCALLTYPE Release() override {
    ULONG r = --refs_;
    if (r == 0) delete this;
    return r;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
    if (!types) return E_POINTER;
    ULONG n = 0;
    while (n < count && hasType_ && pos_ < 1) {
      types[n] = orba::CreateMediaTypeCopy(&type_);
      if (!types[n]) break;
      ++n;
      ++pos_;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    pos_ += count;
    return pos_ <= (hasType_ ? 1u : 0u) ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    pos_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** out) override {
    if (!out) return E_POINTER;
    *out = new TypeEnum(hasType_ ? &type_ : nullptr, pos_);
    return S_OK;
  }

 private:
  virtual ~TypeEnum() { orba::FreeMediaType(type_); }
  std::atomic<ULONG> refs_{1};
  AM_MEDIA_TYPE type_ = {};
  bool hasType_ = false;
  ULONG pos_;
};

}  // namespace

AM_MEDIA_TYPE MakeVideoType(const GUID& subtype, const BITMAPINFOHEADER& bmi) {
  AM_MEDIA_TYPE mt = {};
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = subtype;
  mt.formattype = FORMAT_VideoInfo;
  mt.bFixedSizeSamples = bmi.biCompression == BI_RGB;
  mt.lSampleSize = bmi.biSizeImage;
  auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
  std::memset(vih, 0, sizeof *vih);
  vih->AvgTimePerFrame = 333333;
  vih->bmiHeader = bmi;
  mt.cbFormat = sizeof(VIDEOINFOHEADER);
  mt.pbFormat = reinterpret_cast<BYTE*>(vih);
  return mt;
}

// --- PinBase ----------------------------------------------------------------

PinBase::PinBase(FilterBase* filter, PIN_DIRECTION dir, const wchar_t* name)
    : filter_(filter), dir_(dir), name_(name) {}

PinBase::~PinBase() { ClearConnection(); }

void PinBase::ClearConnection() {
  if (peer_) {
    peer_->Release();
    peer_ = nullptr;
  }
  orba::FreeMediaType(mt_);
  mt_ = AM_MEDIA_TYPE{};
}

HRESULT PinBase::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IPin) {
    *out = static_cast<IPin*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}
ULONG PinBase::AddRef() { return filter_->AddRef(); }
ULONG PinBase::Release() { return filter_->Release(); }

HRESULT PinBase::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  *pin = peer_;
  if (!peer_) return VFW_E_NOT_CONNECTED;
  peer_->AddRef();
  return S_OK;
}

HRESULT PinBase::ConnectionMediaType(AM_MEDIA_TYPE* mt) {
  if (!mt) return E_POINTER;
  if (!peer_) {
    *mt = AM_MEDIA_TYPE{};
    return VFW_E_NOT_CONNECTED;
  }
  return orba::CopyMediaType(mt, &mt_);
}

HRESULT PinBase::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  info->pFilter = filter_;
  filter_->AddRef();
  info->dir = dir_;
  lstrcpynW(info->achName, name_.c_str(), MAX_PIN_NAME);
  return S_OK;
}

HRESULT PinBase::QueryDirection(PIN_DIRECTION* dir) {
  if (!dir) return E_POINTER;
  *dir = dir_;
  return S_OK;
}

HRESULT PinBase::QueryId(LPWSTR* id) {
  if (!id) return E_POINTER;
  const size_t bytes = (name_.size() + 1) * sizeof(wchar_t);
  *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (!*id) return E_OUTOFMEMORY;
  std::memcpy(*id, name_.c_str(), bytes);
  return S_OK;
}

HRESULT PinBase::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }
HRESULT PinBase::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

// --- FilterBase ---------------------------------------------------------------

FilterBase::FilterBase(const CLSID& clsid, const wchar_t* name) : clsid_(clsid), name_(name) {}

FilterBase::~FilterBase() {
  if (clock_) clock_->Release();
}

HRESULT FilterBase::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter || iid == IID_IBaseFilter) {
    *out = static_cast<IBaseFilter*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}
ULONG FilterBase::AddRef() { return ++refs_; }
ULONG FilterBase::Release() {
  ULONG r = --refs_;
  if (r == 0) delete this;
  return r;
}
HRESULT FilterBase::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = clsid_;
  return S_OK;
}
HRESULT FilterBase::Stop() {
  state_ = State_Stopped;
  OnStop();
  return S_OK;
}
HRESULT FilterBase::Pause() {
  state_ = State_Paused;
  return S_OK;
}
HRESULT FilterBase::Run(REFERENCE_TIME) {
  state_ = State_Running;
  return S_OK;
}
HRESULT FilterBase::GetState(DWORD, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  *state = state_;
  return S_OK;
}
HRESULT FilterBase::SetSyncSource(IReferenceClock* clock) {
  if (clock) clock->AddRef();
  if (clock_) clock_->Release();
  clock_ = clock;
  return S_OK;
}
HRESULT FilterBase::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  *clock = clock_;
  if (clock_) clock_->AddRef();
  return S_OK;
}
HRESULT FilterBase::EnumPins(IEnumPins** pins) {
  if (!pins) return E_POINTER;
  *pins = new PinEnum(pin(), 0);
  return S_OK;
}
HRESULT FilterBase::FindPin(LPCWSTR id, IPin** out) {
  if (!id || !out) return E_POINTER;
  PIN_INFO info;
  pin()->QueryPinInfo(&info);
  info.pFilter->Release();
  if (lstrcmpW(info.achName, id) != 0) {
    *out = nullptr;
    return VFW_E_NOT_FOUND;
  }
  *out = pin();
  (*out)->AddRef();
  return S_OK;
}
HRESULT FilterBase::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  lstrcpynW(info->achName, name_.c_str(), MAX_FILTER_NAME);
  info->pGraph = graph_;
  if (graph_) graph_->AddRef();
  return S_OK;
}
HRESULT FilterBase::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  graph_ = graph;
  if (name) name_ = name;
  return S_OK;
}
HRESULT FilterBase::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

// --- SourcePin / TestSource ---------------------------------------------------

SourcePin::SourcePin(FilterBase* filter, const AM_MEDIA_TYPE& offered, long bufferSize)
    : PinBase(filter, PINDIR_OUTPUT, L"Output"), bufferSize_(bufferSize) {
  orba::CopyMediaType(&offered_, &offered);
}

SourcePin::~SourcePin() {
  Disconnect();
  orba::FreeMediaType(offered_);
}

bool SourcePin::Matches(const AM_MEDIA_TYPE* mt) const {
  if (!mt) return true;
  return GuidMatches(mt->majortype, offered_.majortype) && GuidMatches(mt->subtype, offered_.subtype) &&
         GuidMatches(mt->formattype, offered_.formattype);
}

HRESULT SourcePin::Connect(IPin* receiver, const AM_MEDIA_TYPE* mt) {
  if (!receiver) return E_POINTER;
  if (peer_) return VFW_E_ALREADY_CONNECTED;
  if (filter_->state() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (!Matches(mt)) return VFW_E_NO_ACCEPTABLE_TYPES;
  HRESULT hr = receiver->ReceiveConnection(this, &offered_);
  if (FAILED(hr)) return VFW_E_NO_ACCEPTABLE_TYPES;
  peer_ = receiver;
  peer_->AddRef();
  orba::CopyMediaType(&mt_, &offered_);

  // Allocator: the receiver's own, else a standard memory allocator.
  hr = receiver->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input_));
  if (SUCCEEDED(hr)) {
    if (FAILED(input_->GetAllocator(&allocator_)))
      hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                            reinterpret_cast<void**>(&allocator_));
  }
  if (SUCCEEDED(hr)) {
    ALLOCATOR_PROPERTIES want = {}, got = {};
    want.cBuffers = 2;
    want.cbBuffer = bufferSize_;
    want.cbAlign = 1;
    hr = allocator_->SetProperties(&want, &got);
    if (SUCCEEDED(hr) && got.cbBuffer < bufferSize_) hr = E_FAIL;
  }
  if (SUCCEEDED(hr)) hr = input_->NotifyAllocator(allocator_, FALSE);
  if (FAILED(hr)) {
    receiver->Disconnect();
    Disconnect();
  }
  return hr;
}

HRESULT SourcePin::ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) { return E_UNEXPECTED; }

HRESULT SourcePin::Disconnect() {
  if (!peer_) return S_FALSE;
  Decommit();
  if (allocator_) {
    allocator_->Release();
    allocator_ = nullptr;
  }
  if (input_) {
    input_->Release();
    input_ = nullptr;
  }
  ClearConnection();
  return S_OK;
}

HRESULT SourcePin::QueryAccept(const AM_MEDIA_TYPE* mt) {
  return mt && mt->majortype == offered_.majortype && mt->subtype == offered_.subtype ? S_OK : S_FALSE;
}

HRESULT SourcePin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (!types) return E_POINTER;
  *types = new TypeEnum(&offered_, 0);
  return S_OK;
}

HRESULT SourcePin::EndOfStream() { return E_UNEXPECTED; }
HRESULT SourcePin::BeginFlush() { return E_UNEXPECTED; }
HRESULT SourcePin::EndFlush() { return E_UNEXPECTED; }

HRESULT SourcePin::Deliver(const std::string& bytes, REFERENCE_TIME start) {
  if (!input_ || !allocator_) return VFW_E_NOT_CONNECTED;
  if (!committed_) {
    HRESULT hr = allocator_->Commit();
    if (FAILED(hr)) return hr;
    committed_ = true;
  }
  IMediaSample* sample = nullptr;
  HRESULT hr = allocator_->GetBuffer(&sample, nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  if (static_cast<long>(bytes.size()) > sample->GetSize()) {
    sample->Release();
    return E_INVALIDARG;
  }
  std::memcpy(data, bytes.data(), bytes.size());
  sample->SetActualDataLength(static_cast<long>(bytes.size()));
  sample->SetSyncPoint(TRUE);
  if (start != kNoTime) {
    REFERENCE_TIME stop = start + 333333;
    sample->SetTime(&start, &stop);
  }
  hr = input_->Receive(sample);
  sample->Release();
  return hr;
}

void SourcePin::Decommit() {
  if (committed_ && allocator_) allocator_->Decommit();
  committed_ = false;
}

TestSource::TestSource(const AM_MEDIA_TYPE& offered, long bufferSize)
    : FilterBase(GUID{0x5e0c7a11, 0x1d2e, 0x4b7a, {0x9a, 0x31, 0x6b, 0x0e, 0x2c, 0x44, 0x10, 0x01}}, L"Test Source"),
      pin_(this, offered, bufferSize) {}

// --- SinkPin / TestSink -------------------------------------------------------

SinkPin::SinkPin(FilterBase* filter, Accept accept)
    : PinBase(filter, PINDIR_INPUT, L"Input"), accept_(std::move(accept)) {
  InitializeCriticalSection(&lock_);
}

SinkPin::~SinkPin() {
  Disconnect();
  DeleteCriticalSection(&lock_);
}

HRESULT SinkPin::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IMemInputPin) {
    *out = static_cast<IMemInputPin*>(this);
    AddRef();
    return S_OK;
  }
  return PinBase::QueryInterface(iid, out);
}

HRESULT SinkPin::Connect(IPin*, const AM_MEDIA_TYPE*) { return E_UNEXPECTED; }

HRESULT SinkPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) {
  if (!connector || !mt) return E_POINTER;
  if (peer_) return VFW_E_ALREADY_CONNECTED;
  if (filter_->state() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (!accept_(*mt)) return VFW_E_TYPE_NOT_ACCEPTED;
  peer_ = connector;
  peer_->AddRef();
  orba::CopyMediaType(&mt_, mt);
  return S_OK;
}

HRESULT SinkPin::Disconnect() {
  if (!peer_) return S_FALSE;
  if (allocator_) {
    allocator_->Release();
    allocator_ = nullptr;
  }
  ClearConnection();
  return S_OK;
}

HRESULT SinkPin::QueryAccept(const AM_MEDIA_TYPE* mt) { return mt && accept_(*mt) ? S_OK : S_FALSE; }

HRESULT SinkPin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (!types) return E_POINTER;
  *types = new TypeEnum(nullptr, 0);
  return S_OK;
}

HRESULT SinkPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  *allocator = nullptr;
  return VFW_E_NO_ALLOCATOR;
}

HRESULT SinkPin::NotifyAllocator(IMemAllocator* allocator, BOOL) {
  if (!allocator) return E_POINTER;
  allocator->AddRef();
  if (allocator_) allocator_->Release();
  allocator_ = allocator;
  return S_OK;
}

HRESULT SinkPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

HRESULT SinkPin::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  if (filter_->state() == State_Stopped) return VFW_E_WRONG_STATE;
  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  const long length = sample->GetActualDataLength();
  EnterCriticalSection(&lock_);
  samples.emplace_back(reinterpret_cast<const char*>(data), static_cast<size_t>(length < 0 ? 0 : length));
  LeaveCriticalSection(&lock_);
  return S_OK;
}

HRESULT SinkPin::ReceiveMultiple(IMediaSample** items, long count, long* processed) {
  long done = 0;
  HRESULT hr = S_OK;
  for (; done < count && hr == S_OK; ++done) hr = Receive(items[done]);
  if (processed) *processed = done;
  return hr;
}

TestSink::TestSink(SinkPin::Accept accept)
    : FilterBase(GUID{0x5e0c7a11, 0x1d2e, 0x4b7a, {0x9a, 0x31, 0x6b, 0x0e, 0x2c, 0x44, 0x10, 0x02}}, L"Test Sink"),
      pin_(this, std::move(accept)) {}

TestSink::~TestSink() = default;

}  // namespace codec_test
