// Quiet conversions by the brannock program, one command each, judged by ffprobe and ffmpeg on
// ffmpeg-made streams: the files must be right, the exit status 0 only for a completed conversion,
// and every failure must end the run with its message in the batch log.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "ProgramRunner.h"
#include "StreamFacts.h"
#include "engine/GraphTestSupport.h"
#include "tests/support/Command.h"
#include "tests/support/Fixtures.h"

namespace {

namespace fs = std::filesystem;

class QuietConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testsupport::ProgramAvailable("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
    ASSERT_EQ(converter_test::RegisterConverterModules(), S_OK);
  }

  // A copy of the fixture in the recordings folder (the outputs land next to it).
  std::string Recording(const std::string& fixture, const std::string& name = std::string()) {
    const fs::path source = testsupport::FixturePath(fixture);
    if (source.empty()) return {};
    const std::string copy = m_recordings.File(name.empty() ? fixture : name);
    fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
    return copy;
  }

  ProgramRun Convert(const std::vector<std::string>& args, long fileSizeLimit = -1,
                     const std::string& program = std::string()) {
    return RunProgram(args, {"TMPDIR=" + m_temp.Path().string(), "PLATFORM_REGISTRY_DIR=" + m_registry.Folder()},
                      fileSizeLimit, 120, program);
  }

  std::string BatchLog(const std::string& input) const { return ReadWholeFile(fs::path(input).replace_extension(".log")); }
  std::string ConversionLog() const { return ReadWholeFile(m_temp.File("brannock.log")); }

  converter_test::ModuleRegistry m_registry;
  TempDir m_temp;
  TempDir m_recordings;
};

#define REQUIRE_RECORDING(var, fixture)                                     \
  const std::string var = Recording(fixture);                               \
  if (var.empty()) GTEST_SKIP() << testsupport::FixtureProblem(fixture);    \
  static_assert(true)

// ---- program streams ----

struct ProgramStreamCase {
  const char* fixture;
  const char* output;  // next to the input
  const char* audioCodec;
};

class QuietProgramStreamTest : public QuietConversionTest, public ::testing::WithParamInterface<ProgramStreamCase> {};

TEST_P(QuietProgramStreamTest, HoldsEveryFrameAndDecodesCleanly) {
  const ProgramStreamCase& c = GetParam();
  REQUIRE_RECORDING(input, c.fixture);
  const ProgramRun run = Convert({"/q", "/i", input, "/f", "1"});
  ASSERT_EQ(run.exitStatus, 0) << run.err << BatchLog(input);
  const std::string output = m_recordings.File(c.output);
  EXPECT_EQ(streamfacts::CodecName(output, "v"), "mpeg2video");
  EXPECT_EQ(streamfacts::FrameCount(output, "v"), streamfacts::FrameCount(input, "v"));
  EXPECT_EQ(streamfacts::CodecName(output, "a"), c.audioCodec);
  EXPECT_EQ(streamfacts::DecodeErrors(output), "");
  EXPECT_FALSE(fs::exists(fs::path(input).replace_extension(".log"))) << "nothing to report";
}

INSTANTIATE_TEST_SUITE_P(Inputs, QuietProgramStreamTest,
                         ::testing::Values(ProgramStreamCase{"mpeg2_mp2.ts", "mpeg2_mp2.mpg", "mp2"},
                                           ProgramStreamCase{"mpeg2hd_ac3_mp2.ts", "mpeg2hd_ac3_mp2.mpg", "ac3"},
                                           ProgramStreamCase{"mpeg2hd_ac3dvb_mp2.ts", "mpeg2hd_ac3dvb_mp2.mpg", "ac3"},
                                           ProgramStreamCase{"program_stream.mpg", "program_stream(mpg).mpg", "ac3"}),
                         [](const auto& info) { return fs::path(info.param.fixture).stem().string(); });

// ---- transport stream copy ----

class QuietTransportStreamTest : public QuietConversionTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(QuietTransportStreamTest, CopiesEveryPacketFromTheFirstSequenceHeader) {
  REQUIRE_RECORDING(input, GetParam());
  const ProgramRun run = Convert({"/q", "/i", input, "/f", "2"});
  ASSERT_EQ(run.exitStatus, 0) << run.err << BatchLog(input);
  const std::string stem = fs::path(input).stem().string();
  const std::string output = ReadWholeFile(m_recordings.File(stem + "(ts).ts"));
  const std::string original = ReadWholeFile(input);
  const long first = streamfacts::FirstSequenceHeaderPacket(original, streamfacts::VideoPid(input));
  ASSERT_GE(first, 0);
  ASSERT_EQ(output.size(), original.size() - first * 188u);
  EXPECT_TRUE(output == original.substr(first * 188u)) << "the packets from the sequence header on, unchanged";
}

