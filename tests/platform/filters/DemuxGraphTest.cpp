// The demultiplexer in a graph behind a TS push source, with dump filters writing its outputs:
// the elementary streams must be byte for byte what ffmpeg extracts from the same files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/library.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/Mpeg2Interfaces.h"
#include "tests/platform/filters/FfmpegOracle.h"
#include "tests/platform/filters/TestGraph.h"
#include "tests/platform/filters/TsFileSource.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr CLSID CLSID_DumpFilter = MakeGuid("{C16F5100-FD54-448E-BD99-E10CA5C088BC}");
constexpr ULONG kVideoPid = 0x100;
constexpr ULONG kAudioPid = 0x101;

struct StreamCase {
  const char* name;
  const char* encode;  // ffmpeg arguments for the codecs
  GUID videoSubtype;
  const char16_t* videoPin;
  const char* videoFormat;
  GUID audioSubtype;
  const char16_t* audioPin;
  const char* audioFormat;
};

const StreamCase kCases[] = {
    {"mpeg2_mp2", "-c:v mpeg2video -b:v 1500k -g 12 -bf 2 -dct int -idct simple -c:a mp2fixed -b:a 192k",
     MEDIASUBTYPE_MPEG2_VIDEO, u"Video", "mpeg2video", MEDIASUBTYPE_MPEG1AudioPayload, u"Audio", "mp2"},
    {"h264_ac3", "-c:v libx264 -preset veryfast -g 25 -c:a ac3_fixed -b:a 192k", MEDIASUBTYPE_AVC1, u"H.264", "h264",
     MEDIASUBTYPE_DOLBY_AC3, u"AC3", "ac3"},
    {"mpeg2_aac", "-c:v mpeg2video -b:v 1500k -g 12 -bf 2 -dct int -idct simple -c:a aac -b:a 128k",
     MEDIASUBTYPE_MPEG2_VIDEO, u"Video", "mpeg2video", MEDIASUBTYPE_AAC_ADTS, u"AAC", "adts"},
    // Time stamps that cross the 33-bit wrap inside the file.
    {"mpeg2_mp2_wrap", "-c:v mpeg2video -b:v 1500k -g 12 -bf 2 -dct int -idct simple -c:a mp2fixed -b:a 192k "
                       "-output_ts_offset 95442.5",
     MEDIASUBTYPE_MPEG2_VIDEO, u"Video", "mpeg2video", MEDIASUBTYPE_MPEG1AudioPayload, u"Audio", "mp2"},
};

ComPtr<IBaseFilter> CreateDump() {
  // The module is loaded by name from beside the test program, without the registry.
  ComPtr<IBaseFilter> filter;
  HMODULE module = LoadLibrary("Gallowin.ax");
  EXPECT_NE(module, nullptr) << LastLibraryError();
  if (!module) return filter;
  auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(GetProcAddress(module, "DllGetClassObject"));
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(getClassObject(CLSID_DumpFilter, IClassFactory::kIid, reinterpret_cast<void**>(factory.GetAddressOf())), S_OK);
  if (factory) factory->CreateInstance(nullptr, IID_PPV_ARGS(filter.GetAddressOf()));
  return filter;
}

class DemuxGraphTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!ffmpeg_oracle::Available()) return;
    s_dir = ffmpeg_oracle::MakeTempDir();
    for (const StreamCase& c : kCases) {
      const std::string command =
          "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=352x288:rate=25:duration=3 -f lavfi -i "
          "sine=frequency=1000:sample_rate=48000:duration=3 " + std::string(c.encode) +
          " -fflags +bitexact -flags +bitexact -threads 1 -streamid 0:256 -streamid 1:257 -f mpegts '" +
          s_dir + "/" + c.name + ".ts' >/dev/null 2>&1";
      if (std::system(command.c_str()) != 0) s_failed = std::string("ffmpeg could not make ") + c.name;
    }
  }
  static void TearDownTestSuite() {
    if (!s_dir.empty() && !std::getenv("KEEP_TEST_FILES")) std::filesystem::remove_all(s_dir);
  }
  void SetUp() override {
    if (!ffmpeg_oracle::Available()) GTEST_SKIP() << "ffmpeg is not installed (Debian package ffmpeg)";
    ASSERT_TRUE(s_failed.empty()) << s_failed;
  }

  static std::string Path(const std::string& name) { return s_dir + "/" + name; }

  static void SetFileName(IBaseFilter* filter, const std::string& path) {
    ComPtr<IFileSinkFilter> sink;
    ASSERT_EQ(filter->QueryInterface(IID_PPV_ARGS(sink.GetAddressOf())), S_OK);
    ASSERT_EQ(sink->SetFileName(Utf8ToUtf16(path).c_str(), nullptr), S_OK);
  }

  static void CreateAndMapPin(IBaseFilter* demux, const GUID& major, const GUID& subtype, const char16_t* name,
                              ULONG pid) {
    ComPtr<IMpeg2Demultiplexer> config;
    ASSERT_EQ(demux->QueryInterface(IID_PPV_ARGS(config.GetAddressOf())), S_OK);
    CMediaType type;
    type.InitMediaType();
    type.SetType(&major);
    type.SetSubtype(&subtype);
    ComPtr<IPin> pin;
    std::u16string pinName(name);
    ASSERT_EQ(config->CreateOutputPin(&type, pinName.data(), pin.GetAddressOf()), S_OK);
    EXPECT_EQ(config->CreateOutputPin(&type, pinName.data(), ComPtr<IPin>().GetAddressOf()), VFW_E_DUPLICATE_NAME);
    ComPtr<IMPEG2PIDMap> map;
    ASSERT_EQ(pin->QueryInterface(IID_PPV_ARGS(map.GetAddressOf())), S_OK);
    ULONG pids[] = {pid};
    ASSERT_EQ(map->MapPID(1, pids, MEDIA_ELEMENTARY_STREAM), S_OK);
  }

  // Source -> demultiplexer -> two dump filters; returns the graph and the source.
  struct Graph {
    ComPtr<TestGraph> graph;
    ComPtr<IBaseFilter> source;
    TsFileSourcePin* sourcePin = nullptr;
  };
  static Graph BuildGraph(const StreamCase& c, const std::string& videoOut, const std::string& audioOut) {
    Graph g;
    g.graph = TestGraph::Create();
    TsFileSource* source = TsFileSource::Create(ffmpeg_oracle::ReadFile(Path(std::string(c.name) + ".ts")));
    g.source.Attach(static_cast<IBaseFilter*>(source));
    g.sourcePin = source->Pin();
    ComPtr<IBaseFilter> demux;
    EXPECT_EQ(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(demux.GetAddressOf())),
              S_OK);
    ComPtr<IBaseFilter> videoDump = CreateDump();
    ComPtr<IBaseFilter> audioDump = CreateDump();
    if (!demux || !videoDump || !audioDump) return g;
    EXPECT_EQ(g.graph->AddFilter(g.source.Get(), u"source"), S_OK);
    EXPECT_EQ(g.graph->AddFilter(demux.Get(), u"MPEG-2 Demultiplexer"), S_OK);
    EXPECT_EQ(g.graph->AddFilter(videoDump.Get(), u"video"), S_OK);
    EXPECT_EQ(g.graph->AddFilter(audioDump.Get(), u"audio"), S_OK);
    EXPECT_EQ(g.graph->ConnectDirect(FindPin(g.source.Get(), u"TS Out").Get(),
                                     FindPin(demux.Get(), u"MPEG-2 Stream").Get(), nullptr),
              S_OK);
    CreateAndMapPin(demux.Get(), MEDIATYPE_Video, c.videoSubtype, c.videoPin, kVideoPid);
    CreateAndMapPin(demux.Get(), MEDIATYPE_Audio, c.audioSubtype, c.audioPin, kAudioPid);
    EXPECT_EQ(g.graph->ConnectDirect(FindPin(demux.Get(), c.videoPin).Get(), FindPin(videoDump.Get(), u"Input").Get(),
                                     nullptr),
              S_OK);
    EXPECT_EQ(g.graph->ConnectDirect(FindPin(demux.Get(), c.audioPin).Get(), FindPin(audioDump.Get(), u"Input").Get(),
                                     nullptr),
              S_OK);
    SetFileName(videoDump.Get(), videoOut);
    SetFileName(audioDump.Get(), audioOut);
    return g;
  }

  static void ExpectSameBytes(const Bytes& expected, const Bytes& actual, const char* what) {
    EXPECT_TRUE(expected == actual) << what << ": " << ffmpeg_oracle::DescribeDifference(expected, actual);
  }

  static inline std::string s_dir;
  static inline std::string s_failed;
};

