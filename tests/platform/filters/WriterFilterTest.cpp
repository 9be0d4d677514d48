// The writing filters (File Writer, dump filter) and the pass-through filters (tee, video
// analyzer) in small graphs driven sample by sample.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/com/activation.h"
#include "platform/com/library.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/filters/Mpeg2VideoAnalyzer.h"
#include "tests/platform/filters/FfmpegOracle.h"
#include "tests/platform/filters/SamplePusher.h"
#include "tests/platform/filters/TestGraph.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr CLSID CLSID_DumpFilter = MakeGuid("{C16F5100-FD54-448E-BD99-E10CA5C088BC}");

Bytes Pattern(std::size_t size, unsigned char seed) {
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<unsigned char>(seed + i * 3);
  return b;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

CMediaType MakeType(const GUID& major, const GUID& subtype) {
  CMediaType type;
  type.InitMediaType();
  type.SetType(&major);
  type.SetSubtype(&subtype);
  return type;
}

ComPtr<IBaseFilter> CreateDumpFilter() {
  ComPtr<IBaseFilter> filter;
  HMODULE module = LoadLibrary("Gallowin.ax");
  if (!module) return filter;
  auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(GetProcAddress(module, "DllGetClassObject"));
  ComPtr<IClassFactory> factory;
  if (SUCCEEDED(getClassObject(CLSID_DumpFilter, IClassFactory::kIid, reinterpret_cast<void**>(factory.GetAddressOf()))))
    factory->CreateInstance(nullptr, IID_PPV_ARGS(filter.GetAddressOf()));
  return filter;
}

ComPtr<IBaseFilter> CreateFileWriter() {
  ComPtr<IBaseFilter> filter;
  CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf()));
  return filter;
}

class WriterTest : public ::testing::Test {
 protected:
  void SetUp() override { m_dir = ffmpeg_oracle::MakeTempDir(); }
  void TearDown() override { std::filesystem::remove_all(m_dir); }
  std::string Path(const char* name) const { return m_dir + "/" + name; }

  // pusher -> writer, with the writer's file set (when path is not empty).
  ComPtr<TestGraph> Build(SamplePusher* pusher, IBaseFilter* writer, const char16_t* pinName, const std::string& path) {
    ComPtr<TestGraph> graph = TestGraph::Create();
    EXPECT_EQ(graph->AddFilter(pusher, u"pusher"), S_OK);
    EXPECT_EQ(graph->AddFilter(writer, u"writer"), S_OK);
    EXPECT_EQ(graph->ConnectDirect(&pusher->Pin(), FindPin(writer, pinName).Get(), nullptr), S_OK);
    if (!path.empty()) {
      ComPtr<IFileSinkFilter> sink;
      EXPECT_EQ(writer->QueryInterface(IID_PPV_ARGS(sink.GetAddressOf())), S_OK);
      EXPECT_EQ(sink->SetFileName(Utf8ToUtf16(path).c_str(), nullptr), S_OK);
    }
    return graph;
  }

  std::string m_dir;
};

