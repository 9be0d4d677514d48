// Time in program streams: the duration and the byte offsets that the demultiplexer's timeline
// finds by bisection, and seeking through the graph's IMediaSeeking, stopped and while running,
// on streams that ffmpeg makes here (MPEG-2 in ffmpeg's vob and dvd muxers, an MPEG-1 system
// stream). ffprobe gives the reference times; ffmpeg's own extraction of the whole file is the
// reference bytes, of which a seek's output must be an exact excerpt.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/library.h"
#include "platform/com/wstring.h"
#include "platform/dshow/BasePin.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/GraphInterfaces.h"
#include "platform/dshow/SeekingInterfaces.h"
#include "platform/filters/AsyncReader.h"
#include "platform/filters/ProgramStreamReader.h"
#include "platform/filters/ProgramStreamTimeline.h"
#include "tests/platform/filters/FfmpegOracle.h"
#include "tests/support/Command.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr CLSID CLSID_DumpFilter = MakeGuid("{C16F5100-FD54-448E-BD99-E10CA5C088BC}");
constexpr std::int64_t kFrame = 3600;       // 25 fps in 90 kHz ticks
constexpr std::int64_t kGop = 12 * kFrame;  // the encoders' GOP

struct StreamCase {
  const char* name;
  const char* encode;
  const char* videoFormat;
  const char* audioFormat;
  // How far before a time its clean start may lie. The DVD muxer starts every GOP in a packet of
  // its own, so the start is the GOP's; the others pack small pictures together, and a packet
  // that holds the end of one picture before a sequence header is no clean start (its time stamp
  // is that picture's), so a clean start may be some GOPs earlier.
  std::int64_t startSlack;
};

const StreamCase kStreams[] = {
    {"vob.mpg", "-c:v mpeg2video -g 12 -bf 2 -b:v 600k -c:a mp2 -b:a 128k -f vob", "mpeg2video", "mp2", 3 * 90000},
    {"dvd.vob", "-c:v mpeg2video -g 12 -bf 2 -b:v 600k -c:a ac3 -b:a 128k -f dvd", "mpeg2video", "ac3", kGop + 2 * kFrame},
    {"mpeg1.mpg", "-c:v mpeg1video -g 12 -bf 2 -b:v 600k -c:a mp2 -b:a 128k -ar 44100 -f mpeg", "mpeg1video", "mp2",
     3 * 90000},
};

class ProgramStreamSeekTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!ffmpeg_oracle::Available()) return;
    s_dir = ffmpeg_oracle::MakeTempDir();
    for (const StreamCase& c : kStreams) {
      const std::string command =
          "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=352x288:rate=25:duration=20 -f lavfi -i "
          "sine=frequency=1000:sample_rate=48000:duration=20 " + std::string(c.encode) +
          " -fflags +bitexact -flags +bitexact -threads 1 '" + Path(c.name) + "' >/dev/null 2>&1";
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

  static inline std::string s_dir;
  static inline std::string s_failed;
};

ComPtr<IBaseFilter> LoadFileSource(const std::string& path) {
  ComPtr<IBaseFilter> source;
  EXPECT_EQ(CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(source.GetAddressOf())), S_OK);
  ComPtr<IFileSourceFilter> load;
  EXPECT_EQ(source.As(&load), S_OK);
  EXPECT_EQ(load->Load(Utf8ToUtf16(path).c_str(), nullptr), S_OK);
  return source;
}

ComPtr<IAsyncReader> ReaderOf(IBaseFilter* source) {
  ComPtr<IPin> pin;
  ComPtr<IAsyncReader> reader;
  EXPECT_EQ(source->FindPin(u"Output", pin.GetAddressOf()), S_OK);
  EXPECT_EQ(pin.As(&reader), S_OK);
  return reader;
}

// Decode times (DTS, else PTS) of the video packets from ffprobe, 90 kHz.
std::vector<std::int64_t> VideoDecodeTimes(const std::string& path) {
  const auto result = testsupport::RunCommand("ffprobe -v error -select_streams v:0 -show_entries packet=dts -of csv=p=0 " +
                                              testsupport::ShellQuote(path));
  std::vector<std::int64_t> times;
  std::istringstream lines(result.output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line != "N/A") times.push_back(std::stoll(line));
  }
  return times;
}

