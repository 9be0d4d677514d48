#include <gtest/gtest.h>

#include "platform/registry/HiveText.h"

namespace {
std::vector<BYTE> Bytes(std::string_view text, bool terminate) {
  std::vector<BYTE> data(text.begin(), text.end());
  if (terminate) data.push_back(0);
  return data;
}

void ExpectSameTree(const RegistryNode& expected, const RegistryNode& actual) {
  EXPECT_EQ(expected.Name(), actual.Name());
  ASSERT_EQ(expected.Values().size(), actual.Values().size()) << "in key " << expected.Name();
  for (std::size_t i = 0; i < expected.Values().size(); ++i) {
    const RegistryValue& want = expected.Values()[i];
    const RegistryValue& got = actual.Values()[i];
    SCOPED_TRACE("value " + want.name);
    EXPECT_EQ(want.name, got.name);
    EXPECT_EQ(want.type, got.type);
    EXPECT_EQ(want.data, got.data);
  }
  ASSERT_EQ(expected.ChildCount(), actual.ChildCount()) << "in key " << expected.Name();
  for (std::size_t i = 0; i < expected.ChildCount(); ++i) ExpectSameTree(*expected.ChildAt(i), *actual.ChildAt(i));
}

TEST(HiveText, EveryNameAndDataSurvivesTheTextForm) {
  RegistryNode root;
  root.SetValue("", 1, Bytes("root default", true));
  RegistryNode* key = root.AddChild("CLSID")->AddChild("{5B1D3C0A-7F2E-4D6B-9A31-0C8E2F4B6D11}");
  key->AddChild("InprocServer32")->SetValue("", 1, Bytes("/opt/a b/Flumetta.ax", true));
  root.AddChild("Empty key");
  RegistryNode* odd = root.AddChild("100% [odd] ]name")->AddChild("tab\there");
  struct Case {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
  } cases[] = {
      {"quote \" and backslash \\", 1, Bytes("C:\\path\\\"x\"", true)},
      {"line\nbreak", 1, Bytes("a\r\nb\tc\x01\x7f", true)},
      {"utf-8 \xc3\xa9t\xc3\xa9", 1, Bytes("\xe2\x82\xac 5", true)},
      {"expand", 2, Bytes("$HOME/x", true)},
      {"text without terminator", 1, Bytes("abc", false)},
      {"text with inner zero", 1, {'a', 0, 'b', 0}},
      {"empty text", 1, Bytes("", true)},
      {"no data at all", 1, {}},
      {"dword", 4, {0x2a, 0, 0, 0x80}},
      {"short dword", 4, {1, 2}},
      {"binary", 3, {0x00, 0xff, 0x10}},
      {"empty binary", 3, {}},
      {"unusual type", 11, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"=@[]", 0, {7}},
  };
  for (auto& c : cases) odd->SetValue(c.name, c.type, c.data);

  const std::string text = WriteHiveText(root);
  RegistryNode reread;
  std::size_t badLine = 0;
  ASSERT_TRUE(ReadHiveText(text, &reread, &badLine)) << "line " << badLine << " of\n" << text;
  ExpectSameTree(root, reread);
  EXPECT_EQ(WriteHiveText(reread), text);
}

TEST(HiveText, DamagedFilesAreRefused) {
  const std::string head = "; registry hive, format 1\n";
  const std::string tail = "; end of hive\n";
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"empty file", ""},
      {"no header line", "[a]\n" + tail},
      {"cut off before the end line", head + "[a]\n\"v\"=dword:00000001\n"},
      {"cut off inside a line", head + "[a]\n\"v\"=dword:0000"},
      {"short dword", head + "[a]\n\"v\"=dword:0001\n" + tail},
      {"dword with a sign", head + "[a]\n\"v\"=dword:-0000001\n" + tail},
      {"odd hex", head + "[a]\n\"v\"=hex:0,01\n" + tail},
      {"trailing comma", head + "[a]\n\"v\"=hex:01,\n" + tail},
      {"hex type not a number", head + "[a]\n\"v\"=hex(z):01\n" + tail},
      {"unknown escape", head + "[a]\n\"v\\q\"=\"x\"\n" + tail},
      {"unterminated quote", head + "[a]\n\"v=\"x\n" + tail},
      {"zero inside text", head + "[a]\n\"v\"=\"a\\x00b\"\n" + tail},
      {"empty key name", head + "[a\\\\b]\n" + tail},
      {"bad percent escape", head + "[a%4]\n" + tail},
      {"unclosed header", head + "[a\n" + tail},
      {"value without data", head + "[a]\n\"v\"\n" + tail},
      {"unknown data kind", head + "[a]\n\"v\"=qword:1\n" + tail},
      {"text after the quote", head + "[a]\n\"v\"=\"x\"y\n" + tail},
      {"empty value name", head + "[a]\n\"\"=\"x\"\n" + tail},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegistryNode root;
    EXPECT_FALSE(ReadHiveText(c.text, &root));
  }
}

TEST(HiveText, ToleratesCommentsBlankLinesAndCrLf) {
  const std::string text =
      "; registry hive, format 1\n\n; a comment\r\n[Software\\Orvanet]\r\n\"Debug\"=dword:00000001\r\n"
      "[software\\ORVANET\\Flumetta]\n@=\"x\"\n; end of hive\n\n";
  RegistryNode root;
  ASSERT_TRUE(ReadHiveText(text, &root));
  const RegistryNode* orvanet = root.Find({"SOFTWARE", "orvanet"});
  ASSERT_NE(orvanet, nullptr);
  EXPECT_EQ(orvanet->Name(), "Orvanet");
  EXPECT_EQ(orvanet->FindValue("debug")->data, (std::vector<BYTE>{1, 0, 0, 0}));
  ASSERT_NE(orvanet->FindChild("flumetta"), nullptr);
}
}  // namespace
