#pragma once
// IMediaSeeking of the demultiplexer for a program stream it pulls itself: duration, current
// position (the time of the last packet delivered), and start and stop positions that the
// demultiplexer turns into byte offsets (ProgramStreamTimeline). Offered only while the input is a
// program stream; behind a transport stream source the source seeks.
#include "platform/dshow/SourceSeeking.h"

class IProgramStreamSeekTarget {
 public:
  // Positions in 100-ns units from the start of the stream. restart: the start changed, so
  // delivery begins again there (flushing what is on its way); otherwise only the stop moved.
  virtual HRESULT SeekProgramStream(REFERENCE_TIME start, REFERENCE_TIME stop, bool restart) = 0;
  virtual REFERENCE_TIME ProgramStreamPosition() = 0;

 protected:
  ~IProgramStreamSeekTarget() = default;
};

class ProgramStreamSeeking : public CSourceSeeking {
 public:
  // owner: the filter whose identity and lifetime this object shares.
  ProgramStreamSeeking(IUnknown* owner, IProgramStreamSeekTarget* target);

  void SetDuration(REFERENCE_TIME duration);
  // Back to the whole stream (a new connection).
  void ResetPositions();

  STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
  STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override;

 protected:
  HRESULT ChangeStart() override;
  HRESULT ChangeStop() override;
  HRESULT ChangeRate() override;

 private:
  CCritSec m_positionLock;
  IProgramStreamSeekTarget* m_target;
};