INSTANTIATE_TEST_SUITE_P(Inputs, QuietTransportStreamTest,
                         ::testing::Values("mpeg2_mp2.ts", "mpeg2hd_ac3_mp2.ts", "long_60s.ts", "pts_wrap.ts"),
                         [](const auto& info) { return fs::path(info.param).stem().string(); });

// ---- elementary streams ----

struct ElementaryCase {
  const char* fixture;
  std::vector<std::string> args;  // after "/q /i input"
  const char* videoFile;          // suffix of the stem
  const char* videoFormat;
  const char* audioFile;
  const char* audioMap;
  const char* audioFormat;
};

class QuietElementaryTest : public QuietConversionTest, public ::testing::WithParamInterface<ElementaryCase> {};

TEST_P(QuietElementaryTest, StreamsAreByteIdenticalToFfmpegCopies) {
  const ElementaryCase& c = GetParam();
  REQUIRE_RECORDING(input, c.fixture);
  std::vector<std::string> args = {"/q", "/i", input};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const ProgramRun run = Convert(args);
  ASSERT_EQ(run.exitStatus, 0) << run.err << BatchLog(input);
  const std::string stem = m_recordings.File(fs::path(input).stem().string());
  const std::string video = streamfacts::ExtractWithFfmpeg(input, "0:v:0", c.videoFormat, stem + ".ref-video");
  const std::string audio = streamfacts::ExtractWithFfmpeg(input, c.audioMap, c.audioFormat, stem + ".ref-audio");
  const std::string videoOut = ReadWholeFile(stem + c.videoFile);
  const std::string audioOut = ReadWholeFile(stem + c.audioFile);
  ASSERT_FALSE(videoOut.empty());
  ASSERT_FALSE(audioOut.empty());
  EXPECT_TRUE(videoOut == ReadWholeFile(video)) << videoOut.size() << " bytes of video";
  EXPECT_TRUE(audioOut == ReadWholeFile(audio)) << audioOut.size() << " bytes of audio";
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, QuietElementaryTest,
    ::testing::Values(ElementaryCase{"mpeg2_mp2.ts", {"/f", "3"}, ".raw", "mpeg2video", ".mpa", "0:a:0", "mp2"},
                      ElementaryCase{"mpeg2hd_ac3_mp2.ts", {"/f", "3"}, ".raw", "mpeg2video", ".ac3", "0:a:0", "ac3"},
                      ElementaryCase{"h264_aud_ac3.ts", {"/f", "3"}, ".raw", "h264", ".ac3", "0:a:0", "ac3"},
                      ElementaryCase{"program_stream.mpg", {"/f", "3"}, ".raw", "mpeg2video", ".ac3", "0:a:0", "ac3"}),
    [](const auto& info) { return fs::path(info.param.fixture).stem().string(); });

TEST_F(QuietConversionTest, H264GivesRawVideoAndItsAc3InAWavFile) {
  REQUIRE_RECORDING(input, "h264_aud_ac3.ts");
  const ProgramRun run = Convert({"/q", "/i", input});
  ASSERT_EQ(run.exitStatus, 0) << run.err << BatchLog(input);
  const std::string stem = m_recordings.File("h264_aud_ac3");
  EXPECT_EQ(streamfacts::CodecName(stem + ".ac3.wav", "a"), "ac3");
  EXPECT_EQ(streamfacts::AudioLayout(stem + ".ac3.wav"), streamfacts::AudioLayout(input));
  const std::string video = streamfacts::ExtractWithFfmpeg(input, "0:v:0", "h264", stem + ".ref-video");
  EXPECT_TRUE(ReadWholeFile(stem + ".raw") == ReadWholeFile(video));
}

// ---- failures: a message in the batch log, a non-zero exit status, never a success ----

struct FailureCase {
  const char* name;
  const char* fixture;            // copied as "in.ts"; null: no input file
  std::vector<std::string> args;  // after "/q /i input"; "@dir" is replaced by the recordings folder
  long fileSizeLimit;
  const char* message;            // in the batch log (or on standard error when the log cannot be written)
};

