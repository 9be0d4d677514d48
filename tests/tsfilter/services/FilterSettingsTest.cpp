#include "tsfilter/services/FilterSettings.h"

#include <gtest/gtest.h>

#include "platform/registry/registry.h"
#include "shared/ClassIds.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tsfilter/services/ExtensionRegistration.h"

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

TEST(FilterSettingsTest, MissingKeyGivesTheDefaultsAndIsCreated) {
  TemporaryRegistry registry;
  FilterSettings settings = ReadFilterSettings();
  EXPECT_TRUE(settings.ac3);
  EXPECT_FALSE(settings.audio2);
  EXPECT_TRUE(settings.autoSelect);
  EXPECT_FALSE(settings.allowGraphEdit);
  EXPECT_FALSE(settings.pcrClock);
  EXPECT_TRUE(settings.detLength);
  EXPECT_FALSE(settings.ignoreCrc);
  EXPECT_TRUE(settings.fastSeeking);
  EXPECT_EQ(settings.prefDemux, 1u);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kSettingsKey));
}

TEST(FilterSettingsTest, StoredValuesOverrideAndNonZeroCountsAsOn) {
  TemporaryRegistry registry;
  RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "AC3", 0);
  RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "Audio2", 7);
  RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "PrefDemux", 3);
  RegistryWriteString(HKEY_CURRENT_USER, kSettingsKey, "FastSeeking", "0");  // wrong type keeps the default
  FilterSettings settings = ReadFilterSettings();
  EXPECT_FALSE(settings.ac3);
  EXPECT_TRUE(settings.audio2);
  EXPECT_EQ(settings.prefDemux, 3u);
  EXPECT_TRUE(settings.fastSeeking);

  // A load reads PrefDemux and IgnoreCRC again, over whatever the instance was told meanwhile.
  settings.prefDemux = 0;
  RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "IgnoreCRC", 1);
  ReadLoadSettings(settings);
  EXPECT_EQ(settings.prefDemux, 3u);
  EXPECT_TRUE(settings.ignoreCrc);
  EXPECT_FALSE(settings.ac3);
}

TEST(FilterSettingsTest, ResetReturnsEverySettingToItsDefault) {
  TemporaryRegistry registry;
  StoreAc3Setting(false);
  RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "PrefDemux", 0);
  ResetFilterSettings();
  FilterSettings settings = ReadFilterSettings();
  EXPECT_TRUE(settings.ac3);
  EXPECT_EQ(settings.prefDemux, 1u);
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
