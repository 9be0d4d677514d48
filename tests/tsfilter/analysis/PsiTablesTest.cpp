#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/TsBuilder.h"
#include "tsfilter/analysis/PatParser.h"
#include "tsfilter/analysis/PmtParser.h"
#include "tsfilter/analysis/ProgramModel.h"
#include "tsfilter/analysis/SdtParser.h"

namespace tsfilter::test {
namespace {

using namespace testsupport;

// A section as the examiner offers it: the 183 bytes from byte 5 of its first packet.
Bytes InPacket(const Bytes& section) {
  Bytes bytes = section;
  bytes.resize(183, 0xFF);
  return bytes;
}

TEST(PatParser, AcceptsOnlyIntactCurrentSections) {
  struct Case {
    const char* name;
    Bytes section;
    bool accepted;
  };
  const Case cases[] = {
      {"intact", PatBuilder().TransportStreamId(7).Program(1, 0x100).Program(2, 0x200).Build(), true},
      {"not current", PatBuilder().Program(1, 0x100).CurrentNext(false).Build(), false},
      {"spoilt CRC", PatBuilder().Program(1, 0x100).SpoilCrc().Build(), false},
      {"section_number above last", PatBuilder().Program(1, 0x100).SectionNumber(2).LastSectionNumber(1).Build(), false},
      {"longer than the packet", PatBuilder().Program(1, 0x100).SectionLength(401).Build(), false},
      {"length not whole pairs", PatBuilder().Program(1, 0x100).SectionLength(15).Build(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PatCollector collector;
    ProgramTable programs;
    const Bytes bytes = InPacket(c.section);
    EXPECT_EQ(ProcessPatSection(bytes.data(), bytes.size(), collector, programs), c.accepted);
    EXPECT_EQ(collector.section_count, c.accepted ? 1u : 0u);
    EXPECT_EQ(programs.Count(), c.accepted ? 2u : 0u);
    if (c.accepted) {
      EXPECT_EQ(collector.transport_stream_id, 7u);
      EXPECT_EQ(programs.Find(2)->pmt_pid, 0x200u);
    }
  }
}

TEST(PatParser, KeepsEveryTableWithinItsBounds) {
  // 253 pairs: one more than a PAT copy holds. Every program is still created.
  PatBuilder pat;
  for (std::uint16_t i = 1; i <= 253; ++i) pat.Program(i, static_cast<std::uint16_t>(0x100 + i));
  const Bytes section = pat.Build();
  PatCollector collector;
  ProgramTable programs;
  ASSERT_TRUE(ProcessPatSection(section.data(), section.size(), collector, programs));
  EXPECT_EQ(programs.Count(), 253u);
  EXPECT_EQ(programs.Find(253)->pat.program_count, kMaxPatPairs);
  EXPECT_EQ(programs.Find(253)->pmt_pid, 0x100u + 253);
  EXPECT_EQ(programs.At(253), nullptr);

  // Two more full PATs with new numbers: the table stops at 500 entries.
  for (int round = 1; round <= 2; ++round) {
    PatBuilder more;
    for (std::uint16_t i = 1; i <= 253; ++i) more.Program(static_cast<std::uint16_t>(round * 1000 + i), 0x100);
    const Bytes s = more.Build();
    ProcessPatSection(s.data(), s.size(), collector, programs);
  }
  EXPECT_EQ(programs.Count(), ProgramTable::kCapacity);
}

struct PmtTables {
  PmtTables() {
    const Bytes pat = PatBuilder().Program(1, 0x1000).Build();
    ProcessPatSection(pat.data(), pat.size(), patCollector, programs);
  }
  bool Offer(const Bytes& section) {
    const Bytes bytes = InPacket(section);
    return ProcessPmtSection(bytes.data(), bytes.size(), collector, programs);
  }
  const PmtSection& Pmt() { return programs.Find(1)->pmt; }

  PatCollector patCollector;
  PmtCollector collector;
  ProgramTable programs;
};
struct PmtFixture : ::testing::Test, PmtTables {};

TEST_F(PmtFixture, AcceptsOncePerVersionAndParsesANewVersionAgain) {
  const Bytes v1 = PmtBuilder(1).Version(1).Stream(2, 0x100).Build();
  EXPECT_TRUE(Offer(v1));
  for (int i = 0; i < 1000; ++i) EXPECT_FALSE(Offer(v1));
  EXPECT_EQ(collector.count, 1u);
  EXPECT_TRUE(Offer(PmtBuilder(1).Version(2).Stream(2, 0x100).Stream(3, 0x101).Build()));
  EXPECT_EQ(programs.Find(1)->stream_count, 2u);
  EXPECT_EQ(Pmt().header.version_number, 2u);
}

TEST_F(PmtFixture, AppliesTheCrcRuleByLength) {
  // 33 streams with ES_info_length 0 make a section of 12 + 165 + 4 = 181 bytes.
  PmtBuilder longPmt(1);
  for (std::uint16_t i = 0; i < 33; ++i) longPmt.Stream(3, static_cast<std::uint16_t>(0x100 + i));
  // 40 streams claim 216 bytes: only the part within the packet can be read.
  PmtBuilder overlong(1);
  for (std::uint16_t i = 0; i < 40; ++i) overlong.Stream(3, static_cast<std::uint16_t>(0x100 + i));

  struct Case {
    const char* name;
    Bytes section;
    bool ignoreCrc;
    bool accepted;
    std::uint32_t streams;
  };
  const Case cases[] = {
      {"short, CRC spoilt", PmtBuilder(1).Stream(2, 0x100).SpoilCrc().Build(), false, false, 0},
      {"short, CRC spoilt, ignored", PmtBuilder(1).Stream(2, 0x100).SpoilCrc().Build(), true, true, 1},
      {"long, CRC spoilt", longPmt.SpoilCrc().Build(), false, true, 33},
      {"across two packets, parsed up to byte 179", overlong.Build(), false, true, 34},
      {"program info longer than the section", PmtBuilder(1).ProgramDescriptor(Descriptor(9, Bytes(20, 0))).SectionLength(20).Build(),
       true, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PmtTables f;
    f.collector.ignoreCrc = c.ignoreCrc;
    EXPECT_EQ(f.Offer(c.section), c.accepted);
    EXPECT_EQ(f.programs.Find(1)->stream_count, c.streams);
  }
}

TEST_F(PmtFixture, LanguagesStayInsideTheirField) {
  struct Case {
    const char* name;
    std::vector<Bytes> descriptors;
    std::string language;
  };
  const Case cases[] = {
      {"usual descriptor", {LanguageDescriptor("deu", 0)}, "deu"},
      {"later descriptor wins", {LanguageDescriptor("deu"), Descriptor(0x52, Bytes{1}), LanguageDescriptor("fra")}, "fra"},
      {"empty descriptor", {Descriptor(10, Bytes{})}, ""},
      {"longer than the field", {Descriptor(10, Bytes(60, 'x'))}, std::string(31, 'x')},
      {"none", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PmtTables f;
    // The stream after it begins with 10: a stream without descriptors must not read it.
    ASSERT_TRUE(f.Offer(PmtBuilder(1).Stream(3, 0x101, c.descriptors).Stream(10, 0x102).Build()));
    EXPECT_EQ(std::string(f.Pmt().streams[0].language), c.language);
    EXPECT_EQ(std::string(f.Pmt().streams[1].language), "");
  }
}

TEST(SdtParser, AssemblesSectionsOverPacketsAndCleansNames) {
  ProgramTable programs;
  PatCollector pat;
  const Bytes patSection = PatBuilder().Program(1, 0x1000).Program(2, 0x1010).Program(3, 0x1020).Build();
  ProcessPatSection(patSection.data(), patSection.size(), pat, programs);

  // Enough services to span three packets; program 2's name carries emphasis codes.
  SdtBuilder sdt;
  sdt.Service(1, "Provider", "One");
  sdt.Service(2, "Provider", "\x86Two\x87 Plus");
  sdt.Service(3, "Provider", std::string(60, 'N'));
  for (std::uint16_t i = 10; i < 20; ++i) sdt.Service(i, "A rather long provider name", "Filler service name");
  TsStream ts;
  ts.Section(0x11, sdt.Build());
  ASSERT_GE(ts.PacketCount(), 3u);

  SectionAssembler assembler;
  SdtCollector collector;
  for (std::size_t i = 0; i < ts.PacketCount(); ++i)
    assembler.ProcessSdtPacket(ts.Data().data() + i * 188, collector, programs);
  EXPECT_EQ(collector.section_count, 1u);
  EXPECT_FALSE(assembler.IsAssembling());
  EXPECT_STREQ(programs.Find(1)->name, "One");
  EXPECT_STREQ(programs.Find(2)->name, "Two Plus");
  EXPECT_EQ(std::string(programs.Find(3)->name), std::string(31, 'N'));
}

TEST(ProgramModel, BuildsFromStreamsThatOccurInTheCensus) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::uint8_t, std::uint16_t>> streams;  // stream_type, PID
    bool complete;
    std::uint16_t videoPid;
    std::vector<AudioKind> audio;
  };
  // The census has PIDs 0x100 (video), 0x101 (AC-3 in a private stream), 0x102 (plain private
  // stream) and 0x103 (MPEG audio); 0x1FF never occurs.
  const Case cases[] = {
      {"video and audio", {{2, 0x100}, {3, 0x103}}, true, 0x100, {AudioKind::Mpeg}},
      {"video only", {{2, 0x100}}, false, 0x100, {}},
      {"absent PID left out", {{27, 0x100}, {3, 0x1FF}}, false, 0x100, {}},
      {"private stream with AC-3", {{2, 0x100}, {6, 0x101}, {6, 0x102}}, true, 0x100, {AudioKind::Ac3}},
      {"eleven audio streams", {{2, 0x100}, {3, 0x103}, {3, 0x103}, {3, 0x103}, {3, 0x103}, {3, 0x103}, {3, 0x103},
                                {3, 0x103}, {3, 0x103}, {3, 0x103}, {3, 0x103}, {3, 0x103}},
       true, 0x100, std::vector<AudioKind>(10, AudioKind::Mpeg)},
  };
  PidTable census;
  census.AddPid(0x100, 0xE0);
  census.AddPid(0x101, kContentAc3);
  census.AddPid(0x102, 0xBD);
  census.AddPid(0x103, 0xC0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProgramTable programs;
    PatCollector pat;
    PmtCollector pmt;
    const Bytes patSection = PatBuilder().Program(1, 0x1000).Build();
    ProcessPatSection(patSection.data(), patSection.size(), pat, programs);
    PmtBuilder builder(1);
    for (auto [type, pid] : c.streams) builder.Stream(type, pid);
    const Bytes section = InPacket(builder.Build());
    ASSERT_TRUE(ProcessPmtSection(section.data(), section.size(), pmt, programs));

    ProgramModel model;
    EXPECT_EQ(BuildStreamMap(model, programs, census, 1), c.complete);
    EXPECT_EQ(model.videoPid, c.videoPid);
    ASSERT_EQ(model.audioTrackCount, c.audio.size());
    for (std::size_t i = 0; i < c.audio.size(); ++i) EXPECT_EQ(model.audioTracks[i].kind, c.audio[i]);
    EXPECT_FALSE(BuildStreamMap(model, programs, census, 99)) << "unknown program";
  }
}

TEST(ProgramModel, GuessesFromTheBusiestPids) {
  struct Case {
    const char* name;
    bool preferAc3;
    std::uint16_t video, audio;
    AudioKind kind;
  };
  const Case cases[] = {{"busiest after the null packets", false, 0x100, 0x101, AudioKind::Mpeg},
                        {"AC-3 preferred", true, 0x100, 0x102, AudioKind::Ac3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PidTable census;
    const std::pair<std::uint16_t, std::uint8_t> rows[] = {{0x1FFF, 0}, {0x100, 0xE0}, {0x101, 0xC0}, {0x102, kContentAc3}};
    int count = 50;
    for (auto [pid, code] : rows) {
      for (int i = 0; i < count; ++i) census.AddPid(pid, code);
      count -= 10;
    }
    census.SortPidTable();
    ProgramModel model;
    std::uint16_t audioPidInUse = 0;
    GuessProgramModel(model, census, c.preferAc3, audioPidInUse);
    EXPECT_EQ(model.videoPid, c.video);
    EXPECT_EQ(model.videoStreamType, 0xE0);
    ASSERT_EQ(model.audioTrackCount, 1u);
    EXPECT_EQ(model.audioTracks[0].pid, c.audio);
    EXPECT_EQ(model.audioTracks[0].kind, c.kind);
    EXPECT_STREQ(model.audioTracks[0].language, "eng");
    EXPECT_EQ(audioPidInUse, c.audio);
    EXPECT_TRUE(model.programComplete && model.noPmt);
  }
}

}  // namespace
}  // namespace tsfilter::test
