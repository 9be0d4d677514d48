// The converter's options in a temporary registry: what is stored after a run, in which order,
// what a stored value of the wrong type reads as, and what a damaged store does.
#include "converter/ui/CSfxOption.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "converter/engine/MessageReporter.h"
#include "platform/registry/registry.h"
#include "tests/platform/registry/TemporaryRegistry.h"

namespace {

constexpr char kSettingsKey[] = "Software\\Orvanet\\brannock";
constexpr char kSettingsPath[] = "Software\\Orvanet\\brannock\\Settings";

struct StoredValue {
  std::string name;
  DWORD type;
  bool operator==(const StoredValue&) const = default;
};

// The values of the settings key in the order they were first set.
std::vector<StoredValue> StoredValues(const std::string& path = kSettingsPath) {
  std::vector<StoredValue> values;
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD nameSize = sizeof name;
    DWORD type = 0;
    if (RegEnumValue(key, index, name, &nameSize, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) break;
    values.push_back({name, type});
  }
  RegCloseKey(key);
  return values;
}

class CapturingWindow : public ReportTarget {
 public:
  bool IsQuiet() const override { return false; }
  bool IsLogOnly() const override { return false; }
  std::string InputPath() const override { return ""; }
  void PostCloseRequest() override {}
  int ShowMessageBox(const std::string& text, UINT, UINT) override {
    shown.push_back(text);
    return 1;
  }
  std::vector<std::string> shown;
};

class CSfxOptionTest : public ::testing::Test {
 protected:
  void SetUp() override { SetActiveReporter(&m_reporter); }
  void TearDown() override { SetActiveReporter(nullptr); }

  TemporaryRegistry m_registry;
  CapturingWindow m_window;
  MessageReporter m_reporter{&m_window};
};

TEST_F(CSfxOptionTest, DefaultsLeaveNothingStored) {
  ASSERT_EQ(RegistryWriteDword(HKEY_CURRENT_USER, kSettingsPath, "OutputType", 1), ERROR_SUCCESS);
  ASSERT_EQ(RegistryWriteString(HKEY_CURRENT_USER, kSettingsPath, "MuxerFilter", "Mux,{1}"), ERROR_SUCCESS);
  {
    CSfxOption options(kSettingsKey);
    EXPECT_EQ(options.m_outputType, 1);
    EXPECT_EQ(options.m_muxerFilter, "Mux,{1}");
    options.m_outputType = 0;
    options.m_muxerFilter.clear();
  }
  EXPECT_TRUE(StoredValues().empty());
  { CSfxOption untouched(kSettingsKey); }
  EXPECT_TRUE(StoredValues().empty());
  EXPECT_TRUE(m_window.shown.empty());
}

TEST_F(CSfxOptionTest, ChangedValuesAreStoredInExchangeOrderAndReadBack) {
  {
    CSfxOption options(kSettingsKey);
    // Set in another order than the exchange's, to see that the store follows the exchange.
    options.m_debug = 1;
    options.m_ac3Filter = "AC3 Frame Analyzer,{C944FCA1-873A-48E6-BCB3-667AF021B5A2}";
    options.m_muxerFilter = "PS/TS Multiplexer,{FABBE789-E9E3-47AB-8F03-BF066AA36699}";
    options.m_outputPath = "/srv/converted";
    options.m_outputType = CSfxOption::kOutputInFolder;
  }
  EXPECT_EQ(StoredValues(), (std::vector<StoredValue>{{"OutputType", REG_DWORD},
                                                      {"OutputPath", REG_SZ},
                                                      {"MuxerFilter", REG_SZ},
                                                      {"AC3Filter", REG_SZ},
                                                      {"Debug", REG_DWORD}}));
  CSfxOption again(kSettingsKey);
  EXPECT_EQ(again.m_outputType, 1);
  EXPECT_EQ(again.m_outputPath, "/srv/converted");
  EXPECT_EQ(again.m_muxerFilter, "PS/TS Multiplexer,{FABBE789-E9E3-47AB-8F03-BF066AA36699}");
  EXPECT_EQ(again.m_ac3Filter, "AC3 Frame Analyzer,{C944FCA1-873A-48E6-BCB3-667AF021B5A2}");
  EXPECT_EQ(again.m_debug, 1);
}

TEST_F(CSfxOptionTest, ValuesOfAnotherTypeReadAsDefaults) {
  ASSERT_EQ(RegistryWriteString(HKEY_CURRENT_USER, kSettingsPath, "OutputType", "1"), ERROR_SUCCESS);
  ASSERT_EQ(RegistryWriteDword(HKEY_CURRENT_USER, kSettingsPath, "OutputPath", 7), ERROR_SUCCESS);
  ASSERT_EQ(RegistryWriteDword(HKEY_CURRENT_USER, kSettingsPath, "Debug", 0xFFFFFFFF), ERROR_SUCCESS);
  CSfxOption options(kSettingsKey);
  EXPECT_EQ(options.m_outputType, 0);
  EXPECT_EQ(options.m_outputPath, "");
  EXPECT_EQ(options.m_debug, -1) << "a DWORD is read back as the signed value it was written from";
  EXPECT_TRUE(m_window.shown.empty());
}

TEST_F(CSfxOptionTest, SectionSuffixAndEmptyKey) {
  {
    CSfxOption options(kSettingsKey, "2");
    EXPECT_EQ(options.KeyPath(), "Software\\Orvanet\\brannock\\Settings2");
    options.m_debug = 3;
  }
  EXPECT_EQ(StoredValues("Software\\Orvanet\\brannock\\Settings2"), (std::vector<StoredValue>{{"Debug", REG_DWORD}}));
  {
    CSfxOption inMemory("");
    inMemory.m_debug = 3;
  }
  EXPECT_TRUE(StoredValues("Settings").empty());
}

TEST_F(CSfxOptionTest, DamagedStoreIsReportedAndLeftAsItIs) {
  {
    std::ofstream hive(RegistryFolder() + "current-user.reg", std::ios::binary);
    hive << "this is no hive\n\x01\x02";
  }
  {
    CSfxOption options(kSettingsKey);
    EXPECT_EQ(m_window.shown, std::vector<std::string>{"Internal application error."});
    EXPECT_EQ(options.m_outputType, 0);
    options.m_outputPath = "/srv/converted";
  }
  EXPECT_EQ(m_window.shown.size(), 2u) << "the save fails and says so too";
  std::ifstream hive(RegistryFolder() + "current-user.reg", std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(hive)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "this is no hive\n\x01\x02");
}

}  // namespace
