#include "tsfilter/analysis/PidTable.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/TsBuilder.h"

namespace tsfilter::test {
namespace {

using namespace testsupport;

Packet PesStart(std::uint16_t pid, const Bytes& pes) {
  TsStream ts;
  ts.Pes(pid, pes);
  Packet packet{};
  std::copy_n(ts.Data().begin(), 188, packet.begin());
  return packet;
}

TEST(PidTable, ClassifiesWhatAPesStartCarries) {
  const Bytes ac3 = Ac3FrameHeader{}.Frame();
  Bytes aud = H264AccessUnitDelimiter(0);
  struct Case {
    const char* name;
    Packet packet;
    std::uint8_t code;
  };
  const Case cases[] = {
      {"AC-3 sync word", PesStart(0x101, PesBuilder(0xBD).Pts(900).Payload(Bytes(ac3.begin(), ac3.begin() + 100)).Build()), 249},
      {"long private stream 1", PesStart(0x101, PesBuilder(0xBD).PacketLength(1800).Payload(Bytes(100, 0x55)).Build()), 249},
      {"short private stream 1", PesStart(0x101, PesBuilder(0xBD).Payload(Bytes(100, 0x55)).Build()), 0xBD},
      {"access unit delimiter", PesStart(0x100, PesBuilder(0xE0).Pts(900).Unbounded().Payload(aud).Build()), 27},
      {"MPEG video", PesStart(0x100, PesBuilder(0xE0).Payload(Mpeg2SequenceHeader{}.Build()).Build()), 0xE0},
      {"MPEG audio", PesStart(0x102, PesBuilder(0xC0).Payload(Bytes(300, 0xFF)).Build()), 0xC0},
      {"no payload unit start", TsPacketBuilder(0x100).FillPayloadWith(0xFF).Payload(PesBuilder(0xE0).Build()).Build(), 0},
      {"adaptation field of length 0", TsPacketBuilder(0x100).Pusi().AdaptationField().FillPayloadWith(0xFF).Payload(PesBuilder(0xE0).Build()).Build(), 0},
      {"adaptation field longer than the packet", TsPacketBuilder(0x100).Pusi().AdaptationFieldLength(250).Build(), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ContentCodeOf(c.packet.data()), c.code);
  }
}

TEST(PidTable, KeepsTheFirstCodeExceptThatAc3Wins) {
  PidTable table;
  table.AddPid(0x101, 0);
  table.AddPid(0x101, 0xBD);
  table.AddPid(0x101, kContentAc3);
  table.AddPid(0x101, 0xBD);
  table.AddPid(0x100, 0xE0);
  table.AddPid(0x100, 0xC0);
  ASSERT_EQ(table.RowCount(), 2u);
  EXPECT_EQ(table.Find(0x101)->packets, 4u);
  EXPECT_EQ(table.Find(0x101)->contentCode, kContentAc3);
  EXPECT_EQ(table.Find(0x100)->contentCode, 0xE0);

  table.SortPidTable();
  EXPECT_EQ(table.Row(0).pid, 0x101);
  for (std::uint16_t pid = 0; pid < 1001; ++pid) table.AddPid(static_cast<std::uint16_t>(0x200 + pid), 0);
  EXPECT_EQ(table.RowCount(), PidTable::kCapacity);
  EXPECT_EQ(table.Find(0x200 + 998), nullptr) << "the 1001st distinct PID is not recorded";
  EXPECT_EQ(table.Row(5000).pid, table.Row(999).pid) << "row reads stay inside the table";
}

TEST(PidTable, DescribesRows) {
  struct Case {
    std::uint8_t code;
    std::uint16_t pid;
    std::uint32_t pmtPid;
    const char* text;
  };
  const Case cases[] = {
      {0, 0x11, 0x1000, "SDT"},          {0, 0x00, 0, "PAT"},
      {0, 0x05, 0x1000, "reserved"},     {0, 0x14, 0x1000, "TDT/TOT"},
      {0, 0x1FFF, 0x1000, "NULL PID"},   {0, 0x1000, 0x1000, "PMT"},
      {0, 0x10, 0x10, "PMT"},            {0xE0, 0x12, 0x1000, "ISO/IEC 13818-2 video"},
      {0xE0, 0x100, 0x1000, "ISO/IEC 13818-2 video"}, {0xC3, 0x101, 0x1000, "ISO/IEC 13818-3 audio"},
      {249, 0x102, 0x1000, "private stream 1 - AC3"}, {27, 0x103, 0x1000, "ITU-T Rec. H.264"},
      {0xBD, 0x1FF0, 0x1000, "EIT-0"},   {0x42, 0x104, 0x1000, "private"},
      {0, 0x1FFB, 0, "MGT/TVCT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_STREQ(DescribePid(c.code, c.pid, c.pmtPid), c.text);
  }
}

}  // namespace
}  // namespace tsfilter::test
