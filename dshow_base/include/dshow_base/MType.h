#pragma once
// CMediaType: an AM_MEDIA_TYPE that owns its format block (and object reference).
#include <windows.h>

#include <strmif.h>

class CMediaType : public AM_MEDIA_TYPE {
 public:
  CMediaType();
  explicit CMediaType(const GUID* majortype);
  // A failed copy (no memory for the format block) is reported through phr.
  CMediaType(const AM_MEDIA_TYPE& mt, HRESULT* phr = nullptr);
  CMediaType(const CMediaType& mt, HRESULT* phr = nullptr);
  ~CMediaType();

  CMediaType& operator=(const CMediaType& mt);
  CMediaType& operator=(const AM_MEDIA_TYPE& mt);
  // Same types, format type and format bytes.
  bool operator==(const CMediaType& mt) const;
  bool operator!=(const CMediaType& mt) const { return !(*this == mt); }

  HRESULT Set(const CMediaType& mt);
  HRESULT Set(const AM_MEDIA_TYPE& mt);

  BOOL IsValid() const { return majortype != GUID_NULL; }
  const GUID* Type() const { return &majortype; }
  void SetType(const GUID* t) { majortype = *t; }
  const GUID* Subtype() const { return &subtype; }
  void SetSubtype(const GUID* t) { subtype = *t; }
  const GUID* FormatType() const { return &formattype; }
  void SetFormatType(const GUID* t) { formattype = *t; }
  BOOL IsFixedSize() const { return bFixedSizeSamples; }
  BOOL IsTemporalCompressed() const { return bTemporalCompression; }
  ULONG GetSampleSize() const;
  void SetSampleSize(ULONG sz);
  void SetVariableSize();
  void SetTemporalCompression(BOOL bCompressed) { bTemporalCompression = bCompressed; }

  ULONG FormatLength() const { return cbFormat; }
  BYTE* Format() const { return pbFormat; }
  // Replaces the format block with a copy of the given bytes; FALSE without memory.
  BOOL SetFormat(const BYTE* pFormat, ULONG length);
  // A format block of the given size (contents unspecified); null without memory.
  BYTE* AllocFormatBuffer(ULONG length);
  // Grows or shrinks the block keeping its leading bytes.
  BYTE* ReallocFormatBuffer(ULONG length);
  void ResetFormatBuffer();

  // Zeroes everything, frees what was owned; fixed-size samples of 1 byte, as the
  // platform initialises an empty type.
  void InitMediaType();
  // GUID_NULL fields of the partial type match anything.
  BOOL MatchesPartial(const CMediaType* ppartial) const;
  BOOL IsPartiallySpecified() const;
};
