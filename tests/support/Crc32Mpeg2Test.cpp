#include "tests/support/Crc32Mpeg2.h"

#include <gtest/gtest.h>

#include "tests/support/TsBuilder.h"

namespace testsupport {
namespace {

// Bit-at-a-time reference, independent of the table-driven implementation.
uint32_t ReferenceCrc(std::span<const uint8_t> data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t byte : data) {
    for (int bit = 7; bit >= 0; --bit) {
      const bool top = ((crc >> 31) & 1u) != (((byte >> bit) & 1u) != 0);
      crc <<= 1;
      if (top) crc ^= 0x04C11DB7u;
    }
  }
  return crc;
}

TEST(Crc32Mpeg2Test, MatchesCheckValueAndReference) {
  const Bytes check = BytesOf("123456789");
  EXPECT_EQ(Crc32Mpeg2(check), 0x0376E6E7u);  // the catalogued check value of CRC-32/MPEG-2
  EXPECT_EQ(Crc32Mpeg2({}), 0xFFFFFFFFu);

  Bytes data;
  for (int i = 0; i < 1021; ++i) data.push_back(static_cast<uint8_t>(i * 37 + 11));
  for (size_t length : {1u, 2u, 3u, 7u, 183u, 1021u}) {
    SCOPED_TRACE(length);
    EXPECT_EQ(Crc32Mpeg2(std::span(data).first(length)), ReferenceCrc(std::span(data).first(length)));
  }
}

TEST(Crc32Mpeg2Test, BuiltSectionsCarryCorrectCrc) {
  struct Case {
    const char* name;
    Bytes section;
    bool valid;
  };
  const Case cases[] = {
      {"pat", PatBuilder().TransportStreamId(7).Program(0, 0x10).Program(1, 0x1000).Build(), true},
      {"pmt", PmtBuilder(1).PcrPid(0x100).Stream(0x02, 0x100).Stream(0x81, 0x101, {LanguageDescriptor("deu")}).Build(), true},
      {"sdt", SdtBuilder().Service(1, "Provider", "Orvanet Test").Build(), true},
      {"long sdt", SdtBuilder().Service(1, std::string(200, 'p'), std::string(200, 'n')).Build(), true},
      {"spoiled pat", PatBuilder().Program(1, 0x1000).SpoilCrc().Build(), false},
      {"spoiled pmt", PmtBuilder(1).Stream(0x02, 0x100).SpoilCrc().Build(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t stored = (uint32_t{c.section[c.section.size() - 4]} << 24) | (uint32_t{c.section[c.section.size() - 3]} << 16) |
                            (uint32_t{c.section[c.section.size() - 2]} << 8) | c.section.back();
    const auto body = std::span(c.section).first(c.section.size() - 4);
    EXPECT_EQ(ReferenceCrc(body) == stored, c.valid);
    EXPECT_EQ(ReferenceCrc(c.section) == 0, c.valid);
    EXPECT_EQ(HasValidCrc(c.section), c.valid);
  }
}

}  // namespace
}  // namespace testsupport
