// Flumetta.ax registering itself through its exported entry points: its classes, the transport
// stream file types (taking over from another program and giving back to it) and the settings,
// which every registration resets.
#include <gtest/gtest.h>

#include <string>

#include "platform/com/activation.h"
#include "platform/com/library.h"
#include "platform/com/module.h"
#include "platform/registry/registry.h"
#include "shared/ClassIds.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tsfilter/services/SettingsStore.h"

namespace tsfilter {
namespace {

constexpr const char* kOtherFilter = "{11111111-2222-3333-4444-555555555555}";

std::string Read(HKEY root, const std::string& path, const char* name) {
  std::string value;
  return RegistryReadString(root, path, name, &value) ? value : "<absent>";
}

bool KeyExists(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

class ModuleRegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_path = ExecutableFolder() + "Flumetta.ax";
    m_module = LoadLibrary(m_path.c_str());
    ASSERT_NE(m_module, nullptr) << m_path;
    m_register = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(m_module, "DllRegisterServer"));
    m_unregister = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(m_module, "DllUnregisterServer"));
    ASSERT_TRUE(m_register && m_unregister);
  }
  void TearDown() override {
    if (m_module) FreeLibrary(m_module);
  }

  TemporaryRegistry m_registry;
  std::string m_path;
  HMODULE m_module = nullptr;
  DllRegisterServerFn m_register = nullptr;
  DllRegisterServerFn m_unregister = nullptr;
};

TEST_F(ModuleRegistrationTest, RegistersClassesAndFileTypesAndGivesBackWhatWasThere) {
  // Another program is the source filter for ".ts"; ".tp" is free.
  RegistryWriteString(HKEY_CLASSES_ROOT, "Media Type\\Extensions\\.ts", "Source Filter", kOtherFilter);
  ASSERT_EQ(m_register(), S_OK);

  for (const CLSID& clsid : {CLSID_Flumetta, CLSID_ProgramInfoPage, CLSID_H264AnalyzerPage, CLSID_PidInfoPage,
                             CLSID_ProgramsPage, CLSID_AboutPage}) {
    EXPECT_EQ(RegisteredModulePath(clsid), m_path);
  }
  struct Extension {
    const char* name;
    const char* other;  // what "Source Filter.other" holds
  };
  for (const Extension e : {Extension{".ts", kOtherFilter}, Extension{".tp", "<absent>"}}) {
    const std::string key = std::string("Media Type\\Extensions\\") + e.name;
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, key, "Source Filter"), kFlumettaClsidText) << e.name;
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, key, "Source Filter.other"), e.other) << e.name;
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, e.name, "PerceivedType"), "video") << e.name;
  }

  ASSERT_EQ(m_unregister(), S_OK);
  EXPECT_EQ(RegisteredModulePath(CLSID_Flumetta), "");
  EXPECT_EQ(Read(HKEY_CLASSES_ROOT, "Media Type\\Extensions\\.ts", "Source Filter"), kOtherFilter);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Media Type\\Extensions\\.tp"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".tp"));
}

TEST_F(ModuleRegistrationTest, EveryRegistrationResetsTheSettings) {
  ASSERT_EQ(m_register(), S_OK);
  for (const char* name : {"AC3", "PrefDemux", "FastSeeking"}) RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, name, 0);
  RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "Audio2", 1);
  ASSERT_EQ(m_register(), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKey));
  const StoredSettings stored = ReadStoredSettings();
  EXPECT_EQ(stored.filter.ac3, 1u);
  EXPECT_EQ(stored.filter.audio2, 0u);
  EXPECT_EQ(stored.filter.fastSeeking, 1u);
  EXPECT_EQ(stored.filter.prefDemux, 1u);
  ASSERT_EQ(m_unregister(), S_OK);
}

}  // namespace
}  // namespace tsfilter
