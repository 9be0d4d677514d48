#include "tsfilter/services/ServerRegistration.h"

#include "platform/com/activation.h"
#include "platform/registry/registry.h"
#include "shared/ClassIds.h"
#include "tsfilter/services/ExtensionRegistration.h"
#include "tsfilter/services/SettingsStore.h"

namespace tsfilter {
namespace {

constexpr const char* kThreadingModel = "Both";

struct ServerClass {
  CLSID clsid;
  const char* name;
};

constexpr ServerClass kClasses[] = {
    {CLSID_Flumetta, "Orvanet Flumetta"},
    {CLSID_ProgramInfoPage, "Program Info Page"},
    {CLSID_H264AnalyzerPage, "H.264 Analyzer Page"},
    {CLSID_PidInfoPage, "PID Info Page"},
    {CLSID_ProgramsPage, "Programs"},
    {CLSID_AboutPage, "About Page"},
};

}  // namespace

HRESULT RegisterFlumettaServer(const std::string& modulePath) {
  RegisterExtension(".ts", nullptr, true, modulePath);
  const std::string fileTypes = "*.ts;*.tp";
  RegisterExtension(".tp", &fileTypes, true, modulePath);
  ResetStoredSettings();
  for (const ServerClass& entry : kClasses) {
    HRESULT hr = RegisterServerClass(entry.clsid, entry.name, modulePath.c_str(), kThreadingModel);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT UnregisterFlumettaServer(const std::string& modulePath) {
  RegisterExtension(".ts", nullptr, false, modulePath);
  RegisterExtension(".tp", nullptr, false, modulePath);
  std::string registered;
  if (RegistryReadString(HKEY_CURRENT_USER, kSettingsKey, "RegisteredExtensions", &registered)) {
    for (const std::string& extension : SplitExtensionList(registered)) {
      RegisterExtension(extension, nullptr, false, modulePath);
    }
  }
  HRESULT result = S_OK;
  for (const ServerClass& entry : kClasses) {
    HRESULT hr = UnregisterServerClass(entry.clsid);
    if (FAILED(hr)) result = hr;
  }
  return result;
}

}  // namespace tsfilter
