// The WAV files Ambrel writes from real AC3 tracks, read back by ffprobe: the header must describe
// the stream, and the data chunk must hold exactly the track's bytes.
#include <gtest/gtest.h>

#include "platform/com/comptr.h"
#include "tests/support/Fixtures.h"
#include "tests/wavwriter/GraphDoubles.h"
#include "tests/wavwriter/WavBytes.h"
#include "tests/wavwriter/WavOracle.h"
#include "wavwriter/AmbrelFilter.h"

namespace {

CMediaType DemuxAc3Type() {
  // What a demultiplexer says about an AC3 track before the first frame: tag and channels only.
  const auto format = MakeWaveFormat(0x2000, 2, 48000, 0, 1, 0);
  CMediaType type;
  type.SetType(&MEDIATYPE_Audio);
  type.SetSubtype(&MEDIASUBTYPE_DOLBY_AC3);
  type.SetFormatType(&FORMAT_WaveFormatEx);
  type.SetFormat(format.data(), static_cast<ULONG>(format.size()));
  return type;
}

ComPtr<IPin> FindPin(IBaseFilter* filter, const char16_t* name) {
  ComPtr<IPin> pin;
  filter->FindPin(name, pin.GetAddressOf());
  return pin;
}

// Pushes bytes through source -> Ambrel -> memory sink in pieces of uneven sizes, as PES
// payloads come, and returns the file left behind.
std::vector<BYTE> WriteThroughAmbrel(const std::vector<BYTE>& bytes) {
  constexpr LONG kBufferBytes = 8192;
  auto* sourceObject = new TestAudioSource(DemuxAc3Type(), 4, kBufferBytes);
  auto* sinkObject = new MemoryByteSink();
  ComPtr<IBaseFilter> source(sourceObject), sink(sinkObject);
  HRESULT hr = S_OK;
  ComPtr<IBaseFilter> ambrel;
  AmbrelFilter::CreateInstance(nullptr, &hr)
      ->NonDelegatingQueryInterface(IBaseFilter::kIid, reinterpret_cast<void**>(ambrel.GetAddressOf()));
  EXPECT_EQ(sourceObject->OutputPin()->Connect(FindPin(ambrel.Get(), u"In").Get(), nullptr), S_OK);
  EXPECT_EQ(FindPin(ambrel.Get(), u"Out")->Connect(sinkObject->InputPin(), nullptr), S_OK);
  for (IBaseFilter* f : {sink.Get(), ambrel.Get(), source.Get()}) EXPECT_EQ(f->Run(0), S_OK);

  const std::size_t pieceSizes[] = {1, 7000, 333, 4096, 8192, 2500};
  std::size_t at = 0;
  for (int i = 0; at < bytes.size(); ++i) {
    const std::size_t piece = std::min(pieceSizes[i % std::size(pieceSizes)], bytes.size() - at);
    EXPECT_EQ(sourceObject->Send(std::vector<BYTE>(bytes.begin() + at, bytes.begin() + at + piece)), S_OK);
    at += piece;
  }
  for (IBaseFilter* f : {source.Get(), ambrel.Get(), sink.Get()}) EXPECT_EQ(f->Stop(), S_OK);
  DisconnectAll({source.Get(), ambrel.Get(), sink.Get()});
  return sinkObject->File();
}

TEST(AmbrelInteropTest, FfprobeReadsTheWavAsTheTrackAndItsDataIsTheTrack) {
  REQUIRE_PROGRAM("ffmpeg");
  REQUIRE_PROGRAM("ffprobe");
  const struct {
    const char* fixture;
    int track;
  } cases[] = {{"mpeg2hd_ac3_mp2.ts", 0}, {"h264_aud_ac3.ts", 0}, {"program_stream.mpg", 0}};
  const auto work = testsupport::MakeTempDir("ambrel-interop");
  ASSERT_FALSE(work.empty());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fixture);
    const auto input = testsupport::FixturePath(c.fixture);
    if (input.empty()) {
      ADD_FAILURE() << testsupport::FixtureProblem(c.fixture);
      continue;
    }
    std::string log;
    const auto track = ExtractAc3Track(input, c.track, work, &log);
    ASSERT_FALSE(track.empty()) << log;
    const auto reference = ProbeAudio(work / ("track" + std::to_string(c.track) + ".ac3"));
    ASSERT_EQ(reference.codec, "ac3");

    // Bytes ahead of the first frame, as a recording cut mid-frame has them.
    std::vector<BYTE> cut = {0x3A, 0x00, 0x77, 0x0B, 0x12};
    cut.insert(cut.end(), track.begin(), track.end());
    const auto wav = WriteThroughAmbrel(cut);
    const auto wavPath = work / (std::string(c.fixture) + ".wav");
    WriteWholeFile(wavPath, wav);

    const auto probed = ProbeAudio(wavPath);
    EXPECT_EQ(probed.codec, "ac3");
    EXPECT_EQ(probed.channels, reference.channels);
    EXPECT_EQ(probed.sampleRate, reference.sampleRate);
    EXPECT_EQ(probed.bitRate, reference.bitRate);
    EXPECT_EQ(ReadLe32(wav, 4), wav.size() - 8);
    EXPECT_EQ(ReadLe32(wav, 28), static_cast<std::uint32_t>(reference.bitRate / 8)) << "nAvgBytesPerSec";
    const auto data = WavDataChunk(wav);
    EXPECT_TRUE(data == track) << DescribeDifference(track, data);
  }
  std::error_code ignored;
  std::filesystem::remove_all(work, ignored);
}

}  // namespace
