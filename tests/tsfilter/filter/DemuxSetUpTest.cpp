// The demultiplexer set-up at connection, against a stand-in demultiplexer that records the pins
// it is asked for and the PIDs mapped on them.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "platform/com/comptr.h"
#include "platform/com/wstring.h"
#include "platform/dshow/BaseFilter.h"
#include "platform/dshow/BasePin.h"
#include "platform/dshow/Errors.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/Guids.h"
#include "platform/dshow/Mpeg2Interfaces.h"
#include "platform/com/taskmem.h"
#include "platform/registry/registry.h"
#include "platform/win/messagebox.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tests/support/Fixtures.h"
#include "tests/support/TsBuilder.h"
#include "tsfilter/filter/TsOutputPin.h"
#include "tsfilter/filter/TsSourceFilter.h"
#include "tsfilter/services/SettingsStore.h"

namespace tsfilter {
namespace {

class RecordingPin final : public CBasePin, public IMPEG2PIDMap {
 public:
  RecordingPin(CBaseFilter* filter, CCritSec* lock, const std::u16string& name, PIN_DIRECTION direction,
               GUID subtype = GUID_NULL)
      : CBasePin("recording pin", filter, lock, nullptr, name.c_str(), direction), subtype(subtype) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IMPEG2PIDMap::kIid) return GetInterface(static_cast<IMPEG2PIDMap*>(this), ppv);
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }
  HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
  STDMETHODIMP MapPID(ULONG count, ULONG* pids, MEDIA_SAMPLE_CONTENT) override {
    for (ULONG i = 0; i < count; ++i) mapped.push_back(pids[i]);
    return S_OK;
  }
  STDMETHODIMP UnmapPID(ULONG count, ULONG* pids) override {
    for (ULONG i = 0; i < count; ++i) std::erase(mapped, pids[i]);
    return S_OK;
  }
  STDMETHODIMP EnumPIDMap(IEnumPIDMap**) override { return E_NOTIMPL; }

  GUID subtype;
  std::vector<ULONG> mapped;
};

class RecordingDemux final : public CBaseFilter, public IMpeg2Demultiplexer {
 public:
  explicit RecordingDemux(bool isDemux) : CBaseFilter("recording demux", nullptr, &m_lock, GUID_NULL), m_isDemux(isDemux) {
    m_pins.push_back(std::make_unique<RecordingPin>(this, &m_lock, u"Input", PINDIR_INPUT));
  }
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (m_isDemux && riid == IMpeg2Demultiplexer::kIid) return GetInterface(static_cast<IMpeg2Demultiplexer*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
  }
  int GetPinCount() override { return static_cast<int>(m_pins.size()); }
  CBasePin* GetPin(int n) override { return n >= 0 && n < GetPinCount() ? m_pins[static_cast<std::size_t>(n)].get() : nullptr; }
  STDMETHODIMP CreateOutputPin(AM_MEDIA_TYPE* type, LPWSTR name, IPin** pin) override {
    if (Find(name)) return VFW_E_DUPLICATE_NAME;
    m_pins.push_back(std::make_unique<RecordingPin>(this, &m_lock, name, PINDIR_OUTPUT, type->subtype));
    return m_pins.back()->QueryInterface(IID_PPV_ARGS(pin));
  }
  STDMETHODIMP SetOutputPinMediaType(LPWSTR, AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP DeleteOutputPin(LPWSTR) override { return E_NOTIMPL; }

  RecordingPin* Find(const std::u16string& name) {
    for (auto& pin : m_pins) {
      if (pin->Name() && name == pin->Name()) return pin.get();
    }
    return nullptr;
  }
  IPin* Input() { return m_pins.front().get(); }

 private:
  CCritSec m_lock;
  bool m_isDemux;
  std::vector<std::unique_ptr<RecordingPin>> m_pins;
};

// The stand-in lives on the heap and is freed by its last reference, as any filter.
RecordingDemux* MakeDemux(bool isDemux, ComPtr<IBaseFilter>& holder) {
  auto* demux = new RecordingDemux(isDemux);
  demux->NonDelegatingQueryInterface(IBaseFilter::kIid, reinterpret_cast<void**>(holder.ReleaseAndGetAddressOf()));
  return demux;
}

class DemuxSetUpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(TsSourceFilter::CreateInstance(nullptr, IID_PPV_ARGS(m_info.GetAddressOf())), S_OK);
    m_filter = static_cast<TsSourceFilter*>(m_info.Get());
    ComPtr<IFileSourceFilter> source;
    ASSERT_EQ(m_info.As(&source), S_OK);
    ASSERT_EQ(source->Load(Utf8ToUtf16(SAMPLE_TS).c_str(), nullptr), S_OK);
  }

  TemporaryRegistry m_registry;
  ComPtr<ITsSourceInfo> m_info;
  TsSourceFilter* m_filter = nullptr;
};

