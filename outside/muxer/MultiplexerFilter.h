#pragma once
// MultiplexerFilter: the multiplexer stand-in. Input pins "Input 1", "Input 2", ... accept MPEG-1/2
// video, MPEG audio and AC3 (and, for transport streams, H.264 and AAC in ADTS); a free input
// appears whenever the last free one connects. The output pin "Output" delivers a byte stream
// (MEDIATYPE_Stream) whose samples carry their byte offset as start and stop time.
//
// Samples: start time = presentation time, media time = decode time (100 ns units). An audio
// input's language comes with its media type (AudioLanguage.h) and is kept in transport streams.
//
// Locks: the filter lock (m_csFilter) guards state, pins and connections; the receive lock
// (m_csReceive) serialises every input's streaming calls into the one writer. Order: filter lock,
// then receive lock. Delivery downstream happens under the receive lock only.
//
// End: when every connected input has had end of stream, the writer finishes (the last packs and
// the end code go out) and end of stream is delivered. A stop before that finishes the output the
// same way (without end of stream), so a stopped conversion leaves a whole, playable file; when
// the downstream refuses the rest, Stop still stops and returns the failure.
#include <memory>
#include <vector>

#include "outside/muxer/IMultiplexerConfig.h"
#include "outside/muxer/MultiplexWriter.h"
#include "platform/dshow/BaseFilter.h"
#include "platform/dshow/BaseInputPin.h"
#include "platform/dshow/BaseOutputPin.h"

namespace outside {

// {FABBE789-E9E3-47AB-8F03-BF066AA36699}
inline constexpr CLSID CLSID_PsTsMultiplexer = MakeGuid("{FABBE789-E9E3-47AB-8F03-BF066AA36699}");
inline constexpr const char* kMultiplexerName = "PS/TS Multiplexer";

class MultiplexerFilter;

// Maps an input media type to a stream kind; false when the multiplexer does not take it.
bool StreamKindOfMediaType(const AM_MEDIA_TYPE& type, StreamKind& kind);

class MuxInputPin final : public CBaseInputPin {
 public:
  MuxInputPin(MultiplexerFilter* filter, CCritSec* lock, HRESULT* result, LPCWSTR name);

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;

  int m_stream = -1;      // writer stream index while streaming
  bool m_ended = false;

 private:
  MultiplexerFilter* m_mux;
};

class MuxOutputPin final : public CBaseOutputPin {
 public:
  MuxOutputPin(MultiplexerFilter* filter, CCritSec* lock, HRESULT* result);

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

 private:
  MultiplexerFilter* m_mux;
};

class MultiplexerFilter final : public CBaseFilter, public IMultiplexerConfig, private ByteSink {
 public:
  static constexpr int kMaxInputs = 16;
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  int GetPinCount() override;
  CBasePin* GetPin(int n) override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* vendorInfo) override;

  // IMultiplexerConfig
  STDMETHODIMP GetOutputFormat(LONG* format) override;
  STDMETHODIMP GetVideoBitrate(LONG* bitsPerSecond) override;
  STDMETHODIMP GetAudioBitrate(LONG* bitsPerSecond) override;
  STDMETHODIMP GetMuxRate(LONG* bitsPerSecond) override;
  STDMETHODIMP GetStatistics(LONGLONG* bytesWritten, LONGLONG* lateUnits) override;
  STDMETHODIMP SetOutputFormat(LONG format) override;
  STDMETHODIMP SetVideoBitrate(LONG bitsPerSecond) override;
  STDMETHODIMP SetAudioBitrate(LONG bitsPerSecond) override;

  // Called by the pins.
  bool AcceptsKind(StreamKind kind) const;
  void OnInputConnected();
  HRESULT ReceiveFrom(MuxInputPin* pin, IMediaSample* sample);
  HRESULT EndOfStreamFrom(MuxInputPin* pin);
  bool IsTransportStream() const { return m_format == kMuxTransportStream; }

 private:
  MultiplexerFilter(HRESULT* result);
  ~MultiplexerFilter() override;
  HRESULT StartWriter();
  HRESULT FinishOnStop();
  MuxSettings Settings(int audioStreams) const;
  HRESULT Write(const std::uint8_t* data, std::size_t size) override;  // ByteSink: out through "Output"

  CCritSec m_csFilter;
  CCritSec m_csReceive;
  std::vector<MuxInputPin*> m_inputs;
  MuxOutputPin* m_output = nullptr;

  LONG m_format = kMuxProgramStream;
  LONG m_videoBitrate = 0;
  LONG m_audioBitrate = 0;

  // Streaming state, under m_csReceive.
  std::unique_ptr<MultiplexWriter> m_writer;
  bool m_finished = false;
  LONGLONG m_outputOffset = 0;
  MuxStatistics m_lastStatistics;
};

}  // namespace outside
