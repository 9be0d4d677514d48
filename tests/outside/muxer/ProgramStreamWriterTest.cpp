#include "outside/muxer/ProgramStreamWriter.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "MuxTestSupport.h"
#include "OutputParsers.h"
#include "SyntheticStreams.h"

namespace muxtest {
namespace {

using outside::kNoTime;
using outside::StreamKind;

struct Input {
  StreamKind kind;
  SyntheticStream stream;
  std::size_t unitsPerChunk;
  std::int64_t delay;  // how late (90 kHz) its chunks arrive relative to their decode time
};

struct Chunk {
  std::int64_t arrival;
  int stream;
  std::size_t unit, units;
};

// Interleaves the inputs' chunks by decode time plus each input's delay, as a demultiplexer would.
std::vector<Chunk> Schedule(const std::vector<Input>& inputs) {
  std::vector<Chunk> chunks;
  for (std::size_t s = 0; s < inputs.size(); ++s) {
    const auto& units = inputs[s].stream.units;
    for (std::size_t u = 0; u < units.size(); u += inputs[s].unitsPerChunk) {
      chunks.push_back({units[u].dts + inputs[s].delay, static_cast<int>(s), u,
                        std::min(inputs[s].unitsPerChunk, units.size() - u)});
    }
  }
  std::stable_sort(chunks.begin(), chunks.end(), [](const Chunk& a, const Chunk& b) { return a.arrival < b.arrival; });
  return chunks;
}

HRESULT MuxInputs(outside::MultiplexWriter& writer, outside::ByteSink& sink, const std::vector<Input>& inputs,
                  const outside::MuxSettings& settings = outside::MuxSettings()) {
  HRESULT hr = writer.Open(&sink, settings);
  for (const Input& input : inputs) {
    int index = -1;
    outside::StreamInfo info;
    info.kind = input.kind;
    if (SUCCEEDED(hr)) hr = writer.AddStream(info, &index);
  }
  for (const Chunk& chunk : Schedule(inputs)) {
    if (FAILED(hr)) return hr;
    const auto& s = inputs[chunk.stream].stream;
    const SyntheticUnit& first = s.units[chunk.unit];
    const SyntheticUnit& last = s.units[chunk.unit + chunk.units - 1];
    hr = writer.Write(chunk.stream, &s.bytes[first.offset], last.offset + last.size - first.offset, first.pts,
                      first.dts);
  }
  return SUCCEEDED(hr) ? writer.Finish() : hr;
}

// Replays the receiver: bytes enter at their pack's SCR, units leave at their decode time; returns
// the largest fill seen per stream key.
std::map<int, std::int64_t> PeakBufferFill(const ParsedOutput& out, const std::map<int, const SyntheticStream*>& byKey,
                                           std::int64_t offset) {
  std::map<int, std::int64_t> peak;
  for (const auto& [key, stream] : byKey) {
    // Events: (time27, +bytes) for each PES, (dts27, -unit size) for each unit.
    std::vector<std::pair<std::int64_t, std::int64_t>> events;
    for (const ParsedPes& pes : out.pes) {
      if (pes.key == key) events.emplace_back(pes.clock27, static_cast<std::int64_t>(pes.payloadBytes));
    }
    for (const SyntheticUnit& unit : stream->units) {
      events.emplace_back((unit.dts + offset) * 300 + 1, -static_cast<std::int64_t>(unit.size));
    }
    std::stable_sort(events.begin(), events.end());
    std::int64_t fill = 0;
    for (const auto& [time, delta] : events) {
      fill += delta;
      peak[key] = std::max(peak[key], fill);
    }
  }
  return peak;
}

struct PsCase {
  const char* name;
  std::vector<Input> inputs;
};

TEST(ProgramStreamWriterTest, PacksCarryEveryStreamUnchangedWithTimesAheadOfTheClock) {
  const PsCase cases[] = {
      {"video, AC3 and MP2 arriving together",
       {{StreamKind::Mpeg2Video, MakeMpeg2Video(75, {60000, 9000, 300, 250, 12000, 400, 350}, 1000), 1, 0},
        {StreamKind::Ac3Audio, MakeAc3(95, 1000 - 3000), 3, 0},
        {StreamKind::MpegAudio, MakeMp2(110, 48000, 900), 4, 0}}},
      {"audio arriving a second after its video",
       {{StreamKind::Mpeg2Video, MakeMpeg2Video(50, {30000, 8000, 2000}, 500000), 1, 0},
        {StreamKind::Ac3Audio, MakeAc3(60, 500000), 2, 90000}}},
      {"video alone, pictures smaller than a pack",
       {{StreamKind::Mpeg2Video, MakeMpeg2Video(40, {700, 150, 90}, 0), 1, 0}}},
  };
  for (const PsCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemorySink sink;
    outside::ProgramStreamWriter writer;
    ASSERT_EQ(MuxInputs(writer, sink, c.inputs), S_OK);
    EXPECT_EQ(writer.Statistics().lateUnits, 0u);
    EXPECT_EQ(writer.Statistics().droppedStamps, 0u);

    const ParsedOutput out = ParseProgramStream(sink.bytes);
    ASSERT_EQ(out.fault, "");
    EXPECT_EQ(out.systemHeaders, 1);
    for (std::size_t i = 1; i < out.scr27.size(); ++i) ASSERT_GT(out.scr27[i], out.scr27[i - 1]) << "pack " << i;

    // Keys as the writer numbers streams: video 0xE0.., MPEG audio 0xC0.., AC3 0x180...
    int video = 0xE0, mpeg = 0xC0, ac3 = 0x180;
    std::map<int, const SyntheticStream*> byKey;
    for (const Input& input : c.inputs) {
      const int key = input.kind == StreamKind::Ac3Audio ? ac3++ : outside::IsVideo(input.kind) ? video++ : mpeg++;
      byKey[key] = &input.stream;
      EXPECT_TRUE(out.elementary.at(key) == input.stream.bytes) << "stream " << std::hex << key;
    }

    // Every unit's times come through, moved by one offset, and every PES is in its pack ahead of
    // its decode time.
    std::int64_t offset = kNoTime;
    std::map<int, std::size_t> nextUnit;
    for (const ParsedPes& pes : out.pes) {
      if (pes.pts < 0) continue;
      const SyntheticStream& s = *byKey.at(pes.key);
      std::size_t& u = nextUnit[pes.key];
      while (u < s.units.size() && s.units[u].offset < pes.payloadStart) ++u;
      ASSERT_LT(u, s.units.size());
      if (offset == kNoTime) offset = pes.pts - s.units[u].pts;
      EXPECT_EQ(pes.pts - s.units[u].pts, offset);
      const std::int64_t dts = pes.dts >= 0 ? pes.dts : pes.pts;
      EXPECT_EQ(dts - s.units[u].dts, offset);
      EXPECT_LT(pes.clock27, dts * 300) << "late PES of stream " << std::hex << pes.key;
      if (pes.ac3Frames > 0) {
        const std::size_t at = pes.payloadStart + static_cast<std::size_t>(pes.ac3Pointer) - 1;
        EXPECT_EQ(s.bytes[at], 0x0B);
        EXPECT_EQ(at, s.units[u].offset);
      }
    }
    // No picture lost its stamp.
    const std::size_t videoStamps = std::count_if(out.pes.begin(), out.pes.end(),
                                                  [](const ParsedPes& p) { return p.key == 0xE0 && p.pts >= 0; });
    EXPECT_EQ(videoStamps, c.inputs[0].stream.units.size());

    for (const auto& [key, peak] : PeakBufferFill(out, byKey, offset)) {
      EXPECT_LE(peak, key >= 0xE0 && key < 0xF0 ? 230 * 1024 : 4096) << "buffer of stream " << std::hex << key;
    }
  }
}

TEST(ProgramStreamWriterTest, AFailingSinkFailsTheWritesAndTheFinish) {
  MemorySink sink;
  sink.failAfter = 100000;
  outside::ProgramStreamWriter writer;
  outside::MuxSettings settings;
  settings.outputBlockBytes = 16384;
  const std::vector<Input> inputs = {{StreamKind::Mpeg2Video, MakeMpeg2Video(100, {20000}, 0), 1, 0}};
  EXPECT_EQ(MuxInputs(writer, sink, inputs, settings), STG_E_MEDIUMFULL);
  EXPECT_EQ(writer.Finish(), STG_E_MEDIUMFULL);
}

TEST(ProgramStreamWriterTest, RefusesStreamsAProgramStreamDoesNotCarryAndLateAdditions) {
  MemorySink sink;
  outside::ProgramStreamWriter writer;
  ASSERT_EQ(writer.Open(&sink, outside::MuxSettings()), S_OK);
  int index = -1;
  outside::StreamInfo info;
  info.kind = StreamKind::H264Video;
  EXPECT_EQ(writer.AddStream(info, &index), E_INVALIDARG);
  info.kind = StreamKind::AacAudio;
  EXPECT_EQ(writer.AddStream(info, &index), E_INVALIDARG);
  info.kind = StreamKind::Mpeg2Video;
  ASSERT_EQ(writer.AddStream(info, &index), S_OK);
  const std::uint8_t byte = 0;
  ASSERT_EQ(writer.Write(index, &byte, 1, kNoTime, kNoTime), S_OK);
  EXPECT_EQ(writer.AddStream(info, &index), E_UNEXPECTED);
  EXPECT_EQ(writer.Write(7, &byte, 1, kNoTime, kNoTime), E_UNEXPECTED);
}

}  // namespace
}  // namespace muxtest
