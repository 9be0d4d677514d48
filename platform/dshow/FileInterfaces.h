#pragma once
// File-facing interfaces: sources that load a file, sinks that write one, the byte stream a
// writer's input pin offers for seeking and rewriting, and the DVD source's directory.
#include "platform/dshow/Interfaces.h"

struct LARGE_INTEGER {
  LONGLONG QuadPart;
};
struct ULARGE_INTEGER {
  ULONGLONG QuadPart;
};

inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;

struct ISequentialStream : IUnknown {
  PLATFORM_INTERFACE_ID("0C733A30-2A1C-11CE-ADE5-00AA0044773D");
  STDMETHOD(Read)(void* buffer, ULONG count, ULONG* read) = 0;
  STDMETHOD(Write)(const void* buffer, ULONG count, ULONG* written) = 0;
};

struct IStream : ISequentialStream {
  PLATFORM_INTERFACE_ID("0000000C-0000-0000-C000-000000000046");
  STDMETHOD(Seek)(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) = 0;
  STDMETHOD(SetSize)(ULARGE_INTEGER newSize) = 0;
  STDMETHOD(Commit)(DWORD flags) = 0;
};

struct IFileSourceFilter : IUnknown {
  PLATFORM_INTERFACE_ID("56A868A6-0AD4-11CE-B03A-0020AF0BA770");
  STDMETHOD(Load)(LPCWSTR fileName, const AM_MEDIA_TYPE* type) = 0;
  // fileName: task memory the caller frees; type (optional): filled with a copy the caller frees.
  STDMETHOD(GetCurFile)(LPWSTR* fileName, AM_MEDIA_TYPE* type) = 0;
};

struct IFileSinkFilter : IUnknown {
  PLATFORM_INTERFACE_ID("A2104830-7C70-11CF-8BCE-00AA00A3F1A6");
  STDMETHOD(SetFileName)(LPCWSTR fileName, const AM_MEDIA_TYPE* type) = 0;
  STDMETHOD(GetCurFile)(LPWSTR* fileName, AM_MEDIA_TYPE* type) = 0;
};

// Only the operation this system uses: the DVD source takes the title set's IFO path or folder.
struct IDvdControl2 : IUnknown {
  PLATFORM_INTERFACE_ID("33BC7430-EEC0-11D2-8201-00A0C9D74842");
  STDMETHOD(SetDVDDirectory)(LPCWSTR path) = 0;
};
