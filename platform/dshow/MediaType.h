#pragma once
// Media types: AM_MEDIA_TYPE (a plain record whose format block lives in task memory) and
// CMediaType, which owns its format block and copies it deeply.
#include "platform/com/taskmem.h"
#include "platform/com/unknown.h"
#include "platform/dshow/Guids.h"

struct AM_MEDIA_TYPE {
  GUID majortype;
  GUID subtype;
  BOOL bFixedSizeSamples;
  BOOL bTemporalCompression;
  ULONG lSampleSize;
  GUID formattype;
  IUnknown* pUnk;     // unused here; released by FreeMediaType when set
  ULONG cbFormat;
  BYTE* pbFormat;     // cbFormat bytes from CoTaskMemAlloc, or null
};

// Releases the format block (and pUnk) of a type and clears those fields; the record stays.
void FreeMediaType(AM_MEDIA_TYPE& type);
// Frees a type made by CreateMediaType (or handed out by an enumerator) and its format block.
void DeleteMediaType(AM_MEDIA_TYPE* type);
// Deep copy into target (whose old contents are overwritten, not freed). E_OUTOFMEMORY leaves
// target without a format block.
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
// A new task-memory copy of source, or null when out of memory.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);

class CMediaType : public AM_MEDIA_TYPE {
 public:
  CMediaType();
  explicit CMediaType(const GUID* majorType);
  CMediaType(const AM_MEDIA_TYPE& type, HRESULT* result = nullptr);
  CMediaType(const CMediaType& type, HRESULT* result = nullptr);
  ~CMediaType();

  CMediaType& operator=(const CMediaType& type);
  CMediaType& operator=(const AM_MEDIA_TYPE& type);
  bool operator==(const CMediaType& other) const;
  bool operator!=(const CMediaType& other) const { return !(*this == other); }

  HRESULT Set(const CMediaType& type);
  HRESULT Set(const AM_MEDIA_TYPE& type);
  bool IsValid() const { return majortype != GUID_NULL; }

  const GUID* Type() const { return &majortype; }
  void SetType(const GUID* type) { majortype = *type; }
  const GUID* Subtype() const { return &subtype; }
  void SetSubtype(const GUID* type) { subtype = *type; }
  const GUID* FormatType() const { return &formattype; }
  void SetFormatType(const GUID* type) { formattype = *type; }
  bool IsFixedSize() const { return bFixedSizeSamples != FALSE; }
  bool IsTemporalCompressed() const { return bTemporalCompression != FALSE; }
  ULONG GetSampleSize() const { return IsFixedSize() ? lSampleSize : 0; }
  void SetSampleSize(ULONG size);
  void SetVariableSize() { bFixedSizeSamples = FALSE; }
  void SetTemporalCompression(BOOL compressed) { bTemporalCompression = compressed; }

  BYTE* Format() const { return pbFormat; }
  ULONG FormatLength() const { return cbFormat; }
  // Copies length bytes into a new format block; false when out of memory.
  bool SetFormat(const BYTE* format, ULONG length);
  void ResetFormatBuffer();
  // A zeroed format block of length bytes (the old one is freed); null when out of memory.
  BYTE* AllocFormatBuffer(ULONG length);
  // Grows or shrinks the block keeping its contents; null when out of memory.
  BYTE* ReallocFormatBuffer(ULONG length);
  void InitMediaType();

  // True when a type field left GUID_NULL here matches anything in other.
  bool MatchesPartial(const CMediaType* partial) const;
  bool IsPartiallySpecified() const;
};
