#include "dshow_base/MType.h"

#include <cstring>

#include "orba/MediaType.h"

CMediaType::CMediaType() : AM_MEDIA_TYPE() { InitMediaType(); }

CMediaType::CMediaType(const GUID* type) : CMediaType() {
  if (type) majortype = *type;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& mt, HRESULT* phr) : CMediaType() {
  const HRESULT hr = Set(mt);
  if (phr && FAILED(hr)) *phr = hr;
}

CMediaType::CMediaType(const CMediaType& mt, HRESULT* phr) : CMediaType() {
  const HRESULT hr = Set(mt);
  if (phr && FAILED(hr)) *phr = hr;
}

CMediaType::~CMediaType() { orba::FreeMediaType(*this); }

CMediaType& CMediaType::operator=(const CMediaType& mt) {
  Set(mt);
  return *this;
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& mt) {
  Set(mt);
  return *this;
}

bool CMediaType::operator==(const CMediaType& mt) const {
  if (majortype != mt.majortype || subtype != mt.subtype || formattype != mt.formattype ||
      cbFormat != mt.cbFormat) {
    return false;
  }
  if (cbFormat == 0) return true;
  return pbFormat && mt.pbFormat && std::memcmp(pbFormat, mt.pbFormat, cbFormat) == 0;
}

HRESULT CMediaType::Set(const CMediaType& mt) { return Set(static_cast<const AM_MEDIA_TYPE&>(mt)); }

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& mt) {
  if (&mt == static_cast<const AM_MEDIA_TYPE*>(this)) return S_OK;
  orba::FreeMediaType(*this);
  const HRESULT hr = orba::CopyMediaType(this, &mt);
  if (FAILED(hr)) InitMediaType();
  return hr;
}

ULONG CMediaType::GetSampleSize() const { return IsFixedSize() ? lSampleSize : 0; }

void CMediaType::SetSampleSize(ULONG sz) {
  if (sz == 0) {
    SetVariableSize();
  } else {
    bFixedSizeSamples = TRUE;
    lSampleSize = sz;
  }
}

void CMediaType::SetVariableSize() { bFixedSizeSamples = FALSE; }

BOOL CMediaType::SetFormat(const BYTE* pFormat, ULONG length) {
  if (length && !pFormat) return FALSE;
  BYTE* block = AllocFormatBuffer(length);
  if (length && !block) return FALSE;
  if (length) std::memcpy(block, pFormat, length);
  return TRUE;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length) {
  if (length == cbFormat && pbFormat) return pbFormat;
  BYTE* block = nullptr;
  if (length) {
    block = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (!block) return nullptr;
  }
  ResetFormatBuffer();
  pbFormat = block;
  cbFormat = length;
  return block;
}

BYTE* CMediaType::ReallocFormatBuffer(ULONG length) {
  if (length == 0) {
    ResetFormatBuffer();
    return nullptr;
  }
  auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
  if (!block) return nullptr;
  if (pbFormat) std::memcpy(block, pbFormat, cbFormat < length ? cbFormat : length);
  ResetFormatBuffer();
  pbFormat = block;
  cbFormat = length;
  return block;
}

void CMediaType::ResetFormatBuffer() {
  if (pbFormat) CoTaskMemFree(pbFormat);
  pbFormat = nullptr;
  cbFormat = 0;
}

void CMediaType::InitMediaType() {
  orba::FreeMediaType(*this);
  std::memset(static_cast<AM_MEDIA_TYPE*>(this), 0, sizeof(AM_MEDIA_TYPE));
  lSampleSize = 1;
  bFixedSizeSamples = TRUE;
}

BOOL CMediaType::MatchesPartial(const CMediaType* ppartial) const {
  if (ppartial->majortype != GUID_NULL && ppartial->majortype != majortype) return FALSE;
  if (ppartial->subtype != GUID_NULL && ppartial->subtype != subtype) return FALSE;
  if (ppartial->formattype != GUID_NULL) {
    if (ppartial->formattype != formattype || ppartial->cbFormat != cbFormat) return FALSE;
    if (cbFormat && std::memcmp(pbFormat, ppartial->pbFormat, cbFormat) != 0) return FALSE;
  }
  return TRUE;
}

BOOL CMediaType::IsPartiallySpecified() const {
  return majortype == GUID_NULL || formattype == GUID_NULL;
}
