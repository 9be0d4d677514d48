#pragma once
// The asynchronous file source: IFileSourceFilter, one output pin "Output" that offers
// IAsyncReader over the loaded file; the filter downstream (the demultiplexer for a program
// stream) pulls the bytes itself. The pin's type is MEDIATYPE_Stream with a subtype found from
// the file's first bytes (program stream, MPEG-1 system stream, transport stream), or the type
// given to Load.
#include <memory>
#include <mutex>
#include <string>

#include "platform/dshow/BaseFilter.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/filters/PullOutputPin.h"

class AsyncFileSource : public CBaseFilter, public IFileSourceFilter, private PullStreamSource {
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

  // PullStreamSource, for the pin: the loaded file.
  HRESULT ReadAt(LONGLONG position, LONG length, BYTE* buffer) override;
  HRESULT StreamLength(LONGLONG* length) override;
  const CMediaType& StreamType() const override { return m_type; }
  bool IsLoaded() const override { return m_fd >= 0; }

  // The subtype a stream's first bytes suggest: MPEG2_PROGRAM, MPEG1System, MPEG2_TRANSPORT or
  // GUID_NULL when none fits.
  static GUID SniffSubtype(const BYTE* data, std::size_t size);

 private:
  CCritSec m_lock;
  std::unique_ptr<PullOutputPin> m_output;
  std::u16string m_fileName;
  CMediaType m_type;
  int m_fd = -1;
};
