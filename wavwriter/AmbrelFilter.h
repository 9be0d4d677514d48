#pragma once
// Ambrel: a transform filter that turns a stream of AC3 frames into a WAV file written by the
// byte-stream writer behind it (the File Writer, or a dump filter that offers the same).
//
// Input pin "In" takes any type with a WAVEFORMATEX format block; output pin "Out" offers one
// type, a WAVE byte stream. Every input sample gives one output sample holding its audio bytes
// (bytes before the first frame header dropped), stamped with the file offsets where they belong:
// start = header size + audio bytes so far, stop = start + length. At every stop the RIFF/WAVE
// header is written over the first bytes of the file through the IStream of the pin connected to
// the output, so a conversion stopped early still leaves a valid file.
//
// Threads: Transform runs on the upstream streaming thread under the receive lock; StartStreaming
// and StopStreaming run on the control thread, StopStreaming after the base class has taken the
// receive lock, so the stream state is never touched by both at once.
#include <vector>

#include "platform/com/module.h"
#include "platform/dshow/TransformFilter.h"
#include "platform/dshow/dshow.h"
#include "wavwriter/WavAudioStream.h"

// Live Ambrel objects, for the module's DllCanUnloadNow.
ModuleObjectCount& AmbrelObjectCount();

class AmbrelFilter final : public CTransformFilter, public ISpecifyPropertyPages {
 public:
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* result);

  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // Media types and buffers.
  HRESULT CheckInputType(const CMediaType* in) override;
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  // Streaming.
  HRESULT StartStreaming() override;
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
  HRESULT StopStreaming() override;

  // IBaseFilter
  STDMETHODIMP QueryVendorInfo(LPWSTR* vendorInfo) override;
  // ISpecifyPropertyPages
  STDMETHODIMP GetPages(CAUUID* pages) override;

  // The output type check on its own: S_OK for a WAVE byte stream, S_FALSE for anything else.
  static HRESULT CheckOutputType(const CMediaType* out);

 private:
  AmbrelFilter(IUnknown* outer, HRESULT* result);
  ~AmbrelFilter() override;

  HRESULT WriteHeader();

  WavAudioStream m_stream;
  std::vector<BYTE> m_format;  // the input format block of the current run
};
