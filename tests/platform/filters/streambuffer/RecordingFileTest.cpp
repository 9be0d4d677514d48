// The recording file as written and read back: objects cut into packets and joined again with
// their times and key-frame flags, the file readable while it is still being written, a
// recording discarded before it starts, the index, and a write failure that still leaves a
// valid file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/filters/streambuffer/AsfFileReader.h"
#include "platform/filters/streambuffer/RecordingFile.h"
#include "tests/platform/filters/streambuffer/AsfTestFiles.h"
#include "tests/support/Fixtures.h"

namespace dvrtest {
namespace {

constexpr std::size_t kRoom = asf::kRecordingPacketSize - asf::AsfPacketWriter::kPacketHeaderSize -
                              asf::AsfPacketWriter::kPayloadHeaderSize;  // one payload alone in a packet
constexpr std::int64_t kBase = 50'000'000;  // the first time stamp written

class RecordingFileTest : public ::testing::Test {
 protected:
  void SetUp() override { m_dir = testsupport::MakeTempDir("recording-file"); }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  std::unique_ptr<asf::RecordingFile> Create(const std::string& name = "rec.dvr-ms") {
    std::unique_ptr<asf::RecordingFile> file;
    EXPECT_EQ(asf::RecordingFile::Create((m_dir / name).string(), VideoAndAudio(), &file), S_OK);
    return file;
  }
  static asf::RecordedSample Sample(const Bytes& data, std::int64_t start = -1, std::int64_t decode = -1, bool sync = false) {
    asf::RecordedSample s;
    s.data = data.data();
    s.size = data.size();
    s.hasStart = start >= 0;
    s.start = start;
    s.hasDecode = start >= 0 && decode >= 0;
    s.decode = decode;
    s.syncPoint = sync;
    return s;
  }

