// Flumetta in a real graph against ffmpeg: for each recording and audio setting, the video and
// audio the demultiplexer delivers (set up by Flumetta at connection) must be byte for byte what
// `ffmpeg -c copy` extracts, and the run must end with the graph's completion and Flumetta's
// end-of-file notice.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/com/wstring.h"
#include "platform/dshow/GraphInterfaces.h"
#include "platform/dshow/MediaType.h"
#include "platform/dshow/SeekingInterfaces.h"
#include "platform/win/messages.h"
#include "shared/EndOfFileMessage.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tests/support/Command.h"
#include "tests/support/Fixtures.h"
#include "tests/tsfilter/graph/FlumettaGraph.h"

namespace flumgraph {
namespace {

using Bytes = std::vector<unsigned char>;
namespace fs = std::filesystem;

Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// What ffmpeg extracts from `input` for the stream `map` as raw `format`; empty on failure.
Bytes FfmpegExtract(const fs::path& input, const std::string& map, const std::string& format, const fs::path& out) {
  using testsupport::ShellQuote;
  const auto result = testsupport::RunCommand("ffmpeg -nostdin -v error -y -i " + ShellQuote(input.string()) +
                                              " -map " + map + " -c copy -f " + format + " " +
                                              ShellQuote(out.string()) + " 2>&1");
  if (result.exitCode != 0) ADD_FAILURE() << "ffmpeg failed: " << result.output;
  return ReadBytes(out);
}

std::string FirstDifference(const Bytes& expected, const Bytes& actual) {
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  return "sizes " + std::to_string(expected.size()) + " (ffmpeg) and " + std::to_string(actual.size()) +
         " (graph), first difference at byte " + std::to_string(at);
}

struct GraphCase {
  const char* name;
  const char* fixture;
  std::uint32_t ac3;     // setting "AC3"
  std::uint32_t audio2;  // setting "Audio2"
  const char16_t* videoPin;
  const char* videoFormat;
  const char16_t* audioPin;
  const char* audioMap;  // the track Flumetta must choose, as ffmpeg numbers it
  const char* audioFormat;
  std::uint32_t width, height;  // in the video pin's format block
};

// Two MPEG audio tracks of one kind, made here: Audio2 picks the second.
constexpr const char* kTwoMpegTracks = "two_mp2.ts";

const GraphCase kCases[] = {
    {"mpeg2_mp2", "mpeg2_mp2.ts", 1, 0, u"Video", "mpeg2video", u"Audio", "0:a:0", "mp2", 720, 576},
    {"ac3_preferred", "mpeg2hd_ac3_mp2.ts", 1, 0, u"Video", "mpeg2video", u"AC3", "0:a:0", "ac3", 1920, 1080},
    {"mpeg_preferred", "mpeg2hd_ac3_mp2.ts", 0, 0, u"Video", "mpeg2video", u"Audio", "0:a:1", "mp2", 1920, 1080},
    {"dvb_ac3", "mpeg2hd_ac3dvb_mp2.ts", 1, 0, u"Video", "mpeg2video", u"AC3", "0:a:0", "ac3", 1920, 1080},
    {"audio2", kTwoMpegTracks, 1, 1, u"Video", "mpeg2video", u"Audio", "0:a:1", "mp2", 352, 288},
    {"h264_ac3", "h264_aud_ac3.ts", 1, 0, u"H.264", "h264", u"AC3", "0:a:0", "ac3", 1280, 720},
    // AAC as ffmpeg writes it (stream type 0x0f) is not in the program model: the census
    // fallback takes over and must still deliver both streams. The census knows the audio PID
    // only by its PES stream id (0xC0), so the pin is the MPEG audio one; without encoder
    // delimiters no sequence parameters are analysed and the format block keeps its defaults.
    {"h264_aac_census", "h264_aac.ts", 1, 0, u"H.264", "h264", u"Audio", "0:a:0", "adts", 1920, 1088},
};

std::uint32_t FormatField(const AM_MEDIA_TYPE& type, std::size_t offset) {
  if (!type.pbFormat || offset + 4 > type.cbFormat) return 0;
  const BYTE* p = type.pbFormat + offset;
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The video pin's type carries what the opening analysis learnt from the stream: the picture
// size and, for MPEG-2, the start of the recording's own sequence header.
void ExpectVideoFormat(FlumettaGraph& g, const GraphCase& c, const fs::path& input) {
  ComPtr<IPin> pin;
  ASSERT_EQ(g.demux->FindPin(g.Outputs().videoPin.c_str(), pin.GetAddressOf()), S_OK);
  AM_MEDIA_TYPE type{};
  ASSERT_EQ(pin->ConnectionMediaType(&type), S_OK);
  ASSERT_EQ(type.cbFormat, 218u);
  EXPECT_EQ(FormatField(type, 8), c.width);    // rcSource right
  EXPECT_EQ(FormatField(type, 12), c.height);  // rcSource bottom
  EXPECT_EQ(FormatField(type, 76), c.width);   // biWidth
  EXPECT_EQ(FormatField(type, 80), c.height);  // biHeight
  if (std::string(c.videoFormat) == "mpeg2video") {
    const Bytes file = ReadBytes(input);
    const Bytes code = {0, 0, 1, 0xB3};
    const auto header = std::search(file.begin(), file.end(), code.begin(), code.end());
    ASSERT_NE(header, file.end());
    EXPECT_TRUE(std::equal(header, header + 12, type.pbFormat + 132)) << "the sequence header's first 12 bytes";
  }
  FreeMediaType(type);
}

class FlumettaGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PROGRAM("ffmpeg");
    ASSERT_TRUE(m_modules.Problem().empty()) << m_modules.Problem();
    m_dir = testsupport::MakeTempDir("flumetta-graph");
  }
  void TearDown() override {
    std::error_code ignored;
    if (!m_dir.empty()) fs::remove_all(m_dir, ignored);
  }

