#include "converter/engine/FilterCatalogue.h"

#include <algorithm>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/variant.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FilterMapper.h"
#include "platform/dshow/Guids.h"
#include "platform/registry/registry.h"

namespace {

std::string ReadBagText(IPropertyBag* bag, const char16_t* name) {
  VARIANT value;
  VariantInit(&value);
  std::string text;
  if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal)
    text = Utf16ToUtf8(value.bstrVal);
  VariantClear(&value);
  return text;
}

// Case-sensitive, as the names are written by their vendors.
bool IsExcludedName(const std::string& name) {
  return name.find("uxer") != std::string::npos || name.find("ultiplexer") != std::string::npos ||
         name.find("AC3Filter") != std::string::npos;
}

bool Contains(const std::vector<std::string>& list, const std::string& text) {
  return std::find(list.begin(), list.end(), text) != list.end();
}

}  // namespace

bool IsAutomaticFilterSpec(const std::string& spec) { return spec.empty() || spec == kAutoFilterSpec; }

std::string FilterSpecName(const std::string& spec) { return spec.substr(0, spec.find(',')); }

std::string FilterSpecClass(const std::string& spec) {
  const std::size_t comma = spec.find(',');
  return comma == std::string::npos ? std::string() : spec.substr(comma + 1);
}

int EnumerateInputFilters(const GUID& major, const GUID& subtype, bool exclusion, std::vector<std::string>& list) {
  ComPtr<IFilterMapper2> mapper;
  if (FAILED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                              IID_PPV_ARGS(mapper.GetAddressOf()))))
    return 0;
  const GUID inputType[2] = {major, subtype};
  ComPtr<IEnumMoniker> found;
  if (FAILED(mapper->EnumMatchingFilters(found.GetAddressOf(), 0, TRUE, MERIT_DO_NOT_USE, TRUE, 1, inputType, nullptr,
                                         nullptr, FALSE, TRUE, 0, nullptr, nullptr, nullptr)) ||
      !found)
    return static_cast<int>(list.size());
  for (;;) {
    ComPtr<IMoniker> moniker;
    if (found->Next(1, moniker.GetAddressOf(), nullptr) != S_OK || !moniker) break;
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IPropertyBag::kIid, reinterpret_cast<void**>(bag.GetAddressOf()))) ||
        !bag)
      continue;
    const std::string name = ReadBagText(bag.Get(), u"FriendlyName");
    if (exclusion && IsExcludedName(name)) continue;
    list.push_back(name + "," + ReadBagText(bag.Get(), u"CLSID"));
  }
  return static_cast<int>(list.size());
}

std::vector<std::string> MultiplexerCandidates(bool* bothListsFound) {
  std::vector<std::string> video, audio, candidates;
  EnumerateInputFilters(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, false, video);
  EnumerateInputFilters(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG2_AUDIO, false, audio);
  const bool both = !video.empty() && !audio.empty();
  if (bothListsFound) *bothListsFound = both;
  if (!both) return candidates;
  for (const std::string& spec : video) {
    if (Contains(audio, spec)) candidates.push_back(spec);
  }
  return candidates;
}

std::vector<std::string> Ac3AnalyzerCandidates() {
  std::vector<std::string> list;
  EnumerateInputFilters(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, true, list);
  return list;
}

std::string AutomaticMultiplexer() {
  const std::vector<std::string> candidates = MultiplexerCandidates();
  return candidates.empty() ? std::string() : candidates.back();
}

std::string MultiplexerInUse(const std::string& muxerSetting) {
  return muxerSetting.empty() ? AutomaticMultiplexer() : muxerSetting;
}

std::string FindFilterModule(const std::string& classText) {
  // The whole value is taken: a module path cut at a fixed length would name another file.
  std::string module;
  if (classText.empty() || !RegistryReadString(HKEY_CLASSES_ROOT, "CLSID\\" + classText + "\\InprocServer32", "", &module))
    return std::string();
  return module;
}