// Decode times of the video units that a reader delivers from bytes [from, to) of a file.
struct Delivered {
  std::vector<std::int64_t> times;
  Bytes video;
};
class VideoCollector : public IPesUnitSink {
 public:
  HRESULT DeliverPesUnit(std::size_t, const PesUnit& unit) override {
    if (unit.hasPts) result.times.push_back(unit.dts);
    result.video.insert(result.video.end(), unit.data, unit.data + unit.size);
    return S_OK;
  }
  Delivered result;
};
Delivered Deliver(const Bytes& file, std::int64_t from, std::int64_t to, const PsStreamInfo& video, bool trim) {
  VideoCollector sink;
  ProgramStreamReader reader(sink);
  reader.MapStream(video.key, 0);
  if (trim) reader.TrimUntilCleanStart(video.key, video.kind);
  reader.Push(file.data() + from, static_cast<std::size_t>(to - from));
  reader.EndOfStream();
  return sink.result;
}

bool StartsWithSequenceHeader(const Bytes& es) {
  return es.size() > 4 && es[0] == 0 && es[1] == 0 && es[2] == 1 && es[3] == 0xB3;
}

// Where `part` lies in `whole` (npos when it does not).
std::size_t Find(const Bytes& whole, const Bytes& part) {
  if (part.empty()) return 0;
  const auto at = std::search(whole.begin(), whole.end(), part.begin(), part.end());
  return at == whole.end() ? std::string::npos : static_cast<std::size_t>(at - whole.begin());
}

TEST_F(ProgramStreamSeekTest, TimelineFindsDurationAndCleanOffsets) {
  for (const StreamCase& c : kStreams) {
    SCOPED_TRACE(c.name);
    const Bytes file = ffmpeg_oracle::ReadFile(Path(c.name));
    std::vector<PsStreamInfo> streams;
    ASSERT_TRUE(ProgramStreamReader::Probe(file.data(), std::min<std::size_t>(file.size(), 1 << 20), &streams));
    ASSERT_FALSE(streams.empty());
    const PsStreamInfo video = streams[0];
    ASSERT_EQ(video.key, 0xE0u);

    const std::vector<std::int64_t> reference = VideoDecodeTimes(Path(c.name));
    ASSERT_GT(reference.size(), 400u);
    const std::int64_t first = *std::min_element(reference.begin(), reference.end());
    const std::int64_t last = *std::max_element(reference.begin(), reference.end());

    ComPtr<IBaseFilter> source = LoadFileSource(Path(c.name));
    ComPtr<IAsyncReader> reader = ReaderOf(source.Get());
    ProgramStreamTimeline timeline;
    ASSERT_EQ(timeline.Measure(reader.Get(), video.key, video.kind), S_OK);
    EXPECT_EQ(static_cast<std::int64_t>(timeline.FirstTimestamp()), first);
    // The last packet with a time stamp may start a frame or two before the last frame.
    EXPECT_LE(timeline.Duration(), last - first);
    EXPECT_GE(timeline.Duration(), last - first - 3 * kFrame);

    for (double seconds : {0.0, 0.3, 3.3, 10.0, 17.77, 19.5, 25.0}) {
      SCOPED_TRACE(seconds);
      const std::int64_t ticks = static_cast<std::int64_t>(seconds * 90000);
      std::int64_t start = -1, stop = -1;
      ASSERT_EQ(timeline.StartOffset(reader.Get(), ticks, &start), S_OK);
      ASSERT_EQ(timeline.StopOffset(reader.Get(), ticks, &stop), S_OK);
      ASSERT_GE(start, 0);
      ASSERT_LT(start, static_cast<std::int64_t>(file.size()));
      ASSERT_LE(stop, static_cast<std::int64_t>(file.size()));
      EXPECT_TRUE(file[start] == 0 && file[start + 1] == 0 && file[start + 2] == 1 && file[start + 3] == 0xBA)
          << "a start is a pack";

      // From the start, video begins with a sequence header no later than the time asked, and
      // at most a GOP before it.
      const Delivered from = Deliver(file, start, static_cast<std::int64_t>(file.size()), video, start > 0);
      ASSERT_FALSE(from.times.empty());
      EXPECT_TRUE(StartsWithSequenceHeader(from.video));
      const std::int64_t begins = from.times.front() - first;
      EXPECT_LE(begins, std::max<std::int64_t>(ticks, 0));
      EXPECT_GT(begins, std::min(ticks, timeline.Duration()) - c.startSlack);

      // Up to the stop, nothing is later than the time asked; the next packet is.
      const Delivered upTo = Deliver(file, 0, stop, video, false);
      ASSERT_FALSE(upTo.times.empty());
      EXPECT_LE(upTo.times.back() - first, ticks);
      if (stop < static_cast<std::int64_t>(file.size())) {
        const Delivered after = Deliver(file, stop, static_cast<std::int64_t>(file.size()), video, false);
        ASSERT_FALSE(after.times.empty());
        EXPECT_GT(after.times.front() - first, ticks);
        EXPECT_LE(after.times.front() - first, ticks + kGop) << "the stop is not far after the time";
      }
    }
  }
}

