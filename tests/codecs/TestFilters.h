#pragma once
// Two minimal DirectShow filters for graph tests of the codecs: a push source
// with one output pin that offers a single media type and delivers the samples
// the test hands it, and a sink with one input pin that accepts the media types
// a predicate allows and keeps a copy of every sample it receives.
#include <windows.h>

#include <dshow.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace codec_test {

class FilterBase;

constexpr REFERENCE_TIME kNoTime = -1;

// One pin of a test filter. Its references are the filter's.
class PinBase : public IPin {
 public:
  PinBase(FilterBase* filter, PIN_DIRECTION dir, const wchar_t* name);
  virtual ~PinBase();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* dir) override;
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  bool connected() const { return peer_ != nullptr; }
  const AM_MEDIA_TYPE& mediaType() const { return mt_; }

 protected:
  void ClearConnection();
  FilterBase* filter_;
  PIN_DIRECTION dir_;
  std::wstring name_;
  IPin* peer_ = nullptr;
  AM_MEDIA_TYPE mt_ = {};
};

class FilterBase : public IBaseFilter {
 public:
  FilterBase(const CLSID& clsid, const wchar_t* name);
  virtual ~FilterBase();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
  HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* state) override;
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override;

  virtual PinBase* pin() = 0;
  FILTER_STATE state() const { return state_; }

 protected:
  virtual void OnStop() {}

 private:
  std::atomic<ULONG> refs_{1};
  CLSID clsid_;
  std::wstring name_;
  IFilterGraph* graph_ = nullptr;  // not held: the graph holds the filter
  IReferenceClock* clock_ = nullptr;
  FILTER_STATE state_ = State_Stopped;
};

// Output pin offering one media type; the allocator is negotiated the standard
// way (the peer's, or a new memory allocator when the peer has none).
class SourcePin : public PinBase {
 public:
  SourcePin(FilterBase* filter, const AM_MEDIA_TYPE& offered, long bufferSize);
  ~SourcePin() override;

  HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* mt) override;
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
  HRESULT STDMETHODCALLTYPE Disconnect() override;
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* mt) override;
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;

  // Delivers one sample downstream (a key frame with the given start time, or
  // none for kNoTime); returns the receiver's result.
  HRESULT Deliver(const std::string& bytes, REFERENCE_TIME start);
  void Decommit();

 private:
  bool Matches(const AM_MEDIA_TYPE* mt) const;
  AM_MEDIA_TYPE offered_ = {};
  long bufferSize_;
  IMemInputPin* input_ = nullptr;
  IMemAllocator* allocator_ = nullptr;
  bool committed_ = false;
};

class TestSource : public FilterBase {
 public:
  // A source whose pin offers `offered` (copied) with buffers of `bufferSize` bytes.
  TestSource(const AM_MEDIA_TYPE& offered, long bufferSize);
  PinBase* pin() override { return &pin_; }
  SourcePin& output() { return pin_; }

 protected:
  void OnStop() override { pin_.Decommit(); }

 private:
  SourcePin pin_;
};

// Input pin that accepts what the predicate allows, has no allocator of its own
// and copies every sample.
class SinkPin : public PinBase, public IMemInputPin {
 public:
  using Accept = std::function<bool(const AM_MEDIA_TYPE&)>;
  SinkPin(FilterBase* filter, Accept accept);
  ~SinkPin() override;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return PinBase::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return PinBase::Release(); }

  HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* mt) override;
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
  HRESULT STDMETHODCALLTYPE Disconnect() override;
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* mt) override;
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE BeginFlush() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EndFlush() override { return S_OK; }

  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return S_FALSE; }

  // Copies of the samples received so far.
  std::vector<std::string> samples;

 private:
  Accept accept_;
  IMemAllocator* allocator_ = nullptr;
  CRITICAL_SECTION lock_;
};

class TestSink : public FilterBase {
 public:
  explicit TestSink(SinkPin::Accept accept);
  ~TestSink() override;
  PinBase* pin() override { return &pin_; }
  SinkPin& input() { return pin_; }

 private:
  SinkPin pin_;
};

// A VIDEOINFOHEADER media type (major type video) with the given subtype and
// bitmap header; the caller frees it with FreeMediaType.
AM_MEDIA_TYPE MakeVideoType(const GUID& subtype, const BITMAPINFOHEADER& bmi);

}  // namespace codec_test
