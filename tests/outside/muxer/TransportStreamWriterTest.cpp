#include "outside/muxer/TransportStreamWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "MuxTestSupport.h"
#include "OutputParsers.h"
#include "SyntheticStreams.h"
#include "outside/elementary/Crc32Mpeg.h"

namespace muxtest {
namespace {

using outside::kNoTime;
using outside::StreamKind;

struct TsInput {
  StreamKind kind;
  const char* language;
  SyntheticStream stream;
  std::size_t unitsPerChunk;
};

TEST(TransportStreamWriterTest, PacketsTablesAndClockAreSoundAndStreamsComeThroughUnchanged) {
  const std::vector<TsInput> inputs = {
      {StreamKind::Mpeg2Video, "", MakeMpeg2Video(60, {40000, 6000, 200, 180}, 20000), 1},
      {StreamKind::Ac3Audio, "deu", MakeAc3(75, 19000), 2},
      {StreamKind::MpegAudio, "eng", MakeMp2(80, 48000, 19500), 3},
  };
  MemorySink sink;
  outside::TransportStreamWriter writer;
  ASSERT_EQ(writer.Open(&sink, outside::MuxSettings()), S_OK);
  for (const TsInput& input : inputs) {
    outside::StreamInfo info;
    info.kind = input.kind;
    std::copy_n(input.language, std::strlen(input.language), info.language);
    int index = -1;
    ASSERT_EQ(writer.AddStream(info, &index), S_OK);
  }
  // Chunks in decode-time order, as a demultiplexer delivers them.
  struct Chunk {
    std::int64_t dts;
    int stream;
    std::size_t unit;
  };
  std::vector<Chunk> chunks;
  for (std::size_t s = 0; s < inputs.size(); ++s) {
    for (std::size_t u = 0; u < inputs[s].stream.units.size(); u += inputs[s].unitsPerChunk) {
      chunks.push_back({inputs[s].stream.units[u].dts, static_cast<int>(s), u});
    }
  }
  std::stable_sort(chunks.begin(), chunks.end(), [](const Chunk& a, const Chunk& b) { return a.dts < b.dts; });
  for (const Chunk& chunk : chunks) {
    const TsInput& input = inputs[chunk.stream];
    const auto& units = input.stream.units;
    const std::size_t last = std::min(chunk.unit + input.unitsPerChunk, units.size()) - 1;
    const std::size_t begin = units[chunk.unit].offset;
    ASSERT_EQ(writer.Write(chunk.stream, &input.stream.bytes[begin], units[last].offset + units[last].size - begin,
                           units[chunk.unit].pts, units[chunk.unit].dts),
              S_OK);
  }
  ASSERT_EQ(writer.Finish(), S_OK);
  EXPECT_EQ(writer.Statistics().lateUnits, 0u);

  const ParsedOutput out = ParseTransportStream(sink.bytes, &outside::Crc32Mpeg);
  ASSERT_EQ(out.fault, "");
  EXPECT_EQ(out.streamTypes, (std::map<int, int>{{0x100, 0x02}, {0x101, 0x81}, {0x102, 0x03}}));
  EXPECT_EQ(out.languages, (std::map<int, std::string>{{0x101, "deu"}, {0x102, "eng"}}));
  ASSERT_FALSE(out.scr27.empty());
  for (std::size_t i = 1; i < out.scr27.size(); ++i) {
    ASSERT_GE(out.scr27[i], out.scr27[i - 1]);
    EXPECT_LE(out.scr27[i] - out.scr27[i - 1], 27000000 * 40 / 1000) << "PCR gap before PCR " << i;
  }

  std::int64_t offset = kNoTime;
  for (std::size_t s = 0; s < inputs.size(); ++s) {
    SCOPED_TRACE("stream " + std::to_string(s));
    const int key = out.keyOfPid.at(0x100 + static_cast<int>(s));
    EXPECT_TRUE(out.elementary.at(key) == inputs[s].stream.bytes);
    // One PES per access unit, each with the unit's times moved by one offset, begun after a PCR
    // that is still ahead of its decode time.
    std::size_t unit = 0;
    for (const ParsedPes& pes : out.pes) {
      if (pes.key != key) continue;
      ASSERT_LT(unit, inputs[s].stream.units.size());
      const SyntheticUnit& expected = inputs[s].stream.units[unit++];
      EXPECT_EQ(pes.payloadStart, expected.offset);
      ASSERT_GE(pes.pts, 0);
      if (offset == kNoTime) offset = pes.pts - expected.pts;
      EXPECT_EQ(pes.pts - expected.pts, offset);
      const std::int64_t dts = pes.dts >= 0 ? pes.dts : pes.pts;
      EXPECT_EQ(dts - expected.dts, offset);
      EXPECT_GE(pes.clock27, 0);
      EXPECT_LT(pes.clock27, dts * 300);
    }
    EXPECT_EQ(unit, inputs[s].stream.units.size());
  }
}

TEST(TransportStreamWriterTest, StreamTypesFollowTheStreamKindAndAudioVersion) {
  using W = outside::TransportStreamWriter;
  EXPECT_EQ(W::StreamType(StreamKind::H264Video, 0), 0x1B);
  EXPECT_EQ(W::StreamType(StreamKind::AacAudio, 0), 0x0F);
  EXPECT_EQ(W::StreamType(StreamKind::MpegAudio, 1), 0x03);
  EXPECT_EQ(W::StreamType(StreamKind::MpegAudio, 2), 0x04);
}

}  // namespace
}  // namespace muxtest