ComPtr<IBaseFilter> CreateDump() {
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

// A pull source over a file that can hold its reader at a byte position until released, so that
// a test can seek while the demultiplexer is in the middle of the file.
class GatedSource final : public CBaseFilter {
 public:
  class Pin final : public CBasePin, public IAsyncReader {
   public:
    Pin(GatedSource* filter, HRESULT* hr) : CBasePin("gated", filter, &filter->m_lock, hr, u"Output", PINDIR_OUTPUT), m_source(filter) {}
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
      if (riid == IAsyncReader::kIid) return GetInterface(static_cast<IAsyncReader*>(this), ppv);
      return CBasePin::NonDelegatingQueryInterface(riid, ppv);
    }
    HRESULT CheckMediaType(const CMediaType* type) override {
      return *type->Type() == MEDIATYPE_Stream ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int position, CMediaType* type) override {
      if (position > 0) return VFW_S_NO_MORE_ITEMS;
      type->InitMediaType();
      type->SetType(&MEDIATYPE_Stream);
      type->SetSubtype(&MEDIASUBTYPE_MPEG2_PROGRAM);
      return S_OK;
    }
    STDMETHODIMP BeginFlush() override { return S_OK; }
    STDMETHODIMP EndFlush() override { return S_OK; }
    STDMETHODIMP RequestAllocator(IMemAllocator*, ALLOCATOR_PROPERTIES*, IMemAllocator**) override { return E_NOTIMPL; }
    STDMETHODIMP Request(IMediaSample*, DWORD_PTR) override { return E_NOTIMPL; }
    STDMETHODIMP WaitForNext(DWORD, IMediaSample**, DWORD_PTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SyncReadAligned(IMediaSample*) override { return E_NOTIMPL; }
    STDMETHODIMP SyncRead(LONGLONG position, LONG length, BYTE* buffer) override { return m_source->Read(position, length, buffer); }
    STDMETHODIMP Length(LONGLONG* total, LONGLONG* available) override {
      *total = *available = static_cast<LONGLONG>(m_source->m_file.size());
      return S_OK;
    }

   private:
    GatedSource* m_source;
  };

  explicit GatedSource(Bytes file) : CBaseFilter("gated source", nullptr, &m_lock, GUID_NULL), m_file(std::move(file)) {
    HRESULT hr = S_OK;
    m_pin = std::make_unique<Pin>(this, &hr);
  }
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? m_pin.get() : nullptr; }

  // Reads that reach past `position` from the pull thread wait until Open.
  void Hold(LONGLONG position) {
    std::scoped_lock lock(m_gateLock);
    m_gate = position;
  }
  void WaitUntilHeld() {
    std::unique_lock lock(m_gateLock);
    m_changed.wait(lock, [&] { return m_waiting; });
  }
  void Open() {
    std::scoped_lock lock(m_gateLock);
    m_gate = -1;
    m_changed.notify_all();
  }

 private:
  HRESULT Read(LONGLONG position, LONG length, BYTE* buffer) {
    if (position < 0 || position + length > static_cast<LONGLONG>(m_file.size())) return S_FALSE;
    {
      std::unique_lock lock(m_gateLock);
      if (m_gate >= 0 && position + length > m_gate && std::this_thread::get_id() != m_connectThread) {
        m_waiting = true;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_gate < 0; });
      }
    }
    std::copy(m_file.begin() + position, m_file.begin() + position + length, buffer);
    return S_OK;
  }

  CCritSec m_lock;
  std::unique_ptr<Pin> m_pin;
  Bytes m_file;
  std::mutex m_gateLock;
  std::condition_variable m_changed;
  LONGLONG m_gate = -1;
  bool m_waiting = false;
  // Reads from the test's own thread (connection, seeks) pass the gate.
  std::thread::id m_connectThread = std::this_thread::get_id();
};

// A graph as the converter makes it for a .mpg: source, demultiplexer, a dump per output.
struct SeekGraph {
  ComPtr<IGraphBuilder> graph;
  ComPtr<IMediaSeeking> seeking;
  ComPtr<IMediaControl> control;
  ComPtr<IMediaEvent> events;
  std::vector<ComPtr<IBaseFilter>> filters;

