#pragma once
// MultiplexWriter: what the program-stream and transport-stream writers share. Callers add their
// streams, then hand over chunks (one demultiplexed PES payload each, with its times) in any
// interleaving; the writer queues them per stream and emits output as soon as every stream has
// enough queued to choose well which goes next, so that decode times interleave.
//
// Output times: every input time is moved by one constant offset chosen at the first output, so
// that the earliest decode time lands kPreload after the start of the system clock.
//
// Not thread-safe: the owner serialises calls. Nothing is allocated after AddStream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "outside/muxer/ElementaryQueue.h"
#include "outside/muxer/OutputBuffer.h"
#include "outside/muxer/StreamKind.h"
#include "platform/com/hresult.h"

namespace outside {

struct MuxSettings {
  std::int64_t muxRateBits = 10080000;  // nominal output rate, bit/s
  std::int64_t videoBufferBytes = 230 * 1024;
  std::int64_t audioBufferBytes = 4 * 1024;
  std::size_t videoQueueBytes = 8u << 20;
  std::size_t audioQueueBytes = 1u << 20;
  std::size_t outputBlockBytes = 256 * 1024;
};

struct MuxStatistics {
  std::uint64_t bytesWritten = 0;
  std::uint64_t lateUnits = 0;       // output that reached the receiver after its decode time
  std::uint64_t droppedStamps = 0;   // input times that found no access unit to belong to
};

class MultiplexWriter {
 public:
  static constexpr std::size_t kMaxStreams = 16;
  static constexpr std::int64_t kPreload = 45000;   // 0.5 s from clock start to the first decode
  static constexpr std::int64_t kMaxDelay = 63000;  // 0.7 s: no data sent earlier than this

  virtual ~MultiplexWriter() = default;

  // Before Start: the sink receives the output; settings are taken as they are.
  HRESULT Open(ByteSink* sink, const MuxSettings& settings);
  // Adds a stream before the first Write; returns its index in *index.
  HRESULT AddStream(const StreamInfo& info, int* index);
  // One chunk of a stream, with its times in 90 kHz ticks (kNoTime when absent).
  HRESULT Write(int index, const std::uint8_t* data, std::size_t size, std::int64_t pts, std::int64_t dts);
  // The stream will get no more data.
  HRESULT EndStream(int index);
  // Ends every stream, sends what is queued, ends the output and flushes it to the sink.
  HRESULT Finish();

  MuxStatistics Statistics() const;
  int StreamCount() const { return static_cast<int>(m_streams.size()); }

 protected:
  struct Stream {
    StreamInfo info;
    ElementaryQueue queue;
  };
  // Accepts or refuses a stream kind (program streams carry fewer kinds).
  virtual bool AcceptsKind(StreamKind kind) const = 0;
  // Enough queued to take part in the choice of what goes next.
  virtual bool IsReady(const Stream& stream) const = 0;
  // Sends one unit of output (a pack, a PES); false when nothing can be sent.
  virtual bool EmitOne() = 0;
  // Writes what closes the output (after the last EmitOne).
  virtual void EmitEnd() {}
  // A stream was added (its storage is allocated here, not while streaming).
  virtual void OnStreamAdded(std::size_t /*index*/) {}

  // Fixes the output time offset on first use. Output time of an input time t: t + Offset().
  void EnsureOffset();
  std::int64_t Offset() const { return m_offset; }
  std::int64_t OutputTime(std::int64_t t) const { return t == kNoTime ? kNoTime : t + m_offset; }
  // 27 MHz time that size bytes take at a rate in bit/s, rounded up.
  static std::int64_t TransferTime27(std::int64_t bytes, std::int64_t rateBits);

  std::vector<Stream> m_streams;
  OutputBuffer m_out;
  MuxSettings m_settings;
  std::uint64_t m_lateUnits = 0;

 private:
  void Pump();
  bool m_open = false;
  bool m_started = false;
  bool m_finished = false;
  std::int64_t m_offset = 0;
  bool m_offsetSet = false;
};

}  // namespace outside