TEST_F(DemuxGraphTest, WritesElementaryStreamsAsFfmpegExtractsThem) {
  for (const StreamCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string input = Path(std::string(c.name) + ".ts");
    const std::string videoOut = Path(std::string(c.name) + ".video"), audioOut = Path(std::string(c.name) + ".audio");
    std::string log;
    ASSERT_TRUE(ffmpeg_oracle::ExtractStream(input, "0:v:0", c.videoFormat, videoOut + ".ref", &log)) << log;
    ASSERT_TRUE(ffmpeg_oracle::ExtractStream(input, "0:a:0", c.audioFormat, audioOut + ".ref", &log)) << log;

    Graph g = BuildGraph(c, videoOut, audioOut);
    ASSERT_TRUE(g.graph);
    ASSERT_EQ(g.graph->Run(), S_OK);
    ASSERT_TRUE(g.graph->WaitForEvents(EC_COMPLETE, 2)) << "both dump filters should report the end";
    // Stop and run again: the files are written anew.
    ASSERT_EQ(g.graph->Stop(), S_OK);
    ASSERT_EQ(g.graph->Run(), S_OK);
    ASSERT_TRUE(g.graph->WaitForEvents(EC_COMPLETE, 4));
    ASSERT_EQ(g.graph->Stop(), S_OK);
    for (const TestEvent& e : g.graph->Events()) EXPECT_EQ(e.code, EC_COMPLETE);
    g.graph->TearDown();

    ExpectSameBytes(ffmpeg_oracle::ReadFile(videoOut + ".ref"), ffmpeg_oracle::ReadFile(videoOut), "video");
    ExpectSameBytes(ffmpeg_oracle::ReadFile(audioOut + ".ref"), ffmpeg_oracle::ReadFile(audioOut), "audio");
  }
}

// A seek in the middle of a run: what was delivered before is a prefix of the whole extraction,
// and after the seek the output is exactly what ffmpeg extracts from the file cut at the seek
// point (a PAT packet, so both start at the same program tables).
TEST_F(DemuxGraphTest, ASeekInTheMiddleRestartsCleanly) {
  const StreamCase& c = kCases[0];
  const std::string input = Path(std::string(c.name) + ".ts");
  const Bytes file = ffmpeg_oracle::ReadFile(input);
  const std::size_t packets = file.size() / 188;
  std::size_t seekPacket = packets / 2;
  while (seekPacket < packets && !(file[seekPacket * 188 + 1] == 0x40 && file[seekPacket * 188 + 2] == 0x00)) ++seekPacket;
  ASSERT_LT(seekPacket, packets);
  const std::string cut = Path("cut.ts");
  {
    FILE* out = std::fopen(cut.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(file.data() + seekPacket * 188, 1, file.size() - seekPacket * 188, out);
    std::fclose(out);
  }
  const std::string videoOut = Path("seek.video"), audioOut = Path("seek.audio");
  std::string log;
  ASSERT_TRUE(ffmpeg_oracle::ExtractStream(input, "0:v:0", c.videoFormat, videoOut + ".whole", &log)) << log;
  ASSERT_TRUE(ffmpeg_oracle::ExtractStream(input, "0:a:0", c.audioFormat, audioOut + ".whole", &log)) << log;
  ASSERT_TRUE(ffmpeg_oracle::ExtractStream(cut, "0:v:0", c.videoFormat, videoOut + ".tail", &log)) << log;
  ASSERT_TRUE(ffmpeg_oracle::ExtractStream(cut, "0:a:0", c.audioFormat, audioOut + ".tail", &log)) << log;

  Graph g = BuildGraph(c, videoOut, audioOut);
  ASSERT_TRUE(g.graph);
  g.sourcePin->SetGate(packets / 3);
  ASSERT_EQ(g.graph->Run(), S_OK);
  ASSERT_TRUE(g.sourcePin->WaitAtGate());
  ASSERT_EQ(g.sourcePin->SeekToPacket(seekPacket), S_OK);
  ASSERT_TRUE(g.graph->WaitForEvents(EC_COMPLETE, 2));
  ASSERT_EQ(g.graph->Stop(), S_OK);
  g.graph->TearDown();

  for (const auto& [out, what] : {std::pair{videoOut, "video"}, std::pair{audioOut, "audio"}}) {
    SCOPED_TRACE(what);
    const Bytes whole = ffmpeg_oracle::ReadFile(out + ".whole");
    const Bytes tail = ffmpeg_oracle::ReadFile(out + ".tail");
    const Bytes written = ffmpeg_oracle::ReadFile(out);
    ASSERT_GT(tail.size(), 0u);
    ASSERT_GT(written.size(), tail.size());
    const Bytes writtenTail(written.end() - static_cast<std::ptrdiff_t>(tail.size()), written.end());
    ExpectSameBytes(tail, writtenTail, "after the seek");
    const Bytes head(written.begin(), written.end() - static_cast<std::ptrdiff_t>(tail.size()));
    ASSERT_GT(head.size(), 0u);
    ASSERT_LE(head.size(), whole.size());
    ExpectSameBytes(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(head.size())), head,
                    "before the seek");
  }
}

}  // namespace

