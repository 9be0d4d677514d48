#pragma once
// ITsSourceInfo: what the transport-stream source filter learnt about its file, for hosts and
// property pages. Ten typed queries over the program tables, then the string-keyed GetAttribute.
// The slot order is the declaration order and must never change: hosts in other modules call
// through it. Answers of GetAttribute are UTF-16 strings from the COM task allocator; the caller
// frees them with CoTaskMemFree.
#include "platform/com/unknown.h"

struct ITsSourceInfo : IUnknown {
  PLATFORM_INTERFACE_ID("E0F3EC1F-837F-403A-A25E-20E38ACDDA36");
  STDMETHOD(GetTransportStreamId)(WORD* transportStreamId) = 0;
  STDMETHOD(GetPatVersion)(BYTE* version) = 0;
  STDMETHOD(GetProgramCount)(DWORD* count) = 0;
  STDMETHOD(GetProgramNumber)(LONG index, WORD* programNumber) = 0;
  STDMETHOD(GetProgramPmtPid)(LONG index, WORD* pmtPid) = 0;
  STDMETHOD(GetPmtPid)(WORD programNumber, WORD* pmtPid) = 0;
  STDMETHOD(GetPmtVersion)(WORD programNumber, BYTE* version) = 0;
  STDMETHOD(GetStreamCount)(WORD programNumber, WORD* count) = 0;
  STDMETHOD(GetStreamType)(WORD programNumber, DWORD streamIndex, BYTE* streamType) = 0;
  STDMETHOD(GetStreamPid)(WORD programNumber, DWORD streamIndex, WORD* pid) = 0;
  STDMETHOD(GetAttribute)(LPCWSTR key, LPWSTR* answer) = 0;
};

inline constexpr IID IID_ITsSourceInfo = ITsSourceInfo::kIid;
