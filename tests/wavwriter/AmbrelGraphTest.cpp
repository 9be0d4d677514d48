// Ambrel in the platform's filter graph, as the converter uses it: the AC3 track of a recording,
// demultiplexed, through Ambrel into the File Writer or the dump filter. ffprobe must read each WAV
// file as the track, and its data chunk must hold exactly the bytes ffmpeg extracts from it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/library.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/FilterGraph.h"
#include "platform/dshow/Guids.h"
#include "platform/dshow/Mpeg2Interfaces.h"
#include "shared/ClassIds.h"
#include "tests/platform/filters/TsFileSource.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tests/support/Command.h"
#include "tests/support/Fixtures.h"
#include "tests/wavwriter/WavBytes.h"
#include "tests/wavwriter/WavOracle.h"

namespace {

using Bytes = std::vector<BYTE>;
constexpr CLSID CLSID_DumpFilter = MakeGuid("{C16F5100-FD54-448E-BD99-E10CA5C088BC}");

// A class of a module loaded by name from beside the test program, without the registry.
ComPtr<IBaseFilter> CreateFromModule(const char* moduleName, const CLSID& clsid) {
  ComPtr<IBaseFilter> filter;
  HMODULE module = LoadLibrary(moduleName);
  EXPECT_NE(module, nullptr) << LastLibraryError();
  if (!module) return filter;
  auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(GetProcAddress(module, "DllGetClassObject"));
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(getClassObject(clsid, IID_PPV_ARGS(factory.GetAddressOf())), S_OK);
  if (factory) {
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(filter.GetAddressOf())), S_OK);
  }
  return filter;
}

ComPtr<IPin> Pin(IBaseFilter* filter, const char16_t* name) {
  ComPtr<IPin> pin;
  EXPECT_EQ(filter->FindPin(name, pin.GetAddressOf()), S_OK) << Utf16ToUtf8(name);
  return pin;
}

// The PID of audio track `track` as ffprobe reports it (0 when it cannot).
ULONG AudioPid(const std::filesystem::path& input, int track) {
  const auto result = testsupport::RunCommand("ffprobe -v error -select_streams a:" + std::to_string(track) +
                                              " -show_entries stream=id -of csv=p=0 " +
                                              testsupport::ShellQuote(input.string()));
  if (result.exitCode != 0) return 0;
  return static_cast<ULONG>(std::strtoul(result.output.c_str(), nullptr, 0));
}

// The audio block a transport-stream source describes the demultiplexer's AC3 pin with: an MPEG-1
// audio WAVEFORMATEX with its 22 extra bytes, which Ambrel corrects from the first frame header.
CMediaType DemuxAc3PinType() {
  const auto format = MakeWaveFormat(0x0050, 2, 48000, 32000, 768, 0, Bytes(22, 0));
  CMediaType type;
  type.InitMediaType();
  type.SetType(&MEDIATYPE_Audio);
  type.SetSubtype(&MEDIASUBTYPE_DOLBY_AC3);
  type.SetFormatType(&FORMAT_WaveFormatEx);
  type.SetFormat(format.data(), static_cast<ULONG>(format.size()));
  return type;
}

// Where Ambrel's output goes. kTeeThenDumpFilter is the converter's shape: the demultiplexer's
// audio goes into the Infinite Pin Tee, whose first output feeds Ambrel (then the dump filter)
// and whose second output a dump filter without a file.
enum class Writer { kFileWriter, kDumpFilter, kTeeThenDumpFilter };

const char* Describe(Writer writer) {
  switch (writer) {
    case Writer::kFileWriter: return "File Writer";
    case Writer::kDumpFilter: return "dump filter";
    case Writer::kTeeThenDumpFilter: return "tee and dump filter";
  }
  return "";
}

