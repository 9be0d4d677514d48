#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/filters/TsDemuxEngine.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Small local builders: a PES packet and its split into transport packets (the last one padded
// with adaptation-field stuffing, as multiplexers do).
Bytes MakePes(std::uint8_t streamId, bool bounded, const Bytes& payload, std::int64_t pts = -1, std::int64_t dts = -1) {
  Bytes header;
  auto putTs = [&header](std::uint8_t prefix, std::uint64_t ts) {
    header.push_back(static_cast<std::uint8_t>((prefix << 4) | (((ts >> 30) & 7) << 1) | 1));
    header.push_back(static_cast<std::uint8_t>(ts >> 22));
    header.push_back(static_cast<std::uint8_t>(((ts >> 15) & 0x7F) << 1 | 1));
    header.push_back(static_cast<std::uint8_t>(ts >> 7));
    header.push_back(static_cast<std::uint8_t>((ts & 0x7F) << 1 | 1));
  };
  if (pts >= 0 && dts >= 0) {
    putTs(3, pts);
    putTs(1, dts);
  } else if (pts >= 0) {
    putTs(2, pts);
  }
  const std::uint8_t flags = pts < 0 ? 0x00 : (dts < 0 ? 0x80 : 0xC0);
  const std::size_t length = bounded ? 3 + header.size() + payload.size() : 0;
  Bytes pes = {0, 0, 1, streamId, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), 0x80,
               flags, static_cast<std::uint8_t>(header.size())};
  pes.insert(pes.end(), header.begin(), header.end());
  pes.insert(pes.end(), payload.begin(), payload.end());
  return pes;
}

Bytes MakePacket(std::uint16_t pid, int cc, bool pusi, const std::uint8_t* data, std::size_t size,
                 bool discontinuityIndicator = false) {
  Bytes p = {0x47, static_cast<std::uint8_t>((pusi ? 0x40 : 0) | (pid >> 8)), static_cast<std::uint8_t>(pid), 0};
  const std::size_t room = 184;
  size = std::min(size, room);
  if (size < room || discontinuityIndicator) {
    size = std::min(size, room - 2);
    const std::size_t afLength = room - 1 - size;
    p[3] = static_cast<std::uint8_t>(0x30 | (cc & 0xF));
    p.push_back(static_cast<std::uint8_t>(afLength));
    if (afLength > 0) {
      p.push_back(discontinuityIndicator ? 0x80 : 0x00);
      p.insert(p.end(), afLength - 1, 0xFF);
    }
  } else {
    p[3] = static_cast<std::uint8_t>(0x10 | (cc & 0xF));
  }
  p.insert(p.end(), data, data + size);
  return p;
}

std::vector<Bytes> Packetize(std::uint16_t pid, const Bytes& pes, int& cc) {
  std::vector<Bytes> packets;
  std::size_t pos = 0;
  while (pos < pes.size()) {
    const std::size_t remaining = pes.size() - pos;
    const std::size_t take = remaining >= 184 ? 184 : std::min<std::size_t>(remaining, 182);
    packets.push_back(MakePacket(pid, cc, pos == 0, pes.data() + pos, take));
    cc = (cc + 1) & 0xF;
    pos += take;
  }
  return packets;
}

Bytes Pattern(std::size_t size, std::uint8_t seed) {
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7);
  return b;
}