  void Build(ComPtr<IBaseFilter> source, const std::string& videoOut, const std::string& audioOut) {
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(graph.GetAddressOf())), S_OK);
    ComPtr<IBaseFilter> demux;
    ASSERT_EQ(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(demux.GetAddressOf())), S_OK);
    ComPtr<IBaseFilter> videoDump = CreateDump(), audioDump = CreateDump();
    ASSERT_TRUE(videoDump && audioDump);
    filters = {source, demux, videoDump, audioDump};
    ASSERT_EQ(graph->AddFilter(source.Get(), u"source"), S_OK);
    ASSERT_EQ(graph->AddFilter(demux.Get(), u"MPEG-2 Demultiplexer"), S_OK);
    ASSERT_EQ(graph->AddFilter(videoDump.Get(), u"video"), S_OK);
    ASSERT_EQ(graph->AddFilter(audioDump.Get(), u"audio"), S_OK);
    for (auto [filter, path] : {std::pair{videoDump.Get(), videoOut}, std::pair{audioDump.Get(), audioOut}}) {
      ComPtr<IFileSinkFilter> sink;
      ASSERT_EQ(filter->QueryInterface(IID_PPV_ARGS(sink.GetAddressOf())), S_OK);
      ASSERT_EQ(sink->SetFileName(Utf8ToUtf16(path).c_str(), nullptr), S_OK);
    }
    ComPtr<IPin> out, in;
    source->FindPin(u"Output", out.GetAddressOf());
    demux->FindPin(u"MPEG-2 Stream", in.GetAddressOf());
    ASSERT_EQ(graph->ConnectDirect(out.Get(), in.Get(), nullptr), S_OK);
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(demux->EnumPins(pins.GetAddressOf()), S_OK);
    int rendered = 0;
    for (ComPtr<IPin> pin; pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
      PIN_DIRECTION direction{};
      pin->QueryDirection(&direction);
      if (direction != PINDIR_OUTPUT) continue;
      ComPtr<IPin> dumpIn;
      (rendered == 0 ? videoDump : audioDump)->FindPin(u"Input", dumpIn.GetAddressOf());
      ASSERT_EQ(graph->ConnectDirect(pin.Get(), dumpIn.Get(), nullptr), S_OK);
      ++rendered;
    }
    ASSERT_EQ(rendered, 2);
    ASSERT_EQ(graph.As(&seeking), S_OK);
    ASSERT_EQ(graph.As(&control), S_OK);
    ASSERT_EQ(graph.As(&events), S_OK);
  }
  void RunToCompletion() {
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    LONG code = 0;
    EXPECT_EQ(events->WaitForCompletion(60000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
  }
  ~SeekGraph() {
    if (control) control->Stop();
    if (graph) {
      for (auto& f : filters) graph->RemoveFilter(f.Get());
    }
  }
};

REFERENCE_TIME Seconds(double s) { return static_cast<REFERENCE_TIME>(s * 10000000); }

// Raw MPEG-1/2 video is read by ffmpeg's "mpegvideo" input format.
int CountFrames(const std::string& rawVideo) {
  const auto result = testsupport::RunCommand("ffprobe -v error -f mpegvideo"
                                              " -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
                                              "-of csv=p=0 " + testsupport::ShellQuote(rawVideo));
  return result.exitCode == 0 ? std::atoi(result.output.c_str()) : -1;
}

std::string DecodeErrors(const std::string& rawVideo) {
  return testsupport::RunCommand("ffmpeg -nostdin -v error -f mpegvideo -i " +
                                 testsupport::ShellQuote(rawVideo) + " -f null - 2>&1")
      .output;
}

// Positions set through the graph before the run: the output is the stretch asked for, an exact
// excerpt of the whole stream that starts decodable; duration and position come through the graph.
TEST_F(ProgramStreamSeekTest, GraphSeeksToARangeBeforeTheRun) {
  for (const StreamCase& c : kStreams) {
    SCOPED_TRACE(c.name);
    const std::string input = Path(c.name), videoOut = Path("range.video"), audioOut = Path("range.audio");
    std::string log;
    ASSERT_TRUE(ffmpeg_oracle::ExtractStream(input, "0:v:0", c.videoFormat, videoOut + ".whole", &log)) << log;
    ASSERT_TRUE(ffmpeg_oracle::ExtractStream(input, "0:a:0", c.audioFormat, audioOut + ".whole", &log)) << log;
    {
      SeekGraph g;
      g.Build(LoadFileSource(input), videoOut, audioOut);
      if (HasFatalFailure()) return;
      DWORD caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetDuration;
      EXPECT_EQ(g.seeking->CheckCapabilities(&caps), S_OK);
      LONGLONG duration = 0, position = -1;
      ASSERT_EQ(g.seeking->GetDuration(&duration), S_OK);
      EXPECT_GT(duration, Seconds(19.8));
      EXPECT_LT(duration, Seconds(20.1));
      LONGLONG start = Seconds(5), stop = Seconds(12);
      ASSERT_EQ(g.seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning), S_OK);
      ASSERT_EQ(g.seeking->GetCurrentPosition(&position), S_OK);
      EXPECT_EQ(position, Seconds(5));
      g.RunToCompletion();
      ASSERT_EQ(g.seeking->GetCurrentPosition(&position), S_OK);
      EXPECT_GT(position, Seconds(11.5));
      EXPECT_LE(position, Seconds(12));
    }
    const Bytes video = ffmpeg_oracle::ReadFile(videoOut), whole = ffmpeg_oracle::ReadFile(videoOut + ".whole");
    EXPECT_TRUE(StartsWithSequenceHeader(video));
    const std::size_t at = Find(whole, video);
    EXPECT_NE(at, std::string::npos) << "the video is an excerpt of the whole";
    EXPECT_GT(at, 0u);
    const int frames = CountFrames(videoOut);
    EXPECT_GE(frames, 7 * 25);
    EXPECT_LE(frames, (7 * 90000 + c.startSlack) / kFrame + 3);
    EXPECT_EQ(DecodeErrors(videoOut), "");
    const Bytes audio = ffmpeg_oracle::ReadFile(audioOut);
    EXPECT_GT(audio.size(), 0u);
    EXPECT_NE(Find(ffmpeg_oracle::ReadFile(audioOut + ".whole"), audio), std::string::npos);
  }
}