TEST_F(DemuxSetUpTest, AudioModeChoosesTheTrackAndItsPin) {
  struct Case {
    std::uint32_t ac3;
    const char16_t* audioPin;
    GUID subtype;
    ULONG audioPid;
  };
  const Case cases[] = {
      {1, u"AC3", MEDIASUBTYPE_DOLBY_AC3, 0x101},
      {0, u"Audio", MEDIASUBTYPE_MPEG1AudioPayload, 0x102},
  };
  for (const Case& c : cases) {
    ComPtr<IBaseFilter> holder;
    RecordingDemux& demux = *MakeDemux(true, holder);
    m_filter->Analysis().settings.ac3 = c.ac3;
    ASSERT_EQ(m_filter->SetUpDemultiplexer(demux.Input()), S_OK);
    RecordingPin* video = demux.Find(u"Video");
    RecordingPin* audio = demux.Find(c.audioPin);
    ASSERT_TRUE(video && audio);
    EXPECT_EQ(video->subtype, MEDIASUBTYPE_MPEG2_VIDEO);
    EXPECT_EQ(video->mapped, std::vector<ULONG>{0x100});
    EXPECT_EQ(audio->subtype, c.subtype);
    EXPECT_EQ(audio->mapped, std::vector<ULONG>{c.audioPid});

    // Reconnecting to the same demultiplexer: its pins exist already, which counts as success.
    m_filter->ForgetDemultiplexer(true);
    EXPECT_EQ(m_filter->SetUpDemultiplexer(demux.Input()), S_OK);
    m_filter->ForgetDemultiplexer(true);
  }
}

TEST_F(DemuxSetUpTest, SomethingElseDownstreamFailsOnlyForTheStrictSetting) {
  ComPtr<IBaseFilter> holder;
  RecordingDemux& notDemux = *MakeDemux(false, holder);
  m_filter->Analysis().settings.prefDemux = 1;
  EXPECT_EQ(m_filter->SetUpDemultiplexer(notDemux.Input()), E_NOINTERFACE);
  m_filter->Analysis().settings.prefDemux = 0;
  EXPECT_EQ(m_filter->SetUpDemultiplexer(notDemux.Input()), S_OK);
  m_filter->ForgetDemultiplexer(true);
}

}  // namespace
}  // namespace tsfilter