Bytes Concat(const std::vector<Bytes>& packets) {
  Bytes all;
  for (const Bytes& p : packets) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct Unit {
  std::size_t stream;
  Bytes data;
  bool isPesStart, discontinuity, hasPts;
  std::int64_t pts, dts;
};

class RecordingSink : public IPesUnitSink {
 public:
  HRESULT DeliverPesUnit(std::size_t stream, const PesUnit& u) override {
    units.push_back({stream, Bytes(u.data, u.data + u.size), u.isPesStart, u.discontinuity, u.hasPts, u.pts, u.dts});
    return result;
  }
  Bytes StreamBytes(std::size_t stream) const {
    Bytes all;
    for (const Unit& u : units)
      if (u.stream == stream) all.insert(all.end(), u.data.begin(), u.data.end());
    return all;
  }
  std::vector<Unit> units;
  HRESULT result = S_OK;
};

HRESULT PushInChunks(TsDemuxEngine& engine, const Bytes& data, std::size_t chunk) {
  for (std::size_t pos = 0; pos < data.size(); pos += chunk) {
    HRESULT hr = engine.Push(data.data() + pos, std::min(chunk, data.size() - pos));
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

constexpr std::uint16_t kVideoPid = 0x100;
constexpr std::uint16_t kAudioPid = 0x101;

TEST(TsDemuxEngine, ReassemblesInterleavedStreamsWhateverTheFeedSize) {
  // Video: unbounded PES packets with PTS and DTS; audio: bounded ones with PTS; plus a PID nobody
  // mapped.
  const std::vector<Bytes> videoPayloads = {Pattern(1000, 1), Pattern(400, 2), Pattern(2500, 3)};
  const std::vector<Bytes> audioPayloads = {Pattern(300, 4), Pattern(184 - 14, 5), Pattern(700, 6)};
  std::vector<Bytes> packets;
  int videoCc = 0, audioCc = 5, otherCc = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    auto v = Packetize(kVideoPid, MakePes(0xE0, false, videoPayloads[i], 90000 + 3600 * i, 86400 + 3600 * i), videoCc);
    auto a = Packetize(kAudioPid, MakePes(0xC0, true, audioPayloads[i], 89000 + 2160 * i), audioCc);
    auto o = Packetize(0x200, MakePes(0xC1, true, Pattern(50, 9), 1), otherCc);
    // Interleave: audio packets between the video ones.
    for (std::size_t k = 0; k < std::max(v.size(), a.size()); ++k) {
      if (k < v.size()) packets.push_back(v[k]);
      if (k < a.size()) packets.push_back(a[k]);
    }
    packets.insert(packets.end(), o.begin(), o.end());
  }
  const Bytes stream = Concat(packets);

  for (std::size_t chunk : {stream.size(), std::size_t{1}, std::size_t{7}, std::size_t{188}, std::size_t{189},
                            std::size_t{1000}}) {
    SCOPED_TRACE(chunk);
    RecordingSink sink;
    TsDemuxEngine engine(sink, 0);
    ASSERT_EQ(engine.MapPid(kVideoPid, 0), S_OK);
    ASSERT_EQ(engine.MapPid(kAudioPid, 1), S_OK);
    ASSERT_EQ(PushInChunks(engine, stream, chunk), S_OK);
    ASSERT_EQ(engine.EndOfStream(), S_OK);

    std::vector<Unit> video, audio;
    for (const Unit& u : sink.units) (u.stream == 0 ? video : audio).push_back(u);
    ASSERT_EQ(video.size(), 3u);
    ASSERT_EQ(audio.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(video[i].data, videoPayloads[i]);
      EXPECT_TRUE(video[i].isPesStart && video[i].hasPts);
      EXPECT_EQ(video[i].pts, static_cast<std::int64_t>(90000 + 3600 * i));
      EXPECT_EQ(video[i].dts, static_cast<std::int64_t>(86400 + 3600 * i));
      EXPECT_EQ(audio[i].data, audioPayloads[i]);
      EXPECT_EQ(audio[i].pts, static_cast<std::int64_t>(89000 + 2160 * i));
      EXPECT_EQ(audio[i].dts, audio[i].pts);
      EXPECT_EQ(video[i].discontinuity, i == 0);  // the first unit after start
    }
    EXPECT_EQ(engine.Counters().continuityErrors, 0u);
  }
}

TEST(TsDemuxEngine, CutsAnUnboundedPacketIntoChunksWithTimesOnTheFirst) {
  RecordingSink sink;
  TsDemuxEngine engine(sink, PesAssembler::kMinCapacity);
  engine.MapPid(kVideoPid, 0);
  const Bytes payload = Pattern(PesAssembler::kMinCapacity * 2 + 5000, 3);
  int cc = 0;
  const Bytes stream = Concat(Packetize(kVideoPid, MakePes(0xE0, false, payload, 1000), cc));
  ASSERT_EQ(engine.Push(stream.data(), stream.size()), S_OK);
  EXPECT_EQ(sink.units.size(), 2u);  // two full chunks so far, the rest waits for the end
  engine.EndOfStream();
  ASSERT_EQ(sink.units.size(), 3u);
  EXPECT_TRUE(sink.units[0].hasPts && sink.units[0].isPesStart);
  EXPECT_FALSE(sink.units[1].hasPts || sink.units[1].isPesStart);
  EXPECT_FALSE(sink.units[2].hasPts);
  EXPECT_EQ(sink.StreamBytes(0), payload);
}

// Continuity: what a lost, a repeated and an announced jump do to the output.
TEST(TsDemuxEngine, HandlesContinuityFaults) {
  const Bytes payload = Pattern(184 * 4 - 14, 7);  // exactly four packets with its header
  int cc = 3;
  const std::vector<Bytes> packets = Packetize(kAudioPid, MakePes(0xC0, false, payload, 500), cc);
  ASSERT_EQ(packets.size(), 4u);
  Bytes second184(packets[1].begin() + 4, packets[1].end());

  struct Case {
    const char* name;
    std::vector<Bytes> packets;
    Bytes expected;
    std::uint64_t continuityErrors, duplicates;
    bool damagedUnitDiscontinuity;
  };
  Bytes withoutSecond = payload;
  withoutSecond.erase(withoutSecond.begin() + (184 - 14), withoutSecond.begin() + (184 - 14) + 184);
  std::vector<Bytes> announced = packets;
  announced[2] = MakePacket(kAudioPid, 9, false, packets[2].data() + 4, 182, true);
  Bytes announcedPayload = payload;
  announcedPayload.erase(announcedPayload.begin() + 2 * 184 - 14 + 182, announcedPayload.begin() + 3 * 184 - 14);
  const Case cases[] = {
      {"lost packet: counted, rest kept", {packets[0], packets[2], packets[3]}, withoutSecond, 1, 0, true},
      {"repeated packet: dropped", {packets[0], packets[1], packets[1], packets[2], packets[3]}, payload, 0, 1, false},
      {"announced jump: no error", {packets[0], packets[1], announced[2], MakePacket(kAudioPid, 10, false,
                                                                                      packets[3].data() + 4, 184)},
       announcedPayload, 0, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingSink sink;
    TsDemuxEngine engine(sink, 0);
    engine.MapPid(kAudioPid, 0);
    // A clean packet before (counter 2) and after the case's packets.
    int cleanCc = 2;
    std::vector<Bytes> all = Packetize(kAudioPid, MakePes(0xC0, false, Pattern(10, 1), 100), cleanCc);
    all.insert(all.end(), c.packets.begin(), c.packets.end());
    int nextCc = (c.packets.back()[3] + 1) & 0xF;
    for (const Bytes& p : Packetize(kAudioPid, MakePes(0xC0, false, Pattern(10, 1), 900), nextCc)) all.push_back(p);
    const Bytes stream = Concat(all);
    ASSERT_EQ(engine.Push(stream.data(), stream.size()), S_OK);
    engine.EndOfStream();
    ASSERT_EQ(sink.units.size(), 3u);
    EXPECT_EQ(sink.units[1].data, c.expected);
    EXPECT_EQ(engine.Counters().continuityErrors, c.continuityErrors);
    EXPECT_EQ(engine.Counters().duplicates, c.duplicates);
    EXPECT_EQ(sink.units[1].discontinuity, c.damagedUnitDiscontinuity);
    EXPECT_FALSE(sink.units[2].discontinuity);
  }
}

// Damaged input never crashes and costs only the damaged part.
TEST(TsDemuxEngine, SurvivesDamagedInput) {
  int cc = 0;
  const Bytes good1 = Pattern(100, 1), good2 = Pattern(100, 2);
  const std::vector<Bytes> first = Packetize(kAudioPid, MakePes(0xC0, true, good1, 10), cc);
  const std::vector<Bytes> second = Packetize(kAudioPid, MakePes(0xC0, true, good2, 20), cc);
  Bytes notPes = MakePacket(kAudioPid, cc, true, Pattern(184, 0x47).data(), 184);
  cc = (cc + 1) & 0xF;
  Bytes badAdaptation = first[0];
  badAdaptation[3] = 0x30;
  badAdaptation[4] = 183;  // no room left for the payload it claims
  Bytes reserved = first[0];
  reserved[3] = 0x00;
  const std::vector<Bytes> third = Packetize(kAudioPid, MakePes(0xC0, true, good2, 30), cc);

  Bytes stream = Concat(first);
  stream.insert(stream.end(), {0x47, 0x12, 0x00, 0x47, 0x00});  // garbage between packets
  for (const Bytes& p : {second[0], notPes, badAdaptation, reserved, third[0]}) stream.insert(stream.end(), p.begin(), p.end());

  RecordingSink sink;
  TsDemuxEngine engine(sink, 0);
  engine.MapPid(kAudioPid, 0);
  ASSERT_EQ(engine.Push(stream.data(), stream.size()), S_OK);
  engine.EndOfStream();
  ASSERT_EQ(sink.units.size(), 3u);
  EXPECT_EQ(sink.units[0].data, good1);
  EXPECT_EQ(sink.units[1].data, good2);
  EXPECT_EQ(sink.units[2].data, good2);
  EXPECT_EQ(sink.units[2].pts, 30);
  EXPECT_EQ(engine.Counters().syncLosses, 1u);
  EXPECT_EQ(engine.Counters().invalidPesHeaders, 1u);
  EXPECT_EQ(engine.Counters().badAdaptationFields, 2u);
}

TEST(TsDemuxEngine, StopsAtASinkFailureAndResetsCleanly) {
  int cc = 0;
  Bytes stream;
  for (int i = 0; i < 3; ++i) {
    for (const Bytes& p : Packetize(kAudioPid, MakePes(0xC0, true, Pattern(400, 1), 100 * i), cc))
      stream.insert(stream.end(), p.begin(), p.end());
  }
  RecordingSink sink;
  sink.result = E_OUTOFMEMORY;
  TsDemuxEngine engine(sink, 0);
  engine.MapPid(kAudioPid, 0);
  EXPECT_EQ(engine.Push(stream.data(), stream.size()), E_OUTOFMEMORY);
  EXPECT_EQ(sink.units.size(), 1u);

  // After a reset (a flush), a packet cut in the middle is dropped and the stream restarts at the
  // next start, flagged as a discontinuity.
  sink.units.clear();
  sink.result = S_OK;
  engine.Reset();
  const std::size_t middle = 188 + 100;
  ASSERT_EQ(engine.Push(stream.data() + middle, stream.size() - middle), S_OK);
  ASSERT_EQ(sink.units.size(), 2u);
  EXPECT_TRUE(sink.units[0].discontinuity);
  EXPECT_EQ(sink.units[0].pts, 100);
  EXPECT_EQ(engine.UnmapPid(kAudioPid), S_OK);
  EXPECT_EQ(engine.UnmapPid(kAudioPid), S_FALSE);
  EXPECT_EQ(engine.MapPid(0x2000, 0), E_INVALIDARG);
}

TEST(TsDemuxEngine, TimesKeepIncreasingAcrossTheClockWrap) {
  constexpr std::int64_t kWrap = std::int64_t{1} << 33;
  int cc = 0;
  Bytes stream;
  const std::int64_t raw[] = {kWrap - 7200, kWrap - 3600, 0, 3600};
  for (std::int64_t pts : raw) {
    for (const Bytes& p : Packetize(kVideoPid, MakePes(0xE0, true, Pattern(50, 1), pts), cc))
      stream.insert(stream.end(), p.begin(), p.end());
  }
  RecordingSink sink;
  TsDemuxEngine engine(sink, 0);
  engine.MapPid(kVideoPid, 0);
  engine.Push(stream.data(), stream.size());
  ASSERT_EQ(sink.units.size(), 4u);
  for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(sink.units[i].pts - sink.units[i - 1].pts, 3600);
}

}  // namespace
