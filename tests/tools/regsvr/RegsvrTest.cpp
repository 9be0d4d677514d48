#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "platform/com/activation.h"
#include "platform/com/library.h"
#include "tests/platform/com/TestInterfaces.h"
#include "tests/platform/registry/TemporaryRegistry.h"

namespace {
struct ToolRun {
  int exitCode;
  std::string output;
};

// Runs regsvr (beside this test) with the given arguments, standard error included in the output.
ToolRun Regsvr(const std::string& arguments) {
  const std::string command = "'" + ExecutableFolder() + "regsvr' " + arguments + " 2>&1";
  ToolRun run{-1, {}};
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) run.output += buffer;
  const int status = ::pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(Regsvr, RegistersAndUnregistersAModule) {
  TemporaryRegistry registry;
  const std::string module = "'" + ExecutableFolder() + "PlatformTestModule.ax'";
  ToolRun run = Regsvr(module);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("DllRegisterServer in "), std::string::npos);
  EXPECT_EQ(RegisteredModulePath(CLSID_TestCounter), ExecutableFolder() + "PlatformTestModule.ax");

  run = Regsvr("-u " + module);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(RegisteredModulePath(CLSID_TestCounter), "");

  // A bare name is found beside the tool; /s keeps quiet.
  run = Regsvr("PlatformTestModule.ax /s");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(run.output, "");
  EXPECT_NE(RegisteredModulePath(CLSID_TestCounter), "");
  EXPECT_EQ(Regsvr("PlatformTestModule.ax /U").exitCode, 0);
  EXPECT_EQ(RegisteredModulePath(CLSID_TestCounter), "");
}

TEST(Regsvr, FailuresAreExplainedWithANonZeroStatus) {
  TemporaryRegistry registry;
  const struct {
    std::string arguments;
    int exitCode;
    const char* message;
  } cases[] = {
      {"", 2, "Usage: regsvr"},
      {"a.ax b.ax", 2, "Usage: regsvr"},
      {"/nonexistent/Missing.ax", 3, "cannot load /nonexistent/Missing.ax"},
      {"'" + ExecutableFolder() + "libplatform.so'", 4, "has no DllRegisterServer entry point"},
      {"'" + ExecutableFolder() + "libplatform.so' /u", 4, "has no DllUnregisterServer entry point"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    ToolRun run = Regsvr(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
  }
}
}  // namespace
