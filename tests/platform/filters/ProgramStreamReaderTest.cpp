#include <gtest/gtest.h>

#include <filesystem>

#include "platform/filters/ProgramStreamReader.h"
#include "tests/platform/filters/FfmpegOracle.h"

namespace {

using Bytes = std::vector<unsigned char>;

class CollectingSink : public IPesUnitSink {
 public:
  HRESULT DeliverPesUnit(std::size_t stream, const PesUnit& unit) override {
    if (streams.size() <= stream) streams.resize(stream + 1);
    streams[stream].insert(streams[stream].end(), unit.data, unit.data + unit.size);
    if (unit.hasPts) lastPts = unit.pts;
    return S_OK;
  }
  std::vector<Bytes> streams;
  std::int64_t lastPts = -1;
};

struct PsCase {
  const char* file;
  PsStreamKind videoKind;
  const char* videoFormat;
  std::uint32_t audioKey;
  PsStreamKind audioKind;
  const char* audioFormat;
};

// The streams found by probing, and their payloads byte for byte as ffmpeg extracts them, fed in
// blocks of several sizes.
TEST(ProgramStreamReader, FindsTheStreamsAndExtractsThemLikeFfmpeg) {
  if (!ffmpeg_oracle::Available()) GTEST_SKIP() << "ffmpeg is not installed";
  const PsCase cases[] = {
      {"ps_mpeg2_ac3.mpg", PsStreamKind::Mpeg2Video, "mpeg2video", 0xBD80, PsStreamKind::Ac3Audio, "ac3"},
      {"ps_mpeg2_mp2.mpg", PsStreamKind::Mpeg2Video, "mpeg2video", 0xC0, PsStreamKind::MpegAudio, "mp2"},
      {"ps_mpeg1_system.mpg", PsStreamKind::Mpeg1Video, "mpeg1video", 0xC0, PsStreamKind::MpegAudio, "mp2"},
  };
  const std::string dir = ffmpeg_oracle::MakeTempDir();
  for (const PsCase& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string input = ffmpeg_oracle::DataDir() + "/" + c.file;
    const Bytes file = ffmpeg_oracle::ReadFile(input);
    ASSERT_FALSE(file.empty());

    std::vector<PsStreamInfo> streams;
    ASSERT_TRUE(ProgramStreamReader::Probe(file.data(), std::min<std::size_t>(file.size(), 64 * 1024), &streams));
    ASSERT_GE(streams.size(), 2u);
    EXPECT_EQ(streams[0].key, 0xE0u);
    EXPECT_EQ(streams[0].kind, c.videoKind);
    EXPECT_EQ(streams[1].key, c.audioKey);
    EXPECT_EQ(streams[1].kind, c.audioKind);

    std::string log;
    ASSERT_TRUE(ffmpeg_oracle::ExtractStream(input, "0:v:0", c.videoFormat, dir + "/v", &log)) << log;
    ASSERT_TRUE(ffmpeg_oracle::ExtractStream(input, "0:a:0", c.audioFormat, dir + "/a", &log)) << log;
    const Bytes video = ffmpeg_oracle::ReadFile(dir + "/v");
    const Bytes audio = ffmpeg_oracle::ReadFile(dir + "/a");

    for (std::size_t block : {std::size_t{65536}, std::size_t{2048}, std::size_t{777}}) {
      SCOPED_TRACE(block);
      CollectingSink sink;
      ProgramStreamReader reader(sink);
      reader.MapStream(0xE0, 0);
      reader.MapStream(c.audioKey, 1);
      for (std::size_t pos = 0; pos < file.size(); pos += block) {
        ASSERT_EQ(reader.Push(file.data() + pos, std::min(block, file.size() - pos)), S_OK);
      }
      reader.EndOfStream();
      ASSERT_EQ(sink.streams.size(), 2u);
      EXPECT_TRUE(sink.streams[0] == video) << ffmpeg_oracle::DescribeDifference(video, sink.streams[0]);
      EXPECT_TRUE(sink.streams[1] == audio) << ffmpeg_oracle::DescribeDifference(audio, sink.streams[1]);
      EXPECT_EQ(reader.Counters().resyncs, 0u);
    }
  }
  std::filesystem::remove_all(dir);
}

// Damage costs only the damaged packets: garbage in the middle and a cut end.
TEST(ProgramStreamReader, SkipsDamageToTheNextStartCode) {
  const Bytes file = ffmpeg_oracle::ReadFile(ffmpeg_oracle::DataDir() + "/ps_mpeg2_mp2.mpg");
  ASSERT_GT(file.size(), 20000u);
  CollectingSink clean;
  {
    ProgramStreamReader reader(clean);
    reader.MapStream(0xC0, 0);
    reader.Push(file.data(), file.size());
  }
  Bytes damaged = file;
  // Overwrite a pack start (2048-byte packs) with a run of zeros and a false start code.
  std::fill(damaged.begin() + 10 * 2048, damaged.begin() + 10 * 2048 + 40, 0);
  damaged[10 * 2048 + 40] = 1;
  damaged.resize(damaged.size() - 1000);
  CollectingSink sink;
  ProgramStreamReader reader(sink);
  reader.MapStream(0xC0, 0);
  ASSERT_EQ(reader.Push(damaged.data(), damaged.size()), S_OK);
  reader.EndOfStream();
  EXPECT_GE(reader.Counters().resyncs, 1u);
  ASSERT_EQ(sink.streams.size(), 1u);
  EXPECT_GT(sink.streams[0].size(), clean.streams[0].size() / 2);
  EXPECT_LE(sink.streams[0].size(), clean.streams[0].size());

  std::vector<PsStreamInfo> streams;
  const Bytes notPs = {0x47, 0x40, 0x00, 0x10, 0, 0, 1, 0xBA, 0, 0, 0, 0};
  EXPECT_FALSE(ProgramStreamReader::Probe(notPs.data(), notPs.size(), &streams));
}

}  // namespace

