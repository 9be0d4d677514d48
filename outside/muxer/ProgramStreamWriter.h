#pragma once
// ProgramStreamWriter: an MPEG-2 program stream of 2048-byte packs, each a pack header (SCR and
// mux rate), the system header in the first pack, and one PES packet of one stream, padded to the
// pack size. MPEG-1/2 video goes as stream 0xE0 + n, MPEG audio as 0xC0 + n, AC3 as private
// stream 1 with the sub-stream header 0x80 + n, frame count, first access unit pointer (the
// layout players expect from DVDs). The output ends with the program end code.
//
// Scheduling: each pack goes to the stream whose data is due first among those the receiver can
// take. A stream can take a pack when its buffer (DecoderBufferModel) has room and its data is due
// within kMaxDelay; when no stream can, the SCR jumps ahead. A pack whose data would arrive after
// its decode time at the nominal rate is sent at a catch-up rate (four times nominal), so the SCR
// stays ahead of decode times whenever the input allows; what still arrives late is counted.
#include "outside/muxer/DecoderBufferModel.h"
#include "outside/muxer/MultiplexWriter.h"

namespace outside {

class ProgramStreamWriter : public MultiplexWriter {
 public:
  static constexpr std::size_t kPackBytes = 2048;
  static constexpr std::size_t kPackHeaderBytes = 14;

 protected:
  bool AcceptsKind(StreamKind kind) const override;
  bool IsReady(const Stream& stream) const override;
  bool EmitOne() override;
  void EmitEnd() override;
  void OnStreamAdded(std::size_t index) override;

 private:
  struct PackPlan {
    std::size_t payload = 0;
    std::int64_t pts = kNoTime;  // input time line
    std::int64_t dts = kNoTime;
    std::size_t frames = 0;       // AC3 frames starting in the payload
    std::size_t firstFrame = 0;   // AC3 first access unit pointer
  };
  struct PsStream {
    std::uint8_t streamId = 0;
    std::uint8_t subStreamId = 0;  // AC3 only
    DecoderBufferModel buffer;
  };
  void Prepare();
  std::size_t SystemHeaderBytes() const;
  bool PlanPack(std::size_t index, bool withSystemHeader, PackPlan& plan) const;
  void WritePack(std::size_t index, const PackPlan& plan, std::int64_t scr27, std::int64_t rateUnits);
  std::uint8_t* WritePackHeader(std::uint8_t* p, std::int64_t scr27, std::int64_t rateUnits) const;
  std::uint8_t* WriteSystemHeader(std::uint8_t* p) const;

  PsStream m_ps[kMaxStreams];
  bool m_prepared = false;
  std::uint64_t m_packs = 0;
  std::int64_t m_nextScr27 = 0;
  std::int64_t m_rateUnits = 0;     // nominal program_mux_rate, 50 byte/s
  std::int64_t m_catchUpUnits = 0;  // also the rate bound
};

}  // namespace outside