// Which samples land at their offsets and which are appended, and the header a WAV writer
// writes through the pin's stream at stop.
TEST_F(WriterTest, PlacesByteStreamsAtTheirOffsetsAndAppendsTheRest) {
  const Bytes a = Pattern(1000, 1), b = Pattern(700, 2), header = Pattern(46, 9);
  struct Case {
    const char* name;
    bool dump;
    GUID major, subtype;
    std::vector<std::pair<Bytes, REFERENCE_TIME>> samples;
    bool writeHeaderAtStop;
    Bytes expected;
  } cases[] = {
      {"dump: WAVE byte stream at offsets, header after stop", true, MEDIATYPE_Stream, MEDIASUBTYPE_WAVE,
       {{a, 46}, {b, 1046}}, true, Concat({header, a, b})},
      {"dump: transport stream samples carry media times: appended", true, MEDIATYPE_Stream,
       MEDIASUBTYPE_MPEG2_TRANSPORT, {{a, 20000000}, {b, 10000000}}, false, Concat({a, b})},
      {"dump: video appended whatever its times", true, MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO,
       {{a, 5000}, {b, -1}}, false, Concat({a, b})},
      {"file writer: every byte stream at its offsets", false, MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT,
       {{b, 1000}, {a, 0}}, false, Concat({a, b})},
      {"file writer: byte stream sample without a time is appended", false, MEDIATYPE_Stream, MEDIASUBTYPE_WAVE,
       {{a, -1}, {b, -1}}, false, Concat({a, b})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path("out.bin");
    ComPtr<IBaseFilter> writer = c.dump ? CreateDumpFilter() : CreateFileWriter();
    ASSERT_TRUE(writer);
    ComPtr<SamplePusher> pusher;
    pusher.Attach(SamplePusher::Create(MakeType(c.major, c.subtype)));
    ComPtr<TestGraph> graph = Build(pusher.Get(), writer.Get(), c.dump ? u"Input" : u"in", path);
    ASSERT_EQ(graph->Run(), S_OK);
    for (const auto& [data, time] : c.samples) ASSERT_EQ(pusher->Push(data, time), S_OK);
    ASSERT_EQ(pusher->EndOfStream(), S_OK);
    ASSERT_TRUE(graph->WaitForEvents(EC_COMPLETE, 1));
    ASSERT_EQ(graph->Stop(), S_OK);
    if (c.writeHeaderAtStop) {
      // As a WAV writer does when it stops, after the writer downstream has stopped.
      ComPtr<IPin> peer;
      ASSERT_EQ(pusher->Pin().ConnectedTo(peer.GetAddressOf()), S_OK);
      ComPtr<IStream> stream;
      ASSERT_EQ(peer->QueryInterface(IID_PPV_ARGS(stream.GetAddressOf())), S_OK);
      ULARGE_INTEGER position{1};
      ASSERT_EQ(stream->Seek(LARGE_INTEGER{0}, STREAM_SEEK_SET, &position), S_OK);
      EXPECT_EQ(position.QuadPart, 0u);
      ULONG written = 0;
      ASSERT_EQ(stream->Write(header.data(), static_cast<ULONG>(header.size()), &written), S_OK);
      EXPECT_EQ(written, header.size());
    }
    EXPECT_EQ(ffmpeg_oracle::ReadFile(path), c.expected);
    graph->TearDown();
  }
}

TEST_F(WriterTest, DiscardsWithoutAFileAndReportsWriteErrors) {
  {
    SCOPED_TRACE("no file name");
    ComPtr<IBaseFilter> dump = CreateDumpFilter();
    ASSERT_TRUE(dump);
    ComPtr<SamplePusher> pusher;
    pusher.Attach(SamplePusher::Create(MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3)));
    ComPtr<TestGraph> graph = Build(pusher.Get(), dump.Get(), u"Input", "");
    ASSERT_EQ(graph->Run(), S_OK);
    EXPECT_EQ(pusher->Push(Pattern(100, 1), 0), S_OK);
    pusher->EndOfStream();
    EXPECT_TRUE(graph->WaitForEvents(EC_COMPLETE, 1));
    graph->TearDown();
  }
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full is not available";
  {
    SCOPED_TRACE("disk full");
    ComPtr<IBaseFilter> dump = CreateDumpFilter();
    ComPtr<SamplePusher> pusher;
    pusher.Attach(SamplePusher::Create(MakeType(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO)));
    ComPtr<TestGraph> graph = Build(pusher.Get(), dump.Get(), u"Input", "/dev/full");
    ASSERT_EQ(graph->Run(), S_OK);
    // More than the writer buffers: a write reaches the disk and fails.
    HRESULT hr = S_OK;
    for (int i = 0; i < 200 && SUCCEEDED(hr); ++i) hr = pusher->Push(Pattern(64 * 1024, 1), -1);
    EXPECT_EQ(hr, HresultFromErrno(ENOSPC));
    ASSERT_TRUE(graph->WaitForEvents(EC_ERRORABORT, 1));
    const std::vector<TestEvent> events = graph->Events();
    ASSERT_EQ(events.size(), 1u);  // reported once
    EXPECT_EQ(events[0].param1, HresultFromErrno(ENOSPC));
    graph->TearDown();
  }
}

