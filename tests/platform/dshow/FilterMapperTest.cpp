#include "platform/dshow/FilterMapper.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/variant.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FilterGraph.h"
#include "platform/registry/registry.h"
#include "tests/platform/dshow/ShapeFilters.h"
#include "tests/platform/dshow/TestFilters.h"

namespace {

constexpr CLSID kMuxer = MakeGuid("{22222222-0000-0000-0000-000000000001}");
constexpr CLSID kOtherMuxer = MakeGuid("{22222222-0000-0000-0000-000000000002}");
constexpr CLSID kDecoder = MakeGuid("{22222222-0000-0000-0000-000000000003}");
constexpr CLSID kAnyAudio = MakeGuid("{22222222-0000-0000-0000-000000000004}");
constexpr CLSID kNoOutput = MakeGuid("{22222222-0000-0000-0000-000000000005}");
constexpr CLSID kConverter = MakeGuid("{22222222-0000-0000-0000-000000000006}");

const REGPINTYPES kMuxInputs[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG2_VIDEO},
                                  {&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEG2_AUDIO}};
const REGPINTYPES kStreamOut[] = {{&MEDIATYPE_Stream, &MEDIASUBTYPE_MPEG2_PROGRAM}};
const REGPINTYPES kAc3In[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_DOLBY_AC3}};
const REGPINTYPES kAnyAudioIn[] = {{&MEDIATYPE_Audio, &GUID_NULL}};
const REGPINTYPES kPcmOut[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};

const REGFILTERPINS kMuxPins[] = {
    {u"Input", FALSE, FALSE, FALSE, TRUE, nullptr, nullptr, 2, kMuxInputs},
    {u"Output", FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, kStreamOut},
};
const REGFILTERPINS kDecoderPins[] = {
    {u"In", FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 1, kAc3In},
    {u"Out", FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, kPcmOut},
};
const REGFILTERPINS kAnyAudioPins[] = {
    {u"In", FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 1, kAnyAudioIn},
    {u"Out", FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, kPcmOut},
};
const REGFILTERPINS kNoOutputPins[] = {
    {u"In", TRUE, FALSE, FALSE, FALSE, nullptr, nullptr, 2, kMuxInputs},
};

class FilterMapperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = std::filesystem::temp_directory_path() /
               ("mapper-test-" + std::to_string(::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_folder);
    std::filesystem::create_directories(m_folder);
    if (const char* previous = getenv("PLATFORM_REGISTRY_DIR")) m_previous = previous;
    setenv("PLATFORM_REGISTRY_DIR", m_folder.c_str(), 1);
    ASSERT_EQ(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IFilterMapper2::kIid,
                               reinterpret_cast<void**>(m_mapper.GetAddressOf())),
              S_OK);
  }
  void TearDown() override {
    if (m_previous.empty()) unsetenv("PLATFORM_REGISTRY_DIR");
    else setenv("PLATFORM_REGISTRY_DIR", m_previous.c_str(), 1);
    std::filesystem::remove_all(m_folder);
  }
  void Register(const CLSID& clsid, const char16_t* name, DWORD merit, const REGFILTERPINS* pins, UINT count) {
    const AMOVIESETUP_FILTER setup{&clsid, name, merit, count, pins};
    ASSERT_EQ(RegisterFilterSetup(setup, TRUE), S_OK);
  }
  // "name,clsid" for every match, in the catalogue's order (as the converter lists them).
  std::vector<std::string> Query(const GUID& major, const GUID& minor, BOOL exact, BOOL outputNeeded = TRUE) {
    const GUID pair[2] = {major, minor};
    ComPtr<IEnumMoniker> found;
    EXPECT_EQ(m_mapper->EnumMatchingFilters(found.GetAddressOf(), 0, exact, MERIT_DO_NOT_USE, TRUE, 1, pair, nullptr,
                                            nullptr, FALSE, outputNeeded, 0, nullptr, nullptr, nullptr),
              S_OK);
    std::vector<std::string> specs;
    while (true) {
      ComPtr<IMoniker> moniker;
      ULONG fetched = 0;
      if (found->Next(1, moniker.GetAddressOf(), &fetched) != S_OK) break;
      ComPtr<IPropertyBag> bag;
      EXPECT_EQ(moniker->BindToStorage(nullptr, nullptr, IPropertyBag::kIid, reinterpret_cast<void**>(bag.GetAddressOf())), S_OK);
      specs.push_back(ReadText(bag.Get(), u"FriendlyName") + "," + ReadText(bag.Get(), u"CLSID"));
    }
    return specs;
  }
  static std::string ReadText(IPropertyBag* bag, const char16_t* name) {
    VARIANT value;
    VariantInit(&value);
    std::string text;
    if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR) text = BstrToUtf8(value.bstrVal);
    VariantClear(&value);
    return text;
  }

  std::filesystem::path m_folder;
  std::string m_previous;
  ComPtr<IFilterMapper2> m_mapper;
};

