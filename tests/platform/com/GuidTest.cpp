#include <gtest/gtest.h>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

namespace {
constexpr GUID kFlumetta = MakeGuid("{8F923A8B-F96C-420C-8458-0D6406E82E4C}");

TEST(Guid, LiteralAndTextAgree) {
  EXPECT_EQ(kFlumetta.Data1, 0x8F923A8Bu);
  EXPECT_EQ(kFlumetta.Data2, 0xF96C);
  EXPECT_EQ(kFlumetta.Data3, 0x420C);
  EXPECT_EQ(kFlumetta.Data4[0], 0x84);
  EXPECT_EQ(kFlumetta.Data4[7], 0x4C);
  EXPECT_EQ(GuidToString(kFlumetta), "{8F923A8B-F96C-420C-8458-0D6406E82E4C}");
}

TEST(Guid, ParsesRegistryFormInAnyCaseWithOrWithoutBraces) {
  struct Case {
    const char* text;
    bool ok;
  } cases[] = {
      {"{8F923A8B-F96C-420C-8458-0D6406E82E4C}", true},
      {"{8f923a8b-f96c-420c-8458-0d6406e82e4c}", true},
      {"8F923A8B-F96C-420C-8458-0D6406E82E4C", true},
      {"{8F923A8B-F96C-420C-8458-0D6406E82E4C", false},
      {"{8F923A8B F96C-420C-8458-0D6406E82E4C}", false},
      {"{8F923A8B-F96C-420C-8458-0D6406E82E4G}", false},
      {"", false},
  };
  for (const Case& c : cases) {
    GUID parsed{};
    EXPECT_EQ(GuidFromString(c.text, &parsed), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(parsed, kFlumetta) << c.text;
    }
  }
}

TEST(Guid, WideFormsRoundTrip) {
  char16_t buffer[39];
  ASSERT_EQ(StringFromGUID2(kFlumetta, buffer, 39), 39);
  CLSID back{};
  EXPECT_EQ(CLSIDFromString(buffer, &back), S_OK);
  EXPECT_EQ(back, kFlumetta);
  EXPECT_EQ(StringFromGUID2(kFlumetta, buffer, 38), 0);
  EXPECT_EQ(CLSIDFromString(u"nonsense", &back), CO_E_CLASSSTRING);
}

TEST(Hresult, CodesHaveTheirWindowsValues) {
  EXPECT_EQ(static_cast<std::uint32_t>(E_POINTER), 0x80004003u);
  EXPECT_EQ(static_cast<std::uint32_t>(E_FAIL), 0x80004005u);
  EXPECT_EQ(static_cast<std::uint32_t>(E_OUTOFMEMORY), 0x8007000Eu);
  EXPECT_EQ(static_cast<std::uint32_t>(E_INVALIDARG), 0x80070057u);
  EXPECT_EQ(static_cast<std::uint32_t>(REGDB_E_CLASSNOTREG), 0x80040154u);
  EXPECT_EQ(static_cast<std::uint32_t>(VFW_E_DUPLICATE_NAME), 0x8004022Du);
  EXPECT_EQ(VFW_S_NO_MORE_ITEMS, 0x00040103);
  EXPECT_EQ(static_cast<std::uint32_t>(HRESULT_FROM_WIN32(2)), 0x80070002u);
  EXPECT_TRUE(FAILED(E_FAIL));
  EXPECT_TRUE(SUCCEEDED(S_FALSE));
}
}  // namespace
