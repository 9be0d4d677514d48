// Broken files and packets: every one gives a clear status (or is skipped as damaged), none is
// read beyond its bytes (the sanitizer build checks), none crashes or hangs.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/StreamBufferInterfaces.h"
#include "platform/filters/streambuffer/AsfBytes.h"
#include "platform/filters/streambuffer/AsfFileReader.h"
#include "platform/filters/streambuffer/AsfGuids.h"
#include "platform/filters/streambuffer/AsfPacketParser.h"
#include "tests/platform/filters/streambuffer/AsfTestFiles.h"
#include "tests/support/Fixtures.h"

namespace dvrtest {
namespace {

struct Layout {
  std::size_t headerSize = 0;
  asf::AsfHeader header;
  std::size_t Child(const GUID& id) const {
    for (const auto& c : header.children)
      if (c.id == id) return c.offset;
    return 0;
  }
  std::size_t Extension(const GUID& id) const {
    for (const auto& c : header.extensionChildren)
      if (c.id == id) return c.offset;
    return 0;
  }
};

class AsfRobustnessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = testsupport::MakeTempDir("asf-robust");
    std::unique_ptr<asf::RecordingFile> file;
    ASSERT_EQ(asf::RecordingFile::Create((m_dir / "good.dvr-ms").string(), VideoAndAudio(), &file), S_OK);
    for (unsigned i = 0; i < 20; ++i) {
      const Bytes v = Pattern(20'000, i, SequenceStart()), a = Pattern(700, i, {0x0B, 0x77});
      ASSERT_EQ(file->Write(0, {v.data(), v.size(), true, i * 400'000, true, i * 400'000, true}), S_OK);
      ASSERT_EQ(file->Write(1, {a.data(), a.size(), true, i * 400'000, false, 0, true}), S_OK);
    }
    ASSERT_EQ(file->Finish(), S_OK);
    m_good = ReadBytes(m_dir / "good.dvr-ms");
    m_layout.headerSize = static_cast<std::size_t>(asf::HeaderObjectSize(m_good.data(), m_good.size()));
    ASSERT_EQ(asf::ParseAsfHeader(m_good.data(), m_layout.headerSize, &m_layout.header), S_OK);
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  std::filesystem::path m_dir;
  Bytes m_good;
  Layout m_layout;
};

void Put(Bytes& bytes, std::size_t at, std::uint64_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

TEST_F(AsfRobustnessTest, BrokenFilesGiveAClearStatus) {
  const Layout& l = m_layout;
  const std::size_t fileProperties = l.Child(asf::kFileProperties);
  const std::size_t extension = l.Child(asf::kHeaderExtension);
  const std::size_t streamProperties = l.Child(asf::kStreamProperties);
  const std::size_t extended = l.Extension(asf::kExtendedStreamProperties);
  struct Case {
    const char* name;
    std::function<void(Bytes&)> spoil;
    HRESULT expected;
  };
  const Case cases[] = {
      {"empty", [](Bytes& b) { b.clear(); }, asf::kNotAsf},
      {"cut inside the header object's fixed part", [](Bytes& b) { b.resize(29); }, asf::kNotAsf},
      {"cut inside the header", [&](Bytes& b) { b.resize(l.headerSize - 1); }, asf::kNotAsf},
      {"cut inside the data object's header", [&](Bytes& b) { b.resize(l.headerSize + 10); }, asf::kNotAsf},
      {"not an ASF file", [](Bytes& b) { b[0] ^= 0xFF; }, asf::kNotAsf},
      {"header size beyond the file", [&](Bytes& b) { Put(b, 16, b.size() + 1, 8); }, asf::kNotAsf},
      {"header size of a terabyte", [](Bytes& b) { Put(b, 16, std::uint64_t{1} << 40, 8); }, asf::kNotAsf},
      {"header size smaller than its fixed part", [](Bytes& b) { Put(b, 16, 29, 8); }, asf::kNotAsf},
      {"a child of size zero", [&](Bytes& b) { Put(b, fileProperties + 16, 0, 8); }, asf::kNotAsf},
      {"a child larger than the header", [&](Bytes& b) { Put(b, fileProperties + 16, l.headerSize, 8); }, asf::kNotAsf},
      {"packets of varying size", [&](Bytes& b) { Put(b, fileProperties + 92, 100, 4); }, asf::kNotAsf},
      {"packets of size zero", [&](Bytes& b) { Put(b, fileProperties + 92, 0, 4), Put(b, fileProperties + 96, 0, 4); }, asf::kNotAsf},
      {"extension data larger than the extension", [&](Bytes& b) { Put(b, extension + 42, 1u << 30, 4); }, asf::kNotAsf},
      {"type-specific data beyond its object", [&](Bytes& b) { Put(b, streamProperties + 64, 1u << 30, 4); }, asf::kNotAsf},
      {"65535 payload extension systems", [&](Bytes& b) { Put(b, extended + 86, 0xFFFF, 2); }, asf::kNotAsf},
      {"no data object", [&](Bytes& b) { b[l.headerSize] ^= 0xFF; }, asf::kNotAsf},
      {"a data object larger than the file (its packets are read)", [&](Bytes& b) { Put(b, l.headerSize + 16, 1ull << 40, 8); }, S_OK},
      {"a video FourCC that is not MPEG-2 (the audio is played)", [&](Bytes& b) { b[streamProperties + 78 + 11 + 16] = 'X'; }, S_OK},
      {"protected content", [&](Bytes& b) { Put(b, streamProperties + 72, 0x8001, 2); }, asf::kProtectedContent},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = m_good;
    c.spoil(bytes);
    const std::filesystem::path path = m_dir / "broken.dvr-ms";
    WriteBytes(path, bytes);
    ComPtr<IFileSourceFilter> source;
    ASSERT_EQ(CoCreateInstance(CLSID_StreamBufferSource, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(source.GetAddressOf())), S_OK);
    EXPECT_EQ(source->Load(Utf8ToUtf16(path.string()).c_str(), nullptr), c.expected);
    ComPtr<IFileSourceFilter> attributes;
    ASSERT_EQ(CoCreateInstance(CLSID_StreamBufferRecordingAttributes, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(attributes.GetAddressOf())), S_OK);
    const HRESULT loaded = attributes->Load(Utf8ToUtf16(path.string()).c_str(), nullptr);
    EXPECT_EQ(SUCCEEDED(loaded), SUCCEEDED(c.expected) || c.expected == asf::kProtectedContent);
  }
}

// A packet with several payloads, built field by field.
struct PacketBuilder {
  asf::AsfBuilder out;
  explicit PacketBuilder(std::uint8_t lengthFlags = 0x11, std::uint16_t padding = 0) {
    out.U8(0x82), out.U8(0), out.U8(0);
    out.U8(lengthFlags);
    out.U8(0x5D);
    out.U16(padding);
    out.U32(1000);  // send time
    out.U16(0);
  }
  void Payloads(std::uint8_t count) { out.U8(static_cast<std::uint8_t>(0x80 | count)); }
  void Payload(std::uint8_t stream, std::uint32_t offset, std::uint32_t objectSize, std::uint16_t length,
               std::size_t actual) {
    out.U8(stream), out.U8(0), out.U32(offset), out.U8(8), out.U32(objectSize), out.U32(1000);
    out.U16(length);
    out.Zeros(actual);
  }
  Bytes Finish(std::size_t size) {
    Bytes bytes = out.Bytes();
    bytes.resize(size, 0);
    return bytes;
  }
};

class CountingSink final : public asf::AsfPayloadSink {
 public:
  HRESULT OnPayload(const asf::AsfPayload& p) override {
    payloads.push_back(p);
    return S_OK;
  }
  std::vector<asf::AsfPayload> payloads;
};

TEST(AsfPacketParser, DamagedPacketsAreReportedWithTheWholePayloadsBeforeTheDamage) {
  struct Case {
    const char* name;
    std::function<Bytes()> packet;
    HRESULT expected;
    std::size_t payloads;
  };
  const Case cases[] = {
      {"zero bytes", [] { return Bytes{}; }, asf::kDamagedPacket, 0},
      {"only error correction", [] { return Bytes{0x82, 0, 0}; }, asf::kDamagedPacket, 0},
      {"error correction with a length type", [] { return Bytes{0xE2, 0, 0, 0x11, 0x5D, 0, 0, 0, 0, 0, 0, 0, 0, 0x81}; }, asf::kDamagedPacket, 0},
      {"padding beyond the packet", [] { PacketBuilder b(0x11, 300); b.Payloads(1); b.Payload(1, 0, 10, 10, 10); return b.Finish(200); }, asf::kDamagedPacket, 0},
      {"more payloads claimed than there are", [] { PacketBuilder b; b.Payloads(5); b.Payload(1, 0, 10, 10, 10); return b.Finish(b.out.Size()); }, asf::kDamagedPacket, 1},
      {"a payload running past the packet", [] { PacketBuilder b; b.Payloads(1); b.Payload(1, 0, 5000, 5000, 10); return b.Finish(200); }, asf::kDamagedPacket, 0},
      {"payload lengths of no type", [] { PacketBuilder b; b.out.U8(0x01); b.Payload(1, 0, 10, 10, 10); return b.Finish(200); }, asf::kDamagedPacket, 0},
      {"a zero-length payload is no object", [] { PacketBuilder b; b.Payloads(2); b.Payload(1, 0, 10, 0, 0); b.Payload(2, 0, 10, 10, 10); return b.Finish(200); }, S_OK, 1},
      {"a packet length shorter than the packet", [] {
         PacketBuilder b(0x11 | 0x40);  // WORD packet length first
         b.out.Bytes().insert(b.out.Bytes().begin() + 5, {60, 0});
         b.Payloads(1);
         b.Payload(1, 0, 10, 10, 10);
         return b.Finish(400); }, S_OK, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes packet = c.packet();
    CountingSink sink;
    EXPECT_EQ(asf::ParseAsfPacket(packet.data(), packet.size(), sink), c.expected);
    EXPECT_EQ(sink.payloads.size(), c.payloads);
    for (const auto& p : sink.payloads) {
      EXPECT_GE(p.data, packet.data());
      EXPECT_LE(p.data + p.size, packet.data() + packet.size());
    }
  }
}

TEST(AsfPacketParser, CompressedPayloadsAreRunsOfWholeObjectsOneTimeDeltaApart) {
  PacketBuilder b(0x10);  // a single payload, WORD padding length
  b.out.U8(0x82);         // stream 2, key frame
  b.out.U8(7);            // object number
  b.out.U32(5000);        // the offset field holds the presentation time
  b.out.U8(1);            // replicated length 1: compressed
  b.out.U8(32);           // time delta
  for (std::uint8_t size : {3, 1, 4}) {
    b.out.U8(size);
    for (std::uint8_t i = 0; i < size; ++i) b.out.U8(size);
  }
  Bytes packet = b.out.Bytes();
  CountingSink sink;
  ASSERT_EQ(asf::ParseAsfPacket(packet.data(), packet.size(), sink), S_OK);
  ASSERT_EQ(sink.payloads.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(sink.payloads[i].offset, 0u);
    EXPECT_EQ(sink.payloads[i].objectSize, sink.payloads[i].size);
    EXPECT_EQ(sink.payloads[i].presentationMs, 5000u + 32 * i);
    EXPECT_TRUE(sink.payloads[i].keyFrame);
  }
  EXPECT_EQ(sink.payloads[2].size, 4u);
  // A run that claims more bytes than are left: the runs before it are whole, the packet damaged.
  packet.resize(packet.size() - 5);
  packet.push_back(200);
  packet.push_back(1);
  CountingSink cut;
  EXPECT_EQ(asf::ParseAsfPacket(packet.data(), packet.size(), cut), asf::kDamagedPacket);
  EXPECT_EQ(cut.payloads.size(), 2u);
}

}  // namespace
}  // namespace dvrtest
