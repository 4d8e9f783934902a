#pragma once
// CEnumPins: IEnumPins over a filter's GetPin list. It keeps the filter alive and
// answers VFW_E_ENUM_OUT_OF_SYNC once the filter's pin set has changed.
#include <windows.h>

#include <strmif.h>

class CBaseFilter;

class CEnumPins : public IEnumPins {
 public:
  // pEnumPins, when given, is the enumerator being cloned (same position).
  CEnumPins(CBaseFilter* pFilter, CEnumPins* pEnumPins);
  virtual ~CEnumPins();
  CEnumPins(const CEnumPins&) = delete;
  CEnumPins& operator=(const CEnumPins&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override;
  STDMETHODIMP Skip(ULONG cPins) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumPins** ppEnum) override;

 private:
  bool AreWeOutOfSync() const;

  volatile LONG m_cRef;
  CBaseFilter* m_pFilter;  // holds a reference
  int m_Position;
  LONG m_Version;
};
