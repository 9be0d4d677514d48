#include "converter/engine/Startup.h"

#include <cstdio>

#include "converter/engine/AutomationRegistration.h"
#include "platform/com/activation.h"

namespace {

constexpr char kRegistryCompany[] = "Orvanet";
constexpr char kOleFailureText[] =
    "OLE initialization failed.  Make sure that the OLE libraries are the correct version.";

bool HasWord(std::span<const std::string> words, const char* wanted) {
  for (const std::string& word : words) {
    if (word == wanted) return true;
  }
  return false;
}

void SayRegistrationFailure(const char* what, HRESULT status) {
  std::fprintf(stderr, "brannock: %s the automation server failed (HRESULT = %08x)\n", what,
               static_cast<unsigned>(status));
}

}  // namespace

bool ConversionAvailable() { return true; }

std::string SettingsKeyFor(const std::string& programPath) {
  size_t slash = programPath.rfind('/');
  std::string name = slash == std::string::npos ? programPath : programPath.substr(slash + 1);
  return std::string("Software\\") + kRegistryCompany + "\\" + name;
}

int RunStartup(std::span<const std::string> words, const std::string& programPath, StartupHost& host) {
  // Queries that answer at once, before anything is initialised or registered.
  if (HasWord(words, "--version")) {
    std::printf("Brannock 2.5\n");
    return kExitSuccess;
  }
  if (HasWord(words, "--can-convert")) return ConversionAvailable() ? kExitSuccess : kExitFailure;
  if (HasWord(words, "--help")) {
    host.ShowHelp();
    return kExitSuccess;
  }

  if (FAILED(CoInitialize(nullptr))) {
    host.ShowStartupMessage(kOleFailureText);
    return kExitFailure;
  }
  MainWindowStart start;
  start.settingsKey = SettingsKeyFor(programPath);

  const FrameworkSwitches switches = ScanFrameworkSwitches(words);
  if (switches.RunsForAutomation()) {
    HRESULT status = host.RegisterClassFactories();
    if (FAILED(status)) SayRegistrationFailure("starting", status);
    start.logOnly = true;
  } else if (switches.unregserver) {
    HRESULT status = UnregisterAutomationServer();
    if (FAILED(status)) SayRegistrationFailure("unregistering", status);
    return SUCCEEDED(status) ? kExitSuccess : kExitFailure;
  } else {
    // Every normal start registers again; only the register switch cares whether that worked.
    HRESULT status = RegisterAutomationServer(programPath);
    if (switches.regserver) {
      if (FAILED(status)) SayRegistrationFailure("registering", status);
      return SUCCEEDED(status) ? kExitSuccess : kExitFailure;
    }
  }

  start.options = ParseProgramOptions(words, switches.RunsForAutomation());
  if (start.options.showHelp) {
    host.ShowHelp();
    return kExitSuccess;
  }
  return host.RunMainWindow(start);
}
