// The main window's conversion control, driven as a widget layer or automation would drive it, on
// the real filters and the ffmpeg-made streams: opening decides the kinds and the output path,
// Start Conversion and Pause build and run, the graph's events complete or fail the conversion.
// The window runs log-only, so every message lands in the batch log beside the input.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "StreamFacts.h"
#include "converter/engine/InputKind.h"
#include "converter/engine/OutputKind.h"
#include "converter/ui/CCorvaneDlg.h"
#include "converter/ui/CInfoPane.h"
#include "converter/ui/CSfxOption.h"
#include "converter/ui/CommandIds.h"
#include "engine/GraphTestSupport.h"
#include "platform/win/messages.h"
#include "platform/win/system.h"
#include "shared/EndOfFileMessage.h"
#include "tests/support/Command.h"
#include "tests/support/Fixtures.h"

namespace {

namespace fs = std::filesystem;

constexpr char kSettingsKey[] = "Software\\Orvanet\\brannock";

class ConversionControlTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(converter_test::RegisterConverterModules(), S_OK); }
  void TearDown() override {
    if (m_dialog) m_dialog->Destroy();
    m_dialog.reset();
  }

  std::string Recording(const std::string& fixture, const std::string& name) {
    const fs::path source = testsupport::FixturePath(fixture);
    if (source.empty()) return {};
    const std::string copy = m_recordings.File(name);
    fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
    return copy;
  }

  // Starts the window log-only with the input (and output kind, folder) start-up would give it.
  CCorvaneDlg& Open(const std::string& input, int outputKind = -1, const std::string& folder = std::string()) {
    MainWindowStart start;
    start.options.inputPath = input;
    start.options.outputKind = outputKind;
    start.options.outputFolder = folder;
    start.logOnly = true;
    start.settingsKey = kSettingsKey;
    m_dialog = std::make_unique<CCorvaneDlg>();
    m_dialog->ApplyStart(start);
    EXPECT_TRUE(m_dialog->Create());
    return *m_dialog;
  }

  // Serves the window's messages until done() holds or 60 s have passed.
  bool Pump(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      MSG msg;
      if (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
        DispatchMessage(&msg);
      } else {
        Sleep(2);
      }
    }
    return true;
  }
  void Command(UINT id) { SendMessage(m_dialog->GetSafeHwnd(), WM_COMMAND, id, 0); }
  bool Converted() { return Pump([this] { return m_dialog->ConversionCompleted(); }); }
  std::string BatchLog(const std::string& input) const { return ReadWholeFile(fs::path(input).replace_extension(".log")); }
  // Queues an event in the conversion graph as a filter would report it.
  void FilterReports(LONG code, LONG_PTR param) {
    ComPtr<IMediaEventSink> sink;
    ASSERT_EQ(m_dialog->Graph()->Graph()->QueryInterface(IID_PPV_ARGS(sink.GetAddressOf())), S_OK);
    sink->Notify(code, param, 0);
  }

  converter_test::ModuleRegistry m_registry;
  TempDir m_recordings;
  std::unique_ptr<CCorvaneDlg> m_dialog;
};

#define REQUIRE_RECORDING(var, fixture, name)                            \
  const std::string var = Recording(fixture, name);                      \
  if (var.empty()) GTEST_SKIP() << testsupport::FixtureProblem(fixture); \
  static_assert(true)

struct OpenCase {
  const char* name;
  const char* file;        // created in the recordings folder
  int outputKindBefore;    // as start-up gives it
  const char* folder;      // /d; "@out" is a folder of the test's
  int outputType;          // the OutputType setting; 1 with "@fixed" as OutputPath
  int inputKind;
  int outputKind;
  const char* outputFile;  // "@rec/", "@out/" or "@fixed/" + name
};