class QuietFailureTest : public QuietConversionTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(QuietFailureTest, EndsWithItsMessageAndAFailingStatus) {
  const FailureCase& c = GetParam();
  std::string input = m_recordings.File("in.ts");
  if (c.fixture) {
    input = Recording(c.fixture, "in.ts");
    if (input.empty()) GTEST_SKIP() << testsupport::FixtureProblem(c.fixture);
  }
  std::vector<std::string> args = {"/q", "/i", input};
  for (std::string arg : c.args) args.push_back(arg == "@dir" ? m_recordings.Path().string() : arg);
  const ProgramRun run = Convert(args, c.fileSizeLimit);
  EXPECT_EQ(run.exitStatus, 1) << run.err;
  const std::string said = BatchLog(input) + run.err;
  EXPECT_NE(said.find(c.message), std::string::npos) << said;
  EXPECT_EQ(ConversionLog().find("Conversion completed successfully."), std::string::npos);
}

const FailureCase kFailures[] = {
    {"missing_input", nullptr, {"/f", "1"}, -1, "Cannot access "},
    {"missing_output_folder", "mpeg2_mp2.ts", {"/f", "1", "/d", "/nonexistent/folder"}, -1, "/nonexistent/folder"},
    {"unwritable_output_folder", "mpeg2_mp2.ts", {"/f", "3", "/d", "/proc"}, -1, "/proc/in.raw"},
    {"disk_full_program_stream", "mpeg2hd_ac3_mp2.ts", {"/f", "1"}, 300000, "Conversion failed."},
    {"disk_full_elementary", "mpeg2hd_ac3_mp2.ts", {"/f", "3"}, 300000, "Conversion failed."},
    {"disk_full_transport_stream", "mpeg2hd_ac3_mp2.ts", {"/f", "2"}, 300000, "Conversion failed."},
};