TEST_F(WriterTest, DumpModuleRegistersItselfAndAnswersItsVersion) {
  const std::string registry = Path("registry");
  std::filesystem::create_directories(registry);
  setenv("PLATFORM_REGISTRY_DIR", registry.c_str(), 1);
  HMODULE module = LoadLibrary("Gallowin.ax");
  ASSERT_NE(module, nullptr) << LastLibraryError();
  auto registerServer = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(module, "DllRegisterServer"));
  auto unregisterServer = reinterpret_cast<DllUnregisterServerFn>(GetProcAddress(module, "DllUnregisterServer"));
  ASSERT_TRUE(registerServer && unregisterServer);

  ComPtr<IBaseFilter> dump;
  ASSERT_EQ(registerServer(), S_OK);
  ASSERT_EQ(CoCreateInstance(CLSID_DumpFilter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(dump.GetAddressOf())), S_OK);
  LPWSTR vendor = nullptr;
  ASSERT_EQ(dump->QueryVendorInfo(&vendor), S_OK);
  EXPECT_EQ(Utf16ToUtf8(vendor), "1.2.0.0");
  CoTaskMemFree(vendor);
  ComPtr<IPin> input = FindPin(dump.Get(), u"Input");
  EXPECT_TRUE(input);

  ASSERT_EQ(unregisterServer(), S_OK);
  EXPECT_EQ(CoCreateInstance(CLSID_DumpFilter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(dump.ReleaseAndGetAddressOf())),
            REGDB_E_CLASSNOTREG);
  unsetenv("PLATFORM_REGISTRY_DIR");
}

