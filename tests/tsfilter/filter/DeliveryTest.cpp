// Delivery through the output pin into a recording sink: the packets once each, in file order, one
// packet per sample, and a stop/run cycle starting again where the first run started.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/com/comptr.h"
#include "platform/com/wstring.h"
#include "platform/registry/registry.h"
#include "tests/platform/dshow/TestFilters.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tsfilter/filter/TsSourceFilter.h"
#include "tsfilter/services/SettingsStore.h"

namespace tsfilter {
namespace {

std::vector<BYTE> FileBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<BYTE>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

ComPtr<IPin> FindPin(IBaseFilter* filter, const char16_t* name) {
  ComPtr<IPin> pin;
  filter->FindPin(name, pin.GetAddressOf());
  return pin;
}

TEST(DeliveryTest, PacketsInFileOrderOnePerSampleAndAgainAfterStop) {
  TemporaryRegistry registry;
  // No demultiplexer behind the pin here: the lenient setting lets it connect to the sink.
  RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "PrefDemux", 0);
  ComPtr<IBaseFilter> source;
  ASSERT_EQ(TsSourceFilter::CreateInstance(nullptr, IID_PPV_ARGS(source.GetAddressOf())), S_OK);
  ComPtr<IFileSourceFilter> file;
  ASSERT_EQ(source.As(&file), S_OK);
  ASSERT_EQ(file->Load(Utf8ToUtf16(SAMPLE_TS).c_str(), nullptr), S_OK);

  testfilters::TestSink* sink = testfilters::TestSink::Make();
  ComPtr<IPin> out = FindPin(source.Get(), u"1");
  ASSERT_TRUE(out);
  ASSERT_EQ(out->Connect(FindPin(sink->Filter(), u"Input").Get(), nullptr), S_OK);

  const std::vector<BYTE> expected = FileBytes(SAMPLE_TS);
  std::vector<BYTE> firstRun;
  for (int run = 0; run < 2; ++run) {
    sink->ClearData();
    sink->m_ended.Reset();
    ASSERT_EQ(sink->Filter()->Pause(), S_OK);
    ASSERT_EQ(source->Pause(), S_OK);
    ASSERT_EQ(sink->Filter()->Run(0), S_OK);
    ASSERT_EQ(source->Run(0), S_OK);
    ASSERT_TRUE(sink->m_ended.Wait(120000)) << "no end of stream";
    ASSERT_EQ(source->Stop(), S_OK);
    ASSERT_EQ(sink->Filter()->Stop(), S_OK);
    // Delivery begins at the packet holding the sequence header the analysis found, then runs to
    // the end of the file; a second run starts there again.
    const std::vector<BYTE> got = sink->Bytes();
    ASSERT_EQ(got.size(), static_cast<std::size_t>(sink->m_samples.load()) * 188) << "run " << run;
    ASSERT_LE(got.size(), expected.size());
    const std::size_t skipped = expected.size() - got.size();
    EXPECT_LT(skipped / 188, 5000u);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin() + static_cast<std::ptrdiff_t>(skipped)))
        << "run " << run;
    if (run == 0) firstRun = got;
    else EXPECT_TRUE(got == firstRun);
  }

  out->Disconnect();
  FindPin(sink->Filter(), u"Input")->Disconnect();
  sink->Filter()->Release();
}

}  // namespace
}  // namespace tsfilter
