#pragma once
// The MPEG-2 Video Analyzer Filter: input "in", output "out". MPEG-2 video passes through
// unchanged and uncopied; a sample is marked as a sync point exactly when it holds a sequence
// header, a GOP header or the start of an intra-coded picture (a decoder can start there).
#include <memory>

#include "platform/dshow/BaseInputPin.h"
#include "platform/filters/PassThroughOutputPin.h"

class Mpeg2VideoAnalyzer;

class AnalyzerInputPin : public CBaseInputPin {
 public:
  AnalyzerInputPin(Mpeg2VideoAnalyzer* filter, CCritSec* lock, HRESULT* result);
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

 private:
  Mpeg2VideoAnalyzer* m_analyzer;
};

class Mpeg2VideoAnalyzer : public CBaseFilter {
 public:
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
  explicit Mpeg2VideoAnalyzer(IUnknown* outer);
  ~Mpeg2VideoAnalyzer() override;

  int GetPinCount() override { return 2; }
  CBasePin* GetPin(int n) override;

  // True when data holds a sequence header, a GOP header or an I-picture header.
  static bool StartsDecodableData(const BYTE* data, long size);

  PassThroughOutputPin* Output() { return m_output.get(); }
  CCritSec* ReceiveLock() { return &m_receiveLock; }

 private:
  CCritSec m_lock;
  CCritSec m_receiveLock;
  std::unique_ptr<AnalyzerInputPin> m_input;
  std::unique_ptr<PassThroughOutputPin> m_output;
};
