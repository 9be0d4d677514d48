#include "platform/dshow/MediaType.h"

#include <cstring>

void FreeMediaType(AM_MEDIA_TYPE& type) {
  if (type.cbFormat != 0 || type.pbFormat) {
    CoTaskMemFree(type.pbFormat);
    type.cbFormat = 0;
    type.pbFormat = nullptr;
  }
  if (type.pUnk) {
    type.pUnk->Release();
    type.pUnk = nullptr;
  }
}

void DeleteMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return;
  FreeMediaType(*type);
  CoTaskMemFree(type);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
  if (!target || !source) return E_POINTER;
  if (target == source) return S_OK;
  *target = *source;
  if (source->cbFormat != 0 && source->pbFormat) {
    target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
    if (!target->pbFormat) {
      target->cbFormat = 0;
      target->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
  } else {
    target->cbFormat = 0;
    target->pbFormat = nullptr;
  }
  if (target->pUnk) target->pUnk->AddRef();
  return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source) {
  auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!type) return nullptr;
  if (!source) {
    std::memset(type, 0, sizeof(*type));
    return type;
  }
  if (FAILED(CopyMediaType(type, source))) {
    CoTaskMemFree(type);
    return nullptr;
  }
  return type;
}

CMediaType::CMediaType() : AM_MEDIA_TYPE{} { InitMediaType(); }

CMediaType::CMediaType(const GUID* majorType) : CMediaType() {
  if (majorType) majortype = *majorType;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& type, HRESULT* result) : AM_MEDIA_TYPE{} {
  HRESULT hr = CopyMediaType(this, &type);
  if (result) *result = hr;
}

CMediaType::CMediaType(const CMediaType& type, HRESULT* result) : AM_MEDIA_TYPE{} {
  HRESULT hr = CopyMediaType(this, &type);
  if (result) *result = hr;
}

CMediaType::~CMediaType() { FreeMediaType(*this); }

CMediaType& CMediaType::operator=(const CMediaType& type) {
  Set(type);
  return *this;
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& type) {
  Set(type);
  return *this;
}

HRESULT CMediaType::Set(const CMediaType& type) { return Set(static_cast<const AM_MEDIA_TYPE&>(type)); }

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& type) {
  if (&type == this) return S_OK;
  FreeMediaType(*this);
  HRESULT hr = CopyMediaType(this, &type);
  return FAILED(hr) ? E_OUTOFMEMORY : S_OK;
}

bool CMediaType::operator==(const CMediaType& other) const {
  if (majortype != other.majortype || subtype != other.subtype || formattype != other.formattype) return false;
  if (cbFormat != other.cbFormat) return false;
  return cbFormat == 0 || std::memcmp(pbFormat, other.pbFormat, cbFormat) == 0;
}

void CMediaType::SetSampleSize(ULONG size) {
  if (size == 0) {
    SetVariableSize();
  } else {
    bFixedSizeSamples = TRUE;
    lSampleSize = size;
  }
}

bool CMediaType::SetFormat(const BYTE* format, ULONG length) {
  if (length == 0) {
    ResetFormatBuffer();
    return true;
  }
  if (!AllocFormatBuffer(length)) return false;
  std::memcpy(pbFormat, format, length);
  return true;
}

void CMediaType::ResetFormatBuffer() {
  CoTaskMemFree(pbFormat);
  pbFormat = nullptr;
  cbFormat = 0;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length) {
  if (length == 0) return nullptr;
  if (cbFormat == length && pbFormat) {
    std::memset(pbFormat, 0, length);
    return pbFormat;
  }
  auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
  if (!block) return nullptr;
  std::memset(block, 0, length);
  ResetFormatBuffer();
  pbFormat = block;
  cbFormat = length;
  return block;
}

BYTE* CMediaType::ReallocFormatBuffer(ULONG length) {
  if (length == 0) return nullptr;
  auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
  if (!block) return nullptr;
  std::memset(block, 0, length);
  if (pbFormat) std::memcpy(block, pbFormat, length < cbFormat ? length : cbFormat);
  ResetFormatBuffer();
  pbFormat = block;
  cbFormat = length;
  return block;
}

void CMediaType::InitMediaType() {
  FreeMediaType(*this);
  majortype = GUID_NULL;
  subtype = GUID_NULL;
  formattype = GUID_NULL;
  bFixedSizeSamples = TRUE;
  bTemporalCompression = FALSE;
  lSampleSize = 1;
  pUnk = nullptr;
}

bool CMediaType::MatchesPartial(const CMediaType* partial) const {
  if (partial->majortype != GUID_NULL && majortype != partial->majortype) return false;
  if (partial->subtype != GUID_NULL && subtype != partial->subtype) return false;
  if (partial->formattype != GUID_NULL) {
    if (formattype != partial->formattype || cbFormat != partial->cbFormat) return false;
    if (cbFormat != 0 && std::memcmp(pbFormat, partial->pbFormat, cbFormat) != 0) return false;
  }
  return true;
}

bool CMediaType::IsPartiallySpecified() const {
  return majortype == GUID_NULL || subtype == GUID_NULL || formattype == GUID_NULL;
}