INSTANTIATE_TEST_SUITE_P(Cases, QuietFailureTest, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(QuietConversionTest, AFileThatIsNotATransportStreamIsRefused) {
  const std::string input = m_recordings.File("junk.ts");
  std::mt19937 random(7);
  std::string junk(400000, '\0');
  for (char& c : junk) c = static_cast<char>(random());
  std::ofstream(input, std::ios::binary) << junk;
  const ProgramRun run = Convert({"/q", "/i", input, "/f", "1"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(BatchLog(input).find("does not appear to be a transport stream"), std::string::npos) << BatchLog(input);
  EXPECT_FALSE(fs::exists(m_recordings.File("junk.mpg")));
}

TEST_F(QuietConversionTest, AnUnregisteredDumpFilterStopsTheBuildAtItsCheckPoint) {
  REQUIRE_RECORDING(input, "mpeg2_mp2.ts");
  ASSERT_EQ(converter_test::RegisterModule("Gallowin.ax", false), S_OK);
  const ProgramRun run = Convert({"/q", "/i", input, "/f", "1"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(BatchLog(input).find("(HRESULT = 80040154, Checkpoint = 0007, Dumper)"), std::string::npos)
      << BatchLog(input);
  EXPECT_NE(ConversionLog().find("Cause: Gallowin not registered, attempting to register..\n"), std::string::npos);
}

TEST_F(QuietConversionTest, AnUnregisteredSourceFilterIsRegisteredFromBesideTheProgram) {
  REQUIRE_RECORDING(input, "mpeg2_mp2.ts");
  ASSERT_EQ(converter_test::RegisterModule("Flumetta.ax", false), S_OK);
  const ProgramRun run = Convert({"/q", "/i", input, "/f", "1"});
  EXPECT_EQ(run.exitStatus, 0) << BatchLog(input);
  EXPECT_NE(ConversionLog().find("Cause: Flumetta not registered, attempting to register..\n"), std::string::npos);
  EXPECT_GT(converter_test::FileSize(m_recordings.File("mpeg2_mp2.mpg")), 0);
}

TEST_F(QuietConversionTest, ASourceFilterThatCannotBeFoundIsReported) {
  REQUIRE_RECORDING(input, "mpeg2_mp2.ts");
  ASSERT_EQ(converter_test::RegisterModule("Flumetta.ax", false), S_OK);
  // The program alone, without the source filter's module beside it.
  TempDir bin;
  for (const char* file : {"brannock", "libplatform.so"})
    fs::copy_file(ProgramPath(file), bin.File(file), fs::copy_options::overwrite_existing);
  const ProgramRun run = Convert({"/q", "/i", input, "/f", "1"}, -1, bin.File("brannock"));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(BatchLog(input).find("File Flumetta.ax not found. This file is needed to render TS files."),
            std::string::npos)
      << BatchLog(input);
}

// ---- broken recordings: no crash, no hang, whatever the damage ----

std::string Damaged(const std::string& original, const std::string& damage) {
  std::string bytes = original;
  std::mt19937 random(11);
  if (damage == "truncated") {
    bytes.resize(bytes.size() / 3 + 77);  // mid-packet
  } else if (damage == "lost_sync") {
    bytes.insert(bytes.size() / 2, std::string(1000, '\x47'));
    bytes.insert(bytes.size() / 4, "garbage without sync");
  } else if (damage == "continuity") {
    std::string kept;
    for (std::size_t at = 0; at + 188 <= bytes.size(); at += 188)
      if ((at / 188) % 37 != 5) kept.append(bytes, at, 188);
    bytes = kept;
  } else if (damage == "flipped_bytes") {
    for (int i = 0; i < 3000; ++i) bytes[random() % bytes.size()] = static_cast<char>(random());
  } else if (damage == "zeroed_block") {
    std::fill(bytes.begin() + bytes.size() / 3, bytes.begin() + bytes.size() / 3 + 64 * 1024, '\0');
  }
  return bytes;
}

class QuietDamageTest : public QuietConversionTest,
                        public ::testing::WithParamInterface<std::tuple<const char*, const char*>> {};

TEST_P(QuietDamageTest, EndsByItselfWithAStatus) {
  const auto [damage, format] = GetParam();
  const fs::path source = testsupport::FixturePath(std::string(damage) == "pts_wrap" ? "pts_wrap.ts" : "mpeg2hd_ac3_mp2.ts");
  if (source.empty()) GTEST_SKIP() << testsupport::FixtureProblem("mpeg2hd_ac3_mp2.ts");
  const std::string input = m_recordings.File("broken.ts");
  std::ofstream(input, std::ios::binary) << Damaged(ReadWholeFile(source.string()), damage);
  const ProgramRun run = Convert({"/q", "/i", input, "/f", format});
  EXPECT_TRUE(run.exitStatus == 0 || run.exitStatus == 1) << "status " << run.exitStatus << run.err;
  if (run.exitStatus == 1) {
    EXPECT_FALSE(BatchLog(input).empty()) << "a failure says why";
  }
}

INSTANTIATE_TEST_SUITE_P(Damage, QuietDamageTest,
                         ::testing::Combine(::testing::Values("truncated", "lost_sync", "continuity", "flipped_bytes",
                                                              "zeroed_block", "pts_wrap"),
                                            ::testing::Values("1", "2", "3")),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param)) + "_f" + std::get<1>(info.param);
                         });

// ---- progress ----

TEST_F(QuietConversionTest, ProgressGoesToATerminalOnly) {
  REQUIRE_RECORDING(input, "long_60s.ts");
  if (!testsupport::ProgramAvailable("script")) GTEST_SKIP() << "script (util-linux) is not installed";
  const ProgramRun plain = Convert({"/q", "/i", input, "/f", "3"});
  EXPECT_EQ(plain.exitStatus, 0);
  EXPECT_EQ(plain.err, "") << "nothing extra when standard error is not a terminal";

  // The same run with a terminal as standard error (script gives it one and copies it to stdout).
  const std::string command = "TMPDIR=" + testsupport::ShellQuote(m_temp.Path().string()) +
                              " PLATFORM_REGISTRY_DIR=" + testsupport::ShellQuote(m_registry.Folder()) + " " +
                              testsupport::ShellQuote(ProgramPath("brannock")) + " /q /i " +
                              testsupport::ShellQuote(input) + " /f 3";
  const auto onTerminal = testsupport::RunCommand("script -qefc " + testsupport::ShellQuote(command) + " /dev/null");
  EXPECT_EQ(onTerminal.exitCode, 0);
  EXPECT_NE(onTerminal.output.find("100%  File Pos: "), std::string::npos) << onTerminal.output;
  EXPECT_NE(onTerminal.output.find("Remaining: -"), std::string::npos) << onTerminal.output;
}

}  // namespace