// The tee hands every sample to every connected output and always keeps one output free.
TEST_F(WriterTest, TeeFeedsEveryOutputAndGrowsNewOnes) {
  ComPtr<IBaseFilter> tee;
  ASSERT_EQ(CoCreateInstance(CLSID_InfTee, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(tee.GetAddressOf())), S_OK);
  ComPtr<SamplePusher> pusher;
  pusher.Attach(SamplePusher::Create(MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3)));
  ComPtr<IBaseFilter> first = CreateDumpFilter(), second = CreateDumpFilter();
  ComPtr<TestGraph> graph = TestGraph::Create();
  graph->AddFilter(pusher.Get(), u"pusher");
  graph->AddFilter(tee.Get(), u"Smart Tee");
  graph->AddFilter(first.Get(), u"first");
  graph->AddFilter(second.Get(), u"second");
  EXPECT_FALSE(FindPin(tee.Get(), u"Output2"));
  ASSERT_EQ(graph->ConnectDirect(&pusher->Pin(), FindPin(tee.Get(), u"Input").Get(), nullptr), S_OK);
  ASSERT_EQ(graph->ConnectDirect(FindPin(tee.Get(), u"Output1").Get(), FindPin(first.Get(), u"Input").Get(), nullptr), S_OK);
  ASSERT_TRUE(FindPin(tee.Get(), u"Output2"));
  ASSERT_EQ(graph->ConnectDirect(FindPin(tee.Get(), u"Output2").Get(), FindPin(second.Get(), u"Input").Get(), nullptr), S_OK);
  ASSERT_TRUE(FindPin(tee.Get(), u"Output3"));
  // The pins downstream learn the sizes of the samples they will get (a transform filter sizes its
  // own buffers from them), not those of a stand-in allocator.
  const auto sizes = [](IPin* pin) {
    ComPtr<IMemInputPin> input;
    ComPtr<IMemAllocator> allocator;
    ALLOCATOR_PROPERTIES properties{};
    if (SUCCEEDED(pin->QueryInterface(IID_PPV_ARGS(input.GetAddressOf()))) &&
        SUCCEEDED(input->GetAllocator(allocator.GetAddressOf()))) {
      allocator->GetProperties(&properties);
    }
    return std::pair{properties.cBuffers, properties.cbBuffer};
  };
  const auto upstream = sizes(FindPin(tee.Get(), u"Input").Get());
  EXPECT_GT(upstream.second, 1);
  EXPECT_EQ(sizes(FindPin(first.Get(), u"Input").Get()), upstream);
  EXPECT_EQ(sizes(FindPin(second.Get(), u"Input").Get()), upstream);
  for (auto [filter, name] : {std::pair{first.Get(), "first"}, std::pair{second.Get(), "second"}}) {
    ComPtr<IFileSinkFilter> sink;
    filter->QueryInterface(IID_PPV_ARGS(sink.GetAddressOf()));
    sink->SetFileName(Utf8ToUtf16(Path(name)).c_str(), nullptr);
  }
  ASSERT_EQ(graph->Run(), S_OK);
  const Bytes a = Pattern(500, 1), b = Pattern(300, 2);
  ASSERT_EQ(pusher->Push(a, 0), S_OK);
  ASSERT_EQ(pusher->Push(b, 100), S_OK);
  pusher->EndOfStream();
  ASSERT_TRUE(graph->WaitForEvents(EC_COMPLETE, 2));
  graph->Stop();
  EXPECT_EQ(ffmpeg_oracle::ReadFile(Path("first")), Concat({a, b}));
  EXPECT_EQ(ffmpeg_oracle::ReadFile(Path("second")), Concat({a, b}));
  graph->TearDown();
}

TEST(Mpeg2VideoAnalyzer, MarksSamplesADecoderCanStartAt) {
  struct Case {
    const char* name;
    Bytes data;
    bool syncPoint;
  } cases[] = {
      {"sequence header", {0x00, 0x00, 0x01, 0xB3, 0x16, 0x01}, true},
      {"GOP header after slice data", {0x12, 0x00, 0x00, 0x01, 0xB8, 0x00}, true},
      {"intra picture", {0x00, 0x00, 0x01, 0x00, 0x00, 0x0F, 0xFF}, true},
      {"predicted picture", {0x00, 0x00, 0x01, 0x00, 0x00, 0x17, 0xFF}, false},
      {"bidirectional picture", {0x00, 0x00, 0x01, 0x00, 0x00, 0x1F, 0xFF}, false},
      {"start code cut at the end", {0x55, 0x00, 0x00, 0x01}, false},
      {"no start code", {0x01, 0xB3, 0x00, 0x01, 0xB3}, false},
      {"empty", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Mpeg2VideoAnalyzer::StartsDecodableData(c.data.data(), static_cast<long>(c.data.size())), c.syncPoint);
  }
  // Start codes after long runs without zero bytes, at every position of an eight-byte window.
  for (std::size_t offset = 1000; offset < 1016; ++offset) {
    SCOPED_TRACE(offset);
    Bytes data(offset, 0x55);
    for (BYTE b : {0x00, 0x00, 0x01, 0x00, 0x00, 0x17, 0xFF}) data.push_back(b);  // a predicted picture
    EXPECT_FALSE(Mpeg2VideoAnalyzer::StartsDecodableData(data.data(), static_cast<long>(data.size())));
    for (BYTE b : {0x00, 0x00, 0x01, 0xB8}) data.push_back(b);  // then a GOP header, right at the end
    EXPECT_TRUE(Mpeg2VideoAnalyzer::StartsDecodableData(data.data(), static_cast<long>(data.size())));
  }
}

}  // namespace
