#pragma once
// The output pin of a pull source: the byte stream its filter offers, read through IAsyncReader
// by the filter behind it (the demultiplexer reads a program stream so). The file source and the
// DVD source differ only in where the bytes come from, which the filter tells through
// PullStreamSource.
#include "platform/dshow/BasePin.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/filters/AsyncReader.h"

class PullStreamSource {
 public:
  virtual ~PullStreamSource() = default;
  virtual bool IsLoaded() const = 0;
  // The type the pin offers (a media type of MEDIATYPE_Stream and the stream's subtype).
  virtual const CMediaType& StreamType() const = 0;
  // Reads at an offset: S_FALSE when the stream ends first.
  virtual HRESULT ReadAt(LONGLONG position, LONG length, BYTE* buffer) = 0;
  virtual HRESULT StreamLength(LONGLONG* length) = 0;
};

class PullOutputPin : public CBasePin, public IAsyncReader {
 public:
  PullOutputPin(const char* objectName, CBaseFilter* filter, PullStreamSource* source, CCritSec* lock, HRESULT* result);
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // Accepts the stream type, or its major type with any subtype left open.
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  // Shared by IPin and IAsyncReader: nothing is queued, so there is nothing to flush.
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }
  STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }

  // IAsyncReader: only the synchronous reads are offered.
  STDMETHODIMP RequestAllocator(IMemAllocator*, ALLOCATOR_PROPERTIES*, IMemAllocator**) override { return E_NOTIMPL; }
  STDMETHODIMP Request(IMediaSample*, DWORD_PTR) override { return E_NOTIMPL; }
  STDMETHODIMP WaitForNext(DWORD, IMediaSample**, DWORD_PTR*) override { return E_NOTIMPL; }
  STDMETHODIMP SyncReadAligned(IMediaSample*) override { return E_NOTIMPL; }
  STDMETHODIMP SyncRead(LONGLONG position, LONG length, BYTE* buffer) override;
  STDMETHODIMP Length(LONGLONG* total, LONGLONG* available) override;

 private:
  PullStreamSource* m_source;
};
