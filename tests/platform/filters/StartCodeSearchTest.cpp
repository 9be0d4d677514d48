#include "platform/filters/StartCodeSearch.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Every placement relative to the eight-byte steps, among fillers that look like parts of a
// prefix (runs of zeros, stray ones), and prefixes cut by the limit.
TEST(StartCodeSearch, FindsTheFirstPrefixWhereverItLies) {
  struct Filler {
    const char* name;
    std::uint8_t a, b;  // alternating filler bytes
  } fillers[] = {{"high bytes", 0xFF, 0x47}, {"zeros then a two", 0x00, 0x02}, {"ones", 0x01, 0x01}, {"zero and one", 0x01, 0x00}};
  for (const Filler& filler : fillers) {
    SCOPED_TRACE(filler.name);
    for (std::size_t at = 0; at < 40; ++at) {
      Bytes data(48);
      for (std::size_t i = 0; i < data.size(); ++i) data[i] = i % 2 ? filler.b : filler.a;
      // No filler holds two zeros in a row, so the only prefix is the one placed here.
      data[at] = 0x00;
      data[at + 1] = 0x00;
      data[at + 2] = 0x01;
      const std::size_t limit = data.size() - 2;
      EXPECT_EQ(startcode::FindPrefix(data.data(), 0, limit), at);
      // Searching from just after it finds nothing; a limit at or before it hides it.
      EXPECT_EQ(startcode::FindPrefix(data.data(), at + 1, limit), limit);
      EXPECT_EQ(startcode::FindPrefix(data.data(), 0, at), at);
    }
  }
}

}  // namespace