const OpenCase kOpenCases[] = {
    {"transport_stream", "a.ts", -1, "", 0, InputKind::TransportStream, OutputKind::DvrMs, "@rec/a.dvr-ms"},
    {"tp_upper_case", "a.TP", -1, "", 0, InputKind::TransportStream, OutputKind::DvrMs, "@rec/a.dvr-ms"},
    {"chosen_kind_kept", "a.ts", OutputKind::ProgramStream, "", 0, InputKind::TransportStream,
     OutputKind::ProgramStream, "@rec/a.mpg"},
    {"raw_streams", "a.ts", OutputKind::DemuxRaw, "", 0, InputKind::TransportStream, OutputKind::DemuxRaw,
     "@rec/a.mpv"},
    {"program_stream", "a.mpg", -1, "", 0, InputKind::ProgramStream, OutputKind::DvrMs, "@rec/a.dvr-ms"},
    {"recording_takes_the_multiplexer", "a.dvr-ms", -1, "", 0, InputKind::DvrMs, OutputKind::ProgramStream,
     "@rec/a.mpg"},
    {"dvd_title_set", "VTS_01_0.IFO", -1, "", 0, InputKind::Dvd, OutputKind::DvrMs, "@rec/VTS_01_0.dvr-ms"},
    {"output_folder", "a.ts", -1, "@out", 0, InputKind::TransportStream, OutputKind::DvrMs, "@out/a.dvr-ms"},
    {"fixed_folder_setting", "a.ts", -1, "", 1, InputKind::TransportStream, OutputKind::DvrMs, "@fixed/a.dvr-ms"},
    {"output_folder_before_setting", "a.ts", -1, "@out", 1, InputKind::TransportStream, OutputKind::DvrMs,
     "@out/a.dvr-ms"},
};

