// Loads arbitrary bytes as an ASF recording and reads everything a host can read from it: the
// header and its attributes (and a header rebuilt with one more attribute, which must parse
// again), every packet with the times of every object, the index, and the stream-buffer source
// delivering the file into renderers, with a seek half-way. The bytes are also parsed as one
// packet. Any crash, hang, out-of-range read or undefined behaviour is a finding.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/activation.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/filters/streambuffer/AsfAttributes.h"
#include "platform/filters/streambuffer/AsfFileReader.h"
#include "platform/filters/streambuffer/AsfPacketParser.h"
#include "platform/filters/streambuffer/DecodeOrderTimes.h"
#include "platform/filters/streambuffer/HeaderRewriter.h"
#include "platform/filters/streambuffer/PlayableStreams.h"
#include "tests/platform/filters/TestGraph.h"
#include "tests/platform/filters/streambuffer/CollectingRenderer.h"

namespace {

class TimesOfEveryObject final : public asf::AsfPayloadSink {
 public:
  TimesOfEveryObject(const std::vector<asf::PlayableStream>& streams, std::uint64_t preroll) : m_streams(streams), m_preroll(preroll) {
    m_pictures.Reset({});
  }
  HRESULT OnPayload(const asf::AsfPayload& payload) override {
    for (const asf::PlayableStream& stream : m_streams) {
      if (stream.number != payload.stream || payload.offset != 0) continue;
      const asf::PayloadTimes times = asf::TimesOf(stream, payload, m_preroll);
      std::int64_t presentation = 0;
      if (stream.IsVideo() && times.hasStart) m_pictures.PresentationTime(payload.data, payload.size, times.start, &presentation);
      (void)asf::AudioCodecOfPayload(payload.data, payload.size);
    }
    return S_OK;
  }

 private:
  const std::vector<asf::PlayableStream>& m_streams;
  std::uint64_t m_preroll;
  asf::DecodeOrderTimes m_pictures;
};

void ReadFile(const std::string& path) {
  asf::AsfFileReader reader;
  if (FAILED(reader.Open(path))) return;
  asf::AttributeList attributes;
  attributes.Read(reader.HeaderBytes().data(), reader.Header());
  asf::RecordingAttribute title{u"Title", STREAMBUFFER_TYPE_STRING, {'a', 0, 0, 0}};
  attributes.Set(title);
  const std::vector<std::uint8_t> rebuilt =
      asf::BuildHeaderWithAttributes(reader.HeaderBytes().data(), reader.Header(), attributes, 0, 64);
  asf::AsfHeader again;
  if (FAILED(asf::ParseAsfHeader(rebuilt.data(), rebuilt.size(), &again))) __builtin_trap();  // ours must parse

  std::vector<asf::PlayableStream> streams;
  asf::FindPlayableStreams(reader.Header(), &streams);
  TimesOfEveryObject sink(streams, reader.Header().file.prerollMs);
  std::vector<std::uint8_t> packet(reader.PacketSize());
  for (std::uint64_t p = 0; p < reader.PacketCount() && p < 4096; ++p) {
    std::uint32_t read = 0;
    if (FAILED(reader.ReadPackets(p, 1, packet.data(), &read)) || read != 1) break;
    asf::ParseAsfPacket(packet.data(), packet.size(), sink);
  }
  for (std::uint64_t t = 0; t < 5; ++t) (void)reader.Index().PacketFor(t * 10'000'000);
}

void PlayFile(const std::string& path) {
  ComPtr<TestGraph> graph = TestGraph::Create();
  ComPtr<IBaseFilter> source;
  if (FAILED(CoCreateInstance(CLSID_StreamBufferSource, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(source.GetAddressOf()))))
    return;
  graph->AddFilter(source.Get(), u"source");
  ComPtr<IFileSourceFilter> file;
  source.As(&file);
  if (FAILED(file->Load(Utf8ToUtf16(path).c_str(), nullptr))) return;
  std::size_t pins = 0;
  for (const char16_t* name : {u"DVR Out - 1", u"DVR Out - 2"}) {
    ComPtr<IPin> out;
    if (FAILED(source->FindPin(name, out.GetAddressOf()))) continue;
    ComPtr<dvrtest::CollectingRenderer> renderer;
    renderer.Attach(dvrtest::CollectingRenderer::Make());
    graph->AddFilter(renderer.Get(), name);
    if (SUCCEEDED(graph->ConnectDirect(out.Get(), renderer->Input(), nullptr))) ++pins;
  }
  if (pins == 0 || FAILED(graph->Run())) return;
  graph->WaitForEvents(EC_COMPLETE, pins, 10);
  ComPtr<IMediaSeeking> seeking = source.As<IMediaSeeking>();
  LONGLONG duration = 0, current = 0;
  seeking->GetDuration(&duration);
  LONGLONG half = duration / 2;
  seeking->SetPositions(&half, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
  graph->WaitForEvents(EC_COMPLETE, 2 * pins, 10);
  seeking->GetCurrentPosition(&current);
  graph->TearDown();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    struct Null final : asf::AsfPayloadSink {
      HRESULT OnPayload(const asf::AsfPayload&) override { return S_OK; }
    } null;
    asf::ParseAsfPacket(data, size, null);
  }
  const int fd = memfd_create("asffuzz", MFD_CLOEXEC);
  if (fd < 0) return 0;
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = write(fd, data + written, size - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  ReadFile(path);
  PlayFile(path);
  close(fd);
  return 0;
}
