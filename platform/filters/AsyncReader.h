#pragma once
// IAsyncReader: the pull interface of a file source's output pin. The demultiplexer reads a
// program stream through it: SyncRead at connection time to find the streams, then block by
// block on its own thread. Only SyncRead and Length do work here; the queued-request methods
// answer E_NOTIMPL because no filter of this system uses them.
// Kept here until the media framework offers the interface itself.
#include "platform/dshow/Interfaces.h"

struct IAsyncReader : IUnknown {
  PLATFORM_INTERFACE_ID("56A868AA-0AD4-11CE-B03A-0020AF0BA770");
  STDMETHOD(RequestAllocator)(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* props, IMemAllocator** actual) = 0;
  STDMETHOD(Request)(IMediaSample* sample, DWORD_PTR user) = 0;
  STDMETHOD(WaitForNext)(DWORD timeout, IMediaSample** sample, DWORD_PTR* user) = 0;
  STDMETHOD(SyncReadAligned)(IMediaSample* sample) = 0;
  // Reads length bytes at position: S_OK when all were read, S_FALSE when the file ended first
  // (the rest of the buffer is then undefined), an error when reading failed.
  STDMETHOD(SyncRead)(LONGLONG position, LONG length, BYTE* buffer) = 0;
  STDMETHOD(Length)(LONGLONG* total, LONGLONG* available) = 0;
  STDMETHOD(BeginFlush)() = 0;
  STDMETHOD(EndFlush)() = 0;
};