// source -> MPEG-2 Demultiplexer -> Ambrel -> writer, in a platform filter graph.
class AmbrelGraph {
 public:
  // A transport stream pushed packet by packet; the demultiplexer's "AC3" pin is made and mapped
  // to the track's PID as the source filter does it.
  bool BuildForTransportStream(const std::filesystem::path& input, ULONG audioPid, Writer writer,
                               const std::filesystem::path& wav) {
    if (!CreateGraph()) return false;
    TsFileSource* source = TsFileSource::Create(ReadWholeFile(input));
    m_source.Attach(static_cast<IBaseFilter*>(source));
    m_tsPin = source->Pin();
    EXPECT_EQ(m_graph->AddFilter(m_source.Get(), u"source"), S_OK);
    if (!AddDemux()) return false;
    EXPECT_EQ(m_graph->ConnectDirect(Pin(m_source.Get(), u"TS Out").Get(), Pin(m_demux.Get(), u"MPEG-2 Stream").Get(),
                                     nullptr),
              S_OK);
    ComPtr<IMpeg2Demultiplexer> config;
    EXPECT_EQ(m_demux->QueryInterface(IID_PPV_ARGS(config.GetAddressOf())), S_OK);
    if (!config) return false;
    CMediaType type = DemuxAc3PinType();
    std::u16string name = u"AC3";
    ComPtr<IPin> ac3;
    EXPECT_EQ(config->CreateOutputPin(&type, name.data(), ac3.GetAddressOf()), S_OK);
    ComPtr<IMPEG2PIDMap> map;
    if (!ac3 || FAILED(ac3->QueryInterface(IID_PPV_ARGS(map.GetAddressOf())))) return false;
    ULONG pids[] = {audioPid};
    EXPECT_EQ(map->MapPID(1, pids, MEDIA_ELEMENTARY_STREAM), S_OK);
    return AddAmbrelAndWriter(writer, wav);
  }

  // The converter's own source: Flumetta loads the file and, connected to the demultiplexer, makes
  // and maps its pins (AC3 audio is preferred by default).
  bool BuildForFlumetta(const std::filesystem::path& input, Writer writer, const std::filesystem::path& wav) {
    if (!CreateGraph()) return false;
    m_source = CreateFromModule("Flumetta.ax", CLSID_Flumetta);
    if (!m_source) return false;
    EXPECT_EQ(m_graph->AddFilter(m_source.Get(), u"Orvanet Flumetta"), S_OK);
    ComPtr<IFileSourceFilter> load;
    EXPECT_EQ(m_source->QueryInterface(IID_PPV_ARGS(load.GetAddressOf())), S_OK);
    if (!load || FAILED(load->Load(Utf8ToUtf16(input.string()).c_str(), nullptr))) return false;
    if (!AddDemux()) return false;
    EXPECT_EQ(m_graph->ConnectDirect(Pin(m_source.Get(), u"TS Out").Get(), Pin(m_demux.Get(), u"MPEG-2 Stream").Get(),
                                     nullptr),
              S_OK);
    return AddAmbrelAndWriter(writer, wav);
  }

