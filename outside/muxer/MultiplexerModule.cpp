// PsTsMultiplexer.ax: the module's four exports.
#include "outside/muxer/MultiplexerModule.h"

#include "outside/muxer/MultiplexerFilter.h"
#include "platform/com/activation.h"
#include "platform/com/library.h"

namespace outside {

namespace {
constexpr ClassEntry kClasses[] = {{kMultiplexerName, CLSID_PsTsMultiplexer, &MultiplexerFilter::CreateInstance}};
}

}  // namespace outside

PLATFORM_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  return ModuleGetClassObject(outside::kClasses, &outside::MultiplexerObjects(), clsid, riid, ppv);
}
PLATFORM_EXPORT HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(outside::MultiplexerObjects()); }
PLATFORM_EXPORT HRESULT DllRegisterServer() {
  return RegisterServerClass(outside::CLSID_PsTsMultiplexer, outside::kMultiplexerName,
                             GetModuleFileName(&outside::MultiplexerObjects()).c_str(), "Both");
}
PLATFORM_EXPORT HRESULT DllUnregisterServer() { return UnregisterServerClass(outside::CLSID_PsTsMultiplexer); }
