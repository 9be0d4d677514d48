#pragma once
// The asynchronous file source: IFileSourceFilter, one output pin "Output" that offers
// IAsyncReader over the loaded file; the filter downstream (the demultiplexer for a program
// stream) pulls the bytes itself. The pin's type is MEDIATYPE_Stream with a subtype found from
// the file's first bytes (program stream, MPEG-1 system stream, transport stream), or the type
// given to Load.
#include <memory>
#include <mutex>
#include <string>

#include "platform/dshow/BasePin.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/filters/AsyncReader.h"

class AsyncFileSource;

class AsyncOutputPin : public CBasePin, public IAsyncReader {
 public:
  AsyncOutputPin(AsyncFileSource* filter, CCritSec* lock, HRESULT* result);
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  // Shared by IPin and IAsyncReader: nothing is queued, so there is nothing to flush.
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }
  STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }

  // IAsyncReader
  STDMETHODIMP RequestAllocator(IMemAllocator*, ALLOCATOR_PROPERTIES*, IMemAllocator**) override { return E_NOTIMPL; }
  STDMETHODIMP Request(IMediaSample*, DWORD_PTR) override { return E_NOTIMPL; }
  STDMETHODIMP WaitForNext(DWORD, IMediaSample**, DWORD_PTR*) override { return E_NOTIMPL; }
  STDMETHODIMP SyncReadAligned(IMediaSample*) override { return E_NOTIMPL; }
  STDMETHODIMP SyncRead(LONGLONG position, LONG length, BYTE* buffer) override;
  STDMETHODIMP Length(LONGLONG* total, LONGLONG* available) override;

 private:
  AsyncFileSource* m_source;
};

class AsyncFileSource : public CBaseFilter, public IFileSourceFilter {
 public:
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
  explicit AsyncFileSource(IUnknown* outer);
  ~AsyncFileSource() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? m_output.get() : nullptr; }

  // IFileSourceFilter
  STDMETHODIMP Load(LPCWSTR fileName, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) override;

  // For the pin: reads at an offset (S_FALSE when the file ends first).
  HRESULT ReadAt(LONGLONG position, LONG length, BYTE* buffer);
  HRESULT FileLength(LONGLONG* length);
  const CMediaType& StreamType() const { return m_type; }
  bool IsLoaded() const { return m_fd >= 0; }

  // The subtype a stream's first bytes suggest: MPEG2_PROGRAM, MPEG1System, MPEG2_TRANSPORT or
  // GUID_NULL when none fits.
  static GUID SniffSubtype(const BYTE* data, std::size_t size);

 private:
  CCritSec m_lock;
  std::unique_ptr<AsyncOutputPin> m_output;
  std::u16string m_fileName;
  CMediaType m_type;
  int m_fd = -1;
};