  // A program stream read by the asynchronous file source: the demultiplexer makes "AC3" itself.
  bool BuildForProgramStream(const std::filesystem::path& input, Writer writer, const std::filesystem::path& wav) {
    if (!CreateGraph()) return false;
    EXPECT_EQ(CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(m_source.GetAddressOf())),
              S_OK);
    if (!m_source) return false;
    ComPtr<IFileSourceFilter> load;
    EXPECT_EQ(m_source->QueryInterface(IID_PPV_ARGS(load.GetAddressOf())), S_OK);
    EXPECT_EQ(load->Load(Utf8ToUtf16(input.string()).c_str(), nullptr), S_OK);
    EXPECT_EQ(m_graph->AddFilter(m_source.Get(), u"source"), S_OK);
    if (!AddDemux()) return false;
    EXPECT_EQ(m_graph->ConnectDirect(Pin(m_source.Get(), u"Output").Get(), Pin(m_demux.Get(), u"MPEG-2 Stream").Get(),
                                     nullptr),
              S_OK);
    return AddAmbrelAndWriter(writer, wav);
  }

  // Runs until the writer has seen the end of the stream, then stops (Ambrel writes the header).
  void RunToCompletion() {
    ASSERT_EQ(m_control->Run(), S_OK);
    LONG code = 0;
    ASSERT_EQ(m_events->WaitForCompletion(60'000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    ASSERT_EQ(m_control->Stop(), S_OK);
  }

  IMediaControl* Control() { return m_control.Get(); }
  TsFileSourcePin* TsPin() { return m_tsPin; }

  // Leaves the graph empty: removing a filter disconnects it, so every filter is freed.
  ~AmbrelGraph() {
    if (!m_graph) return;
    m_control->Stop();
    for (IBaseFilter* f : {m_source.Get(), m_demux.Get(), m_tee.Get(), m_ambrel.Get(), m_writer.Get(), m_teeDump.Get()}) {
      if (f) m_graph->RemoveFilter(f);
    }
  }

 private:
  bool CreateGraph() {
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(m_graph.GetAddressOf())),
              S_OK);
    if (!m_graph) return false;
    m_graph->QueryInterface(IID_PPV_ARGS(m_control.GetAddressOf()));
    m_graph->QueryInterface(IID_PPV_ARGS(m_events.GetAddressOf()));
    return m_control && m_events;
  }

  bool AddDemux() {
    EXPECT_EQ(
        CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(m_demux.GetAddressOf())),
        S_OK);
    if (!m_demux) return false;
    EXPECT_EQ(m_graph->AddFilter(m_demux.Get(), u"MPEG-2 Demultiplexer"), S_OK);
    return true;
  }

  bool AddAmbrelAndWriter(Writer writer, const std::filesystem::path& wav) {
    m_ambrel = CreateFromModule("Ambrel.ax", CLSID_Ambrel);
    if (writer != Writer::kFileWriter) {
      m_writer = CreateFromModule("Gallowin.ax", CLSID_DumpFilter);
    } else {
      EXPECT_EQ(
          CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(m_writer.GetAddressOf())),
          S_OK);
    }
    if (!m_ambrel || !m_writer) return false;
    EXPECT_EQ(m_graph->AddFilter(m_ambrel.Get(), u"Ambrel"), S_OK);
    EXPECT_EQ(m_graph->AddFilter(m_writer.Get(), u"writer"), S_OK);
    ComPtr<IFileSinkFilter> sink;
    EXPECT_EQ(m_writer->QueryInterface(IID_PPV_ARGS(sink.GetAddressOf())), S_OK);
    if (!sink) return false;
    EXPECT_EQ(sink->SetFileName(Utf8ToUtf16(wav.string()).c_str(), nullptr), S_OK);

    ComPtr<IPin> writerInput;
    ComPtr<IEnumPins> pins;
    EXPECT_EQ(m_writer->EnumPins(pins.GetAddressOf()), S_OK);
    if (!pins || pins->Next(1, writerInput.GetAddressOf(), nullptr) != S_OK) return false;
    ComPtr<IPin> audio = Pin(m_demux.Get(), u"AC3");
    if (writer == Writer::kTeeThenDumpFilter && !SpliceInTee(audio)) return false;
    const HRESULT in = m_graph->Connect(audio.Get(), Pin(m_ambrel.Get(), u"In").Get());
    const HRESULT out = m_graph->Connect(Pin(m_ambrel.Get(), u"Out").Get(), writerInput.Get());
    EXPECT_EQ(in, S_OK);
    EXPECT_EQ(out, S_OK);
    if (writer == Writer::kTeeThenDumpFilter) {
      EXPECT_EQ(m_graph->Connect(Pin(m_tee.Get(), u"Output2").Get(), Pin(m_teeDump.Get(), u"Input").Get()), S_OK);
    }
    return in == S_OK && out == S_OK;
  }

  // Connects audio to the tee and makes audio the tee's first output.
  bool SpliceInTee(ComPtr<IPin>& audio) {
    EXPECT_EQ(CoCreateInstance(CLSID_InfTee, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(m_tee.GetAddressOf())), S_OK);
    m_teeDump = CreateFromModule("Gallowin.ax", CLSID_DumpFilter);
    if (!m_tee || !m_teeDump) return false;
    EXPECT_EQ(m_graph->AddFilter(m_tee.Get(), u"Smart Tee"), S_OK);
    EXPECT_EQ(m_graph->AddFilter(m_teeDump.Get(), u"tee audio dump"), S_OK);
    EXPECT_EQ(m_graph->Connect(audio.Get(), Pin(m_tee.Get(), u"Input").Get()), S_OK);
    audio = Pin(m_tee.Get(), u"Output1");
    return audio.Get() != nullptr;
  }

  ComPtr<IGraphBuilder> m_graph;
  ComPtr<IMediaControl> m_control;
  ComPtr<IMediaEventEx> m_events;
  ComPtr<IBaseFilter> m_source, m_demux, m_ambrel, m_writer, m_tee, m_teeDump;
  TsFileSourcePin* m_tsPin = nullptr;  // owned by m_source, for transport streams
};

