#pragma once
// CBaseInputPin: an input pin with IMemInputPin. Receive checks the streaming state
// and records the sample's properties in m_SampleProps for the derived class.
#include <windows.h>

#include <strmif.h>

#include "dshow_base/BasePin.h"

class CBaseInputPin : public CBasePin, public IMemInputPin {
 public:
  CBaseInputPin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                LPCWSTR pName);
  ~CBaseInputPin() override;

  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IMemInputPin
  // Creates a memory allocator when none was handed over yet.
  STDMETHODIMP GetAllocator(IMemAllocator** ppAllocator) override;
  STDMETHODIMP NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
  STDMETHODIMP Receive(IMediaSample* pSample) override;
  STDMETHODIMP ReceiveMultiple(IMediaSample** pSamples, long nSamples,
                               long* nSamplesProcessed) override;
  STDMETHODIMP ReceiveCanBlock() override;

  // IPin
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;

  HRESULT BreakConnect() override;
  HRESULT Inactive() override;

  // S_OK when a sample may be taken now; S_FALSE while flushing.
  virtual HRESULT CheckStreaming();
  // What Receive does with a sample announcing a type CheckMediaType refuses.
  // false (the base behaviour): the stream ends with EC_ERRORABORT and
  // VFW_E_INVALIDMEDIATYPE. true: the sample goes on to the derived pin, whose
  // filter skips it itself.
  virtual bool PassesRefusedSampleTypes() { return false; }
  // Hands a quality message to the upstream pin (or the sink set with SetSink).
  HRESULT PassNotify(Quality& q);

  BOOL IsReadOnly() const { return m_bReadOnly; }
  BOOL IsFlushing() const { return m_bFlushing; }
  // Properties of the sample being received (valid inside Receive).
  AM_SAMPLE2_PROPERTIES* SampleProps() { return &m_SampleProps; }

 protected:
  IMemAllocator* m_pAllocator;  // holds a reference
  BOOL m_bReadOnly;
  volatile BOOL m_bFlushing;
  AM_SAMPLE2_PROPERTIES m_SampleProps;
};