namespace {

// A program stream behind the asynchronous file source: the demultiplexer finds the streams
// itself, makes "Video" and "Audio" or "AC3", and pulls the file.
TEST(ProgramStreamGraph, DemultiplexerMakesItsPinsAndExtractsLikeFfmpeg) {
  if (!ffmpeg_oracle::Available()) GTEST_SKIP() << "ffmpeg is not installed (Debian package ffmpeg)";
  struct Case {
    const char* file;
    const char* videoFormat;
    const char16_t* audioPin;
    const char* audioFormat;
  } cases[] = {
      {"ps_mpeg2_ac3.mpg", "mpeg2video", u"AC3", "ac3"},
      {"ps_mpeg2_mp2.mpg", "mpeg2video", u"Audio", "mp2"},
      {"ps_mpeg1_system.mpg", "mpeg1video", u"Audio", "mp2"},
  };
  const std::string dir = ffmpeg_oracle::MakeTempDir();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string input = ffmpeg_oracle::DataDir() + "/" + c.file;
    const std::string videoOut = dir + "/video", audioOut = dir + "/audio";
    std::string log;
    ASSERT_TRUE(ffmpeg_oracle::ExtractStream(input, "0:v:0", c.videoFormat, videoOut + ".ref", &log)) << log;
    ASSERT_TRUE(ffmpeg_oracle::ExtractStream(input, "0:a:0", c.audioFormat, audioOut + ".ref", &log)) << log;

    ComPtr<IBaseFilter> source, demux;
    ASSERT_EQ(CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(source.GetAddressOf())), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(demux.GetAddressOf())),
              S_OK);
    ComPtr<IFileSourceFilter> load;
    ASSERT_EQ(source->QueryInterface(IID_PPV_ARGS(load.GetAddressOf())), S_OK);
    ASSERT_EQ(load->Load(Utf8ToUtf16(input).c_str(), nullptr), S_OK);
    ComPtr<IBaseFilter> videoDump = CreateDump(), audioDump = CreateDump();
    ASSERT_TRUE(videoDump && audioDump);

    ComPtr<TestGraph> graph = TestGraph::Create();
    graph->AddFilter(source.Get(), Utf8ToUtf16(input).c_str());
    graph->AddFilter(demux.Get(), u"MPEG-2 Demultiplexer");
    graph->AddFilter(videoDump.Get(), u"video");
    graph->AddFilter(audioDump.Get(), u"audio");
    ASSERT_EQ(graph->ConnectDirect(FindPin(source.Get(), u"Output").Get(), FindPin(demux.Get(), u"MPEG-2 Stream").Get(),
                                   nullptr),
              S_OK);
    ASSERT_TRUE(FindPin(demux.Get(), u"Video"));
    ASSERT_TRUE(FindPin(demux.Get(), c.audioPin));
    ASSERT_EQ(graph->ConnectDirect(FindPin(demux.Get(), u"Video").Get(), FindPin(videoDump.Get(), u"Input").Get(), nullptr),
              S_OK);
    ASSERT_EQ(graph->ConnectDirect(FindPin(demux.Get(), c.audioPin).Get(), FindPin(audioDump.Get(), u"Input").Get(),
                                   nullptr),
              S_OK);
    for (auto [filter, path] : {std::pair{videoDump.Get(), videoOut}, std::pair{audioDump.Get(), audioOut}}) {
      ComPtr<IFileSinkFilter> sink;
      ASSERT_EQ(filter->QueryInterface(IID_PPV_ARGS(sink.GetAddressOf())), S_OK);
      sink->SetFileName(Utf8ToUtf16(path).c_str(), nullptr);
    }
    ASSERT_EQ(graph->Run(), S_OK);
    ASSERT_TRUE(graph->WaitForEvents(EC_COMPLETE, 2));
    ASSERT_EQ(graph->Stop(), S_OK);
    graph->TearDown();
    const Bytes video = ffmpeg_oracle::ReadFile(videoOut), videoRef = ffmpeg_oracle::ReadFile(videoOut + ".ref");
    const Bytes audio = ffmpeg_oracle::ReadFile(audioOut), audioRef = ffmpeg_oracle::ReadFile(audioOut + ".ref");
    EXPECT_TRUE(video == videoRef) << ffmpeg_oracle::DescribeDifference(videoRef, video);
    EXPECT_TRUE(audio == audioRef) << ffmpeg_oracle::DescribeDifference(audioRef, audio);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
