#include "tsfilter/analysis/TsFileReader.h"

#include <gtest/gtest.h>

#include "tests/tsfilter/analysis/AnalysisHarness.h"

namespace tsfilter::test {
namespace {

using testsupport::Bytes;

struct ReaderUnderTest {
  void Open(const Bytes& bytes) {
    file.Write(bytes);
    ASSERT_EQ(file.filter.reader.Open(file.path.c_str()), S_OK);
    ASSERT_EQ(file.filter.reader.AllocateBuffers(), S_OK);
  }
  TsFileReader& Reader() { return file.filter.reader; }
  LoadedFile file;
};
struct ReaderFixture : ::testing::Test, ReaderUnderTest {};

Bytes WithJunk(const Bytes& junk, const Bytes& packets) {
  Bytes bytes = junk;
  testsupport::Append(bytes, packets);
  return bytes;
}

TEST_F(ReaderFixture, FindsTheSyncOffsetWhereSeveralPacketsAgree) {
  struct Case {
    const char* name;
    Bytes junk;
    std::uint32_t expectedOffset;
  };
  const Case cases[] = {
      {"clean start", {}, 0},
      {"five junk bytes", {1, 2, 3, 4, 5}, 5},
      {"stray sync byte first", {0x47, 0x10, 0x00}, 3},
      {"stray sync byte inside the junk", {0x00, 0x47, 0x00, 0x00, 0x47, 0x01}, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderUnderTest fixture;
    fixture.Open(WithJunk(c.junk, IndexedPackets(300)));
    std::uint8_t* buffer = fixture.Reader().StreamBuffer();
    std::uint32_t start = 99, packets = 0;
    ASSERT_EQ(fixture.Reader().ReadBlock(buffer, 0, kStreamBlockPackets, &start, &packets), S_OK);
    EXPECT_EQ(fixture.Reader().SyncOffset(), c.expectedOffset);
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(packets, 300u);
    for (std::uint32_t i : {0u, 1u, 299u}) EXPECT_EQ(IndexOf(buffer + i * 188), i);
    EXPECT_EQ(fixture.file.host.notTransportStream, 0);
  }
}

TEST_F(ReaderFixture, BytesWithoutSyncAreReportedOnceAndNeverHang) {
  struct Case {
    const char* name;
    std::size_t size;
  };
  for (const Case& c : {Case{"a block of junk", 5000}, Case{"fewer bytes than a packet", 100}, Case{"empty file", 0}}) {
    SCOPED_TRACE(c.name);
    ReaderUnderTest fixture;
    fixture.Open(Bytes(c.size, 0x11));
    std::uint32_t packets = 99;
    ASSERT_EQ(fixture.Reader().ReadBlock(fixture.Reader().ScanBuffer(), 0, kScanBlockPackets, nullptr, &packets), S_OK);
    ASSERT_EQ(fixture.Reader().ReadBlock(fixture.Reader().StreamBuffer(), 0, kStreamBlockPackets, nullptr, &packets), S_OK);
    EXPECT_EQ(fixture.file.host.notTransportStream, 1);
    EXPECT_EQ(packets, c.size > 188 ? 1u : 0u) << "taken as it is at the offset where the search stopped";
  }
}

TEST_F(ReaderFixture, BlockHoldsTheWantedPacketAtItsIndexModuloTheCount) {
  Open(IndexedPackets(12500));
  std::uint8_t* buffer = Reader().StreamBuffer();
  std::uint32_t start = 0, packets = 0;
  ASSERT_EQ(Reader().ReadBlock(buffer, 12345, kStreamBlockPackets, &start, &packets), S_OK);
  EXPECT_EQ(start, 10000u);
  EXPECT_EQ(packets, 2500u);  // the block ends with the file
  EXPECT_EQ(IndexOf(buffer + 2345 * 188), 12345u);
}

TEST_F(ReaderFixture, EndScanFindsItsOwnPhaseAndLeavesTheOffsetAtZero) {
  Bytes bytes{9, 9, 9};
  testsupport::Append(bytes, IndexedPackets(21000));
  Open(bytes);
  ASSERT_EQ(Reader().ReadBlock(Reader().ScanBuffer(), 0, kScanBlockPackets), S_OK);
  EXPECT_EQ(Reader().SyncOffset(), 3u);
  std::uint32_t start = 0;
  ASSERT_EQ(Reader().ReadBlock(Reader().ScanBuffer(), 1000, kEndScanBlockPackets, &start), S_OK);
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(IndexOf(Reader().ScanBuffer() + 5 * 188), 5u);
  EXPECT_EQ(Reader().SyncOffset(), 0u);
}

TEST_F(ReaderFixture, SizeFollowsAGrowingFileOncePerBlockReadAndHonoursTheLimit) {
  Open(IndexedPackets(100));
  EXPECT_EQ(Reader().FileSize(), 100u * 188);
  file.AppendBytes(IndexedPackets(50));
  EXPECT_EQ(Reader().FileSize(), 100u * 188) << "asked of the system only after a block read";
  std::uint32_t packets = 0;
  ASSERT_EQ(Reader().ReadBlock(Reader().StreamBuffer(), 0, kStreamBlockPackets, nullptr, &packets), S_OK);
  EXPECT_EQ(Reader().FileSize(), 150u * 188);
  EXPECT_EQ(packets, 150u);

  Reader().SetSizeLimit(5000u * 188);
  EXPECT_EQ(Reader().FileSize(), 5000u * 188);
  Reader().SetSizeLimit(0);
  EXPECT_EQ(Reader().FileSize(), 150u * 188);
}

TEST_F(ReaderFixture, ATrailingPartialPacketIsNotCountedAsRead) {
  Bytes bytes = IndexedPackets(10);
  bytes.resize(bytes.size() + 100, 0x47);
  Open(bytes);
  std::uint32_t packets = 0;
  ASSERT_EQ(Reader().ReadBlock(Reader().StreamBuffer(), 0, kStreamBlockPackets, nullptr, &packets), S_OK);
  EXPECT_EQ(packets, 10u);
}

TEST_F(ReaderFixture, AFailedReadReturnsTheSystemError) {
  // A folder opens for reading but cannot be read: EISDIR (21).
  ASSERT_EQ(Reader().Open(file.dir.c_str()), S_OK);
  ASSERT_EQ(Reader().AllocateBuffers(), S_OK);
  std::uint32_t packets = 99;
  EXPECT_EQ(Reader().ReadBlock(Reader().StreamBuffer(), 0, kStreamBlockPackets, nullptr, &packets),
            HRESULT_FROM_WIN32(21));
  EXPECT_EQ(packets, 0u);
  EXPECT_EQ(Reader().Open((file.dir / "missing.ts").c_str()), E_FAIL);
}

}  // namespace
}  // namespace tsfilter::test
