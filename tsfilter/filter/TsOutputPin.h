#pragma once
// The filter's one output pin: pushes the file downstream one 188-byte packet per sample on its
// streaming thread (or, in elementary video mode, the video payload), carries the examiner's state
// and answers IMediaSeeking through its seeking object. At connection it sets up the
// demultiplexer behind it.
#include <functional>

#include "platform/dshow/SourceSeeking.h"
#include "platform/dshow/SourceStream.h"
#include "tsfilter/analysis/TsPinState.h"

namespace tsfilter {

class TsSourceFilter;
class TsOutputPin;

// Positional seeking: a start or stop time becomes a packet index by linear interpolation over
// the file; a start moves the examiner, a stop becomes the reader's size limit.
class TsSeeking final : public CSourceSeeking {
 public:
  TsSeeking(TsOutputPin& pin, IUnknown* owner, HRESULT* result, CCritSec* lock);

  STDMETHODIMP GetCapabilities(DWORD* capabilities) override;
  STDMETHODIMP CheckCapabilities(DWORD* capabilities) override;
  STDMETHODIMP IsFormatSupported(const GUID* format) override;
  STDMETHODIMP SetTimeFormat(const GUID* format) override;
  STDMETHODIMP GetDuration(LONGLONG* duration) override;
  STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
  STDMETHODIMP GetPreroll(LONGLONG* preroll) override;

  void SetDuration(REFERENCE_TIME duration);

 protected:
  HRESULT ChangeStart() override;
  HRESULT ChangeStop() override;
  HRESULT ChangeRate() override;

 private:
  friend class TsOutputPin;
  // Moves the examiner to `packet` with a discontinuity pending. The caller holds the pin lock.
  void MoveTo(std::int64_t packet);
  TsOutputPin& m_pin;
};

class TsOutputPin final : public CSourceStream {
 public:
  TsOutputPin(HRESULT* result, TsSourceFilter* filter, bool elementaryVideo);
  ~TsOutputPin() override;

  TsPinState& State() { return m_state; }
  TsSeeking& Seeking() { return m_seeking; }
  bool ElementaryVideo() const { return m_elementaryVideo; }

  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
  HRESULT GetMediaType(CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;

  // Flushes downstream and restarts the streaming loop, so delivery continues at the examiner's
  // new position; `whileStopped` runs while the loop is stopped. Called without the pin lock.
  void RestartDelivery(const std::function<void()>& whileStopped = {});

 protected:
  HRESULT FillBuffer(IMediaSample* sample) override;
  HRESULT OnThreadDestroy() override;
  HRESULT OnThreadStartPlay() override;

 private:
  friend class TsSeeking;
  TsSourceFilter& m_filter;
  bool m_elementaryVideo;
  TsPinState m_state;
  CCritSec m_seekingLock;
  TsSeeking m_seeking;
};

}  // namespace tsfilter
