// ffprobe as an independent reader of streams the builder writes: it drops PSI sections whose
// CRC fails, so a service name or language it reports proves the section bytes and the CRC.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/Command.h"
#include "tests/support/Fixtures.h"
#include "tests/support/TsBuilder.h"

namespace testsupport {
namespace {

constexpr uint16_t kPmtPid = 0x1000;
constexpr uint16_t kVideoPid = 0x100;
constexpr uint16_t kAc3Pid = 0x101;
constexpr uint16_t kDvbAc3Pid = 0x102;

struct StreamOptions {
  bool spoilSdt = false;
};

// Half a second of a program: MPEG-2 video, AC3 as type 0x81 ("deu") and as type 6 ("eng").
TsStream BuildProgram(const StreamOptions& options) {
  const Bytes pat = PatBuilder().TransportStreamId(1).Program(1, kPmtPid).Build();
  const Bytes pmt = PmtBuilder(1)
                        .PcrPid(kVideoPid)
                        .Stream(0x02, kVideoPid)
                        .Stream(0x81, kAc3Pid, {RegistrationDescriptor("AC-3"), LanguageDescriptor("deu")})
                        .Stream(0x06, kDvbAc3Pid, {Ac3Descriptor(), LanguageDescriptor("eng")})
                        .Build();
  // A second service with long names makes the section span several packets.
  const Bytes sdt = SdtBuilder()
                        .TransportStreamId(1)
                        .Service(1, "Orvanet", "Orvanet Test")
                        .Service(2, std::string(120, 'p'), std::string(120, 'n'))
                        .SpoilCrc(options.spoilSdt)
                        .Build();

  Mpeg2SequenceHeader sequence;
  sequence.sequenceExtension = true;
  Bytes picture = sequence.Build();
  // Group of pictures and an I picture header, then slice-free filler: enough for a parser.
  Append(picture, Bytes{0x00, 0x00, 0x01, 0xB8, 0x00, 0x08, 0x00, 0x00});
  Append(picture, Bytes{0x00, 0x00, 0x01, 0x00, 0x00, 0x0F, 0xFF, 0xF8});
  picture.resize(2000, 0x00);

  Ac3FrameHeader ac3;
  ac3.frmsizecod = 8;  // 128 kbit/s, 512 bytes
  const Bytes ac3Frame = ac3.Frame();

  TsStream ts;
  for (int i = 0; i < 13; ++i) {
    const uint64_t pts = 126000 + 3600u * static_cast<uint64_t>(i);
    // Few copies of each table: after ten bad CRCs in a row ffprobe stops checking.
    if (i % 4 == 0) ts.Section(0x0000, pat).Section(kPmtPid, pmt).Section(0x0011, sdt);
    ts.Pes(kVideoPid, PesBuilder(0xE0).Pts(pts).Unbounded().Payload(picture).Build(), pts - 9000);
    const Bytes audioPes = PesBuilder(0xBD).Pts(pts).Payload(ac3Frame).Build();
    ts.Pes(kAc3Pid, audioPes).Pes(kDvbAc3Pid, audioPes);
  }
  return ts;
}

std::string Probe(const std::filesystem::path& file) {
  return RunCommand("ffprobe -v error -show_entries program_tags=service_name:stream=id,codec_name:stream_tags=language -of flat " +
                    ShellQuote(file.string()) + " 2>/dev/null")
      .output;
}

class FfprobeOracleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ProgramAvailable("ffprobe")) GTEST_SKIP() << "ffprobe is not installed (Debian package ffmpeg); skipping";
    m_dir = MakeTempDir("ts-builder");
    ASSERT_FALSE(m_dir.empty());
  }
  void TearDown() override {
    std::error_code ec;
    if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ec);
  }
  std::filesystem::path Write(const TsStream& ts) {
    const auto path = m_dir / "built.ts";
    EXPECT_TRUE(ts.WriteTo(path));
    return path;
  }
  std::filesystem::path m_dir;
};

TEST_F(FfprobeOracleTest, ReadsProgramServiceNameAndLanguages) {
  const std::string out = Probe(Write(BuildProgram({})));
  EXPECT_NE(out.find("service_name=\"Orvanet Test\""), std::string::npos) << out;
  EXPECT_NE(out.find("id=\"0x100\""), std::string::npos) << out;
  EXPECT_NE(out.find("codec_name=\"mpeg2video\""), std::string::npos) << out;
  EXPECT_NE(out.find("codec_name=\"ac3\""), std::string::npos) << out;
  EXPECT_NE(out.find("language=\"deu\""), std::string::npos) << out;
  EXPECT_NE(out.find("language=\"eng\""), std::string::npos) << out;
}

TEST_F(FfprobeOracleTest, DropsSdtWithSpoiledCrc) {
  const std::string noSdt = Probe(Write(BuildProgram({.spoilSdt = true})));
  EXPECT_EQ(noSdt.find("Orvanet Test"), std::string::npos) << noSdt;
}

}  // namespace
}  // namespace testsupport
