#pragma once
// CBaseOutputPin: an output pin that pushes samples into the connected IMemInputPin.
// The allocator is negotiated on connection: the downstream pin's own if it offers
// one, else a memory allocator (CLSID_MemoryAllocator) sized by DecideBufferSize and
// handed over with NotifyAllocator.
#include <windows.h>

#include <strmif.h>

#include "dshow_base/BasePin.h"

class CBaseOutputPin : public CBasePin {
 public:
  CBaseOutputPin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                 LPCWSTR pName);
  ~CBaseOutputPin() override;

  HRESULT CompleteConnect(IPin* pReceivePin) override;
  HRESULT CheckConnect(IPin* pPin) override;
  HRESULT BreakConnect() override;
  HRESULT Active() override;
  HRESULT Inactive() override;

  virtual HRESULT DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAlloc);
  // Sets the allocator's properties; the requested ones come from the downstream pin.
  virtual HRESULT DecideBufferSize(IMemAllocator* pAlloc,
                                   ALLOCATOR_PROPERTIES* ppropInputRequest) = 0;
  virtual HRESULT InitAllocator(IMemAllocator** ppAlloc);

  virtual HRESULT GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* pStartTime,
                                    REFERENCE_TIME* pEndTime, DWORD dwFlags);
  virtual HRESULT Deliver(IMediaSample* pSample);
  virtual HRESULT DeliverEndOfStream();
  virtual HRESULT DeliverBeginFlush();
  virtual HRESULT DeliverEndFlush();
  virtual HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

  // Stream control reaches input pins only.
  STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }
  STDMETHODIMP BeginFlush() override { return E_UNEXPECTED; }
  STDMETHODIMP EndFlush() override { return E_UNEXPECTED; }

  // The negotiated allocator (no reference added) or null.
  IMemAllocator* Allocator() const { return m_pAllocator; }

 protected:
  IMemAllocator* m_pAllocator;  // holds a reference
  IMemInputPin* m_pInputPin;    // the connected pin's transport; holds a reference
};
