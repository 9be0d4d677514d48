#include <gtest/gtest.h>

#include <functional>

#include "platform/filters/dvd/IfoReader.h"
#include "tests/platform/filters/dvd/DvdSample.h"

namespace {

using dvdtest::Bytes;
using dvd::IfoStatus;

dvd::IfoStatus Read(const Bytes& ifo, dvd::DvdTitleSet* set) { return dvd::ReadTitleSetIfo(ifo.data(), ifo.size(), set); }

TEST(IfoReader, ReadsTheSampleTitleSet) {
  dvd::DvdTitleSet set;
  ASSERT_EQ(Read(dvdtest::SampleIfo(), &set), IfoStatus::Ok);
  EXPECT_EQ(set.titleVobStartSector, 6u);
  EXPECT_TRUE(set.mpeg2Video);
  EXPECT_TRUE(set.pal);
  EXPECT_FALSE(set.wide);
  ASSERT_EQ(set.audio.size(), 1u);
  EXPECT_EQ(set.audio[0].coding, 0);  // AC3
  EXPECT_EQ(set.audio[0].channels, 2);
  ASSERT_EQ(set.titles.size(), 1u);
  const dvd::DvdTitle& title = set.titles[0];
  EXPECT_EQ(title.titleNumber, 1);
  EXPECT_EQ(title.playbackTicks, 3u * 90000);
  ASSERT_EQ(title.cells.size(), 2u);
  EXPECT_EQ(title.cells[0].firstSector, 0u);
  EXPECT_EQ(title.cells[0].lastVobuStartSector, 31u);
  EXPECT_EQ(title.cells[0].lastSector, 62u);
  EXPECT_TRUE(title.cells[0].stcDiscontinuity);
  EXPECT_EQ(title.cells[1].firstSector, 63u);
  EXPECT_EQ(title.cells[1].lastVobuStartSector, 200u);
  EXPECT_EQ(title.cells[1].lastSector, 227u);
  EXPECT_EQ(title.cells[1].vobId, 1);
  EXPECT_EQ(title.cells[1].cellId, 2);
  EXPECT_EQ(set.LongestTitle(), &title);
  EXPECT_EQ(title.SectorCount(), dvdtest::kVobSectors);
}

// Damage of every kind gives its status and never a read outside the bytes (the sanitizer
// builds check that); a change that keeps the file sound still reads.
TEST(IfoReader, ReportsDamageByKind) {
  using dvdtest::kCellAddresses;
  using dvdtest::kCellPlayback;
  using dvdtest::kPgc;
  using dvdtest::PutBe32;
  struct Case {
    const char* name;
    std::function<void(Bytes&)> change;
    IfoStatus expected;
    std::size_t cells;  // when Ok
  };
  const Case cases[] = {
      {"empty", [](Bytes& b) { b.clear(); }, IfoStatus::Truncated, 0},
      {"cut inside the identifier", [](Bytes& b) { b.resize(5); }, IfoStatus::Truncated, 0},
      {"cut inside the attributes", [](Bytes& b) { b.resize(0x300); }, IfoStatus::Truncated, 0},
      {"cut after the first sector", [](Bytes& b) { b.resize(2048); }, IfoStatus::Truncated, 0},
      {"cut inside the chain table", [](Bytes& b) { b.resize(kPgc + 100); }, IfoStatus::Truncated, 0},
      {"another file", [](Bytes& b) { b[9] = 'M'; }, IfoStatus::NotATitleSet, 0},
      {"address table pointer past the end", [](Bytes& b) { PutBe32(b, 0xE0, 0x10000); }, IfoStatus::Truncated, 0},
      {"no address table", [](Bytes& b) { PutBe32(b, 0xE0, 0); }, IfoStatus::BadTable, 0},
      {"no chain table", [](Bytes& b) { PutBe32(b, 0xCC, 0); }, IfoStatus::NoTitle, 0},
      {"chain table longer than the file", [](Bytes& b) { PutBe32(b, 0x1004, 0x7FFFFFFF); }, IfoStatus::Truncated, 0},
      {"more chains than the table holds", [](Bytes& b) { b[0x1000] = 0xFF; }, IfoStatus::BadTable, 0},
      {"chain outside its table", [](Bytes& b) { PutBe32(b, 0x100C, 0xFFFFFFF0); }, IfoStatus::BadTable, 0},
      {"cell table outside the chain", [](Bytes& b) { b[kPgc + 0xE8] = 0x7F; }, IfoStatus::BadTable, 0},
      {"chain without cells", [](Bytes& b) { b[kPgc + 3] = 0; }, IfoStatus::NoTitle, 0},
      {"cell ends before it starts", [](Bytes& b) { PutBe32(b, kCellPlayback + 24 + 20, 10); }, IfoStatus::BadTable, 0},
      {"last VOBU outside its cell", [](Bytes& b) { PutBe32(b, kCellPlayback + 16, 70); }, IfoStatus::BadTable, 0},
      // The chain says cell 2 reaches sector 5000, the address table says 227: the chain lies.
      {"cell past its address entry", [](Bytes& b) { PutBe32(b, kCellPlayback + 24 + 20, 5000); }, IfoStatus::BadTable, 0},
      {"cell of an unknown VOB", [](Bytes& b) { b[kPgc + 0x12E + 4 + 1] = 9; }, IfoStatus::BadTable, 0},
      {"address entry ends before it starts", [](Bytes& b) { PutBe32(b, kCellAddresses + 8, 0); b[kCellAddresses + 4 + 3] = 1; },
       IfoStatus::BadTable, 0},
      // Both tables agree on a longer cell 2: the IFO is consistent; the VOBs decide (DVD source).
      {"both tables grow a cell",
       [](Bytes& b) {
         PutBe32(b, kCellPlayback + 24 + 20, 5000);
         PutBe32(b, kCellAddresses + 12 + 8, 5000);
       },
       IfoStatus::Ok, 2},
      {"second angle of an angle block left out", [](Bytes& b) { b[kCellPlayback] = 0x50; b[kCellPlayback + 24] = 0xD0; },
       IfoStatus::Ok, 1},
      {"chain not marked as entry", [](Bytes& b) { b[0x1008] = 0x01; }, IfoStatus::Ok, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes ifo = dvdtest::SampleIfo();
    c.change(ifo);
    dvd::DvdTitleSet set;
    EXPECT_EQ(Read(ifo, &set), c.expected);
    if (c.expected == IfoStatus::Ok) {
      ASSERT_EQ(set.titles.size(), 1u);
      EXPECT_EQ(set.titles[0].cells.size(), c.cells);
    }
  }
}

// Every prefix of the file reads without a fault: cut anywhere, never a read past the end.
TEST(IfoReader, EveryPrefixIsSafe) {
  const Bytes ifo = dvdtest::SampleIfo();
  std::size_t ok = 0;
  for (std::size_t size = 0; size <= ifo.size(); size += 7) {
    Bytes cut(ifo.begin(), ifo.begin() + static_cast<std::ptrdiff_t>(size));
    dvd::DvdTitleSet set;
    if (Read(cut, &set) == IfoStatus::Ok) ++ok;
  }
  EXPECT_GT(ok, 0u);  // the tables end before the file does
}

}  // namespace
