#include "tsfilter/services/SettingsStore.h"

#include <gtest/gtest.h>

#include "platform/registry/registry.h"
#include "shared/ClassIds.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tsfilter/services/ExtensionRegistration.h"
#include "tsfilter/services/ServerRegistration.h"
#include "platform/com/activation.h"

namespace tsfilter {
namespace {

bool KeyExists(HKEY root, const char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::string ReadString(HKEY root, const std::string& path, const std::string& name) {
  std::string value;
  return RegistryReadString(root, path, name, &value) ? value : "<absent>";
}

TEST(SettingsStoreTest, MissingKeyGivesTheDefaultsAndIsCreated) {
  TemporaryRegistry registry;
  StoredSettings stored = ReadStoredSettings();
  EXPECT_EQ(stored.filter.ac3, 1u);
  EXPECT_EQ(stored.filter.audio2, 0u);
  EXPECT_EQ(stored.filter.autoSelect, 1u);
  EXPECT_FALSE(stored.allowGraphEdit);
  EXPECT_EQ(stored.filter.pcrClock, 0u);
  EXPECT_EQ(stored.filter.detLength, 1u);
  EXPECT_EQ(stored.filter.ignoreCrc, 0u);
  EXPECT_EQ(stored.filter.fastSeeking, 1u);
  EXPECT_EQ(stored.filter.prefDemux, 1u);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kSettingsKey));
}

TEST(SettingsStoreTest, StoredValuesOverrideAndNonZeroCountsAsOn) {
  TemporaryRegistry registry;
  RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "AC3", 0);
  RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "Audio2", 7);
  RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "AllowGraphEdit", 1);
  RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "PrefDemux", 3);
  RegistryWriteString(HKEY_CURRENT_USER, kSettingsKey, "FastSeeking", "0");  // wrong type keeps the default
  StoredSettings stored = ReadStoredSettings();
  EXPECT_EQ(stored.filter.ac3, 0u);
  EXPECT_EQ(stored.filter.audio2, 1u);
  EXPECT_TRUE(stored.allowGraphEdit);
  EXPECT_EQ(stored.filter.prefDemux, 3u);
  EXPECT_EQ(stored.filter.fastSeeking, 1u);

  std::uint32_t ignoreCrc = 5;
  ReadStoredSetting("IgnoreCRC", ignoreCrc);
  EXPECT_EQ(ignoreCrc, 5u);  // not stored: left as it was
}

TEST(SettingsStoreTest, ResetReturnsEverySettingToItsDefault) {
  TemporaryRegistry registry;
  StoreAc3Setting(false);
  RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "PrefDemux", 0);
  ResetStoredSettings();
  StoredSettings stored = ReadStoredSettings();
  EXPECT_EQ(stored.filter.ac3, 1u);
  EXPECT_EQ(stored.filter.prefDemux, 1u);
}

TEST(ExtensionRegistrationTest, ListKeepsPiecesWithADotAndThreeCharacters) {
  EXPECT_EQ(SplitExtensionList(".mpg; .m2t;x;.a"), (std::vector<std::string>{".mpg", ".m2t"}));
  EXPECT_EQ(SplitExtensionList(".ts;.tp;"), (std::vector<std::string>{".ts", ".tp"}));
  EXPECT_TRUE(SplitExtensionList("  ;;").empty());
}

TEST(ExtensionRegistrationTest, AnotherProgramsSourceFilterIsKeptAndGivenBack) {
  TemporaryRegistry registry;
  const std::string typeKey = "Media Type\\Extensions\\.ts";
  const std::string other = "{11111111-2222-3333-4444-555555555555}";
  RegistryWriteString(HKEY_CLASSES_ROOT, typeKey, "Source Filter", other);

  RegisterExtension(".ts", nullptr, true, "/opt/Flumetta.ax");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, typeKey, "Source Filter"), kFlumettaClsidText);
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, typeKey, "Source Filter.other"), other);
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, ".ts", "PerceivedType"), "video");

  // Registering again must not take our own identifier for the other program's.
  RegisterExtension(".ts", nullptr, true, "/opt/Flumetta.ax");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, typeKey, "Source Filter.other"), other);

  RegisterExtension(".ts", nullptr, false, "/opt/Flumetta.ax");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, typeKey, "Source Filter"), other);
}

TEST(ExtensionRegistrationTest, UnregisteringOurOwnExtensionRemovesItsKeys) {
  TemporaryRegistry registry;
  RegisterExtension(".tp", nullptr, true, "/opt/Flumetta.ax");
  ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Media Type\\Extensions\\.tp"));
  RegisterExtension(".tp", nullptr, false, "/opt/Flumetta.ax");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Media Type\\Extensions\\.tp"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".tp"));
}

TEST(ExtensionRegistrationTest, PlayerKeysAreWrittenOnlyWhereTheyExist) {
  TemporaryRegistry registry;
  const std::string player = "SOFTWARE\\Microsoft\\MediaPlayer\\Player\\Extensions";
  const std::string mls = "SOFTWARE\\Microsoft\\MediaPlayer\\MLS\\Extensions";
  RegisterExtensionList(".mpg; .m2t;x;.a", true, "/opt/Flumetta.ax");
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, player.c_str()));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, mls.c_str()));

  RegistryWriteString(HKEY_LOCAL_MACHINE, player + "\\Types", "1", "x");
  RegistryWriteString(HKEY_LOCAL_MACHINE, player + "\\MUIDescriptions", "1", "x");
  RegistryWriteString(HKEY_LOCAL_MACHINE, mls, "mp3", "audio");
  RegisterExtensionList(".mpg; .m2t;x;.a", true, "/opt/Flumetta.ax");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, player + "\\Types", "106"), "*.mpg;*.m2t");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, player + "\\MUIDescriptions", "106"), "@/opt/Flumetta.ax,-106");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, mls, "m2t"), "video");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, "Media Type\\Extensions\\.mpg", "Source Filter"), kFlumettaClsidText);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Media Type\\Extensions\\x"));
}

}  // namespace
}  // namespace tsfilter

namespace tsfilter {
namespace {

TEST(ServerRegistrationTest, RegisteringAgainResetsTheSettingsAndUnregisteringGivesBackTheTypes) {
  TemporaryRegistry registry;
  const std::string module = "/opt/flumetta/Flumetta.ax";
  ASSERT_EQ(RegisterFlumettaServer(module), S_OK);
  EXPECT_EQ(RegisteredModulePath(CLSID_Flumetta), module);
  EXPECT_EQ(RegisteredModulePath(CLSID_AboutPage), module);
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, "Media Type\\Extensions\\.tp", "Source Filter"), kFlumettaClsidText);

  StoreAc3Setting(false);
  RegistryWriteString(HKEY_CURRENT_USER, kSettingsKey, "RegisteredExtensions", ".m2t;");
  RegisterExtensionList(".m2t;", true, module);
  ASSERT_EQ(RegisterFlumettaServer(module), S_OK);
  EXPECT_EQ(ReadStoredSettings().filter.ac3, 1u);

  RegistryWriteString(HKEY_CURRENT_USER, kSettingsKey, "RegisteredExtensions", ".m2t;");
  ASSERT_EQ(UnregisterFlumettaServer(module), S_OK);
  EXPECT_EQ(RegisteredModulePath(CLSID_Flumetta), "");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Media Type\\Extensions\\.ts"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Media Type\\Extensions\\.m2t"));
}

}  // namespace
}  // namespace tsfilter
