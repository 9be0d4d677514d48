#include "tests/support/TsPacketBuilder.h"

#include <gtest/gtest.h>

#include <optional>

#include "tests/support/TsBuilder.h"

namespace testsupport {
namespace {

// What a receiver sees in a packet, decoded here independently of the builder.
struct Decoded {
  uint16_t pid = 0;
  bool pusi = false;
  uint8_t cc = 0;
  uint8_t afc = 0;
  int afLength = -1;  // -1: no adaptation field
  bool discontinuity = false;
  bool randomAccess = false;
  std::optional<uint64_t> pcrBase;
  uint16_t pcrExtension = 0;
  Bytes payload;
};

Decoded Decode(const Packet& p) {
  Decoded d;
  d.pid = static_cast<uint16_t>(((p[1] & 0x1F) << 8) | p[2]);
  d.pusi = (p[1] & 0x40) != 0;
  d.cc = p[3] & 0x0F;
  d.afc = (p[3] >> 4) & 3;
  size_t pos = 4;
  if (d.afc & 2) {
    d.afLength = p[4];
    if (d.afLength > 0) {
      d.discontinuity = (p[5] & 0x80) != 0;
      d.randomAccess = (p[5] & 0x40) != 0;
      if (p[5] & 0x10) {
        d.pcrBase = (uint64_t{p[6]} << 25) | (uint64_t{p[7]} << 17) | (uint64_t{p[8]} << 9) | (uint64_t{p[9]} << 1) | (p[10] >> 7);
        d.pcrExtension = static_cast<uint16_t>(((p[10] & 1) << 8) | p[11]);
      }
    }
    pos = 5 + static_cast<size_t>(d.afLength);
  }
  if (d.afc & 1) d.payload.assign(p.begin() + static_cast<std::ptrdiff_t>(std::min(pos, kPacketSize)), p.end());
  return d;
}

Bytes Counting(size_t n) {
  Bytes b;
  for (size_t i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(i + 1));
  return b;
}

TEST(TsPacketBuilderTest, LaysOutHeaderAdaptationFieldAndPayload) {
  struct Case {
    const char* name;
    TsPacketBuilder builder;
    size_t payloadSize;  // of Counting(n) given to the builder
    uint8_t afc;
    int afLength;
    size_t payloadBytesSeen;
  };
  const uint64_t bigPcr = (uint64_t{1} << 33) - 2;
  Case cases[] = {
      {"full payload", TsPacketBuilder(0x100).Cc(5), 184, 1, -1, 184},
      {"one byte short stuffs a length-0 field", TsPacketBuilder(0x100).Cc(5), 183, 3, 0, 183},
      {"two bytes short adds flags", TsPacketBuilder(0x100).Cc(5), 182, 3, 1, 182},
      {"short payload stuffed", TsPacketBuilder(0x1FFE).Pusi().Cc(15), 10, 3, 173, 10},
      {"pcr", TsPacketBuilder(0x101).Pcr(bigPcr, 299).Cc(0), 176, 3, 7, 176},
      {"pcr with short payload", TsPacketBuilder(0x101).Pcr(12345, 7).Cc(0), 20, 3, 163, 20},
      {"adaptation only", TsPacketBuilder(0x20).Discontinuity().Cc(2), 0, 2, 183, 0},
      {"forced empty field", TsPacketBuilder(0x20).AdaptationField().Cc(2), 183, 3, 0, 183},
      {"psi fill", TsPacketBuilder(0).Pusi().FillPayloadWith(0xFF).Cc(1), 20, 1, -1, 184},
      {"random access", TsPacketBuilder(0x30).RandomAccess().Cc(9), 100, 3, 83, 100},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes payload = Counting(c.payloadSize);
    const Packet p = c.builder.Payload(payload).Build();
    const Decoded d = Decode(p);
    EXPECT_EQ(p[0], 0x47);
    EXPECT_EQ(d.afc, c.afc);
    EXPECT_EQ(d.afLength, c.afLength);
    ASSERT_EQ(d.payload.size(), c.payloadBytesSeen);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), d.payload.begin()));
  }
}