  std::filesystem::path m_dir;
};

TEST_F(RecordingFileTest, ObjectsOfEverySizeComeBackWholeWithTimesAndKeyFlags) {
  // Sizes around a packet's room, several packets, a tiny one, and one larger than a sample buffer.
  const std::size_t sizes[] = {1, 100, kRoom - 1, kRoom, kRoom + 1, asf::kRecordingPacketSize, 3 * kRoom + 17, 300'000};
  auto file = Create();
  std::vector<Bytes> written;
  unsigned j = 0;
  for (std::size_t size : sizes) {
    const std::int64_t t = kBase + std::int64_t{j} * 2 * 400'000;
    written.push_back(Pattern(size, 2 * j));
    ASSERT_EQ(file->Write(0, Sample(written.back(), t + 400'000, t, j % 2 == 0)), S_OK);
    written.push_back(Pattern(size / 3 + 1, 2 * j + 1));
    ASSERT_EQ(file->Write(1, Sample(written.back(), t + 200'000)), S_OK);
    ++j;
  }
  ASSERT_EQ(file->Finish(), S_OK);

  const ReadResult read = ReadObjects(m_dir / "rec.dvr-ms");
  ASSERT_EQ(read.status, S_OK);
  EXPECT_EQ(read.damagedPackets, 0u);
  EXPECT_EQ(read.brokenObjects, 0u);
  ASSERT_EQ(read.objects.size(), written.size());
  for (std::size_t i = 0; i < written.size(); ++i) {
    SCOPED_TRACE(i);
    const ReadObject& object = read.objects[i];
    const bool video = i % 2 == 0;
    const std::int64_t t = std::int64_t(i / 2) * 2 * 400'000;  // relative to the base (the first decode time)
    EXPECT_EQ(object.stream, video ? 1 : 2);
    EXPECT_EQ(object.data, written[i]);
    EXPECT_EQ(object.keyFrame, video ? (i / 2) % 2 == 0 : true);
    ASSERT_TRUE(object.times.hasStart);
    EXPECT_EQ(object.times.start, t + (video ? 400'000 : 200'000));
    EXPECT_EQ(object.times.hasDecode, video);
    if (video) {
      EXPECT_EQ(object.times.decode, t);
    }
  }
}

TEST_F(RecordingFileTest, TimesBeforeTheBaseKeepTheirDistanceWithinThePrerollAndClampBeyond) {
  auto file = Create();
  const Bytes data = Pattern(10, 1);
  const std::int64_t preroll = std::int64_t{asf::kRecordingPrerollMs} * 10000;
  ASSERT_EQ(file->Write(0, Sample(data, kBase)), S_OK);                // the base
  ASSERT_EQ(file->Write(1, Sample(data, kBase - 2'000'000)), S_OK);    // 0.2 s earlier
  ASSERT_EQ(file->Write(1, Sample(data, kBase - preroll - 5'000'000)), S_OK);  // further than the preroll
  ASSERT_EQ(file->Write(1, Sample(data)), S_OK);                       // no time at all
  ASSERT_EQ(file->Finish(), S_OK);
  const ReadResult read = ReadObjects(m_dir / "rec.dvr-ms");
  ASSERT_EQ(read.objects.size(), 4u);
  EXPECT_EQ(read.objects[0].times.start, 0);
  EXPECT_EQ(read.objects[1].times.start, -2'000'000);
  EXPECT_EQ(read.objects[2].times.start, -preroll);
  EXPECT_FALSE(read.objects[3].times.hasStart);
}

TEST_F(RecordingFileTest, ManySmallObjectsShareAPacketUpToItsPayloadLimit) {
  auto file = Create();
  for (unsigned i = 0; i < 200; ++i) ASSERT_EQ(file->Write(1, Sample(Pattern(3, i), kBase + i)), S_OK);
  ASSERT_EQ(file->Finish(), S_OK);
  EXPECT_EQ(file->PacketCount(), (200 + asf::AsfPacketWriter::kMaxPayloads - 1) / asf::AsfPacketWriter::kMaxPayloads);
  const ReadResult read = ReadObjects(m_dir / "rec.dvr-ms");
  ASSERT_EQ(read.objects.size(), 200u);
  EXPECT_EQ(read.objects[199].data, Pattern(3, 199));
}

TEST_F(RecordingFileTest, AFileStillBeingWrittenReadsUpToItsLastWholePacket) {
  auto file = Create();
  // More than the writer's buffer, so part of it is on the disk while recording goes on.
  for (unsigned i = 0; i < 200; ++i) ASSERT_EQ(file->Write(0, Sample(Pattern(50'000, i), kBase + i * 400'000, -1, true)), S_OK);
  const std::filesystem::path copy = m_dir / "copy.dvr-ms";
  Bytes partial = ReadBytes(m_dir / "rec.dvr-ms");
  ASSERT_GT(partial.size(), 4u << 20);
  partial.resize(partial.size() - 1000);  // cut inside a packet, as a crash would
  WriteBytes(copy, partial);

  asf::AsfFileReader reader;
  ASSERT_EQ(reader.Open(copy.string()), S_OK);
  EXPECT_TRUE(reader.Header().file.Broadcast());
  EXPECT_EQ(reader.PacketCount(), (partial.size() - reader.DataStart()) / asf::kRecordingPacketSize);
  const ReadResult read = ReadObjects(copy);
  EXPECT_EQ(read.damagedPackets, 0u);
  ASSERT_GT(read.objects.size(), 50u);
  EXPECT_EQ(read.objects[7].data, Pattern(50'000, 7));
  ASSERT_EQ(file->Finish(), S_OK);
}

TEST_F(RecordingFileTest, WhatCameBeforeADiscardIsGoneAndTheFileHasExactlyTheRest) {
  auto file = Create();
  for (unsigned i = 0; i < 100; ++i) ASSERT_EQ(file->Write(0, Sample(Pattern(60'000, i), kBase + i)), S_OK);
  ASSERT_EQ(file->DiscardAll(), S_OK);
  ASSERT_EQ(file->Write(0, Sample(Pattern(1000, 500), kBase + 7'000'000, -1, true)), S_OK);
  ASSERT_EQ(file->Finish(), S_OK);
  const ReadResult read = ReadObjects(m_dir / "rec.dvr-ms");
  ASSERT_EQ(read.objects.size(), 1u);
  EXPECT_EQ(read.objects[0].data, Pattern(1000, 500));
  EXPECT_EQ(read.objects[0].times.start, 0);  // the base is chosen again
  asf::AsfFileReader reader;
  ASSERT_EQ(reader.Open((m_dir / "rec.dvr-ms").string()), S_OK);
  EXPECT_EQ(reader.PacketCount(), 1u);
  EXPECT_EQ(reader.Header().file.fileSize, std::filesystem::file_size(m_dir / "rec.dvr-ms"));
}

TEST_F(RecordingFileTest, TheIndexLeadsToThePacketOfTheLatestKeyFrame) {
  auto file = Create();
  // A key frame every 0.5 s, 100 kB each, 10 s in all.
  for (unsigned i = 0; i < 25 * 10; ++i) {
    const bool key = i % 12 == 0;
    ASSERT_EQ(file->Write(0, Sample(Pattern(key ? 100'000 : 20'000, i), kBase + std::int64_t{i} * 400'000, -1, key)), S_OK);
  }
  ASSERT_EQ(file->Finish(), S_OK);
  asf::AsfFileReader reader;
  ASSERT_EQ(reader.Open((m_dir / "rec.dvr-ms").string()), S_OK);
  ASSERT_FALSE(reader.Index().Empty());
  const ReadResult read = ReadObjects(m_dir / "rec.dvr-ms");
  // Each entry names the packet where the latest key frame no later than its time begins.
  for (std::uint64_t second = 0; second < 10; ++second) {
    const unsigned keyFrame = static_cast<unsigned>(second * 25 / 12) * 12;
    EXPECT_EQ(reader.Index().PacketFor(second * asf::kIndexInterval), read.objects[keyFrame].firstPacket) << second;
  }
}

TEST_F(RecordingFileTest, AFailedWriteIsReportedAndTheFileStillDescribesTheWholePacketsOnDisk) {
  auto file = Create();
  HRESULT failed = S_OK;
  {
    FileSizeLimit limit(6u << 20);  // a disk that is full after 6 MB
    for (unsigned i = 0; i < 300 && SUCCEEDED(failed); ++i) failed = file->Write(0, Sample(Pattern(64'000, i), kBase + i));
    EXPECT_TRUE(FAILED(failed));
    EXPECT_EQ(file->Write(0, Sample(Pattern(10, 1), kBase)), failed) << "the failure stays";
    EXPECT_EQ(file->Finish(), failed);
  }
  asf::AsfFileReader reader;
  ASSERT_EQ(reader.Open((m_dir / "rec.dvr-ms").string()), S_OK);
  EXPECT_FALSE(reader.Header().file.Broadcast());
  EXPECT_GT(reader.PacketCount(), 0u);
  EXPECT_EQ(reader.Header().file.packetCount, reader.PacketCount());
  EXPECT_EQ(std::filesystem::file_size(m_dir / "rec.dvr-ms"), reader.DataStart() + reader.PacketCount() * reader.PacketSize());
  const ReadResult read = ReadObjects(m_dir / "rec.dvr-ms");
  EXPECT_EQ(read.damagedPackets, 0u);
  ASSERT_FALSE(read.objects.empty());
  EXPECT_EQ(read.objects[0].data, Pattern(64'000, 0));
  // The duration is that of what is on the disk, not of all that was written.
  const std::int64_t duration = static_cast<std::int64_t>(reader.Header().file.playDuration) -
                                std::int64_t{asf::kRecordingPrerollMs} * 10000;
  EXPECT_GE(duration, read.objects.back().times.start);
  EXPECT_LE(duration, read.objects.back().times.start + 1);
}

TEST_F(RecordingFileTest, AnExistingFileIsNeitherOverwrittenNorTakenOver) {
  WriteBytes(m_dir / "rec.dvr-ms", Bytes{1, 2, 3});
  std::unique_ptr<asf::RecordingFile> file;
  EXPECT_EQ(asf::RecordingFile::Create((m_dir / "rec.dvr-ms").string(), VideoAndAudio(), &file), HresultFromErrno(EEXIST));
  EXPECT_FALSE(file);
  EXPECT_EQ(ReadBytes(m_dir / "rec.dvr-ms"), (Bytes{1, 2, 3}));
  EXPECT_EQ(asf::RecordingFile::Create((m_dir / "missing" / "rec.dvr-ms").string(), VideoAndAudio(), &file),
            HresultFromErrno(ENOENT));
}

}  // namespace
}  // namespace dvrtest
