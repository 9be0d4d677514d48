#include "platform/com/variant.h"

#include <cstdint>
#include <cstring>

#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"

namespace {
constexpr std::size_t kMaxBstrBytes = 0x7FFFFFF0u;  // the prefix is a 32-bit byte count

std::uint32_t* PrefixOf(BSTR text) { return reinterpret_cast<std::uint32_t*>(text) - 1; }
}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  const std::size_t bytes = static_cast<std::size_t>(length) * sizeof(OLECHAR);
  if (bytes > kMaxBstrBytes) return nullptr;
  auto* block = static_cast<std::uint32_t*>(CoTaskMemAlloc(sizeof(std::uint32_t) + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  *block = static_cast<std::uint32_t>(bytes);
  auto* characters = reinterpret_cast<OLECHAR*>(block + 1);
  if (text) {
    std::memcpy(characters, text, bytes);
  } else {
    std::memset(characters, 0, bytes);
  }
  characters[length] = 0;
  return characters;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  const std::size_t length = WideLength(text);
  if (length > kMaxBstrBytes / sizeof(OLECHAR)) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(length));
}

void SysFreeString(BSTR text) {
  if (text) CoTaskMemFree(PrefixOf(text));
}

UINT SysStringByteLen(BSTR text) { return text ? *PrefixOf(text) : 0; }
UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

BSTR SysAllocStringUtf8(std::string_view text) {
  const std::u16string wide = Utf8ToUtf16(text);
  if (wide.size() > kMaxBstrBytes / sizeof(OLECHAR)) return nullptr;
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::string BstrToUtf8(BSTR text) { return text ? Utf16ToUtf8(std::u16string_view(text, SysStringLen(text))) : ""; }

void VariantInit(VARIANT* value) {
  if (!value) return;
  std::memset(value, 0, sizeof *value);
  value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* value) {
  if (!value) return E_INVALIDARG;
  switch (value->vt) {
    case VT_BSTR: SysFreeString(value->bstrVal); break;
    case VT_EMPTY:
    case VT_I4:
    case VT_UI4:
    case VT_BOOL: break;
    default: return DISP_E_BADVARTYPE;
  }
  VariantInit(value);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* destination, const VARIANT* source) {
  if (!destination || !source) return E_INVALIDARG;
  if (destination == source) return S_OK;
  VARIANT copy = *source;
  if (source->vt == VT_BSTR && source->bstrVal) {
    copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
    if (!copy.bstrVal) return E_OUTOFMEMORY;
  } else if (source->vt != VT_EMPTY && source->vt != VT_I4 && source->vt != VT_UI4 && source->vt != VT_BOOL &&
             source->vt != VT_BSTR) {
    return DISP_E_BADVARTYPE;
  }
  HRESULT hr = VariantClear(destination);
  if (FAILED(hr)) {
    if (copy.vt == VT_BSTR) SysFreeString(copy.bstrVal);
    return hr;
  }
  *destination = copy;
  return S_OK;
}