  // The fixture's path; the two-track recording is made on first use.
  fs::path Input(const std::string& name) {
    if (name != kTwoMpegTracks) return testsupport::FixturePath(name);
    const fs::path path = m_dir / name;
    const auto made = testsupport::RunCommand(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=352x288:rate=25:duration=2 "
        "-f lavfi -i sine=frequency=1000:sample_rate=48000:duration=2 "
        "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=2 -map 0:v -map 1:a -map 2:a "
        "-c:v mpeg2video -dct int -idct simple -g 12 -bf 2 -b:v 1000k -c:a mp2fixed -b:a 128k "
        "-fflags +bitexact -flags +bitexact -threads 1 -f mpegts " +
        testsupport::ShellQuote(path.string()) + " 2>&1");
    if (made.exitCode != 0) ADD_FAILURE() << "ffmpeg could not make " << name << ": " << made.output;
    return made.exitCode == 0 ? path : fs::path();
  }

  TemporaryRegistry m_registry;
  Modules m_modules;
  fs::path m_dir;
};

TEST_F(FlumettaGraphTest, DeliversWhatFfmpegExtracts) {
  for (const GraphCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const fs::path input = Input(c.fixture);
    if (input.empty()) {
      std::cout << "skipping " << c.name << ": " << testsupport::FixtureProblem(c.fixture) << "\n";
      continue;
    }
    WriteSetting("AC3", c.ac3);
    WriteSetting("Audio2", c.audio2);
    const fs::path videoOut = m_dir / (std::string(c.name) + ".video");
    const fs::path audioOut = m_dir / (std::string(c.name) + ".audio");

    FlumettaGraph g;
    ASSERT_EQ(g.Open(input.string()), S_OK);
    EXPECT_EQ(Utf16ToUtf8(g.Outputs().videoPin), Utf16ToUtf8(c.videoPin));
    EXPECT_EQ(Utf16ToUtf8(g.Outputs().audioPin), Utf16ToUtf8(c.audioPin));
    ASSERT_EQ(g.WriteOutputs(videoOut.string(), audioOut.string()), S_OK);
    ExpectVideoFormat(g, c, input);
    EXPECT_EQ(g.RunToCompletion(), EC_COMPLETE);
    g.TearDown();

    const Bytes video = FfmpegExtract(input, "0:v:0", c.videoFormat, m_dir / "video.ref");
    const Bytes audio = FfmpegExtract(input, c.audioMap, c.audioFormat, m_dir / "audio.ref");
    ASSERT_FALSE(video.empty());
    ASSERT_FALSE(audio.empty());
    const Bytes videoGot = ReadBytes(videoOut), audioGot = ReadBytes(audioOut);
    EXPECT_TRUE(video == videoGot) << "video: " << FirstDifference(video, videoGot);
    EXPECT_TRUE(audio == audioGot) << "audio: " << FirstDifference(audio, audioGot);
  }
}

// Converting between two marks: the graph's seeking reaches Flumetta, which starts at the
// sought packet (moved on to the next sequence header) and ends at the stop as a size limit. The
// outputs are an unbroken stretch of the whole streams: nothing lost, nothing foreign inside.
TEST_F(FlumettaGraphTest, ConvertsTheStretchBetweenTwoMarks) {
  REQUIRE_FIXTURE(input, "long_60s.ts");
  FlumettaGraph g;
  ASSERT_EQ(g.Open(input.string()), S_OK);
  ASSERT_EQ(g.WriteOutputs((m_dir / "v").string(), (m_dir / "a").string()), S_OK);
  ComPtr<IMediaSeeking> seeking;
  ASSERT_EQ(g.graph->QueryInterface(IID_PPV_ARGS(seeking.GetAddressOf())), S_OK);
  LONGLONG duration = 0;
  ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
  // Seeking is positional: the marks at a third and two thirds of the duration (whatever the
  // duration was found to be) cut the file at a third and two thirds of its packets.
  ASSERT_GT(duration, 0);
  LONGLONG markIn = duration / 3, markOut = duration * 2 / 3;
  ASSERT_EQ(seeking->SetPositions(&markIn, AM_SEEKING_AbsolutePositioning, &markOut, AM_SEEKING_AbsolutePositioning),
            S_OK);
  EXPECT_EQ(g.RunToCompletion(), EC_COMPLETE);
  g.TearDown();

  struct Stream {
    const char* map;
    const char* format;
    const char* output;
  } streams[] = {{"0:v:0", "mpeg2video", "v"}, {"0:a:0", "mp2", "a"}};
  for (const Stream& stream : streams) {
    SCOPED_TRACE(stream.format);
    const Bytes whole = FfmpegExtract(input, stream.map, stream.format, m_dir / "whole.ref");
    const Bytes part = ReadBytes(m_dir / stream.output);
    ASSERT_FALSE(part.empty());
    EXPECT_GT(part.size(), whole.size() / 5) << "about a third of the recording";
    EXPECT_LT(part.size(), whole.size() / 2);
    EXPECT_NE(std::search(whole.begin(), whole.end(), part.begin(), part.end()), whole.end())
        << "an unbroken stretch of the whole stream";
  }
  const Bytes video = ReadBytes(m_dir / "v");
  ASSERT_GE(video.size(), 4u);
  EXPECT_EQ(Bytes(video.begin(), video.begin() + 4), (Bytes{0, 0, 1, 0xB3})) << "video resumes at a sequence header";
}

// Elementary video mode (PrefDemux 3): no demultiplexer; the pin "Video" itself delivers the
// video payload, which must be the stream ffmpeg extracts (from the first sequence header on).
TEST_F(FlumettaGraphTest, ElementaryVideoModeDeliversTheVideoStream) {
  REQUIRE_FIXTURE(input, "mpeg2hd_ac3_mp2.ts");
  WriteSetting("PrefDemux", 3);
  FlumettaGraph g;
  ASSERT_EQ(g.OpenSource(input.string()), S_OK);
  ComPtr<IPin> pin;
  ASSERT_EQ(g.source->FindPin(u"Video", pin.GetAddressOf()), S_OK);
  ASSERT_EQ(g.AddDump((m_dir / "v").string(), pin.Get()), S_OK);
  EXPECT_EQ(g.RunToCompletion(), EC_COMPLETE);
  g.TearDown();
  const Bytes expected = FfmpegExtract(input, "0:v:0", "mpeg2video", m_dir / "v.ref");
  const Bytes delivered = ReadBytes(m_dir / "v");
  ASSERT_FALSE(expected.empty());
  EXPECT_TRUE(expected == delivered) << FirstDifference(expected, delivered);
}

// Stopping and running the graph again starts again at the first sequence header: the second
// run rewrites the same streams.
TEST_F(FlumettaGraphTest, ASecondRunWritesTheSameStreams) {
  REQUIRE_FIXTURE(input, "mpeg2_mp2.ts");
  FlumettaGraph g;
  ASSERT_EQ(g.Open(input.string()), S_OK);
  ASSERT_EQ(g.WriteOutputs((m_dir / "v").string(), (m_dir / "a").string()), S_OK);
  ASSERT_EQ(g.RunToCompletion(), EC_COMPLETE);
  const Bytes firstVideo = ReadBytes(m_dir / "v"), firstAudio = ReadBytes(m_dir / "a");
  ASSERT_EQ(g.RunToCompletion(), EC_COMPLETE);
  g.TearDown();
  EXPECT_FALSE(firstVideo.empty());
  EXPECT_TRUE(ReadBytes(m_dir / "v") == firstVideo);
  EXPECT_TRUE(ReadBytes(m_dir / "a") == firstAudio);
}

// The host's window hears of the end twice: the graph's events and Flumetta's own end-of-file
// notice, which it asked for with NOTIFYWND.
TEST_F(FlumettaGraphTest, NotifyWindowReceivesEndOfFileNotice) {
  REQUIRE_FIXTURE(input, "mpeg2_mp2.ts");
  const HWND window = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  ASSERT_NE(window, 0);

  FlumettaGraph g;
  ASSERT_EQ(g.Open(input.string()), S_OK);
  ASSERT_EQ(g.WriteOutputs((m_dir / "v").string(), (m_dir / "a").string()), S_OK);
  ComPtr<IMediaEventEx> events;
  ASSERT_EQ(g.graph->QueryInterface(IID_PPV_ARGS(events.GetAddressOf())), S_OK);
  ASSERT_EQ(events->SetNotifyWindow(static_cast<OAHWND>(window), kEndOfFileMessage, 0), S_OK);
  EXPECT_EQ(g.Attribute("NOTIFYWND(" + std::to_string(window) + ")"), "Notification on");
  EXPECT_EQ(g.RunToCompletion(), EC_COMPLETE);
  g.TearDown();

  int endOfFileNotices = 0, graphEvents = 0;
  MSG msg;
  while (PeekMessage(&msg, window, 0, 0, PM_REMOVE)) {
    ASSERT_EQ(msg.message, kEndOfFileMessage);
    if (msg.wParam == kEndOfFileWParam && msg.lParam == kEndOfFileLParam) ++endOfFileNotices;
    else ++graphEvents;
  }
  EXPECT_GE(endOfFileNotices, 1);
  EXPECT_GE(graphEvents, 1);
  LONG code = 0;
  LONG_PTR p1 = 0, p2 = 0;
  bool complete = false;
  while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) complete = complete || code == EC_COMPLETE;
  EXPECT_TRUE(complete);
  DestroyWindow(window);
}

}  // namespace
}  // namespace flumgraph
