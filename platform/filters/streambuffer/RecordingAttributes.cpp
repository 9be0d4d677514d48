#include "platform/filters/streambuffer/RecordingAttributes.h"

#include <cstring>
#include <new>

#include "platform/com/wstring.h"
#include "platform/filters/streambuffer/AsfFileReader.h"
#include "platform/filters/streambuffer/HeaderRewriter.h"

HRESULT RecordingAttributes::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* object = new (std::nothrow) RecordingAttributes();
  if (!object) return E_OUTOFMEMORY;
  const HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

STDMETHODIMP RecordingAttributes::Load(LPCWSTR fileName, const AM_MEDIA_TYPE* /*type*/) {
  if (!fileName) return E_POINTER;
  const std::string path = Utf16ToUtf8(fileName);
  asf::AsfFileReader file;
  const HRESULT hr = file.Open(path);
  if (FAILED(hr)) return hr;
  std::lock_guard lock(m_lock);
  m_attributes.Read(file.HeaderBytes().data(), file.Header());
  m_path = path;
  m_fileName = fileName;
  return S_OK;
}

STDMETHODIMP RecordingAttributes::GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) {
  if (!fileName) return E_POINTER;
  std::lock_guard lock(m_lock);
  *fileName = nullptr;
  if (type) *type = AM_MEDIA_TYPE{};
  if (m_fileName.empty()) return E_FAIL;
  *fileName = CoTaskMemDupWide(m_fileName);
  return *fileName ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP RecordingAttributes::SetAttribute(ULONG /*reserved*/, LPCWSTR name, STREAMBUFFER_ATTR_DATATYPE type,
                                               BYTE* value, WORD length) {
  if (!name) return E_POINTER;
  if (name[0] == 0) return E_INVALIDARG;
  asf::RecordingAttribute attribute;
  attribute.name = name;
  attribute.type = type;
  HRESULT hr = asf::NormaliseAttributeValue(type, value, length, &attribute.value);
  if (FAILED(hr)) return hr;
  std::lock_guard lock(m_lock);
  if (m_path.empty()) return E_UNEXPECTED;  // nothing loaded
  asf::AttributeList changed = m_attributes;
  changed.Set(std::move(attribute));
  hr = asf::RewriteHeaderAttributes(m_path, changed);
  if (FAILED(hr)) return hr;
  m_attributes = std::move(changed);
  return S_OK;
}

STDMETHODIMP RecordingAttributes::GetAttributeCount(ULONG /*reserved*/, WORD* count) {
  if (!count) return E_POINTER;
  std::lock_guard lock(m_lock);
  *count = static_cast<WORD>(m_attributes.Count());
  return S_OK;
}

HRESULT RecordingAttributes::CopyValue(const asf::RecordingAttribute& attribute, STREAMBUFFER_ATTR_DATATYPE* type,
                                       BYTE* value, WORD* length) {
  *type = attribute.type;
  const WORD needed = static_cast<WORD>(attribute.value.size());
  if (!value) {
    *length = needed;
    return S_OK;
  }
  if (*length < needed) {
    *length = needed;
    return E_INVALIDARG;
  }
  if (needed > 0) std::memcpy(value, attribute.value.data(), needed);
  *length = needed;
  return S_OK;
}

STDMETHODIMP RecordingAttributes::GetAttributeByName(LPCWSTR name, ULONG* /*reserved*/, STREAMBUFFER_ATTR_DATATYPE* type,
                                                     BYTE* value, WORD* length) {
  if (!name || !type || !length) return E_POINTER;
  std::lock_guard lock(m_lock);
  const asf::RecordingAttribute* attribute = m_attributes.Find(name);
  if (!attribute) return kAttributeNotFound;
  return CopyValue(*attribute, type, value, length);
}

STDMETHODIMP RecordingAttributes::GetAttributeByIndex(WORD index, ULONG* /*reserved*/, WCHAR* name, WORD* nameLength,
                                                      STREAMBUFFER_ATTR_DATATYPE* type, BYTE* value, WORD* length) {
  if (!nameLength || !type || !length) return E_POINTER;
  std::lock_guard lock(m_lock);
  if (index >= m_attributes.Count()) return kAttributeNotFound;
  const asf::RecordingAttribute& attribute = m_attributes.At(index);
  const WORD characters = static_cast<WORD>(attribute.name.size() + 1);
  if (name) {
    if (*nameLength < characters) {
      *nameLength = characters;
      return E_INVALIDARG;
    }
    std::memcpy(name, attribute.name.c_str(), characters * sizeof(WCHAR));
  }
  *nameLength = characters;
  return CopyValue(attribute, type, value, length);
}
