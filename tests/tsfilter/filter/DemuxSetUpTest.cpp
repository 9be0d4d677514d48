// The demultiplexer set-up at connection, against a stand-in demultiplexer that records the pins
// it is asked for and the PIDs mapped on them.
#include <gtest/gtest.h>

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
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tsfilter/filter/TsSourceFilter.h"

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
