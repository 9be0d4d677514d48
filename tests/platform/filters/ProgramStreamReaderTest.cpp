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