class OpenInputTest : public ConversionControlTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenInputTest, DecidesTheKindsAndTheOutputPath) {
  const OpenCase& c = GetParam();
  REQUIRE_RECORDING(input, "mpeg2_mp2.ts", c.file);
  TempDir out;
  TempDir fixed;
  if (c.outputType == 1) {
    CSfxOption settings(kSettingsKey);
    settings.m_outputType = CSfxOption::kOutputInFolder;
    settings.m_outputPath = fixed.Path().string();
  }
  const std::string folder = std::string(c.folder) == "@out" ? out.Path().string() : c.folder;
  CCorvaneDlg& dialog = Open("\"" + input + "\"", c.outputKindBefore, folder);
  EXPECT_EQ(dialog.InputPath(), input) << "the quotes are removed";
  EXPECT_EQ(dialog.InputKind(), c.inputKind);
  EXPECT_EQ(dialog.OutputKind(), c.outputKind);
  std::string expected = c.outputFile;
  for (const auto& [tag, dir] : {std::pair<std::string, fs::path>{"@rec", m_recordings.Path()}, {"@out", out.Path()},
                                 {"@fixed", fixed.Path()}}) {
    if (expected.rfind(tag, 0) == 0) expected = (dir / expected.substr(tag.size() + 1)).string();
  }
  EXPECT_EQ(dialog.OutputPath(), expected);
  EXPECT_TRUE(dialog.Menus().IsCommandEnabled(ID_START_CONVERSION));
  EXPECT_TRUE(dialog.Menus().IsCommandEnabled(ID_PAUSE));
  if (c.inputKind == InputKind::TransportStream || c.inputKind == InputKind::ProgramStream) {
    EXPECT_EQ(dialog.Menus().IsCommandEnabled(ID_SET_MARK), c.inputKind == InputKind::TransportStream)
        << "marks are set on transport streams only";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenInputTest, ::testing::ValuesIn(kOpenCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConversionControlTest, AMissingInputLeavesThePreviousOneInPlace) {
  REQUIRE_RECORDING(input, "mpeg2_mp2.ts", "a.ts");
  CCorvaneDlg& dialog = Open(input, OutputKind::DemuxRaw);
  dialog.OpenInput(m_recordings.File("gone.ts"), false);
  EXPECT_EQ(dialog.InputPath(), input);
  EXPECT_NE(BatchLog(input).find("Cannot access " + m_recordings.File("gone.ts")), std::string::npos);
  Command(ID_START_CONVERSION);
  EXPECT_TRUE(Converted()) << BatchLog(input);
}

TEST_F(ConversionControlTest, AnH264SourceRenamesTheDemuxItemsAndGreysWhatItCannotTake) {
  REQUIRE_RECORDING(input, "h264_aud_ac3.ts", "h.ts");
  CCorvaneDlg& dialog = Open(input);
  EXPECT_TRUE(dialog.IsH264());
  EXPECT_EQ(dialog.OutputKind(), OutputKind::DemuxWav);
  EXPECT_TRUE(dialog.Menus().IsChecked(ID_DEMUX_RIFF));
  EXPECT_FALSE(dialog.Menus().IsCommandEnabled(ID_OUTPUT_DVRMS));
  EXPECT_FALSE(dialog.Menus().IsCommandEnabled(ID_OUTPUT_MPG));
  EXPECT_EQ(dialog.Menus().ItemText(ID_DEMUX_RAW), "Demux H.264 Raw Video + AC3 Raw Audio");
  EXPECT_EQ(dialog.Menus().ItemText(ID_DEMUX_RIFF), "Demux H.264 Raw Video + AC3 Wav Audio");
  Command(ID_OUTPUT_DVRMS);  // greyed: nothing happens
  EXPECT_EQ(dialog.OutputKind(), OutputKind::DemuxWav);
}

TEST_F(ConversionControlTest, TheWavVariantChosenFromTheMenuWritesTheAc3IntoAWavFile) {
  REQUIRE_RECORDING(input, "mpeg2hd_ac3_mp2.ts", "w.ts");
  CCorvaneDlg& dialog = Open(input);
  Command(ID_DEMUX_RIFF);
  EXPECT_EQ(dialog.OutputKind(), OutputKind::DemuxWav);
  Command(ID_START_CONVERSION);
  ASSERT_TRUE(Converted()) << BatchLog(input);
  EXPECT_EQ(dialog.OutputPath(), m_recordings.File("w.raw"));
  EXPECT_EQ(streamfacts::CodecName(m_recordings.File("w.ac3.wav"), "a"), "ac3");
  EXPECT_EQ(streamfacts::AudioLayout(m_recordings.File("w.ac3.wav")), "6,48000");
  EXPECT_EQ(streamfacts::DecodeErrors(m_recordings.File("w.ac3.wav")), "");
  EXPECT_EQ(dialog.CurrentPane()->StatusText(), "Done.");
  auto* monitor = dynamic_cast<CInfoPane*>(dialog.CurrentPane());
  ASSERT_NE(monitor, nullptr);
  EXPECT_EQ(monitor->Field(CInfoPane::IDC_COMPLETE), "100%");
  EXPECT_EQ(monitor->Field(CInfoPane::IDC_REMAINING), "-");
  EXPECT_EQ(monitor->Field(CInfoPane::IDC_OUTPUT_FORMAT), "demux");
}

TEST_F(ConversionControlTest, TheChosenAudioTrackIsTheOneConverted) {
  // Two MPEG audio tracks of different tones: a switch between tracks of one kind is made at once.
  if (!testsupport::ProgramAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string input = m_recordings.File("t.ts");
  testsupport::RunCommand("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=352x288:rate=25:duration=2 -f lavfi -i "
                          "sine=frequency=1000:duration=2 -f lavfi -i sine=frequency=440:duration=2 -map 0:v -map 1:a "
                          "-map 2:a -c:v mpeg2video -c:a mp2 -f mpegts " + testsupport::ShellQuote(input));
  ASSERT_TRUE(fs::exists(input));
  CCorvaneDlg& dialog = Open(input, OutputKind::DemuxRaw);
  ASSERT_TRUE(dialog.Menus().HasItem(ID_AUDIO_TRACK_FIRST + 1)) << "two audio tracks";
  Command(ID_AUDIO_TRACK_FIRST + 1);
  EXPECT_EQ(dialog.AudioTrackIndex(), 1);
  Command(ID_START_CONVERSION);
  ASSERT_TRUE(Converted()) << BatchLog(input);
  const std::string second = streamfacts::ExtractWithFfmpeg(input, "0:a:1", "mp2", m_recordings.File("ref1.mp2"));
  const std::string first = streamfacts::ExtractWithFfmpeg(input, "0:a:0", "mp2", m_recordings.File("ref0.mp2"));
  ASSERT_FALSE(ReadWholeFile(second) == ReadWholeFile(first));
  EXPECT_TRUE(ReadWholeFile(m_recordings.File("t.mpa")) == ReadWholeFile(second)) << "the second track";
}

TEST_F(ConversionControlTest, PauseFirstPreparesThenRuns) {
  REQUIRE_RECORDING(input, "mpeg2_mp2.ts", "p.ts");
  CCorvaneDlg& dialog = Open(input, OutputKind::ProgramStream);
  Command(ID_PAUSE);
  EXPECT_EQ(dialog.UiState(), UI_READY_TO_CONVERT);
  EXPECT_EQ(dialog.CurrentPane()->StatusText(), "Ready to convert");
  EXPECT_FALSE(dialog.Menus().IsCommandEnabled(ID_START_CONVERSION));
  EXPECT_TRUE(dialog.Menus().IsCommandEnabled(ID_STOP));
  EXPECT_NE(dialog.Graph()->MainDump(), nullptr) << "built";
  EXPECT_FALSE(fs::exists(m_recordings.File("p.mpg"))) << "not run";
  Command(ID_PAUSE);
  EXPECT_EQ(dialog.UiState(), UI_CONVERTING);
  EXPECT_TRUE(dialog.Menus().IsCommandEnabled(ID_PAUSE));
  ASSERT_TRUE(Converted()) << BatchLog(input);
  EXPECT_GT(converter_test::FileSize(m_recordings.File("p.mpg")), 0);
  EXPECT_FALSE(dialog.Menus().IsCommandEnabled(ID_STOP));
}

TEST_F(ConversionControlTest, TheEndNoticeCompletesOnlyWithTheNextGraphEvent) {
  REQUIRE_RECORDING(input, "mpeg2_mp2.ts", "e.ts");
  CCorvaneDlg& dialog = Open(input, OutputKind::DemuxRaw);
  Command(ID_PAUSE);  // built, not running: no event of its own comes
  std::ofstream(dialog.OutputPath()) << "what a run would have written";
  SendMessage(dialog.GetSafeHwnd(), kEndOfFileMessage, kEndOfFileWParam, kEndOfFileLParam);
  EXPECT_FALSE(dialog.ConversionCompleted()) << "the queue is empty";
  FilterReports(EC_PAUSED, 0);
  EXPECT_TRUE(Converted());
}

TEST_F(ConversionControlTest, AFilterAbortingTheStreamFailsTheConversion) {
  REQUIRE_RECORDING(input, "mpeg2_mp2.ts", "x.ts");
  CCorvaneDlg& dialog = Open(input, OutputKind::DemuxRaw);
  Command(ID_PAUSE);
  SendMessage(dialog.GetSafeHwnd(), kEndOfFileMessage, kEndOfFileWParam, kEndOfFileLParam);
  FilterReports(EC_ERRORABORT, HRESULT_FROM_WIN32(28));  // no space left on the device
  Pump([&] { return BatchLog(input).find("Conversion failed.") != std::string::npos; });
  EXPECT_FALSE(dialog.ConversionCompleted());
  EXPECT_NE(BatchLog(input).find("(HRESULT = 8007001c)"), std::string::npos) << BatchLog(input);
  EXPECT_EQ(dialog.CurrentPane()->StatusText(), "Failed.");
}

TEST_F(ConversionControlTest, ConvertingAFileIntoItsOwnNameKeepsBoth) {
  REQUIRE_RECORDING(input, "mpeg2_mp2.ts", "s.ts");
  CCorvaneDlg& dialog = Open(input);
  Command(ID_OUTPUT_TS);
  Command(ID_START_CONVERSION);
  EXPECT_EQ(dialog.OutputPath(), m_recordings.File("s(ts).ts"));
  ASSERT_TRUE(Converted()) << BatchLog(input);
}

TEST_F(ConversionControlTest, ARecordingIsNotConvertedIntoItsOwnName) {
  const std::string input = m_recordings.File("r.dvr-ms");
  std::ofstream(input) << "a recording";
  CCorvaneDlg& dialog = Open(input);
  Command(ID_OUTPUT_DVRMS);
  Command(ID_START_CONVERSION);
  EXPECT_EQ(dialog.OutputPath(), m_recordings.File("r(dvr-ms).dvr-ms"));
  EXPECT_NE(BatchLog(input).find("Cannot convert DVR-MS to DVR-MS in one step. Convert to MPG first."),
            std::string::npos)
      << BatchLog(input);
}

}  // namespace

namespace {

struct LeadCase {
  LONG markIn, markOut;
  LONGLONG start, stop;  // the source's positions afterwards (100 ns); stop -1: the whole file
};

class MarkLeadTest : public ConversionControlTest, public ::testing::WithParamInterface<LeadCase> {};

// Marks set on the Sources panel reach the conversion 3 seconds earlier, when they lie beyond 3 s.
TEST_P(MarkLeadTest, TheSourcePanelsMarksPositionTheConversion) {
  const LeadCase& c = GetParam();
  REQUIRE_RECORDING(input, "long_150s.ts", "m.ts");
  MainWindowStart start;
  start.options.inputPath = input;
  start.options.outputKind = OutputKind::TransportStream;
  start.logOnly = true;
  start.settingsKey = kSettingsKey;
  m_dialog = std::make_unique<CCorvaneDlg>();
  m_dialog->ApplyStart(start);
  m_dialog->SetMarks(c.markIn, c.markOut);
  ASSERT_TRUE(m_dialog->Create());
  m_dialog->OnPlayStateChange(3);  // the preview plays: the Sources panel takes the window's marks
  ASSERT_NE(m_dialog->CurrentPane(), nullptr);
  EXPECT_FALSE(m_dialog->CurrentPane()->IsMonitorPanel());
  EXPECT_EQ(m_dialog->CurrentPane()->MarkIn(), c.markIn);
  Command(ID_START_CONVERSION);
  ComPtr<IMediaSeeking> seeking;
  ASSERT_EQ(m_dialog->Graph()->Source()->QueryInterface(IID_PPV_ARGS(seeking.GetAddressOf())), S_OK);
  LONGLONG duration = 0;
  ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
  ASSERT_TRUE(Converted()) << BatchLog(input);
  EXPECT_TRUE(m_dialog->CurrentPane()->IsMonitorPanel()) << "a conversion shows the Monitor panel";

  // The copy holds the packets from the first sequence header at the start's packet up to the
  // stop's packet (positions are fractions of the file, as the source's seeking takes them).
  const std::string original = ReadWholeFile(input);
  const std::int64_t packets = static_cast<std::int64_t>(original.size() / 188);
  const std::int64_t durationMs = duration / 10000;
  const std::int64_t startPacket = c.start / 10000 * packets / durationMs;
  const std::int64_t stopPacket = c.stop < 0 ? packets : c.stop / 10000 * packets / durationMs;
  const long header = streamfacts::FirstSequenceHeaderPacket(original.substr(startPacket * 188),
                                                             streamfacts::VideoPid(input));
  ASSERT_GE(header, 0);
  const std::int64_t first = startPacket + header;
  const std::string copy = ReadWholeFile(m_recordings.File("m(ts).ts"));
  EXPECT_EQ(copy.size(), static_cast<std::size_t>(stopPacket - first) * 188u);
  EXPECT_TRUE(copy == original.substr(first * 188, (stopPacket - first) * 188));
}

INSTANTIATE_TEST_SUITE_P(Marks, MarkLeadTest,
                         ::testing::Values(LeadCase{60000, 120000, 570000000, 1170000000},
                                           LeadCase{2000, 0, 20000000, -1}, LeadCase{3001, 0, 10000, -1},
                                           LeadCase{3000, 90000, 30000000, 870000000}));

}  // namespace