// The track as ffmpeg extracts it, from its first sync word on (Ambrel drops what comes before).
Bytes ReferenceTrack(const std::filesystem::path& input, int track, const std::filesystem::path& work) {
  std::string log;
  Bytes bytes = ExtractAc3Track(input, track, work, &log);
  EXPECT_FALSE(bytes.empty()) << log;
  std::size_t sync = 0;
  while (sync + 1 < bytes.size() && !(bytes[sync] == 0x0B && bytes[sync + 1] == 0x77)) ++sync;
  bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(sync, bytes.size())));
  return bytes;
}

// A WAV file whose RIFF and data sizes describe exactly the bytes in the file.
void ExpectSizesMatchTheFile(const Bytes& wav) {
  ASSERT_GE(wav.size(), 28u);
  EXPECT_EQ(ReadTag(wav, 0), "RIFF");
  EXPECT_EQ(ReadLe32(wav, 4), wav.size() - 8);
  const std::size_t dataTag = 20 + std::size_t{ReadLe32(wav, 16)};
  ASSERT_GE(wav.size(), dataTag + 8);
  EXPECT_EQ(ReadTag(wav, dataTag), "data");
  EXPECT_EQ(ReadLe32(wav, dataTag + 4), wav.size() - dataTag - 8);
}

class AmbrelGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testsupport::ProgramAvailable("ffmpeg") || !testsupport::ProgramAvailable("ffprobe")) {
      GTEST_SKIP() << "ffmpeg and ffprobe are needed (Debian package ffmpeg)";
    }
    m_work = testsupport::MakeTempDir("ambrel-graph");
    ASSERT_FALSE(m_work.empty());
  }
  void TearDown() override {
    std::error_code ignored;
    if (!m_work.empty() && !std::getenv("KEEP_TEST_FILES")) std::filesystem::remove_all(m_work, ignored);
  }

  TemporaryRegistry m_registry;  // Flumetta reads its settings from it
  std::filesystem::path m_work;
};

enum class Source { kPushedTs, kFlumetta, kAsyncFile };

