#include <gtest/gtest.h>

#include "platform/com/variant.h"

namespace {
TEST(Bstr, LengthIsThePrefixNotTheFirstZero) {
  const OLECHAR withZero[] = {u'a', 0, u'b'};
  BSTR text = SysAllocStringLen(withZero, 3);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringLen(text), 3u);
  EXPECT_EQ(SysStringByteLen(text), 6u);
  EXPECT_EQ(text[3], 0);  // terminated after its length
  SysFreeString(text);

  BSTR blank = SysAllocStringLen(nullptr, 4);
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(std::u16string(blank, 4), std::u16string(4, u'\0'));
  SysFreeString(blank);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);

  BSTR name = SysAllocStringUtf8("MPEG-2 Demultiplexer \xc3\xa9");
  EXPECT_EQ(SysStringLen(name), 22u);
  EXPECT_EQ(BstrToUtf8(name), "MPEG-2 Demultiplexer \xc3\xa9");
  SysFreeString(name);
}

TEST(Variant, CopyOwnsItsTextAndClearFreesIt) {
  VARIANT source, copy;
  VariantInit(&source);
  VariantInit(&copy);
  EXPECT_EQ(source.vt, VT_EMPTY);
  source.vt = VT_BSTR;
  source.bstrVal = SysAllocString(u"FriendlyName");
  copy.vt = VT_I4;
  copy.lVal = 5;
  ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
  EXPECT_NE(copy.bstrVal, source.bstrVal);
  EXPECT_EQ(VariantClear(&source), S_OK);
  EXPECT_EQ(source.vt, VT_EMPTY);
  EXPECT_EQ(std::u16string(copy.bstrVal), u"FriendlyName");  // still valid after the source went
  EXPECT_EQ(VariantClear(&copy), S_OK);

  VARIANT odd;
  VariantInit(&odd);
  odd.vt = 0x2011;  // an array type this platform does not know
  EXPECT_EQ(VariantClear(&odd), DISP_E_BADVARTYPE);
  EXPECT_EQ(odd.vt, 0x2011);
  EXPECT_EQ(VariantCopy(&copy, &odd), DISP_E_BADVARTYPE);
  EXPECT_EQ(copy.vt, VT_EMPTY);
}
}  // namespace
