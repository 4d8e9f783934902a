#pragma once
// CEnumMediaTypes: IEnumMediaTypes over a pin's GetMediaType list. It keeps the pin
// (and so its filter) alive; types are handed out as CoTaskMemAlloc'ed copies.
#include <windows.h>

#include <strmif.h>

class CBasePin;

class CEnumMediaTypes : public IEnumMediaTypes {
 public:
  CEnumMediaTypes(CBasePin* pPin, CEnumMediaTypes* pEnumMediaTypes);
  virtual ~CEnumMediaTypes();
  CEnumMediaTypes(const CEnumMediaTypes&) = delete;
  CEnumMediaTypes& operator=(const CEnumMediaTypes&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) override;
  STDMETHODIMP Skip(ULONG cMediaTypes) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumMediaTypes** ppEnum) override;

 private:
  bool AreWeOutOfSync() const;
  bool HasType(int position) const;

  volatile LONG m_cRef;
  CBasePin* m_pPin;  // holds a reference
  int m_Position;
  LONG m_Version;
};