TEST_F(AmbrelGraphTest, WavFilesHoldTheAc3TrackWithAHeaderThatDescribesIt) {
  const struct {
    const char* fixture;
    int track;
    Source source;
  } cases[] = {
      {"mpeg2hd_ac3_mp2.ts", 0, Source::kPushedTs},     // 5.1, stream type 0x81
      {"mpeg2hd_ac3dvb_mp2.ts", 0, Source::kPushedTs},  // 5.1, private stream type 6 with an AC-3 descriptor
      {"h264_aud_ac3.ts", 0, Source::kPushedTs},        // stereo
      {"program_stream.mpg", 0, Source::kAsyncFile},    // stereo, private stream 1
      {"mpeg2hd_ac3dvb_mp2.ts", 0, Source::kFlumetta},  // the converter's chain
  };
  for (const auto& c : cases) {
    const auto input = testsupport::FixturePath(c.fixture);
    if (input.empty()) {
      // The H.264 fixture needs an ffmpeg with libx264; the others must be there.
      if (std::string(c.fixture).starts_with("h264")) continue;
      ADD_FAILURE() << testsupport::FixtureProblem(c.fixture);
      continue;
    }
    const Bytes reference = ReferenceTrack(input, c.track, m_work);
    const auto referencePath = m_work / ("track" + std::to_string(c.track) + ".ac3");
    const ProbedAudio expected = ProbeAudio(referencePath);
    ASSERT_EQ(expected.codec, "ac3") << c.fixture;

    for (Writer writer : {Writer::kFileWriter, Writer::kDumpFilter, Writer::kTeeThenDumpFilter}) {
      const std::string label = std::string(c.fixture) + (c.source == Source::kFlumetta ? " from Flumetta" : "") +
                                " to the " + Describe(writer);
      SCOPED_TRACE(label);
      const auto wavPath = m_work / (label + ".wav");
      {
        AmbrelGraph graph;
        bool built = false;
        switch (c.source) {
          case Source::kPushedTs:
            built = graph.BuildForTransportStream(input, AudioPid(input, c.track), writer, wavPath);
            break;
          case Source::kFlumetta: built = graph.BuildForFlumetta(input, writer, wavPath); break;
          case Source::kAsyncFile: built = graph.BuildForProgramStream(input, writer, wavPath); break;
        }
        ASSERT_TRUE(built);
        graph.RunToCompletion();
      }
      const Bytes wav = ReadWholeFile(wavPath);
      ExpectSizesMatchTheFile(wav);
      const ProbedAudio probed = ProbeAudio(wavPath);
      EXPECT_EQ(probed.codec, "ac3");
      EXPECT_EQ(probed.channels, expected.channels);
      EXPECT_EQ(probed.sampleRate, expected.sampleRate);
      EXPECT_EQ(probed.bitRate, expected.bitRate);
      const Bytes data = WavDataChunk(wav);
      EXPECT_TRUE(data == reference) << DescribeDifference(reference, data);
    }
  }
}

// A conversion stopped in the middle leaves a valid WAV file of what had arrived; running again
// and stopping at the end rewrites it with the larger sizes.
TEST_F(AmbrelGraphTest, AStopInTheMiddleLeavesAValidFileAndTheNextStopRewritesIt) {
  REQUIRE_FIXTURE(input, "mpeg2hd_ac3_mp2.ts");
  const Bytes reference = ReferenceTrack(input, 0, m_work);
  for (Writer writer : {Writer::kFileWriter, Writer::kDumpFilter, Writer::kTeeThenDumpFilter}) {
    SCOPED_TRACE(Describe(writer));
    const auto wavPath = m_work / "stopped.wav";
    AmbrelGraph graph;
    ASSERT_TRUE(graph.BuildForTransportStream(input, AudioPid(input, 0), writer, wavPath));
    graph.TsPin()->SetGate(graph.TsPin()->PacketCount() / 2);
    ASSERT_EQ(graph.Control()->Run(), S_OK);
    ASSERT_TRUE(graph.TsPin()->WaitAtGate());
    ASSERT_EQ(graph.Control()->Stop(), S_OK);

    const Bytes partial = ReadWholeFile(wavPath);
    ExpectSizesMatchTheFile(partial);
    const Bytes partialData = WavDataChunk(partial);
    ASSERT_GT(partialData.size(), 0u);
    ASSERT_LT(partialData.size(), reference.size());
    EXPECT_TRUE(std::equal(partialData.begin(), partialData.end(), reference.begin())) << "a prefix of the track";
    EXPECT_EQ(ProbeAudio(wavPath).codec, "ac3");

    graph.TsPin()->ReleaseGate();
    graph.RunToCompletion();
    const Bytes whole = ReadWholeFile(wavPath);
    ExpectSizesMatchTheFile(whole);
    EXPECT_GT(ReadLe32(whole, 4), ReadLe32(partial, 4));
    const Bytes data = WavDataChunk(whole);
    EXPECT_TRUE(data == reference) << DescribeDifference(reference, data);
  }
}

}  // namespace
