#pragma once
// Filters built inside the test program from the base layer: a source whose pin
// pushes samples when the test says so, and a sink that records what it receives.
#include <windows.h>

#include <dshow.h>

#include <string>
#include <vector>

#include "dshow_base/Streams.h"

namespace dshow_test {

// A motion-JPEG VIDEOINFOHEADER type of the given size.
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
  // Offers 1280x720 first, then 640x480; accepts only those.
  HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
  HRESULT CheckMediaType(const CMediaType* pmt) override;
  HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;
  HRESULT Push(const SampleDesc& desc);
};

class CPushSource : public CBaseFilter {
 public:
  CPushSource();
  ~CPushSource() override;
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? pin_ : nullptr; }
  CPushSourcePin* Pin() { return pin_; }
  // Delivers one sample downstream; the result of the downstream Receive.
  HRESULT Push(const SampleDesc& desc) { return pin_->Push(desc); }

 private:
  CCritSec lock_;
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
  // offersAllocator false behaves like a renderer that has no allocator of its own.
  explicit CRecordingSink(bool offersAllocator);
  ~CRecordingSink() override;
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? pin_ : nullptr; }
  CRecordingSinkPin* Pin() { return pin_; }

  std::vector<ReceivedSample> Samples();
  size_t Count();
  bool OffersAllocator() const { return offersAllocator_; }

 private:
  friend class CRecordingSinkPin;
  CCritSec lock_;
  CCritSec samplesLock_;
  CRecordingSinkPin* pin_;
  bool offersAllocator_;
  std::vector<ReceivedSample> samples_;
};

}  // namespace dshow_test
