#pragma once
// CBaseFilter: IBaseFilter (with IMediaFilter and IPersist) and IAMovieSetup over a
// fixed set of pins that the derived class hands out through GetPinCount/GetPin.
#include <windows.h>

#include <strmif.h>

#include "dshow_base/ComBase.h"
#include "dshow_base/Setup.h"

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
 public:
  // pLock guards the filter state; the derived class owns it.
  CBaseFilter(LPCTSTR pName, LPUNKNOWN pUnk, CCritSec* pLock, REFCLSID clsid);
  CBaseFilter(LPCTSTR pName, LPUNKNOWN pUnk, CCritSec* pLock, REFCLSID clsid, HRESULT* phr);
  ~CBaseFilter() override;

  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IPersist
  STDMETHODIMP GetClassID(CLSID* pClsID) override;

  // IMediaFilter
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME tStart) override;
  STDMETHODIMP GetState(DWORD dwMSecs, FILTER_STATE* State) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* pClock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** pClock) override;

  // IBaseFilter
  STDMETHODIMP EnumPins(IEnumPins** ppEnum) override;
  STDMETHODIMP FindPin(LPCWSTR Id, IPin** ppPin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* pInfo) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* pVendorInfo) override;

  // IAMovieSetup: (un)registers GetSetupData() with the filter mapper.
  STDMETHODIMP Register() override;
  STDMETHODIMP Unregister() override;
  virtual const AMOVIESETUP_FILTER* GetSetupData() { return nullptr; }

  // Pins, numbered from 0. The filter keeps them alive; no reference is added.
  virtual int GetPinCount() = 0;
  virtual CBasePin* GetPin(int n) = 0;
  virtual LONG GetPinVersion() { return m_PinVersion; }
  void IncrementPinVersion() { InterlockedIncrement(&m_PinVersion); }

  BOOL IsActive();
  BOOL IsStopped();
  FILTER_STATE State() const { return m_State; }
  // The current stream time: reference clock time minus the run start time.
  HRESULT StreamTime(REFERENCE_TIME& rtStream);
  // Sends an event to the graph; E_NOTIMPL outside a graph.
  HRESULT NotifyEvent(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2);
  // The graph the filter belongs to (no reference added) or null.
  IFilterGraph* GetFilterGraph() { return m_pGraph; }
  CCritSec* pStateLock() { return m_pLock; }

 protected:
  volatile FILTER_STATE m_State;
  IReferenceClock* m_pClock;  // holds a reference
  REFERENCE_TIME m_tStart;
  CLSID m_clsid;
  CCritSec* m_pLock;
  WCHAR* m_pName;
  // The graph holds the filter, so the filter holds no reference back.
  IFilterGraph* m_pGraph;
  IMediaEventSink* m_pSink;
  volatile LONG m_PinVersion;
};