// A seek while the demultiplexer is in the middle of the file: what came before is where the
// whole stream begins, and what follows is exactly what a run seeked before the start gives.
TEST_F(ProgramStreamSeekTest, GraphSeeksWhileRunning) {
  const StreamCase& c = kStreams[0];
  const std::string input = Path(c.name);
  const std::string tailVideo = Path("tail.video"), tailAudio = Path("tail.audio");
  const std::string videoOut = Path("running.video"), audioOut = Path("running.audio");
  std::string log;
  ASSERT_TRUE(ffmpeg_oracle::ExtractStream(input, "0:v:0", c.videoFormat, videoOut + ".whole", &log)) << log;
  LONGLONG start = Seconds(15);
  {
    SeekGraph g;
    g.Build(LoadFileSource(input), tailVideo, tailAudio);
    if (HasFatalFailure()) return;
    ASSERT_EQ(g.seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
    g.RunToCompletion();
  }
  {
    const Bytes file = ffmpeg_oracle::ReadFile(input);
    ComPtr<GatedSource> gated;
    gated.Attach(new GatedSource(file));
    gated->AddRef();
    gated->Hold(static_cast<LONGLONG>(file.size() / 3));
    SeekGraph g;
    g.Build(ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(gated.Get())), videoOut, audioOut);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(SUCCEEDED(g.control->Run()));
    gated->WaitUntilHeld();
    LONGLONG position = 0;
    ASSERT_EQ(g.seeking->GetCurrentPosition(&position), S_OK);
    EXPECT_GT(position, 0);
    EXPECT_LT(position, Seconds(10));
    // The seek waits for the pull thread, which waits at the gate: release it from another thread.
    std::thread release([&] { gated->Open(); });
    EXPECT_EQ(g.seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
    release.join();
    LONG code = 0;
    EXPECT_EQ(g.events->WaitForCompletion(60000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
  }
  for (const auto& [out, tail] : {std::pair{videoOut, tailVideo}, std::pair{audioOut, tailAudio}}) {
    SCOPED_TRACE(out);
    const Bytes written = ffmpeg_oracle::ReadFile(out), expectedTail = ffmpeg_oracle::ReadFile(tail);
    ASSERT_GT(expectedTail.size(), 0u);
    ASSERT_GT(written.size(), expectedTail.size());
    EXPECT_TRUE(std::equal(expectedTail.rbegin(), expectedTail.rend(), written.rbegin())) << "ends as the seeked run";
  }
  const Bytes written = ffmpeg_oracle::ReadFile(videoOut), whole = ffmpeg_oracle::ReadFile(videoOut + ".whole");
  const Bytes tail = ffmpeg_oracle::ReadFile(tailVideo);
  const Bytes head(written.begin(), written.end() - static_cast<std::ptrdiff_t>(tail.size()));
  EXPECT_TRUE(std::equal(head.begin(), head.end(), whole.begin())) << "begins as the whole stream";
}

}  // namespace