namespace tsfilter {
namespace {

struct Track {
  std::uint8_t type;  // 3 MPEG audio, 0x81 AC3, 248 AAC
  std::uint16_t pid;
};

// A short program: video on 0x100 and the given audio tracks, with tables, video and audio data
// enough for the opening analysis to take the program from its PMT.
testsupport::TsStream BuildProgram(std::uint8_t videoType, const std::vector<Track>& tracks) {
  using namespace testsupport;
  PmtBuilder pmt(1);
  pmt.PcrPid(0x100).Stream(videoType, 0x100);
  for (const Track& t : tracks) pmt.Stream(t.type, t.pid, {LanguageDescriptor("deu")});
  const Bytes pat = PatBuilder().TransportStreamId(1).Program(1, 0x1000).Build();
  const Bytes pmtSection = pmt.Build();
  Bytes picture = Mpeg2SequenceHeader{}.Build();
  picture.resize(1500, 0x00);
  TsStream ts;
  for (int i = 0; i < 8; ++i) {
    const std::uint64_t pts = 126000 + 3600u * static_cast<std::uint64_t>(i);
    ts.Section(0x0000, pat).Section(0x1000, pmtSection);
    ts.Pes(0x100, PesBuilder(0xE0).Pts(pts).Unbounded().Payload(picture).Build(), pts - 9000);
    for (const Track& t : tracks)
      ts.Pes(t.pid, PesBuilder(t.type == 3 ? 0xC0 : 0xBD).Pts(pts).Payload(Bytes(300, 0x55)).Build());
  }
  return ts;
}

TEST(DemuxSetUpChoiceTest, TheAudioModeAndAudio2ChooseTheTrackPinAndPid) {
  struct Case {
    const char* what;
    std::uint8_t videoType;
    std::vector<Track> tracks;
    std::uint32_t ac3, audio2;
    const char16_t* videoPin;
    const char16_t* audioPin;
    ULONG audioPid;
    LONG selected;
  };
  const Case cases[] = {
      {"one MPEG track, AC3 mode", 2, {{3, 0x201}}, 1, 0, u"Video", u"Audio", 0x201, 0},
      {"MPEG then AC3, AC3 mode", 2, {{3, 0x201}, {0x81, 0x202}}, 1, 0, u"Video", u"AC3", 0x202, 1},
      {"MPEG then AC3, MPEG mode", 2, {{3, 0x201}, {0x81, 0x202}}, 0, 0, u"Video", u"Audio", 0x201, 0},
      {"two AC3 tracks, Audio2", 2, {{0x81, 0x201}, {0x81, 0x202}}, 1, 1, u"Video", u"AC3", 0x202, 1},
      {"two MPEG then AC3, MPEG mode, Audio2", 2, {{3, 0x201}, {3, 0x202}, {0x81, 0x203}}, 0, 1, u"Video", u"Audio",
       0x202, 1},
      {"AC3 then MPEG, Audio2: not the same kind", 2, {{0x81, 0x201}, {3, 0x202}}, 1, 1, u"Video", u"AC3", 0x201, 0},
      {"only AAC, AC3 mode", 2, {{248, 0x201}}, 1, 0, u"Video", u"AAC", 0x201, 0},
      {"H.264", 27, {{0x81, 0x201}}, 1, 0, u"H.264", u"AC3", 0x201, 0},
  };
  TemporaryRegistry registry;
  const std::filesystem::path dir = testsupport::MakeTempDir("flumetta-demux");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::filesystem::path path = dir / "program.ts";
    ASSERT_TRUE(BuildProgram(c.videoType, c.tracks).WriteTo(path));
    ComPtr<ITsSourceInfo> info;
    ASSERT_EQ(TsSourceFilter::CreateInstance(nullptr, IID_PPV_ARGS(info.GetAddressOf())), S_OK);
    auto& filter = *static_cast<TsSourceFilter*>(info.Get());
    ComPtr<IFileSourceFilter> source;
    ASSERT_EQ(info.As(&source), S_OK);
    ASSERT_EQ(source->Load(Utf8ToUtf16(path.string()).c_str(), nullptr), S_OK);
    filter.Analysis().settings.ac3 = c.ac3;
    filter.Analysis().settings.audio2 = c.audio2;

    ComPtr<IBaseFilter> holder;
    RecordingDemux& demux = *MakeDemux(true, holder);
    ASSERT_EQ(filter.SetUpDemultiplexer(demux.Input()), S_OK);
    RecordingPin* video = demux.Find(c.videoPin);
    RecordingPin* audio = demux.Find(c.audioPin);
    ASSERT_TRUE(video && audio);
    EXPECT_EQ(video->subtype, c.videoType == 27 ? MEDIASUBTYPE_AVC1 : MEDIASUBTYPE_MPEG2_VIDEO);
    EXPECT_EQ(video->mapped, std::vector<ULONG>{0x100});
    EXPECT_EQ(audio->mapped, std::vector<ULONG>{c.audioPid});

    ComPtr<IAMStreamSelect> select;
    ASSERT_EQ(info.As(&select), S_OK);
    for (LONG i = 0; i < static_cast<LONG>(c.tracks.size()); ++i) {
      DWORD flags = 9;
      ASSERT_EQ(select->Info(i, nullptr, &flags, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
      EXPECT_EQ(flags, i == c.selected ? static_cast<DWORD>(AMSTREAMSELECTINFO_ENABLED) : 0u) << i;
    }
    LPWSTR answer = nullptr;
    ASSERT_EQ(info->GetAttribute(u"AUDIOPID", &answer), S_OK);
    char expected[32];
    std::snprintf(expected, sizeof expected, "0x%04x (%u)", static_cast<unsigned>(c.audioPid), static_cast<unsigned>(c.audioPid));
    EXPECT_EQ(answer ? Utf16ToUtf8(answer) : std::string(), expected);
    CoTaskMemFree(answer);
    filter.ForgetDemultiplexer(true);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tsfilter

namespace tsfilter {
namespace {

TEST(AudioSwitchTest, SameKindSwitchesAtOnceOtherKindOnlyOffersTheModeChange) {
  TemporaryRegistry registry;
  const std::filesystem::path dir = testsupport::MakeTempDir("flumetta-switch");
  const std::filesystem::path path = dir / "program.ts";
  ASSERT_TRUE(BuildProgram(2, {{0x81, 0x201}, {0x81, 0x202}, {3, 0x203}}).WriteTo(path));

  struct Case {
    const char* what;
    LONG index;
    DWORD flags;
    std::uint32_t position;  // the output pin's packet position
    int answer;              // the user's answer to the mode question, 0 when none may be asked
    HRESULT result;
    LONG selected;           // afterwards
    ULONG mapped;            // on the audio pin afterwards
    const char* storedAc3;   // the registry's "AC3" afterwards
  };
  const Case cases[] = {
      {"same kind", 1, AMSTREAMSELECTENABLE_ENABLE, 30000, 0, S_OK, 1, 0x202, "none"},
      {"too early", 1, AMSTREAMSELECTENABLE_ENABLE, 29999, 0, E_INVALIDARG, 0, 0x201, "none"},
      {"not delivering", 1, AMSTREAMSELECTENABLE_ENABLE, 0, 0, S_OK, 1, 0x202, "none"},
      {"beyond the tracks", 3, AMSTREAMSELECTENABLE_ENABLE, 30000, 0, E_INVALIDARG, 0, 0x201, "none"},
      {"disabling", 1, 0, 30000, 0, E_NOTIMPL, 0, 0x201, "none"},
      {"other kind, No", 2, AMSTREAMSELECTENABLE_ENABLE, 30000, IDNO, E_INVALIDARG, 0, 0x201, "none"},
      {"other kind, Yes", 2, AMSTREAMSELECTENABLE_ENABLE, 30000, IDYES, E_INVALIDARG, 0, 0x201, "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RegDeleteTree(HKEY_CURRENT_USER, kSettingsKey);
    ComPtr<ITsSourceInfo> info;
    ASSERT_EQ(TsSourceFilter::CreateInstance(nullptr, IID_PPV_ARGS(info.GetAddressOf())), S_OK);
    auto& filter = *static_cast<TsSourceFilter*>(info.Get());
    ComPtr<IFileSourceFilter> source;
    ASSERT_EQ(info.As(&source), S_OK);
    ASSERT_EQ(source->Load(Utf8ToUtf16(path.string()).c_str(), nullptr), S_OK);
    filter.Analysis().settings.ac3 = 1;
    ComPtr<IBaseFilter> holder;
    RecordingDemux& demux = *MakeDemux(true, holder);
    ASSERT_EQ(filter.SetUpDemultiplexer(demux.Input()), S_OK);
    filter.OutputPin()->State().position = c.position;

    std::string asked;
    SetMessageBoxPresenter([&](HWND, const std::string& text, const std::string& caption, UINT) {
      asked = caption + ": " + text;
      return c.answer ? c.answer : IDNO;
    });
    ComPtr<IAMStreamSelect> select;
    ASSERT_EQ(info.As(&select), S_OK);
    EXPECT_EQ(select->Enable(c.index, c.flags), c.result);
    SetMessageBoxPresenter(nullptr);

    if (c.answer) {
      EXPECT_EQ(asked,
                "Media Type Change: The Flumetta filter is currently in AC3 audio mode. Would you like to select MPEG "
                "mode?\n\nNote: Restart the player application to activate the new media type.");
    } else {
      EXPECT_EQ(asked, "");
    }
    DWORD flags = 9;
    ASSERT_EQ(select->Info(c.selected, nullptr, &flags, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(flags, static_cast<DWORD>(AMSTREAMSELECTINFO_ENABLED));
    EXPECT_EQ(demux.Find(u"AC3")->mapped, std::vector<ULONG>{c.mapped});
    DWORD stored = 0;
    const bool isStored = RegistryReadDword(HKEY_CURRENT_USER, kSettingsKey, "AC3", &stored);
    EXPECT_EQ(isStored ? std::to_string(stored) : std::string("none"), c.storedAc3);
    EXPECT_EQ(filter.Analysis().settings.ac3, std::string(c.storedAc3) == "0" ? 0u : 1u);
    filter.ForgetDemultiplexer(true);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tsfilter
