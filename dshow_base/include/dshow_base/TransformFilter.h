#pragma once
// CTransformFilter: one input pin "XForm In", one output pin "XForm Out" (pin ids
// "In" and "Out"). For every input sample Receive takes an output sample from the
// downstream allocator, copies the sample's times and flags onto it and calls
// Transform; S_OK delivers it, S_FALSE skips it.
#include <windows.h>

#include <strmif.h>

#include "dshow_base/BaseFilter.h"
#include "dshow_base/InputPin.h"
#include "dshow_base/OutputPin.h"

class CTransformFilter;

class CTransformInputPin : public CBaseInputPin {
  friend class CTransformFilter;

 public:
  CTransformInputPin(LPCTSTR pObjectName, CTransformFilter* pTransformFilter, HRESULT* phr,
                     LPCWSTR pName);

  STDMETHODIMP QueryId(LPWSTR* Id) override { return AMGetWideString(L"In", Id); }

  HRESULT CheckConnect(IPin* pPin) override;
  HRESULT BreakConnect() override;
  HRESULT CompleteConnect(IPin* pReceivePin) override;
  HRESULT CheckMediaType(const CMediaType* mtIn) override;
  HRESULT SetMediaType(const CMediaType* mt) override;

  STDMETHODIMP Receive(IMediaSample* pSample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

  // Samples are refused (VFW_E_NOT_CONNECTED) while the output is unconnected.
  HRESULT CheckStreaming() override;
  // As the filter's SkipsRefusedSampleTypes says.
  bool PassesRefusedSampleTypes() override;

 protected:
  CTransformFilter* m_pTransformFilter;
};

class CTransformOutputPin : public CBaseOutputPin {
  friend class CTransformFilter;

 public:
  CTransformOutputPin(LPCTSTR pObjectName, CTransformFilter* pTransformFilter, HRESULT* phr,
                      LPCWSTR pName);

  STDMETHODIMP QueryId(LPWSTR* Id) override { return AMGetWideString(L"Out", Id); }

  HRESULT CheckConnect(IPin* pPin) override;
  HRESULT BreakConnect() override;
  HRESULT CompleteConnect(IPin* pReceivePin) override;
  HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;
  HRESULT CheckMediaType(const CMediaType* mtOut) override;
  HRESULT SetMediaType(const CMediaType* pmt) override;
  HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;

  // Quality messages from downstream: the filter's AlterQuality first, then upstream.
  STDMETHODIMP Notify(IBaseFilter* pSender, Quality q) override;

 protected:
  CTransformFilter* m_pTransformFilter;
};

class CTransformFilter : public CBaseFilter {
  friend class CTransformInputPin;
  friend class CTransformOutputPin;

 public:
  CTransformFilter(LPCTSTR pName, LPUNKNOWN pUnk, REFCLSID clsid);
  ~CTransformFilter() override;

  int GetPinCount() override { return 2; }
  // Creates the pins on first use; null when out of memory.
  CBasePin* GetPin(int n) override;
  // Pin ids "In" and "Out".
  STDMETHODIMP FindPin(LPCWSTR Id, IPin** ppPin) override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;

  // What a transform filter provides.
  virtual HRESULT Transform(IMediaSample* pIn, IMediaSample* pOut);
  virtual HRESULT CheckInputType(const CMediaType* mtIn) = 0;
  virtual HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) = 0;
  virtual HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pprop) = 0;
  virtual HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) = 0;

  // Optional hooks.
  virtual HRESULT StartStreaming() { return S_OK; }
  virtual HRESULT StopStreaming() { return S_OK; }
  // S_FALSE passes the quality message upstream.
  virtual HRESULT AlterQuality(Quality) { return S_FALSE; }
  // true: a sample announcing a type the input pin refuses reaches Transform,
  // which returns S_FALSE for it, and the stream goes on; false: the input pin
  // ends the stream with EC_ERRORABORT.
  virtual bool SkipsRefusedSampleTypes() { return false; }
  virtual HRESULT SetMediaType(PIN_DIRECTION, const CMediaType*) { return S_OK; }
  virtual HRESULT CheckConnect(PIN_DIRECTION, IPin*) { return S_OK; }
  virtual HRESULT BreakConnect(PIN_DIRECTION) { return S_OK; }
  virtual HRESULT CompleteConnect(PIN_DIRECTION, IPin*) { return S_OK; }

  virtual HRESULT Receive(IMediaSample* pSample);
  virtual HRESULT EndOfStream();
  virtual HRESULT BeginFlush();
  virtual HRESULT EndFlush();
  virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

 protected:
  // An output sample carrying the input sample's times, flags and data length.
  HRESULT InitializeOutputSample(IMediaSample* pSample, IMediaSample** ppOutSample);
  bool CreatePins();

  BOOL m_bEOSDelivered;
  BOOL m_bSampleSkipped;
  BOOL m_bQualityChanged;
  // m_csFilter guards state and connections; m_csReceive serialises the stream.
  CCritSec m_csFilter;
  CCritSec m_csReceive;
  CTransformInputPin* m_pInput;
  CTransformOutputPin* m_pOutput;
};
