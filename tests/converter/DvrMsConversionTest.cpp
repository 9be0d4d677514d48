// DVR-MS by the brannock program, quietly: transport streams recorded (the default output) with
// the recording's attributes, recordings (ours and an ASF file made by ffmpeg) converted to a
// program stream, a transport stream and elementary streams, and the failures that must end a
// run with a status: the same name in and out, and a full disk.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "ProgramRunner.h"
#include "StreamFacts.h"
#include "converter/engine/RecordingMetadata.h"
#include "engine/GraphTestSupport.h"
#include "platform/com/activation.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/StreamBufferInterfaces.h"
#include "tests/support/Command.h"
#include "tests/support/Fixtures.h"

namespace {

namespace fs = std::filesystem;

class DvrMsConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testsupport::ProgramAvailable("ffprobe") || !testsupport::ProgramAvailable("ffmpeg"))
      GTEST_SKIP() << "ffmpeg and ffprobe are needed (Debian package ffmpeg)";
    ASSERT_EQ(converter_test::RegisterConverterModules(), S_OK);
  }
  std::string Copy(const fs::path& from, const std::string& name) {
    const std::string copy = m_recordings.File(name);
    fs::copy_file(from, copy, fs::copy_options::overwrite_existing);
    return copy;
  }
  ProgramRun Convert(const std::vector<std::string>& args, long fileSizeLimit = -1) {
    return RunProgram(args, {"TMPDIR=" + m_temp.Path().string(), "PLATFORM_REGISTRY_DIR=" + m_registry.Folder()},
                      fileSizeLimit);
  }
  std::string BatchLog(const std::string& input) const { return ReadWholeFile(fs::path(input).replace_extension(".log")); }
  std::string File(const std::string& name) const { return m_recordings.File(name); }

  converter_test::ModuleRegistry m_registry;
  TempDir m_temp;
  TempDir m_recordings;
};

// The attribute's value as the recording attributes object reads it.
std::string Attribute(IStreamBufferRecordingAttribute* attributes, const char16_t* name, STREAMBUFFER_ATTR_DATATYPE* type) {
  WORD length = 0;
  if (FAILED(attributes->GetAttributeByName(name, nullptr, type, nullptr, &length))) return "<missing>";
  std::string value(length, '\0');
  attributes->GetAttributeByName(name, nullptr, type, reinterpret_cast<BYTE*>(value.data()), &length);
  return value;
}

std::string WideBytes(const std::u16string& text) {
  std::string bytes;
  for (char16_t c : text) bytes += static_cast<char>(c & 0xFF), bytes += static_cast<char>(c >> 8);
  return bytes + std::string(2, '\0');
}

std::uint64_t Qword(const std::string& bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < 8 && i < bytes.size(); ++i) value |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
  return value;
}

struct RecordCase {
  const char* fixture;
  const char* audioCodec;
};

class QuietRecordingTest : public DvrMsConversionTest, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(QuietRecordingTest, ATransportStreamBecomesARecordingWithItsAttributes) {
  const RecordCase& c = GetParam();
  const fs::path fixture = testsupport::FixturePath(c.fixture);
  if (fixture.empty()) GTEST_SKIP() << testsupport::FixtureProblem(c.fixture);
  const std::string input = Copy(fixture, "show.ts");
  const std::time_t before = std::time(nullptr);
  const ProgramRun run = Convert({"/q", "/i", input});
  const std::time_t after = std::time(nullptr);
  ASSERT_EQ(run.exitStatus, 0) << run.err << BatchLog(input);
  const std::string recording = File("show.dvr-ms");
  EXPECT_EQ(testsupport::RunCommand("ffprobe -v error -show_entries format=format_name -of csv=p=0 " +
                                    testsupport::ShellQuote(recording)).output, "asf\n");
  EXPECT_EQ(streamfacts::CodecName(recording, "v"), "mpeg2video");
  EXPECT_EQ(streamfacts::CodecName(recording, "a"), c.audioCodec);
  EXPECT_EQ(streamfacts::FrameCount(recording, "v"), streamfacts::FrameCount(input, "v"));
  EXPECT_EQ(streamfacts::DecodeErrors(recording), "");
  // ffprobe's view of the attributes it shows.
  const std::string tags = testsupport::RunCommand("ffprobe -v error -show_entries format_tags=title,genre,language -of csv=p=0 " +
                                                   testsupport::ShellQuote(recording)).output;
  EXPECT_EQ(tags, "show,Movie,en\n");

