#pragma once
// A filter that writes what it receives on its one input pin into the file named through
// IFileSinkFilter: the platform's File Writer, and the base of the dump filter stand-in.
//
// Samples of a byte stream whose type is "positioned" carry their file offset as start time and
// are written there (a WAV writer leaves room for its header this way); every other sample is
// appended in arrival order. The input pin offers IStream (Seek, Write) so an upstream filter
// can rewrite a header, also after the writer itself has stopped (see SampleFileSink).
// Without a file name, samples are discarded. Each run (stopped -> paused) starts the file anew.
//
// Events: EC_COMPLETE once per run when end of stream arrives (when it arrives while paused, at
// the next Run); the first write error of a run is reported as EC_ERRORABORT with its status and
// returned from Receive, so nothing is lost silently.
#include <atomic>
#include <memory>

#include "platform/dshow/BaseInputPin.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/filters/SampleFileSink.h"

struct WriterOptions {
  const char* filterName;
  CLSID clsid;
  LPCWSTR pinName;
  // Which byte streams are written at their offsets: every MEDIATYPE_Stream type, or only
  // MEDIATYPE_Stream / MEDIASUBTYPE_WAVE.
  bool positionAllByteStreams;
  LPCWSTR vendorInfo;  // QueryVendorInfo's answer; null: not offered
};

class WriterFilter;

class WriterInputPin : public CBaseInputPin, public IStream {
 public:
  WriterInputPin(WriterFilter* filter, CCritSec* lock, HRESULT* result, LPCWSTR name);
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT SetMediaType(const CMediaType* type) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP EndFlush() override;

  // IStream
  STDMETHODIMP Read(void* buffer, ULONG count, ULONG* read) override;
  STDMETHODIMP Write(const void* buffer, ULONG count, ULONG* written) override;
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
  STDMETHODIMP SetSize(ULARGE_INTEGER newSize) override;
  STDMETHODIMP Commit(DWORD flags) override;

 private:
  WriterFilter* m_writer;
  std::atomic<bool> m_positioned{false};
};

class WriterFilter : public CBaseFilter, public IFileSinkFilter, public IAMFilterMiscFlags {
 public:
  static HRESULT Create(const WriterOptions& options, IUnknown* outer, REFIID riid, void** ppv);
  WriterFilter(const WriterOptions& options, IUnknown* outer);
  ~WriterFilter() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override;

  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* vendorInfo) override;

  // IFileSinkFilter
  STDMETHODIMP SetFileName(LPCWSTR fileName, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) override;
  // IAMFilterMiscFlags: a renderer, so the graph waits for its end of stream.
  STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

  // From the pin.
  bool PositionsByteStream(const CMediaType& type) const;
  HRESULT WriteSample(const BYTE* data, long size, bool positioned, REFERENCE_TIME offset);
  void OnEndOfStream();
  void OnEndFlush();
  SampleFileSink& Sink() { return m_sink; }

 private:
  void ReportError(HRESULT hr);

  WriterOptions m_options;
  CCritSec m_lock;
  SampleFileSink m_sink;
  std::unique_ptr<WriterInputPin> m_input;
  std::atomic<bool> m_endOfStream{false};
  std::atomic<bool> m_completeSent{false};
  std::atomic<bool> m_errorReported{false};
};
