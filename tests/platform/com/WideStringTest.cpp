#include <gtest/gtest.h>

#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"

namespace {
TEST(WideString, ConvertsBothWays) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"", u""},
      {"Flumetta:/rec/a.ts pid 0000002a", u"Flumetta:/rec/a.ts pid 0000002a"},
      {"Gr\xC3\xBC\xC3\x9F" "e", u"Gr\u00FC\u00DFe"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"\xF0\x9F\x8E\xAC", u"\U0001F3AC"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16);
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8);
  }
}

TEST(WideString, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");  // truncated sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong form
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(WideString, TaskMemoryCopiesAreTerminated) {
  char16_t* copy = CoTaskMemDupUtf8("1.2.0.0");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::u16string(copy), u"1.2.0.0");
  EXPECT_EQ(WideLength(copy), 7u);
  CoTaskMemFree(copy);
}
}  // namespace
