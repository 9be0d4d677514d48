#include "tsfilter/services/ServerRegistration.h"

#include "platform/com/activation.h"
#include "platform/dshow/FilterMapper.h"
#include "platform/dshow/Guids.h"
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

// The catalogue entry: one output pin for transport streams; at merit "do not use", so that
// graph building never picks the filter by itself (hosts create it by class identifier).
const AMOVIESETUP_MEDIATYPE kOutputTypes[] = {{&MEDIATYPE_Stream, &MEDIASUBTYPE_MPEG2_TRANSPORT}};
const AMOVIESETUP_PIN kPins[] = {{u"Output", FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, kOutputTypes}};
const AMOVIESETUP_FILTER kFilterSetup = {&CLSID_Flumetta, u"Orvanet Flumetta", MERIT_DO_NOT_USE, 1, kPins};

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
  return RegisterFilterSetup(kFilterSetup, TRUE);
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
  HRESULT result = RegisterFilterSetup(kFilterSetup, FALSE);
  for (const ServerClass& entry : kClasses) {
    HRESULT hr = UnregisterServerClass(entry.clsid);
    if (FAILED(hr)) result = hr;
  }
  return result;
}

}  // namespace tsfilter