TEST(TsPacketBuilderTest, FieldsReadBackAsWritten) {
  const uint64_t maxBase = (uint64_t{1} << 33) - 1;
  const Decoded d = Decode(TsPacketBuilder(0x1ABC).Pusi().Cc(0x1F).Pcr(maxBase, 299).Discontinuity().Build());
  EXPECT_EQ(d.pid, 0x1ABC);
  EXPECT_TRUE(d.pusi);
  EXPECT_EQ(d.cc, 0x0F);
  EXPECT_TRUE(d.discontinuity);
  EXPECT_FALSE(d.randomAccess);
  ASSERT_TRUE(d.pcrBase.has_value());
  EXPECT_EQ(*d.pcrBase, maxBase);
  EXPECT_EQ(d.pcrExtension, 299);

  const Packet odd = TsPacketBuilder(0x100).AdaptationField().AdaptationFieldLength(200).Payload(Counting(10)).Build();
  EXPECT_EQ(odd[4], 200);  // a lying length is written as asked, and nothing overruns the packet
}

// Reassembles what a demultiplexer would: payloads of one PID from the payload_unit_start on.
Bytes Reassemble(const Bytes& stream, uint16_t pid, bool psi, std::vector<uint8_t>* ccs = nullptr) {
  Bytes out;
  for (size_t pos = 0; pos + kPacketSize <= stream.size(); pos += kPacketSize) {
    Packet p;
    std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(pos), kPacketSize, p.begin());
    const Decoded d = Decode(p);
    if (d.pid != pid) continue;
    if (ccs) ccs->push_back(d.cc);
    size_t skip = 0;
    if (psi && d.pusi) skip = 1 + d.payload[0];  // pointer field
    out.insert(out.end(), d.payload.begin() + static_cast<std::ptrdiff_t>(skip), d.payload.end());
  }
  return out;
}

TEST(TsStreamTest, SplitsSectionsAndPesOverPacketsWithRunningCounters) {
  const Bytes longSdt = SdtBuilder()
                            .Service(1, std::string(100, 'p'), std::string(120, 'n'))
                            .Service(2, std::string(100, 'q'), std::string(120, 'm'))
                            .Build();
  ASSERT_GT(longSdt.size(), 2 * 184u);
  Bytes video = Mpeg2SequenceHeader{}.Build();
  video.resize(1000, 0x00);
  const Bytes pes = PesBuilder(0xE0).Pts(900000).Unbounded().Payload(video).Build();

  TsStream ts;
  ts.Junk(5, 0x00);
  ts.Section(0x11, longSdt, /*pointer_field=*/3);
  ts.Pes(0x100, pes, /*pcr=*/810000);
  ts.Section(0x11, longSdt);
  ts.SetNextCc(0x100, 14).Pes(0x100, pes);
  ASSERT_EQ((ts.Size() - 5) % kPacketSize, 0u);
  const Bytes stream(ts.Data().begin() + 5, ts.Data().end());

  std::vector<uint8_t> sdtCcs;
  const Bytes sdtBytes = Reassemble(stream, 0x11, true, &sdtCcs);
  // Each copy: the section, then 0xFF padding up to the end of its last packet.
  ASSERT_GE(sdtBytes.size(), longSdt.size());
  EXPECT_TRUE(std::equal(longSdt.begin(), longSdt.end(), sdtBytes.begin()));
  EXPECT_EQ(sdtCcs, (std::vector<uint8_t>{0, 1, 2, 3, 4, 5}));

  std::vector<uint8_t> pesCcs;
  const Bytes pesBytes = Reassemble(stream, 0x100, false, &pesCcs);
  Bytes twice = pes;
  Append(twice, pes);
  EXPECT_EQ(pesBytes, twice);  // adaptation-field stuffing keeps PES payloads exact
  ASSERT_EQ(pesCcs.size() % 2, 0u);
  EXPECT_EQ(pesCcs.front(), 0);
  EXPECT_EQ(pesCcs[pesCcs.size() / 2], 14);
  EXPECT_EQ(pesCcs.back(), (14 + pesCcs.size() / 2 - 1) % 16);
}

}  // namespace
}  // namespace testsupport