TEST_F(FilterMapperTest, QueriesMatchByTypeMeritAndPinsAsTheCatalogueAsks) {
  Register(kMuxer, u"Orvanet Multiplexer", MERIT_NORMAL, kMuxPins, 2);
  Register(kOtherMuxer, u"Second Multiplexer", MERIT_PREFERRED, kMuxPins, 2);
  Register(kDecoder, u"AC3Filter", MERIT_NORMAL, kDecoderPins, 2);
  Register(kAnyAudio, u"Any Audio", MERIT_NORMAL, kAnyAudioPins, 2);
  Register(kNoOutput, u"Renderer", MERIT_NORMAL, kNoOutputPins, 1);
  const std::string mux = "Orvanet Multiplexer," + GuidToString(kMuxer);
  const std::string other = "Second Multiplexer," + GuidToString(kOtherMuxer);
  const std::string decoder = "AC3Filter," + GuidToString(kDecoder);
  const std::string anyAudio = "Any Audio," + GuidToString(kAnyAudio);

  struct Case {
    const char* label;
    GUID major, minor;
    BOOL exact;
    std::vector<std::string> expected;
  } cases[] = {
      {"video, higher merit first, no renderer", MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, TRUE, {other, mux}},
      {"mpeg-2 audio, exact: the wildcard pin does not match", MEDIATYPE_Audio, MEDIASUBTYPE_MPEG2_AUDIO, TRUE, {other, mux}},
      {"mpeg-2 audio, inexact: the wildcard pin matches", MEDIATYPE_Audio, MEDIASUBTYPE_MPEG2_AUDIO, FALSE, {other, mux, anyAudio}},
      {"ac3, exact", MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, TRUE, {decoder}},
      {"nothing takes a stream", MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT, TRUE, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(Query(c.major, c.minor, c.exact), c.expected);
  }
  // Without the output requirement the renderer is listed too.
  EXPECT_EQ(Query(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, TRUE, FALSE).size(), 3u);
}

TEST_F(FilterMapperTest, UnregisteringAndReregisteringReplaceTheEntry) {
  Register(kMuxer, u"Orvanet Multiplexer", MERIT_NORMAL, kMuxPins, 2);
  const AMOVIESETUP_FILTER setup{&kMuxer, u"Orvanet Multiplexer", MERIT_NORMAL, 2, kMuxPins};
  ASSERT_EQ(RegisterFilterSetup(setup, FALSE), S_OK);
  EXPECT_TRUE(Query(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, TRUE).empty());
  EXPECT_EQ(RegisterFilterSetup(setup, FALSE), S_OK);  // twice is harmless
  // A new registration with other pins forgets the old ones.
  Register(kMuxer, u"Renamed", MERIT_NORMAL, kDecoderPins, 2);
  EXPECT_TRUE(Query(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, TRUE).empty());
  EXPECT_EQ(Query(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, TRUE),
            std::vector<std::string>{"Renamed," + GuidToString(kMuxer)});
}

TEST_F(FilterMapperTest, AnEntryWithoutAClassIsStillListedByName) {
  Register(kMuxer, u"Orvanet Multiplexer", MERIT_NORMAL, kMuxPins, 2);
  const std::string path = "CLSID\\" + GuidToString(CLSID_LegacyAmFilterCategory) + "\\Instance\\" + GuidToString(kMuxer);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValue(key, "CLSID"), ERROR_SUCCESS);
  // Damaged pin text is skipped line by line, not trusted.
  const std::string pins =
      "Input||{nonsense}/x,{73646976-0000-0010-8000-00AA00389B71}/{E06D8026-DB46-11CF-B4D1-00805F6CBBEA}\n"
      "no bars\nOut|O|\n";
  ASSERT_EQ(RegSetValueEx(key, "Pins", 0, REG_SZ, reinterpret_cast<const BYTE*>(pins.c_str()),
                          static_cast<DWORD>(pins.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(Query(MEDIATYPE_Video, GUID_NULL, TRUE), std::vector<std::string>{"Orvanet Multiplexer,"});
}

// A registered converter class that Render may bring in when nothing in the graph fits.
HRESULT CreateConverter(IUnknown*, REFIID riid, void** ppv) {
  shapes::ShapeFilter* filter = shapes::Make();
  filter->AddInput(u"In", shapes::Subtype(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3));
  filter->AddOutput(u"Out", shapes::MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM));
  HRESULT hr = filter->QueryInterface(riid, ppv);
  filter->Release();
  return hr;
}

TEST_F(FilterMapperTest, RenderBringsInARegisteredFilterOnlyWhenTheGraphHasNone) {
  RegisterBuiltinClass("test converter", kConverter, &CreateConverter);
  const REGFILTERPINS pins[] = {
      {u"In", FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 1, kAc3In},
      {u"Out", FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, kPcmOut},
  };
  Register(kConverter, u"Test Converter", MERIT_NORMAL, pins, 2);

  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IGraphBuilder::kIid,
                             reinterpret_cast<void**>(graph.GetAddressOf())),
            S_OK);
  ComPtr<testfilters::TestSource> source;
  source.Attach(testfilters::TestSource::Make(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, u"AC3"));
  ComPtr<shapes::ShapeFilter> pcmSink;
  pcmSink.Attach(shapes::Make());
  pcmSink->AddInput(u"Input", shapes::Subtype(MEDIATYPE_Audio, MEDIASUBTYPE_PCM));
  graph->AddFilter(source->Filter(), u"source");
  graph->AddFilter(pcmSink->Filter(), u"pcm sink");
  ComPtr<IPin> out;
  source->Filter()->FindPin(u"1", out.GetAddressOf());
  ASSERT_EQ(graph->Render(out.Get()), S_OK);
  ComPtr<IBaseFilter> added;
  ASSERT_EQ(graph->FindFilterByName(u"Test Converter", added.GetAddressOf()), S_OK);
  EXPECT_EQ(pcmSink->PeerFilterName(u"Input"), u"Test Converter");
}

}  // namespace