namespace {

// A pack (MPEG-2 header, SCR 0) holding one PES packet of stream `id` with a PTS.
Bytes Pack(std::uint8_t id, const Bytes& payload, std::uint64_t pts = 90000) {
  Bytes p = {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 0x01, 0x89, 0xC3, 0xF8};
  const std::size_t length = 3 + 5 + payload.size();
  const Bytes header = {0, 0, 1, id, static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length), 0x81, 0x80, 5,
                        static_cast<unsigned char>(0x21 | ((pts >> 29) & 0x0E)), static_cast<unsigned char>(pts >> 22),
                        static_cast<unsigned char>((pts >> 14) | 1), static_cast<unsigned char>(pts >> 7),
                        static_cast<unsigned char>((pts << 1) | 1)};
  p.insert(p.end(), header.begin(), header.end());
  p.insert(p.end(), payload.begin(), payload.end());
  return p;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Private stream 1 in DVD style: subpictures and LPCM beside AC3 are found as streams of their
// own and skipped cleanly; only the mapped sub-stream's frames come out, without its header; the
// demultiplexer's audio choice is the AC3 stream even when LPCM comes first.
TEST(ProgramStreamReader, SeparatesPrivateStreamOneSubStreams) {
  const Bytes ac3a = {0x0B, 0x77, 1, 2, 3, 4}, ac3b = {0x0B, 0x77, 5, 6};
  const Bytes stream = Join({
      Pack(0xBD, {0xA0, 1, 0, 4, 0x00, 0x01, 0x80, 9, 9, 9, 9}),  // LPCM 0xA0: 3 + 3 header bytes
      Pack(0xBD, {0x20, 0, 10, 1, 2, 3, 4, 5, 6, 7}),             // subpicture 0x20: no header
      Pack(0xBD, Join({{0x80, 1, 0, 1}, ac3a})),                  // AC3 0x80
      Pack(0xBD, {0x21, 0, 4, 0xFF, 0xFF}),                       // a second subpicture stream
      Pack(0xBD, Join({{0x80, 1, 0, 1}, ac3b})),
      Pack(0xBD, {0xA1, 1, 0, 4, 0x00, 0x01, 0x80, 8, 8}),
  });
  std::vector<PsStreamInfo> streams;
  ASSERT_TRUE(ProgramStreamReader::Probe(stream.data(), stream.size(), &streams));
  const std::vector<std::pair<std::uint32_t, PsStreamKind>> expected = {
      {0xBDA0, PsStreamKind::Other}, {0xBD20, PsStreamKind::Other}, {0xBD80, PsStreamKind::Ac3Audio},
      {0xBD21, PsStreamKind::Other}, {0xBDA1, PsStreamKind::Other}};
  ASSERT_EQ(streams.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(streams[i].key, expected[i].first) << i;
    EXPECT_EQ(streams[i].kind, expected[i].second) << i;
  }
  for (std::size_t block : {stream.size(), std::size_t{1}, std::size_t{13}}) {
    SCOPED_TRACE(block);
    CollectingSink sink;
    ProgramStreamReader reader(sink);
    reader.MapStream(0xBD80, 0);
    reader.MapStream(0xBDA0, 1);
    for (std::size_t pos = 0; pos < stream.size(); pos += block) {
      ASSERT_EQ(reader.Push(stream.data() + pos, std::min(block, stream.size() - pos)), S_OK);
    }
    reader.EndOfStream();
    ASSERT_EQ(sink.streams.size(), 2u);
    EXPECT_EQ(sink.streams[0], Join({ac3a, ac3b}));
    EXPECT_EQ(sink.streams[1], (Bytes{9, 9, 9, 9})) << "LPCM without its 6 header bytes";
    EXPECT_EQ(reader.Counters().resyncs, 0u);
    EXPECT_EQ(reader.Counters().invalidPackets, 0u);
  }
}

// After a seek into the middle the video starts at its first clean start, with the packet's time;
// a stop delivers of the next packet only what ends the picture before it, and nothing after.
TEST(ProgramStreamReader, TrimsToACleanStartAndEndsOnAWholePicture) {
  const Bytes tail = {0xAA, 0xBB};                                  // end of a picture before
  const Bytes sequence = {0, 0, 1, 0xB3, 1, 2, 0, 0, 1, 0, 3, 4};  // sequence header, then a picture
  const Bytes picture = {0, 0, 1, 0, 5, 6};
  struct Case {
    const char* name;
    Bytes first;  // payload of the first video packet after the seek
    Bytes expected;
  } cases[] = {
      {"sequence header after the end of a picture", Join({tail, sequence}), Join({sequence, tail, sequence, tail})},
      {"a picture before the sequence header: not clean, dropped", Join({picture, sequence}), Join({sequence, tail})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes stream = Join({Pack(0xE0, c.first, 1000), Pack(0xE0, Join({tail, sequence}), 2000),
                               Pack(0xE0, Join({tail, picture}), 3000), Pack(0xE0, picture, 4000)});
    CollectingSink sink;
    ProgramStreamReader reader(sink);
    reader.MapStream(0xE0, 0);
    reader.TrimUntilCleanStart(0xE0, PsStreamKind::Mpeg2Video);
    const std::size_t third = stream.size() - Pack(0xE0, picture).size() - Pack(0xE0, Join({tail, picture})).size();
    ASSERT_EQ(reader.Push(stream.data(), third), S_OK);
    reader.EndBeforeNextPicture(0xE0, PsStreamKind::Mpeg2Video);
    ASSERT_EQ(reader.Push(stream.data() + third, stream.size() - third), S_OK);
    ASSERT_EQ(sink.streams.size(), 1u);
    EXPECT_EQ(sink.streams[0], c.expected) << "from the clean start to the end of the picture before the stop";
    EXPECT_EQ(sink.lastPts, 2000) << "the cut packet's time is not the bytes' it keeps";
  }
}

}  // namespace