  ComPtr<IFileSourceFilter> file;
  ASSERT_EQ(CoCreateInstance(CLSID_StreamBufferRecordingAttributes, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(file.GetAddressOf())), S_OK);
  ASSERT_EQ(file->Load(Utf8ToUtf16(recording).c_str(), nullptr), S_OK);
  ComPtr<IStreamBufferRecordingAttribute> attributes = file.As<IStreamBufferRecordingAttribute>();
  ASSERT_TRUE(attributes);
  WORD count = 0;
  ASSERT_EQ(attributes->GetAttributeCount(0, &count), S_OK);
  EXPECT_EQ(count, 18);
  STREAMBUFFER_ATTR_DATATYPE type{};
  EXPECT_EQ(Attribute(attributes.Get(), u"Title", &type), WideBytes(u"show"));
  EXPECT_EQ(type, STREAMBUFFER_TYPE_STRING);
  EXPECT_EQ(Attribute(attributes.Get(), u"WM/Genre", &type), WideBytes(u"Movie"));
  EXPECT_EQ(Attribute(attributes.Get(), u"WM/Language", &type), WideBytes(u"en"));
  for (const char16_t* flag : {u"WM/MediaIsDelay", u"WM/MediaIsFinale", u"WM/MediaIsLive", u"WM/MediaIsPremiere",
                               u"WM/MediaIsRepeat", u"WM/MediaIsSAP", u"WM/VideoClosedCaptioning",
                               u"WM/WMRVContentProtected", u"WM/WMRVHDContent"}) {
    EXPECT_EQ(Attribute(attributes.Get(), flag, &type), std::string(4, '\0')) << Utf16ToUtf8(flag);
    EXPECT_EQ(type, STREAMBUFFER_TYPE_BOOL);
  }
  const GUID primary = MakeGuid("{DB9830BD-3AB3-4FAB-8A37-1A995F7FF74B}");
  EXPECT_EQ(Attribute(attributes.Get(), u"WM/MediaClassPrimaryID", &type), std::string(reinterpret_cast<const char*>(&primary), 16));
  EXPECT_EQ(type, STREAMBUFFER_TYPE_GUID);
  // The encode time is the conversion's start as ticks from year 1 in local time; the end time
  // lies a whole number of seconds later.
  const std::uint64_t encoded = Qword(Attribute(attributes.Get(), u"WM/WMRVEncodeTime", &type));
  EXPECT_EQ(type, STREAMBUFFER_TYPE_QWORD);
  EXPECT_GE(encoded, RecordingTimeStamp(before));
  EXPECT_LE(encoded, RecordingTimeStamp(after));
  const std::uint64_t ended = Qword(Attribute(attributes.Get(), u"WM/WMRVEndTime", &type));
  EXPECT_GE(ended, encoded);
  EXPECT_EQ((ended - encoded) % 10'000'000, 0u);
  EXPECT_LE(ended - encoded, 4 * 10'000'000ull);
}

INSTANTIATE_TEST_SUITE_P(Streams, QuietRecordingTest,
                         ::testing::Values(RecordCase{"mpeg2hd_ac3_mp2.ts", "ac3"}, RecordCase{"mpeg2_mp2.ts", "mp2"}),
                         [](const auto& info) { return std::string(info.param.audioCodec); });

struct InputCase {
  const char* name;
  const char* fixture;
  bool byFfmpeg;  // an ASF file made by ffmpeg, else our own recording of the fixture
  const char* audioMap;
  const char* audioFormat;
};

class QuietRecordingInputTest : public DvrMsConversionTest, public ::testing::WithParamInterface<InputCase> {};

