#pragma once
// TransportStreamWriter: an MPEG-2 transport stream of 188-byte packets with one program
// (number 1): PAT on PID 0 and PMT on PID 0x1000 repeated every 100 ms, stream n on PID 0x100 + n,
// one PES packet per access unit, PCR on the first video stream's PID (else the first stream's)
// at least every 35 ms. Stream types: MPEG-1 video 0x01, MPEG-2 video 0x02, H.264 0x1B, MPEG-1
// audio 0x03, MPEG-2 (half rate) audio 0x04, AAC in ADTS 0x0F, AC3 0x81 with its registration
// descriptor; a known language goes into an ISO 639 language descriptor.
//
// The system clock (PCR) runs at the nominal rate, jumps ahead when nothing is due within
// kMaxDelay, and runs at four times the rate while data would otherwise arrive after its decode
// time.
#include "outside/muxer/MultiplexWriter.h"

namespace outside {

class TransportStreamWriter : public MultiplexWriter {
 public:
  static constexpr std::size_t kPacketBytes = 188;
  static constexpr std::uint16_t kPmtPid = 0x1000;
  static constexpr std::uint16_t kFirstStreamPid = 0x100;
  static constexpr std::uint16_t kProgramNumber = 1;

  static std::uint8_t StreamType(StreamKind kind, int mpegAudioVersion);

 protected:
  bool AcceptsKind(StreamKind) const override { return true; }
  bool IsReady(const Stream& stream) const override;
  bool EmitOne() override;

 private:
  struct TsStream {
    std::uint16_t pid = 0;
    std::uint8_t streamId = 0;
    std::uint8_t continuity = 0;
  };
  void Prepare();
  // End of the PES that starts at the read position: the start of the second unit from there.
  bool PesEnd(const ElementaryQueue& q, std::int64_t& end) const;
  void WritePsi();
  void WriteSection(std::uint16_t pid, std::uint8_t& continuity, const std::uint8_t* section, std::size_t size);
  std::size_t BuildPat(std::uint8_t* out) const;
  std::size_t BuildPmt(std::uint8_t* out) const;
  void WritePes(std::size_t index, std::int64_t end, std::int64_t deadline27);
  // One packet; payload may be empty (PCR only). Returns false when the output failed.
  bool WritePacket(std::uint16_t pid, std::uint8_t& continuity, bool unitStart, bool withPcr,
                   const std::uint8_t* payload, std::size_t payloadBytes);
  void AdvanceClock(std::int64_t deadline27);
  void JumpClockTo(std::int64_t target27);

  TsStream m_ts[kMaxStreams];
  bool m_prepared = false;
  std::uint16_t m_pcrPid = 0;
  std::uint8_t m_patContinuity = 0;
  std::uint8_t m_pmtContinuity = 0;
  std::int64_t m_clock27 = 0;
  std::int64_t m_nextPsi27 = 0;
  std::int64_t m_lastPcr27 = -1;
  std::uint8_t m_pesHeader[32] = {};
};

}  // namespace outside
