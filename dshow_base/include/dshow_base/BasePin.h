#pragma once
// CBasePin: IPin and IQualityControl with the standard connection protocol. A pin
// lives inside its filter and shares the filter's reference count.
#include <windows.h>

#include <strmif.h>

#include "dshow_base/BaseFilter.h"
#include "dshow_base/ComBase.h"
#include "dshow_base/MType.h"

class CBasePin : public CUnknown, public IPin, public IQualityControl {
 public:
  CBasePin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr, LPCWSTR pName,
           PIN_DIRECTION dir);
  ~CBasePin() override;

  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
  // The pin has no count of its own: it lives as long as its filter.
  STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
  STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

  // IPin
  STDMETHODIMP Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pPin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* pInfo) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* pPinDir) override;
  STDMETHODIMP QueryId(LPWSTR* Id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
  STDMETHODIMP QueryInternalConnections(IPin** apPin, ULONG* nPin) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

  // IQualityControl
  STDMETHODIMP Notify(IBaseFilter* pSelf, Quality q) override;
  STDMETHODIMP SetSink(IQualityControl* piqc) override;

  BOOL IsConnected() const { return m_Connected != nullptr; }
  // The connected pin (no reference added) or null.
  IPin* GetConnected() const { return m_Connected; }
  BOOL IsStopped() const { return m_pFilter->IsStopped(); }
  PIN_DIRECTION Direction() const { return m_dir; }
  LPWSTR Name() const { return m_pName; }
  CMediaType& CurrentMediaType() { return m_mt; }
  REFERENCE_TIME CurrentStartTime() const { return m_tStart; }
  REFERENCE_TIME CurrentStopTime() const { return m_tStop; }
  double CurrentRate() const { return m_dRate; }

  virtual LONG GetMediaTypeVersion() { return m_TypeVersion; }
  void IncrementTypeVersion() { InterlockedIncrement(&m_TypeVersion); }

  // State changes of the filter, for connected pins only.
  virtual HRESULT Active() { return S_OK; }
  virtual HRESULT Inactive() {
    m_bRunTimeError = FALSE;
    return S_OK;
  }
  virtual HRESULT Run(REFERENCE_TIME) { return S_OK; }

  // Connection hooks.
  virtual HRESULT CheckMediaType(const CMediaType* pmt) = 0;
  virtual HRESULT SetMediaType(const CMediaType* pmt);
  virtual HRESULT CheckConnect(IPin* pPin);
  virtual HRESULT BreakConnect() { return S_OK; }
  virtual HRESULT CompleteConnect(IPin*) { return S_OK; }
  // The preferred types, from 0: S_OK, VFW_S_NO_MORE_ITEMS past the end.
  virtual HRESULT GetMediaType(int iPosition, CMediaType* pMediaType);

 protected:
  virtual HRESULT AttemptConnection(IPin* pReceivePin, const CMediaType* pmt);
  HRESULT AgreeMediaType(IPin* pReceivePin, const CMediaType* pmt);
  HRESULT TryMediaTypes(IPin* pReceivePin, const CMediaType* pmt, IEnumMediaTypes* pEnum);
  virtual HRESULT DisconnectInternal();

  WCHAR* m_pName;
  IPin* m_Connected;  // holds a reference while connected
  PIN_DIRECTION m_dir;
  CCritSec* m_pLock;
  BOOL m_bRunTimeError;
  BOOL m_bCanReconnectWhenActive;
  BOOL m_bTryMyTypesFirst;
  CBaseFilter* m_pFilter;
  IQualityControl* m_pQSink;  // no reference, as the platform defines it
  volatile LONG m_TypeVersion;
  CMediaType m_mt;
  REFERENCE_TIME m_tStart;
  REFERENCE_TIME m_tStop;
  double m_dRate;
};
