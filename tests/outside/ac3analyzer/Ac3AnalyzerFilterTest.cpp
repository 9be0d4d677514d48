// The AC3 analyzer as a filter between a test source and a test sink.
#include "outside/ac3analyzer/Ac3AnalyzerFilter.h"
#include "outside/ac3analyzer/Ac3AnalyzerModule.h"

#include <gtest/gtest.h>

#include "platform/com/wstring.h"
#include "tests/outside/TestFilters.h"

namespace outside {
namespace {

using outsidetest::FindPinByName;
using outsidetest::MakeType;

std::vector<std::uint8_t> MakeFrame(int index) {
  std::vector<std::uint8_t> f = {0x0B, 0x77, 0x00, 0x00, 20, 8 << 3, 2 << 5};
  for (std::size_t b = f.size(); b < 768; ++b) f.push_back(static_cast<std::uint8_t>((b * 7 + index) % 200 + 1));
  return f;
}

TEST(Ac3AnalyzerFilterTest, PassesWholeFramesOnePerSampleWithIncreasingTimes) {
  IBaseFilter* analyzer = nullptr;
  ASSERT_EQ(Ac3AnalyzerFilter::CreateInstance(nullptr, IID_PPV_ARGS(&analyzer)), S_OK);
  FILTER_INFO info{};
  ASSERT_EQ(analyzer->QueryFilterInfo(&info), S_OK);
  const std::string name = kAc3AnalyzerName;
  for (const char* banned : {"uxer", "ultiplexer", "AC3Filter"}) EXPECT_EQ(name.find(banned), std::string::npos);

  auto* source = new outsidetest::TestPushSource({MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3)});
  auto* sink = new outsidetest::TestSampleSink();
  IPin* in = FindPinByName(analyzer, u"In");
  IPin* out = FindPinByName(analyzer, u"Out");
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(source->Pin(0)->Connect(in, nullptr), S_OK);
  ASSERT_EQ(out->Connect(sink->Pin(), nullptr), S_OK);
  ASSERT_EQ(sink->Pause(), S_OK);
  ASSERT_EQ(analyzer->Pause(), S_OK);
  ASSERT_EQ(source->Pause(), S_OK);

  // Ten frames delivered in chunks of 1000 bytes that cut frames anywhere; each chunk stamped
  // like a PES packet: with the time of the first frame that starts in it.
  std::vector<std::uint8_t> stream;
  std::vector<std::vector<std::uint8_t>> frames;
  for (int i = 0; i < 10; ++i) {
    frames.push_back(MakeFrame(i));
    stream.insert(stream.end(), frames.back().begin(), frames.back().end());
  }
  const REFERENCE_TIME first = 12345678;
  for (std::size_t at = 0; at < stream.size(); at += 1000) {
    const std::size_t n = std::min<std::size_t>(1000, stream.size() - at);
    const std::size_t frameStart = (at + 767) / 768 * 768;  // first frame starting in the chunk
    const REFERENCE_TIME start = frameStart < at + n ? first + static_cast<REFERENCE_TIME>(frameStart / 768) * 320000 : -1;
    ASSERT_EQ(source->Pin(0)->Push(&stream[at], n, start, -1), S_OK);
  }
  ASSERT_EQ(source->Pin(0)->DeliverEndOfStream(), S_OK);

  const auto& samples = sink->Pin()->samples;
  ASSERT_EQ(samples.size(), frames.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    EXPECT_EQ(samples[i].bytes, frames[i]);
    EXPECT_EQ(samples[i].start, first + static_cast<REFERENCE_TIME>(i) * 320000);
    EXPECT_EQ(samples[i].stop, first + static_cast<REFERENCE_TIME>(i + 1) * 320000);
    EXPECT_TRUE(samples[i].syncPoint);
  }
  EXPECT_EQ(sink->Pin()->endOfStreams, 1);

  source->Stop();
  analyzer->Stop();
  sink->Stop();
  outsidetest::DisconnectBoth(in);
  outsidetest::DisconnectBoth(out);
  in->Release();
  out->Release();
  source->Release();
  sink->Release();
  analyzer->Release();
  EXPECT_EQ(Ac3AnalyzerObjects().Count(), 0) << "the filter outlived its last reference";
}

}  // namespace
}  // namespace outside
