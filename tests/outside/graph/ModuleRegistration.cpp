#include "tests/outside/graph/ModuleRegistration.h"

#include <algorithm>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/library.h"
#include "platform/com/module.h"
#include "platform/com/variant.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FilterMapper.h"
#include "platform/dshow/Guids.h"

namespace outsidetest {

HRESULT RegisterModule(const char* module, bool registering) {
  HMODULE handle = LoadLibrary(module);
  if (!handle) return E_FAIL;
  auto entry = reinterpret_cast<DllRegisterServerFn>(
      GetProcAddress(handle, registering ? "DllRegisterServer" : "DllUnregisterServer"));
  return entry ? entry() : E_FAIL;
}

HRESULT CreateFromModule(const char* module, REFCLSID clsid, REFIID riid, void** ppv) {
  HMODULE handle = LoadLibrary(module);
  if (!handle) return E_FAIL;
  auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(GetProcAddress(handle, "DllGetClassObject"));
  if (!getClassObject) return E_FAIL;
  ComPtr<IClassFactory> factory;
  const HRESULT hr = getClassObject(clsid, IClassFactory::kIid, reinterpret_cast<void**>(factory.GetAddressOf()));
  return FAILED(hr) ? hr : factory->CreateInstance(nullptr, riid, ppv);
}

namespace {
std::string ReadText(IPropertyBag* bag, const char16_t* name) {
  VARIANT value;
  VariantInit(&value);
  std::string text;
  if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal) {
    text = Utf16ToUtf8(value.bstrVal);
  }
  VariantClear(&value);
  return text;
}
}  // namespace

std::vector<std::string> InputFilters(const GUID& major, const GUID& minor, bool exclusion) {
  std::vector<std::string> specs;
  ComPtr<IFilterMapper2> mapper;
  if (FAILED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(mapper.GetAddressOf()))))
    return specs;
  const GUID pair[2] = {major, minor};
  ComPtr<IEnumMoniker> found;
  if (FAILED(mapper->EnumMatchingFilters(found.GetAddressOf(), 0, TRUE, MERIT_DO_NOT_USE, TRUE, 1, pair, nullptr,
                                         nullptr, FALSE, TRUE, 0, nullptr, nullptr, nullptr)))
    return specs;
  for (;;) {
    ComPtr<IMoniker> moniker;
    if (found->Next(1, moniker.GetAddressOf(), nullptr) != S_OK) break;
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IPropertyBag::kIid, reinterpret_cast<void**>(bag.GetAddressOf()))))
      continue;
    const std::string name = ReadText(bag.Get(), u"FriendlyName");
    const bool excluded = name.find("uxer") != std::string::npos || name.find("ultiplexer") != std::string::npos ||
                          name.find("AC3Filter") != std::string::npos;
    if (exclusion && excluded) continue;
    specs.push_back(name + "," + ReadText(bag.Get(), u"CLSID"));
  }
  return specs;
}

std::string AutoMultiplexer() {
  const auto video = InputFilters(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, false);
  const auto audio = InputFilters(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG2_AUDIO, false);
  std::string chosen;
  for (const std::string& spec : video) {
    if (std::find(audio.begin(), audio.end(), spec) != audio.end()) chosen = spec;
  }
  return chosen;
}

}  // namespace outsidetest
