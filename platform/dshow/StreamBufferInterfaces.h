#pragma once
// The stream-buffer (DVR-MS) interfaces: the sink that takes the demultiplexed streams and makes
// recorders, a recorder's start/stop control, and the attributes written into a recording's
// header. Slot order is the declaration order.
#include "platform/dshow/Interfaces.h"

// The recording attributes object: IFileSourceFilter::Load of a recording, then
// IStreamBufferRecordingAttribute on its header.
inline constexpr CLSID CLSID_StreamBufferRecordingAttributes = MakeGuid("{CCAA63AC-1057-4778-AE92-1206AB9ACEE6}");

// CreateRecorder's recording types: a content recording holds the samples themselves.
inline constexpr DWORD RECORDING_TYPE_CONTENT = 0;
inline constexpr DWORD RECORDING_TYPE_REFERENCE = 1;

enum STREAMBUFFER_ATTR_DATATYPE : int {
  STREAMBUFFER_TYPE_DWORD = 0,
  STREAMBUFFER_TYPE_STRING = 1,  // UTF-16LE with its terminating zero; the length counts bytes
  STREAMBUFFER_TYPE_BINARY = 2,
  STREAMBUFFER_TYPE_BOOL = 3,  // 4 bytes
  STREAMBUFFER_TYPE_QWORD = 4,
  STREAMBUFFER_TYPE_WORD = 5,
  STREAMBUFFER_TYPE_GUID = 6,
};

struct IStreamBufferSink : IUnknown {
  PLATFORM_INTERFACE_ID("AFD1F242-7EFD-45EE-BA4E-407A25C9A77A");
  // Fixes the set of streams (the connected input pins); fileName may be null.
  STDMETHOD(LockProfile)(LPCWSTR fileName) = 0;
  // A recorder writing fileName; *recorder offers IStreamBufferRecordControl.
  STDMETHOD(CreateRecorder)(LPCWSTR fileName, DWORD recordingType, IUnknown** recorder) = 0;
  // S_OK when locked, S_FALSE when not.
  STDMETHOD(IsProfileLocked)() = 0;
};

struct IStreamBufferRecordControl : IUnknown {
  PLATFORM_INTERFACE_ID("BA9B6C99-F3C7-4FF2-92DB-CFDD4851BF31");
  // start (in/out, may be null): the stream time the recording starts at; 0 is now.
  STDMETHOD(Start)(REFERENCE_TIME* start) = 0;
  STDMETHOD(Stop)(REFERENCE_TIME stop) = 0;
  // result: the recording's own status (a failed write, say); started/stopped: where it stands.
  STDMETHOD(GetRecordingStatus)(HRESULT* result, BOOL* started, BOOL* stopped) = 0;
};

struct IStreamBufferRecordingAttribute : IUnknown {
  PLATFORM_INTERFACE_ID("16CA4E03-FE69-4705-BD41-5B7DFC0C95F3");
  STDMETHOD(SetAttribute)(ULONG reserved, LPCWSTR name, STREAMBUFFER_ATTR_DATATYPE type, BYTE* value,
                          WORD length) = 0;
  STDMETHOD(GetAttributeCount)(ULONG reserved, WORD* count) = 0;
  // value null or *length too small: *length is set to the size needed and E_INVALIDARG returned
  // for a buffer too small (S_OK for a null buffer).
  STDMETHOD(GetAttributeByName)(LPCWSTR name, ULONG* reserved, STREAMBUFFER_ATTR_DATATYPE* type, BYTE* value,
                                WORD* length) = 0;
  // name: a buffer of *nameLength characters (null to ask the length, terminator included).
  STDMETHOD(GetAttributeByIndex)(WORD index, ULONG* reserved, WCHAR* name, WORD* nameLength,
                                 STREAMBUFFER_ATTR_DATATYPE* type, BYTE* value, WORD* length) = 0;
};
