#pragma once
// The MPEG-2 Demultiplexer. Input "MPEG-2 Stream":
//  - a transport stream pushed by the filter upstream (MEDIATYPE_Stream /
//    MEDIASUBTYPE_MPEG2_TRANSPORT): output pins are made by IMpeg2Demultiplexer::CreateOutputPin
//    and fed through IMPEG2PIDMap::MapPID with MEDIA_ELEMENTARY_STREAM;
//  - a program stream (MPEG2_PROGRAM or MPEG1System) pulled through IAsyncReader from a file
//    source: at connection the demultiplexer reads the start of the stream, finds the first
//    video and audio streams and makes the pins "Video" and "Audio" or "AC3" itself; a thread of
//    its own reads the file while the filter is active. The filter then offers IMediaSeeking:
//    duration, current position, and start/stop positions found by bisection over the stream.
// Every output sample holds the payload of one PES packet (or one chunk of a long unbounded
// video PES), with the presentation time as start time and the decode time as media time, in
// 100-ns units, unwrapped across the 33-bit clock wrap; the first sample of a PES packet with a
// time stamp is a sync point; samples after lost or flushed data are discontinuities.
//
// Locks: m_lock is the filter lock (connections, state, pin list). m_receiveLock serialises the
// engines: Receive, end of stream, flush, the pull thread, and MapPID/UnmapPID from application
// threads; it is held while delivering downstream. Order: m_lock before m_receiveLock. The pull
// thread takes only m_receiveLock, and Stop waits for it without holding m_lock. A program
// stream seek holds m_lock throughout: it flushes the outputs, joins the pull thread and starts
// it again at the new offset, so no state change comes between.
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "platform/dshow/BaseInputPin.h"
#include "platform/dshow/BaseOutputPin.h"
#include "platform/dshow/Mpeg2Interfaces.h"
#include "platform/filters/AsyncReader.h"
#include "platform/filters/ProgramStreamReader.h"
#include "platform/filters/ProgramStreamSeeking.h"
#include "platform/filters/ProgramStreamTimeline.h"
#include "platform/filters/TsDemuxEngine.h"

class Mpeg2Demultiplexer;

class Mpeg2DemuxOutputPin : public CBaseOutputPin, public IMPEG2PIDMap {
 public:
  Mpeg2DemuxOutputPin(Mpeg2Demultiplexer* demux, CCritSec* lock, HRESULT* result, LPCWSTR name,
                      const AM_MEDIA_TYPE& type, std::size_t stream);
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  // IMPEG2PIDMap
  STDMETHODIMP MapPID(ULONG count, ULONG* pids, MEDIA_SAMPLE_CONTENT content) override;
  STDMETHODIMP UnmapPID(ULONG count, ULONG* pids) override;
  STDMETHODIMP EnumPIDMap(IEnumPIDMap** maps) override;

  HRESULT DeliverUnit(const PesUnit& unit);
  void SetType(const AM_MEDIA_TYPE& type) { m_type = type; }
  std::size_t Stream() const { return m_stream; }

 private:
  Mpeg2Demultiplexer* m_demux;
  CMediaType m_type;
  std::size_t m_stream;
};

class Mpeg2DemuxInputPin : public CBaseInputPin {
 public:
  Mpeg2DemuxInputPin(Mpeg2Demultiplexer* demux, CCritSec* lock, HRESULT* result);

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  IAsyncReader* Reader() const { return m_reader; }

 private:
  Mpeg2Demultiplexer* m_demux;
  IAsyncReader* m_reader = nullptr;  // counted; set while connected to a pull source
};

class Mpeg2Demultiplexer : public CBaseFilter,
                           public IMpeg2Demultiplexer,
                           private IPesUnitSink,
                           private IProgramStreamSeekTarget {
 public:
  // The largest output unit: chunk size of unbounded video PES packets and output buffer size.
  static constexpr std::size_t kUnitCapacity = 256 * 1024;
  static constexpr long kOutputBuffers = 8;

  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
  explicit Mpeg2Demultiplexer(IUnknown* outer);
  ~Mpeg2Demultiplexer() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  int GetPinCount() override;
  CBasePin* GetPin(int n) override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;

  // IMpeg2Demultiplexer
  STDMETHODIMP CreateOutputPin(AM_MEDIA_TYPE* type, LPWSTR pinName, IPin** pin) override;
  STDMETHODIMP SetOutputPinMediaType(LPWSTR pinName, AM_MEDIA_TYPE* type) override;
  STDMETHODIMP DeleteOutputPin(LPWSTR pinName) override;

  // From the pins.
  HRESULT MapPids(std::size_t stream, ULONG count, const ULONG* pids);
  HRESULT UnmapPids(ULONG count, const ULONG* pids);
  std::vector<std::uint16_t> PidsOf(std::size_t stream);
  HRESULT OnInputConnected(const CMediaType& type, IAsyncReader* reader);
  void OnInputDisconnected();
  HRESULT ReceiveData(const BYTE* data, long size);
  HRESULT OnEndOfStream();
  HRESULT OnBeginFlush();
  HRESULT OnEndFlush();
  HRESULT OnNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
  TsDemuxCounters Counters();

 private:
  enum class InputMode { None, Transport, Program };

  HRESULT DeliverPesUnit(std::size_t stream, const PesUnit& unit) override;
  HRESULT SeekProgramStream(REFERENCE_TIME start, REFERENCE_TIME stop, bool restart) override;
  REFERENCE_TIME ProgramStreamPosition() override;
  void MeasureProgramStream(IAsyncReader* reader, const PsStreamInfo& timed);
  void StartPullThread();
  HRESULT PushStopTail(IAsyncReader* reader, LONGLONG stop, LONGLONG total);
  Mpeg2DemuxOutputPin* FindOutput(LPCWSTR name);
  HRESULT AddOutputPin(const AM_MEDIA_TYPE& type, LPCWSTR name, Mpeg2DemuxOutputPin** pin);
  HRESULT CreateProgramStreamPins(IAsyncReader* reader);
  void DeliverEndOfStreamToOutputs();
  void PullLoop();
  void StopPullThread();

  CCritSec m_lock;
  CSpinCritSec m_receiveLock;  // taken once per packet: a spin lock
  std::unique_ptr<Mpeg2DemuxInputPin> m_input;
  std::vector<std::unique_ptr<Mpeg2DemuxOutputPin>> m_outputs;  // in creation order
  std::vector<std::unique_ptr<Mpeg2DemuxOutputPin>> m_deleted;  // kept: the graph may hold them
  std::vector<Mpeg2DemuxOutputPin*> m_streamPins;                // stream index -> pin (null: deleted)
  InputMode m_mode = InputMode::None;
  TsDemuxEngine m_ts;
  ProgramStreamReader m_ps;

  std::thread m_pullThread;
  std::atomic<bool> m_stopPull{false};
  std::unique_ptr<BYTE[]> m_pullBuffer;

  // Program stream time: measured at connection; offsets of the delivered range; the start time
  // and the latest time delivered, for the current position.
  std::unique_ptr<ProgramStreamSeeking> m_seeking;
  ProgramStreamTimeline m_timeline;
  std::atomic<std::int64_t> m_pullStart{0};
  std::atomic<std::int64_t> m_pullStop{-1};  // -1: to the end
  std::atomic<std::int64_t> m_startTicks{0};
  std::atomic<std::int64_t> m_lastTimestamp{-1};
};
