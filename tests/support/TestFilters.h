#pragma once
// Filters built inside the test program from the base layer: a source whose pin
// pushes samples when the test says so, and a sink that records what it receives.
#include <windows.h>

#include <dshow.h>

#include <functional>
#include <string>
#include <vector>

#include "GraphTestUtil.h"
#include "dshow_base/Streams.h"

namespace orba_test {

// A motion-JPEG VIDEOINFOHEADER type of the given size, variable-size samples.
void MakeMjpgType(CMediaType* mt, LONG width, LONG height);

// What the source puts on a sample.
struct SampleDesc {
  std::string data = "sample";
  bool hasTime = true;
  REFERENCE_TIME start = 0;
  bool hasStop = true;
  REFERENCE_TIME stop = 0;
  bool hasMediaTime = false;
  LONGLONG mediaStart = 0;
  LONGLONG mediaStop = 0;
  bool syncPoint = false;
  bool preroll = false;
  bool discontinuity = false;
  // A media type announced on the sample, or none.
  const AM_MEDIA_TYPE* mediaType = nullptr;
};

// What the sink saw on a sample.
struct ReceivedSample {
  std::string data;
  HRESULT timeResult = E_FAIL;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  HRESULT mediaTimeResult = E_FAIL;
  LONGLONG mediaStart = 0;
  LONGLONG mediaStop = 0;
  bool syncPoint = false;
  bool preroll = false;
  bool discontinuity = false;
};

class CPushSource;

class CPushSourcePin : public CBaseOutputPin {
 public:
  CPushSourcePin(CPushSource* filter, CCritSec* lock, HRESULT* phr);
  // The source's types, in order; accepts only those.
  HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
  HRESULT CheckMediaType(const CMediaType* pmt) override;
  // Two buffers of the source's size.
  HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;
  HRESULT Push(const SampleDesc& desc);

 private:
  CPushSource* source_;
};

class CPushSource : public CBaseFilter {
 public:
  // Offers motion JPEG 1280 x 720, then 640 x 480, in buffers of 200,000 bytes.
  CPushSource();
  // Offers one type (copied), in buffers of bufferBytes.
  CPushSource(const AM_MEDIA_TYPE& offered, long bufferBytes);
  ~CPushSource() override;
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? pin_ : nullptr; }
  CPushSourcePin* Pin() { return pin_; }
  IPin* OutPin() { return pin_; }
  const std::vector<CMediaType>& Offered() const { return offered_; }
  long BufferBytes() const { return bufferBytes_; }

  // Delivers one sample downstream; the result of the downstream Receive.
  HRESULT Push(const SampleDesc& desc) { return pin_->Push(desc); }
  // A sync point without times, with a media type announced on it when given.
  HRESULT Push(const std::string& bytes, const AM_MEDIA_TYPE* announce = nullptr);

 private:
  CCritSec lock_;
  std::vector<CMediaType> offered_;
  long bufferBytes_;
  CPushSourcePin* pin_;
};

class CRecordingSink;

class CRecordingSinkPin : public CBaseInputPin {
 public:
  CRecordingSinkPin(CRecordingSink* filter, CCritSec* lock, HRESULT* phr);
  HRESULT CheckMediaType(const CMediaType* pmt) override;
  STDMETHODIMP GetAllocator(IMemAllocator** ppAllocator) override;
  STDMETHODIMP Receive(IMediaSample* pSample) override;
  // The allocator handed over by the upstream pin (no reference added).
  IMemAllocator* CurrentAllocator() const { return m_pAllocator; }

 private:
  CRecordingSink* sink_;
};

class CRecordingSink : public CBaseFilter {
 public:
  using Accept = std::function<bool(const AM_MEDIA_TYPE&)>;
  // Accepts motion-JPEG video. offersAllocator false behaves like a renderer
  // that has no allocator of its own.
  explicit CRecordingSink(bool offersAllocator);
  // Accepts the types the predicate allows.
  CRecordingSink(bool offersAllocator, Accept accept);
  ~CRecordingSink() override;
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? pin_ : nullptr; }
  CRecordingSinkPin* Pin() { return pin_; }
  IPin* InPin() { return pin_; }

  std::vector<ReceivedSample> Samples();
  size_t Count();
  bool OffersAllocator() const { return offersAllocator_; }

 private:
  friend class CRecordingSinkPin;
  CCritSec lock_;
  CCritSec samplesLock_;
  CRecordingSinkPin* pin_;
  bool offersAllocator_;
  Accept accept_;
  std::vector<ReceivedSample> samples_;
};

}  // namespace orba_test
