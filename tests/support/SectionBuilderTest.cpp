#include "tests/support/SectionBuilder.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "tests/support/TsBuilder.h"

namespace testsupport {
namespace {

std::string Hex(const Bytes& bytes) {
  std::ostringstream out;
  for (uint8_t b : bytes) out << std::hex << std::setw(2) << std::setfill('0') << int{b} << ' ';
  return out.str();
}

// Golden sections, byte for byte as the standards lay them out.
TEST(SectionBuilderTest, TablesMatchGoldenBytes) {
  struct Case {
    const char* name;
    Bytes actual;
    Bytes expected;  // without the CRC, which the CRC tests check
  };
  const Case cases[] = {
      {"pat", PatBuilder().TransportStreamId(1).Program(1, 0x1000).Build(),
       {0x00, 0xB0, 0x0D, 0x00, 0x01, 0xC1, 0x00, 0x00, 0x00, 0x01, 0xF0, 0x00}},
      {"pat fields", PatBuilder().TransportStreamId(0x1234).Version(5).CurrentNext(false).SectionNumber(1)
                          .LastSectionNumber(2).Program(0, 0x10).Build(),
       {0x00, 0xB0, 0x0D, 0x12, 0x34, 0xCA, 0x01, 0x02, 0x00, 0x00, 0xE0, 0x10}},
      {"pmt", PmtBuilder(1).PcrPid(0x100).ProgramDescriptor(Descriptor(0x99, Bytes{0xAB}))
                  .Stream(0x02, 0x100).Stream(0x06, 0x101, {Ac3Descriptor(), LanguageDescriptor("eng", 1)}).Build(),
       {0x02, 0xB0, 0x23, 0x00, 0x01, 0xC1, 0x00, 0x00, 0xE1, 0x00, 0xF0, 0x03, 0x99, 0x01, 0xAB,
        0x02, 0xE1, 0x00, 0xF0, 0x00,
        0x06, 0xE1, 0x01, 0xF0, 0x09, 0x6A, 0x01, 0x00, 0x0A, 0x04, 'e', 'n', 'g', 0x01}},
      {"sdt", SdtBuilder().TransportStreamId(1).OriginalNetworkId(0xFF01).Service(0x0102, "P", "N\x86X\x87").Build(),
       {0x42, 0xB0, 0x1B, 0x00, 0x01, 0xC1, 0x00, 0x00, 0xFF, 0x01, 0xFF,
        0x01, 0x02, 0xFC, 0x80, 0x0A, 0x48, 0x08, 0x01, 0x01, 'P', 0x04, 'N', 0x86, 'X', 0x87}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.actual.size(), c.expected.size() + 4) << Hex(c.actual);
    EXPECT_EQ(Bytes(c.actual.begin(), c.actual.end() - 4), c.expected) << "actual:   " << Hex(c.actual)
                                                                         << "\nexpected: " << Hex(c.expected);
    EXPECT_TRUE(HasValidCrc(c.actual));
  }
}

TEST(SectionBuilderTest, EnvelopeOverridesForNegativeTests) {
  const Bytes lying = SectionBuilder(0x02).SectionLength(1000).SyntaxIndicator(false).Body(Bytes(4, 0)).Build();
  EXPECT_EQ(lying[1], 0x30 | 0x03);  // syntax bit clear, length 1000 = 0x3E8
  EXPECT_EQ(lying[2], 0xE8);
  EXPECT_EQ(lying.size(), 3u + 5 + 4 + 4);  // the bytes stay as built
  EXPECT_TRUE(HasValidCrc(lying));

  Bytes spoiled = PatBuilder().Program(1, 0x100).Build();
  SpoilCrc(spoiled);
  EXPECT_FALSE(HasValidCrc(spoiled));
}

TEST(DescriptorTest, CutsOverlongFieldsToWhatOneLengthByteHolds) {
  EXPECT_EQ(Descriptor(0x80, Bytes(300, 1)).size(), 2u + 255);
  EXPECT_EQ(LanguageDescriptor("de"), (Bytes{0x0A, 0x04, 'd', 'e', ' ', 0x00}));
  EXPECT_EQ(RegistrationDescriptor("AC-3"), (Bytes{0x05, 0x04, 'A', 'C', '-', '3'}));
}

}  // namespace
}  // namespace testsupport
