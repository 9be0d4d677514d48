#pragma once
// The Infinite Pin Tee: one input "Input" whose samples go, unchanged and uncopied, to every
// connected output "Output1", "Output2", ... There is always one free output: when the last
// free one connects, the next is added. Outputs offer the input's type, so they connect after
// the input; the input accepts any type its connected outputs' peers accept.
//
// Locks: m_lock is the filter lock (connections, state); m_receiveLock serialises Receive,
// end of stream and flushing against changes of the output list. Pins are never deleted before
// the filter, because the graph may hold pins it enumerated.
#include <memory>
#include <vector>

#include "platform/dshow/BaseInputPin.h"
#include "platform/filters/PassThroughOutputPin.h"

class InfTee;

class InfTeeInputPin : public CBaseInputPin {
 public:
  InfTeeInputPin(InfTee* tee, CCritSec* lock, HRESULT* result);
  HRESULT CheckMediaType(const CMediaType* type) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

 private:
  InfTee* m_tee;
};

class InfTeeOutputPin : public PassThroughOutputPin {
 public:
  InfTeeOutputPin(InfTee* tee, CCritSec* lock, HRESULT* result, LPCWSTR name, CBasePin* input);
  HRESULT CompleteConnect(IPin* receivePin) override;

 private:
  InfTee* m_tee;
};

class InfTee : public CBaseFilter {
 public:
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
  explicit InfTee(IUnknown* outer);
  ~InfTee() override;

  int GetPinCount() override;
  CBasePin* GetPin(int n) override;

  // Called by the pins.
  HRESULT DeliverToOutputs(IMediaSample* sample);
  HRESULT DeliverEndOfStream();
  HRESULT DeliverBeginFlush();
  HRESULT DeliverEndFlush();
  HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
  // Whether every connected output's peer would take this type.
  bool OutputsAccept(const CMediaType* type);
  // Adds a free output when none is left (after an output connected).
  void EnsureFreeOutput();

 private:
  CCritSec m_lock;
  CCritSec m_receiveLock;
  std::unique_ptr<InfTeeInputPin> m_input;
  std::vector<std::unique_ptr<InfTeeOutputPin>> m_outputs;
};
