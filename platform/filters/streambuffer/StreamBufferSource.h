#pragma once
// The stream-buffer source: IFileSourceFilter::Load of a recording (or any ASF file with MPEG-2
// video and AC3 or MPEG audio) and one output pin per played stream, "DVR Out - 1" (the video),
// "DVR Out - 2" (the audio), with the media types the demultiplexer's pins carry. Pins are
// found by name only (not by number). IMediaSeeking in media time: duration, current position,
// start and stop positions; the index (or, without one, a search over the packets' times) finds
// where to start, and after a seek the video starts at a sequence header.
//
// Delivery: one streaming thread reads the packets in file order and hands each stream's
// payloads to its pin, which gathers the fragments of a media object into samples (at most a
// buffer each; the first carries the object's times and key-frame flag, the start time being the
// presentation time and the media time the decode time). Objects are passed on as they are
// stored, so the elementary streams come out byte for byte as recorded (from the start of the
// file nothing is dropped). A damaged packet is skipped; a fragment that does not continue its
// object ends the object and marks the next sample a discontinuity. At the end of the file (or
// of every stream at its stop position) each pin delivers end of stream; a read error ends the
// stream with EC_ERRORABORT and the status.
//
// Threads and locks: the streaming thread takes no filter lock. m_lock is the filter lock
// (state, loading). Seeking comes from application threads: positions are kept under
// m_seekLock; a seek while active flushes downstream, stops the streaming thread, and restarts
// it at the new place (never holding m_seekLock while waiting for the thread).
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dshow/AmThread.h"
#include "platform/dshow/BaseOutputPin.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/SeekingInterfaces.h"
#include "platform/filters/streambuffer/AsfFileReader.h"
#include "platform/filters/streambuffer/DecodeOrderTimes.h"
#include "platform/filters/streambuffer/PlayableStreams.h"

class StreamBufferSource;

class StreamBufferOutputPin : public CBaseOutputPin {
 public:
  static constexpr LONG kBufferSize = 256 * 1024;
  static constexpr LONG kBuffers = 8;

  StreamBufferOutputPin(StreamBufferSource* source, CCritSec* lock, HRESULT* result, LPCWSTR name,
                        const asf::PlayableStream& stream);
  ~StreamBufferOutputPin() override;

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  // Streaming thread. BeginDelivery before the first payload of a run or after a seek;
  // OnPayload: S_OK to go on, a failure (or S_FALSE: downstream wants nothing now) to stop.
  void BeginDelivery(bool fromSequenceHeader, std::uint64_t prerollMs);
  HRESULT OnPayload(const asf::AsfPayload& payload, std::int64_t stopTime);
  // Delivers what is gathered, then end of stream when asked.
  HRESULT EndDelivery(bool endOfStream);
  bool Ended() const { return m_ended; }
  bool HasDelivered() const { return m_delivered; }
  std::int64_t LastTime() const { return m_lastTime.load(); }
  const asf::PlayableStream& Stream() const { return m_stream; }

 private:
  HRESULT StartSample(const asf::PayloadTimes& times, bool syncPoint);
  HRESULT Append(const std::uint8_t* data, std::size_t size);
  HRESULT DeliverPending();
  void DropSample();

  asf::PlayableStream m_stream;
  CMediaType m_type;
  std::uint64_t m_prerollMs = 0;
  bool m_deriveTimes = false;  // video times are decode times: presentation times from the pictures
  asf::DecodeOrderTimes m_pictureTimes;
  IMediaSample* m_pending = nullptr;
  BYTE* m_buffer = nullptr;
  LONG m_fill = 0;
  bool m_inObject = false;
  std::uint32_t m_objectNumber = 0;
  std::uint64_t m_expected = 0;
  std::uint64_t m_objectSize = 0;
  bool m_waitForSequenceHeader = false;
  bool m_discontinuity = true;
  bool m_ended = false;
  bool m_delivered = false;
  std::atomic<std::int64_t> m_lastTime{INT64_MIN};
};

class StreamBufferSource : public CBaseFilter, public IFileSourceFilter, public IMediaSeeking, public IAMFilterMiscFlags {
 public:
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
  explicit StreamBufferSource(IUnknown* outer);
  ~StreamBufferSource() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  int GetPinCount() override;
  CBasePin* GetPin(int n) override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Stop() override;

  // IFileSourceFilter
  STDMETHODIMP Load(LPCWSTR fileName, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) override;

  // IMediaSeeking (media time only; positions from the start of the recording)
  STDMETHODIMP GetCapabilities(DWORD* capabilities) override;
  STDMETHODIMP CheckCapabilities(DWORD* capabilities) override;
  STDMETHODIMP IsFormatSupported(const GUID* format) override;
  STDMETHODIMP QueryPreferredFormat(GUID* format) override;
  STDMETHODIMP GetTimeFormat(GUID* format) override;
  STDMETHODIMP IsUsingTimeFormat(const GUID* format) override;
  STDMETHODIMP SetTimeFormat(const GUID* format) override;
  STDMETHODIMP GetDuration(LONGLONG* duration) override;
  STDMETHODIMP GetStopPosition(LONGLONG* stop) override;
  STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
  STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                 const GUID* sourceFormat) override;
  STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
  STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override;
  STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
  STDMETHODIMP SetRate(double rate) override;
  STDMETHODIMP GetRate(double* rate) override;
  STDMETHODIMP GetPreroll(LONGLONG* preroll) override;

  STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }

  // Counted over the life of the filter, for tests and diagnostics.
  std::uint64_t DamagedPackets() const { return m_damagedPackets.load(); }

 private:
  class Worker final : public CAMThread {
   public:
    enum Command : DWORD { CMD_INIT, CMD_PAUSE, CMD_RUN, CMD_STOP, CMD_EXIT };
    explicit Worker(StreamBufferSource* source) : m_source(source) {}
    HRESULT Call(Command command) { return static_cast<HRESULT>(CallWorker(command)); }
    // Between packets: true when a request is waiting (the loop returns for it).
    bool RequestWaiting();

   protected:
    DWORD ThreadProc() override;

   private:
    StreamBufferSource* m_source;
  };
  friend class Worker;

  HRESULT LoadFile(const std::string& path);
  void MeasureTimes();
  std::uint64_t PacketForTime(std::int64_t time);
  std::int64_t FirstTimeInPacket(std::uint64_t packet, std::vector<std::uint8_t>& buffer);
  // The streaming thread's loop: returns when done, on a failure, or for a waiting request.
  void DeliverLoop(Worker& worker);
  void Restart();
  std::vector<StreamBufferOutputPin*> ConnectedPins();

  CCritSec m_lock;
  std::vector<std::unique_ptr<StreamBufferOutputPin>> m_pins;
  std::u16string m_fileName;
  asf::AsfFileReader m_file;
  std::unique_ptr<std::uint8_t[]> m_block;
  std::uint32_t m_blockPackets = 0;
  Worker m_worker{this};

  std::mutex m_seekLock;
  std::int64_t m_firstTime = 0;   // delivered time of position 0
  std::int64_t m_duration = 0;
  std::int64_t m_start = 0;       // positions, relative to m_firstTime
  std::int64_t m_stop = 0;
  std::uint64_t m_startPacket = 0;
  std::atomic<std::int64_t> m_stopTime{INT64_MAX};  // absolute, read per object by the pins
  std::atomic<std::uint64_t> m_damagedPackets{0};
};
