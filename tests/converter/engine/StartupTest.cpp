#include "converter/engine/Startup.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <vector>

#include "TempDir.h"
#include "converter/engine/AutomationRegistration.h"
#include "platform/registry/registry.h"

namespace {

class RecordingHost : public StartupHost {
 public:
  void ShowStartupMessage(const std::string& text) override { messages.push_back(text); }
  void ShowHelp() override { ++helpShown; }
  HRESULT RegisterClassFactories() override {
    ++factoriesRegistered;
    return S_OK;
  }
  int RunMainWindow(const MainWindowStart& s) override {
    start = s;
    return 7;
  }

  std::vector<std::string> messages;
  int helpShown = 0;
  int factoriesRegistered = 0;
  std::optional<MainWindowStart> start;
};

constexpr char kProgram[] = "/opt/orvanet/bin/brannock";

class StartupTest : public testing::Test {
 protected:
  void SetUp() override { ::setenv("PLATFORM_REGISTRY_DIR", m_registry.Path().c_str(), 1); }
  void TearDown() override { ::unsetenv("PLATFORM_REGISTRY_DIR"); }

  int Run(std::vector<std::string> words) { return RunStartup(words, kProgram, host); }

  static std::string RegisteredServer() {
    std::string path;
    RegistryReadString(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(CLSID_CorvaneApp) + "\\LocalServer32", "", &path);
    return path;
  }
  static bool ProgIdRegistered() {
    std::string clsid;
    return RegistryReadString(HKEY_CLASSES_ROOT, std::string(kCorvaneAppProgId) + "\\CLSID", "", &clsid) &&
           clsid == GuidToString(CLSID_CorvaneApp);
  }

  TempDir m_registry;
  RecordingHost host;
};

TEST_F(StartupTest, RegisterSwitchRegistersAndEndsWithoutWindow) {
  EXPECT_EQ(Run({"/RegServer"}), kExitSuccess);
  EXPECT_EQ(RegisteredServer(), kProgram);
  EXPECT_TRUE(ProgIdRegistered());
  EXPECT_FALSE(host.start.has_value());

  EXPECT_EQ(Run({"-unregister"}), kExitSuccess);
  EXPECT_EQ(RegisteredServer(), "");
  EXPECT_FALSE(ProgIdRegistered());
  EXPECT_FALSE(host.start.has_value());
  EXPECT_EQ(Run({"/Unregserver"}), kExitSuccess) << "unregistering twice is no failure";
}

TEST_F(StartupTest, NormalStartRegistersAndRunsTheWindowWithItsOptions) {
  EXPECT_EQ(Run({"/q", "/i", "/rec/a.ts", "/f", "1"}), 7);
  EXPECT_EQ(RegisteredServer(), kProgram);
  ASSERT_TRUE(host.start.has_value());
  EXPECT_EQ(host.start->options.inputPath, "/rec/a.ts");
  EXPECT_EQ(host.start->options.outputKind, 1);
  EXPECT_TRUE(host.start->options.quiet);
  EXPECT_FALSE(host.start->logOnly);
  EXPECT_EQ(host.start->settingsKey, "Software\\Orvanet\\brannock");
  EXPECT_EQ(host.factoriesRegistered, 0);
}

TEST_F(StartupTest, AutomationStartIsLogOnlyAndTakesNoLooseInput) {
  EXPECT_EQ(Run({"-Embedding", "/rec/a.ts"}), 7);
  EXPECT_EQ(host.factoriesRegistered, 1);
  ASSERT_TRUE(host.start.has_value());
  EXPECT_TRUE(host.start->logOnly);
  EXPECT_EQ(host.start->options.inputPath, "");
  EXPECT_EQ(RegisteredServer(), "") << "an automation start does not re-register";
}

TEST_F(StartupTest, HelpEndsWithoutMainWindow) {
  for (std::vector<std::string> words : {std::vector<std::string>{"/h", "/i", "x.ts"}, {"--help"}}) {
    host = RecordingHost();
    EXPECT_EQ(Run(words), kExitSuccess);
    EXPECT_EQ(host.helpShown, 1);
    EXPECT_FALSE(host.start.has_value());
  }
}

}  // namespace