TEST_P(QuietRecordingInputTest, ARecordingBecomesAProgramStreamATransportStreamAndElementaryStreams) {
  const InputCase& c = GetParam();
  const fs::path fixture = testsupport::FixturePath(c.fixture);
  if (fixture.empty()) GTEST_SKIP() << testsupport::FixtureProblem(c.fixture);
  const std::string source = Copy(fixture, "source.ts");
  const std::string input = File("in.dvr-ms");
  if (c.byFfmpeg) {
    ASSERT_EQ(testsupport::RunCommand("ffmpeg -nostdin -v error -y -i " + testsupport::ShellQuote(source) +
                                      " -map 0:v:0 -map " + c.audioMap + " -c copy -f asf " + testsupport::ShellQuote(input)).exitCode, 0);
  } else {
    ASSERT_EQ(Convert({"/q", "/i", source}).exitStatus, 0) << BatchLog(source);
    fs::rename(File("source.dvr-ms"), input);
  }
  for (const char* format : {"1", "2"}) {
    SCOPED_TRACE(format);
    const ProgramRun run = Convert({"/q", "/i", input, "/f", format});
    ASSERT_EQ(run.exitStatus, 0) << run.err << BatchLog(input);
    const std::string output = File(std::string("in.") + (format[0] == '1' ? "mpg" : "ts"));
    EXPECT_EQ(streamfacts::CodecName(output, "v"), "mpeg2video");
    EXPECT_EQ(streamfacts::CodecName(output, "a"), c.audioFormat);
    EXPECT_EQ(streamfacts::FrameCount(output, "v"), streamfacts::FrameCount(source, "v"));
    EXPECT_EQ(streamfacts::DecodeErrors(output), "");
  }
  const ProgramRun run = Convert({"/q", "/i", input, "/f", "3"});
  ASSERT_EQ(run.exitStatus, 0) << run.err << BatchLog(input);
  const std::string video = streamfacts::ExtractWithFfmpeg(source, "0:v:0", "mpeg2video", File("ref.m2v"));
  const std::string audio = streamfacts::ExtractWithFfmpeg(source, c.audioMap, c.audioFormat, File("ref.audio"));
  EXPECT_TRUE(ReadWholeFile(File("in.raw")) == ReadWholeFile(video)) << "the video, byte for byte";
  // Without a demultiplexer the converter names the audio file .ac3 whatever it holds.
  EXPECT_TRUE(ReadWholeFile(File("in.ac3")) == ReadWholeFile(audio)) << "the audio, byte for byte";
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, QuietRecordingInputTest,
    ::testing::Values(InputCase{"ours_ac3", "mpeg2hd_ac3_mp2.ts", false, "0:a:0", "ac3"},
                      InputCase{"ours_mp2", "mpeg2_mp2.ts", false, "0:a:0", "mp2"},
                      InputCase{"ffmpeg_ac3", "mpeg2hd_ac3_mp2.ts", true, "0:a:0", "ac3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DvrMsConversionTest, ARecordingIsNotConvertedIntoItself) {
  const fs::path fixture = testsupport::FixturePath("mpeg2_mp2.ts");
  if (fixture.empty()) GTEST_SKIP() << testsupport::FixtureProblem("mpeg2_mp2.ts");
  const std::string source = Copy(fixture, "a.ts");
  ASSERT_EQ(Convert({"/q", "/i", source}).exitStatus, 0);
  const ProgramRun run = Convert({"/q", "/i", File("a.dvr-ms"), "/f", "0"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(BatchLog(File("a.dvr-ms")).find("Cannot convert DVR-MS to DVR-MS in one step. Convert to MPG first."),
            std::string::npos);
  EXPECT_FALSE(fs::exists(File("a(dvr-ms).dvr-ms")));
}

TEST_F(DvrMsConversionTest, AFullDiskFailsTheRunAndLeavesAPlayableRecording) {
  const fs::path fixture = testsupport::FixturePath("long_60s.ts");
  if (fixture.empty()) GTEST_SKIP() << testsupport::FixtureProblem("long_60s.ts");
  const std::string input = Copy(fixture, "long.ts");
  const ProgramRun run = Convert({"/q", "/i", input}, 600 * 1024);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(BatchLog(input).find("Conversion failed. (HRESULT = 8007001b)"), std::string::npos) << BatchLog(input);
  const std::string recording = File("long.dvr-ms");
  EXPECT_EQ(streamfacts::CodecName(recording, "v"), "mpeg2video");
  EXPECT_EQ(streamfacts::DecodeErrors(recording), "");
  const long frames = streamfacts::FrameCount(recording, "v");
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, streamfacts::FrameCount(input, "v"));
}

}  // namespace
