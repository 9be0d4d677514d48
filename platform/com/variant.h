#pragma once
// Automation strings and values, and the property bag that carries named values.
//
// BSTR: UTF-16 text in task memory preceded by its length in bytes (a 32-bit prefix) and followed
// by a zero; the pointer is to the first character. A null BSTR is the empty string.
// VARIANT: a tagged value; VariantClear frees what it owns (the BSTR of VT_BSTR).
#include <string>
#include <string_view>

#include "platform/com/unknown.h"

using BSTR = OLECHAR*;
using VARTYPE = unsigned short;
using VARIANT_BOOL = short;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_I4 = 3,
  VT_BSTR = 8,
  VT_BOOL = 11,
  VT_UI4 = 19,
};

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONG lVal;          // VT_I4
    ULONG ulVal;        // VT_UI4
    BSTR bstrVal;       // VT_BSTR, owned by the variant
    VARIANT_BOOL boolVal;  // VT_BOOL
    LONGLONG reserved;  // keeps the layout's size
  };
};
using VARIANTARG = VARIANT;

// nullptr for a null text or when out of memory.
BSTR SysAllocString(const OLECHAR* text);
// length characters from text (zeros when text is null); nullptr when out of memory.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);
// Conversions for the platform's own code (text in UTF-8).
BSTR SysAllocStringUtf8(std::string_view text);
std::string BstrToUtf8(BSTR text);

void VariantInit(VARIANT* value);
// Frees what the value owns and leaves it VT_EMPTY. DISP_E_BADVARTYPE for an unknown type
// (left untouched).
HRESULT VariantClear(VARIANT* value);
// Clears destination and makes it a deep copy of source.
HRESULT VariantCopy(VARIANT* destination, const VARIANT* source);

inline constexpr HRESULT DISP_E_BADVARTYPE = MakeHresult(0x80020008u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHresult(0x80020005u);

// Receives errors met while reading a property bag; not used by the platform's bags.
struct IErrorLog;

// Named values. Read with value->vt == VT_EMPTY lets the bag choose the type; a caller that sets
// a type asks for that type (DISP_E_TYPEMISMATCH when the bag cannot give it). A missing name is
// E_INVALIDARG. The caller clears the value it read.
struct IPropertyBag : IUnknown {
  PLATFORM_INTERFACE_ID("55272A00-42CB-11CE-8135-00AA004BB851");
  STDMETHOD(Read)(LPCOLESTR name, VARIANT* value, IErrorLog* errorLog) = 0;
  STDMETHOD(Write)(LPCOLESTR name, VARIANT* value) = 0;
};
