#pragma once
// The stream-buffer sink ("StreamBufferSink"): input pins "DVR In - 1", "DVR In - 2", ... that
// take MPEG-2 video and AC3 or MPEG audio, with always one free pin (a new one appears when the
// last free one connects). IStreamBufferSink::LockProfile fixes the streams (the connected
// inputs, video first); CreateRecorder makes a content recorder writing them into a new file.
//
// Pins connect, disconnect and reconnect freely until the profile is locked; later connections
// are refused (a pin may still be disconnected, its stream then stays empty). A pin counts as
// connected only while its peer is connected to it too, so a pin whose peer was disconnected and
// moved on is ignored. One stream of each kind is taken: a second video or audio input is
// refused, so a tee's second output goes on to the writer behind it instead of into the
// recording twice.
//
// Recording: samples reaching the sink while a recorder exists are written, also before the
// recorder's Start (the graph runs before Start is called, and nothing of the conversion is lost
// so); a flush before Start (a seek to the first position) discards what came before it. A
// recording ends at the recorder's Stop, when the recorder is released, when the graph stops,
// or once every recorded input has seen its end of stream; its header is rewritten then.
// A failed write raises EC_ERRORABORT with the status (once) and fails the sample.
//
// Events: EC_COMPLETE when every connected input has seen end of stream (after the recording is
// complete on disk); at the next Run when that happens while paused.
//
// Locks: m_lock is the filter lock (state, connections, the pin list; pins are never deleted
// before the filter). m_recordLock guards the recording and is taken per sample; it is never
// held while calling out of the filter. Order: m_lock before m_recordLock.
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/dshow/BaseInputPin.h"
#include "platform/dshow/StreamBufferInterfaces.h"
#include "platform/filters/streambuffer/RecordingFile.h"
#include "platform/filters/streambuffer/StreamMediaTypes.h"

class StreamBufferSink;

class StreamBufferInputPin : public CBaseInputPin {
 public:
  StreamBufferInputPin(StreamBufferSink* sink, CCritSec* lock, HRESULT* result, LPCWSTR name, int index);

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP EndFlush() override;

  int Index() const { return m_index; }
  // Connected, and its peer connected to this pin (asks the peer: not on a streaming thread).
  bool IsPaired();
  // Taken when the filter starts, so the streaming threads need not ask the peers.
  bool WasPaired() const { return m_paired; }
  bool Ended() const { return m_ended; }
  void PrepareRun() {
    m_paired = IsPaired();
    m_ended = false;
  }
  void ResetEnded() { m_ended = false; }

 private:
  StreamBufferSink* m_sink;
  int m_index;
  std::atomic<bool> m_paired{false};
  std::atomic<bool> m_ended{false};
};

struct RecordingSession;

class StreamBufferSink : public CBaseFilter, public IStreamBufferSink, public IAMFilterMiscFlags {
 public:
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
  explicit StreamBufferSink(IUnknown* outer);
  ~StreamBufferSink() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  int GetPinCount() override;
  CBasePin* GetPin(int n) override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;

  // IStreamBufferSink
  STDMETHODIMP LockProfile(LPCWSTR fileName) override;
  STDMETHODIMP CreateRecorder(LPCWSTR fileName, DWORD recordingType, IUnknown** recorder) override;
  STDMETHODIMP IsProfileLocked() override;
  // IAMFilterMiscFlags: a renderer, so the graph waits for its end of stream.
  STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

  // From the pins.
  bool AcceptsStream(const StreamBufferInputPin* pin, asf::PinStreamKind kind);
  bool IsLocked() const { return m_locked; }
  void EnsureFreePin();
  HRESULT OnSample(StreamBufferInputPin* pin, IMediaSample* sample);
  void OnEndOfStream(StreamBufferInputPin* pin);
  void OnEndFlush();

  // From the recorder.
  HRESULT StartRecording(const std::shared_ptr<RecordingSession>& session);
  HRESULT StopRecording(const std::shared_ptr<RecordingSession>& session);
  void RecordingStatus(const std::shared_ptr<RecordingSession>& session, HRESULT* result, bool* started, bool* stopped);

 private:
  HRESULT LockProfileLocked();
  void FinishRecordingLocked();
  bool AllRecordedInputsEnded();
  void ReportErrorOnce(HRESULT hr);

  CCritSec m_lock;
  std::vector<std::unique_ptr<StreamBufferInputPin>> m_pins;
  bool m_locked = false;
  std::vector<asf::RecordedStream> m_profile;   // the locked streams, video first
  std::vector<int> m_streamOfPin;               // pin index -> stream index, -1 for none (m_recordLock)

  std::mutex m_recordLock;
  std::shared_ptr<RecordingSession> m_session;  // the active recording, if any

  std::atomic<bool> m_endOfStream{false};
  std::atomic<bool> m_completeSent{false};
  std::atomic<bool> m_errorReported{false};
};

// The state of one recording, shared by the sink and its recorder object.
struct RecordingSession {
  std::unique_ptr<asf::RecordingFile> file;
  HRESULT status = S_OK;
  bool started = false;
  bool stopped = false;
};
