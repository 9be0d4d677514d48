// The dump filter module: one class, the dump filter, which writes every sample of its pin
// "Input" to the file named through IFileSinkFilter (large buffered writes; the file is complete
// once the graph has stopped). A WAVE byte stream (MEDIATYPE_Stream / MEDIASUBTYPE_WAVE, whose
// samples carry file offsets) is written at those offsets, so the header a WAV writer writes at
// stop through the pin's IStream never covers audio; everything else is appended in arrival
// order. Without a file name the samples are discarded.
#include "platform/com/activation.h"
#include "platform/com/library.h"
#include "platform/filters/WriterFilter.h"

namespace {

constexpr CLSID CLSID_DumpFilter = MakeGuid("{C16F5100-FD54-448E-BD99-E10CA5C088BC}");
constexpr char kFilterName[] = "Gallowin";

ModuleObjectCount g_objects;

// Counts itself in the module's object count, so the module is not unloaded under it.
class DumpFilter final : public WriterFilter {
 public:
  static constexpr WriterOptions kOptions{kFilterName, CLSID_DumpFilter, u"Input", false, u"1.2.0.0"};
  DumpFilter() : WriterFilter(kOptions, nullptr) { g_objects.Increment(); }
  ~DumpFilter() override { g_objects.Decrement(); }
};

HRESULT CreateDumpFilter(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* filter = new DumpFilter();
  filter->NonDelegatingAddRef();
  HRESULT hr = filter->NonDelegatingQueryInterface(riid, ppv);
  filter->NonDelegatingRelease();
  return hr;
}

constexpr ClassEntry kClasses[] = {{kFilterName, CLSID_DumpFilter, CreateDumpFilter}};

}  // namespace

PLATFORM_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  return ModuleGetClassObject(kClasses, &g_objects, clsid, riid, ppv);
}
PLATFORM_EXPORT HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(g_objects); }
PLATFORM_EXPORT HRESULT DllRegisterServer() {
  return RegisterServerClass(CLSID_DumpFilter, kFilterName, GetModuleFileName(&g_objects).c_str(), "Both");
}
PLATFORM_EXPORT HRESULT DllUnregisterServer() { return UnregisterServerClass(CLSID_DumpFilter); }
