// The picture format learnt from a later sequence header reaches the demultiplexer's video pin
// when Flumetta is connected to it again.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/dshow/MediaType.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tests/support/Fixtures.h"
#include "tests/support/TsBuilder.h"
#include "tests/tsfilter/graph/FlumettaGraph.h"

namespace flumgraph {
namespace {

namespace fs = std::filesystem;
using namespace testsupport;

constexpr std::uint16_t kVideoPid = 0x100, kAudioPid = 0x101, kPmtPid = 0x1000;

// Square samples (an aspect code without a mapping) keep the analysis looking at every sequence
// header. The first, at the start, is 352x288; the second, beyond the opening analysis's first
// 10000 packets, 720x576.
Bytes Recording() {
  TsStream ts;
  ts.Section(0, PatBuilder().TransportStreamId(1).Program(1, kPmtPid).Build());
  ts.Section(kPmtPid, PmtBuilder(1).PcrPid(kVideoPid).Stream(2, kVideoPid).Stream(3, kAudioPid).Build());
  std::uint64_t pts = 90000;
  for (auto [width, height] : {std::pair{352, 288}, std::pair{720, 576}}) {
    Mpeg2SequenceHeader header;
    header.horizontal_size_value = static_cast<std::uint16_t>(width);
    header.vertical_size_value = static_cast<std::uint16_t>(height);
    header.aspect_ratio_information = 1;
    Bytes es = header.Build();
    es.resize(400, 0xAA);
    ts.Pes(kVideoPid, PesBuilder(0xE0).Pts(pts).Unbounded().Payload(es).Build());
    ts.Pes(kAudioPid, PesBuilder(0xC0).Pts(pts).Payload(Bytes(300, 0xFF)).Build());
    ts.NullPackets(12000);
    pts += 3600;
  }
  return ts.Data();
}

std::pair<std::uint32_t, std::uint32_t> VideoPinPictureSize(IBaseFilter* demux) {
  ComPtr<IPin> pin;
  ComPtr<IEnumMediaTypes> types;
  if (FAILED(demux->FindPin(u"Video", pin.GetAddressOf())) || FAILED(pin->EnumMediaTypes(types.GetAddressOf())))
    return {};
  AM_MEDIA_TYPE* type = nullptr;
  if (types->Next(1, &type, nullptr) != S_OK || !type) return {};
  std::pair<std::uint32_t, std::uint32_t> size{};
  if (type->cbFormat >= 84) {
    auto field = [type](std::size_t at) {
      const BYTE* p = type->pbFormat + at;
      return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    };
    size = {field(76), field(80)};  // biWidth, biHeight
  }
  DeleteMediaType(type);
  return size;
}

TEST(FormatUpdate, AReconnectionCarriesTheLaterSequenceHeadersPictureSize) {
  TemporaryRegistry registry;
  Modules modules;
  ASSERT_TRUE(modules.Problem().empty()) << modules.Problem();
  const fs::path dir = MakeTempDir("flumetta-format");
  const fs::path input = dir / "recording.ts";
  {
    const Bytes bytes = Recording();
    std::ofstream(input, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  FlumettaGraph g;
  ASSERT_EQ(g.Open(input.string()), S_OK);
  EXPECT_EQ(VideoPinPictureSize(g.demux.Get()), (std::pair<std::uint32_t, std::uint32_t>{352, 288}));
  ASSERT_EQ(g.WriteOutputs((dir / "v").string(), (dir / "a").string()), S_OK);
  ASSERT_EQ(g.RunToCompletion(), EC_COMPLETE);  // delivery meets the second header

  // Connected anew (its pins freed first), the demultiplexer's existing video pin takes the type
  // as it stands now.
  ComPtr<IPin> out, in, video, videoPeer;
  ASSERT_EQ(g.source->FindPin(u"TS Out", out.GetAddressOf()), S_OK);
  ASSERT_EQ(g.demux->FindPin(u"MPEG-2 Stream", in.GetAddressOf()), S_OK);
  ASSERT_EQ(g.demux->FindPin(u"Video", video.GetAddressOf()), S_OK);
  ASSERT_EQ(video->ConnectedTo(videoPeer.GetAddressOf()), S_OK);
  for (IPin* pin : {out.Get(), in.Get(), video.Get(), videoPeer.Get()}) ASSERT_EQ(g.graph->Disconnect(pin), S_OK);
  ASSERT_EQ(g.graph->ConnectDirect(out.Get(), in.Get(), nullptr), S_OK);
  EXPECT_EQ(VideoPinPictureSize(g.demux.Get()), (std::pair<std::uint32_t, std::uint32_t>{720, 576}));
  g.TearDown();
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

}  // namespace
}  // namespace flumgraph
