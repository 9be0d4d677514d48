// Ac3Analyzer.ax: the module's four exports. Registration also enters the filter into the
// catalogue with its AC3 pins, so a host listing filters that take AC3 offers it. Its merit keeps
// automatic graph building from ever inserting it on its own.
#include "outside/ac3analyzer/Ac3AnalyzerModule.h"

#include <iterator>
#include <string>

#include "outside/ac3analyzer/Ac3AnalyzerFilter.h"
#include "platform/com/activation.h"
#include "platform/com/library.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FilterMapper.h"

namespace outside {

namespace {
constexpr ClassEntry kClasses[] = {{kAc3AnalyzerName, CLSID_Ac3FrameAnalyzer, &Ac3AnalyzerFilter::CreateInstance}};

constexpr REGPINTYPES kAc3Types[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_DOLBY_AC3}};
constexpr REGFILTERPINS kPins[] = {
    {u"In", FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, std::size(kAc3Types), kAc3Types},
    {u"Out", FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, std::size(kAc3Types), kAc3Types},
};

HRESULT RegisterInCatalogue(BOOL registering) {
  const std::u16string name = Utf8ToUtf16(kAc3AnalyzerName);
  const AMOVIESETUP_FILTER setup{&CLSID_Ac3FrameAnalyzer, name.c_str(), MERIT_DO_NOT_USE, std::size(kPins), kPins};
  return RegisterFilterSetup(setup, registering);
}
}  // namespace

}  // namespace outside

PLATFORM_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  return ModuleGetClassObject(outside::kClasses, &outside::Ac3AnalyzerObjects(), clsid, riid, ppv);
}
PLATFORM_EXPORT HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(outside::Ac3AnalyzerObjects()); }
PLATFORM_EXPORT HRESULT DllRegisterServer() {
  const HRESULT hr = RegisterServerClass(outside::CLSID_Ac3FrameAnalyzer, outside::kAc3AnalyzerName,
                                         GetModuleFileName(&outside::Ac3AnalyzerObjects()).c_str(), "Both");
  return FAILED(hr) ? hr : outside::RegisterInCatalogue(TRUE);
}
PLATFORM_EXPORT HRESULT DllUnregisterServer() {
  const HRESULT catalogue = outside::RegisterInCatalogue(FALSE);
  const HRESULT hr = UnregisterServerClass(outside::CLSID_Ac3FrameAnalyzer);
  return FAILED(catalogue) ? catalogue : hr;
}
