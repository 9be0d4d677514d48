// Ac3Analyzer.ax: the module's four exports.
#include "outside/ac3analyzer/Ac3AnalyzerModule.h"

#include "outside/ac3analyzer/Ac3AnalyzerFilter.h"
#include "platform/com/activation.h"
#include "platform/com/library.h"

namespace outside {

namespace {
constexpr ClassEntry kClasses[] = {{kAc3AnalyzerName, CLSID_Ac3FrameAnalyzer, &Ac3AnalyzerFilter::CreateInstance}};
}

}  // namespace outside

PLATFORM_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  return ModuleGetClassObject(outside::kClasses, &outside::Ac3AnalyzerObjects(), clsid, riid, ppv);
}
PLATFORM_EXPORT HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(outside::Ac3AnalyzerObjects()); }
PLATFORM_EXPORT HRESULT DllRegisterServer() {
  return RegisterServerClass(outside::CLSID_Ac3FrameAnalyzer, outside::kAc3AnalyzerName,
                             GetModuleFileName(&outside::Ac3AnalyzerObjects()).c_str(), "Both");
}
PLATFORM_EXPORT HRESULT DllUnregisterServer() { return UnregisterServerClass(outside::CLSID_Ac3FrameAnalyzer); }
