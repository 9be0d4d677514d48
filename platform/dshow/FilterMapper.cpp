#include "platform/dshow/FilterMapper.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/com/MonikerEnumerator.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/variant.h"
#include "platform/com/wstring.h"
#include "platform/registry/registry.h"

namespace {

struct PinRecord {
  std::string name;
  bool output = false;
  bool rendered = false;
  bool zero = false;
  bool many = false;
  std::vector<std::pair<GUID, GUID>> types;
};

struct FilterRecord {
  std::string name;
  std::optional<std::string> clsidText;  // as stored; may be missing or malformed
  DWORD merit = MERIT_DO_NOT_USE;
  std::vector<PinRecord> pins;
};

std::string InstanceKey(const CLSID* category) {
  return "CLSID\\" + GuidToString(category ? *category : CLSID_LegacyAmFilterCategory) + "\\Instance";
}

// One line per pin: name|flags|{major}/{minor},{major}/{minor}
std::string PinsToText(const std::vector<PinRecord>& pins) {
  std::string text;
  for (const PinRecord& pin : pins) {
    std::string name = pin.name;
    std::replace_if(name.begin(), name.end(), [](char c) { return c == '|' || c == '\n'; }, '_');
    text += name + "|";
    if (pin.output) text += 'O';
    if (pin.rendered) text += 'R';
    if (pin.zero) text += 'Z';
    if (pin.many) text += 'M';
    text += "|";
    for (size_t i = 0; i < pin.types.size(); ++i) {
      if (i) text += ",";
      text += GuidToString(pin.types[i].first) + "/" + GuidToString(pin.types[i].second);
    }
    text += "\n";
  }
  return text;
}

// Lines that do not parse are skipped; a type that does not parse is skipped.
std::vector<PinRecord> PinsFromText(const std::string& text) {
  std::vector<PinRecord> pins;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t bar1 = line.find('|');
    const size_t bar2 = bar1 == std::string::npos ? std::string::npos : line.find('|', bar1 + 1);
    if (bar2 == std::string::npos) continue;
    PinRecord pin;
    pin.name = line.substr(0, bar1);
    const std::string flags = line.substr(bar1 + 1, bar2 - bar1 - 1);
    pin.output = flags.find('O') != std::string::npos;
    pin.rendered = flags.find('R') != std::string::npos;
    pin.zero = flags.find('Z') != std::string::npos;
    pin.many = flags.find('M') != std::string::npos;
    std::istringstream types(line.substr(bar2 + 1));
    std::string pair;
    while (std::getline(types, pair, ',')) {
      const size_t slash = pair.find('/');
      GUID major{}, minor{};
      if (slash == std::string::npos || !GuidFromString(pair.substr(0, slash), &major) ||
          !GuidFromString(pair.substr(slash + 1), &minor))
        continue;
      pin.types.emplace_back(major, minor);
    }
    pins.push_back(std::move(pin));
  }
  return pins;
}

FilterRecord RecordFromSetup(const AMOVIESETUP_FILTER& setup) {
  FilterRecord record;
  record.name = setup.strName ? Utf16ToUtf8(setup.strName) : std::string();
  record.clsidText = GuidToString(*setup.clsID);
  record.merit = setup.dwMerit;
  for (UINT i = 0; i < setup.nPins && setup.lpPin; ++i) {
    const AMOVIESETUP_PIN& p = setup.lpPin[i];
    PinRecord pin;
    pin.name = p.strName ? Utf16ToUtf8(p.strName) : std::string();
    pin.output = p.bOutput != FALSE;
    pin.rendered = p.bRendered != FALSE;
    pin.zero = p.bZero != FALSE;
    pin.many = p.bMany != FALSE;
    for (UINT t = 0; t < p.nMediaTypes && p.lpMediaType; ++t) {
      const REGPINTYPES& type = p.lpMediaType[t];
      pin.types.emplace_back(type.clsMajorType ? *type.clsMajorType : GUID_NULL,
                             type.clsMinorType ? *type.clsMinorType : GUID_NULL);
    }
    record.pins.push_back(std::move(pin));
  }
  return record;
}

std::mutex& BuiltinLock() {
  static std::mutex lock;
  return lock;
}
std::vector<FilterRecord>& BuiltinFilters() {
  static std::vector<FilterRecord> filters;
  return filters;
}

std::vector<FilterRecord> ReadRegisteredFilters() {
  std::vector<FilterRecord> filters;
  HKEY instances = nullptr;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, InstanceKey(nullptr).c_str(), 0, KEY_READ, &instances) != ERROR_SUCCESS)
    return filters;
  for (DWORD index = 0;; ++index) {
    char name[512];
    DWORD nameSize = sizeof(name);
    LONG status = RegEnumKeyEx(instances, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) continue;  // a name that long is not one of ours
    if (status != ERROR_SUCCESS) break;
    const std::string path = InstanceKey(nullptr) + "\\" + name;
    FilterRecord record;
    RegistryReadString(HKEY_CLASSES_ROOT, path, "FriendlyName", &record.name);
    std::string clsid;
    if (RegistryReadString(HKEY_CLASSES_ROOT, path, "CLSID", &clsid)) record.clsidText = clsid;
    RegistryReadDword(HKEY_CLASSES_ROOT, path, "Merit", &record.merit);
    std::string pins;
    if (RegistryReadString(HKEY_CLASSES_ROOT, path, "Pins", &pins)) record.pins = PinsFromText(pins);
    filters.push_back(std::move(record));
  }
  RegCloseKey(instances);
  return filters;
}

bool GuidMatches(const GUID& asked, const GUID& registered, bool exact) {
  if (asked == GUID_NULL) return true;
  if (registered == GUID_NULL) return !exact;
  return asked == registered;
}

bool PinMatches(const PinRecord& pin, bool exact, DWORD count, const GUID* types) {
  if (count == 0 || !types) return true;
  for (DWORD i = 0; i < count; ++i) {
    for (const auto& [major, minor] : pin.types) {
      if (GuidMatches(types[2 * i], major, exact) && GuidMatches(types[2 * i + 1], minor, exact)) return true;
    }
  }
  return false;
}

bool HasPin(const FilterRecord& filter, bool output, bool exact, DWORD count, const GUID* types, bool rendered) {
  for (const PinRecord& pin : filter.pins) {
    if (pin.output != output) continue;
    if (rendered && !pin.rendered) continue;
    if (PinMatches(pin, exact, count, types)) return true;
  }
  return false;
}

// "FriendlyName" and "CLSID" of one catalogue entry, as text.
class FilterPropertyBag final : public ComObject<IPropertyBag> {
 public:
  FilterPropertyBag(std::string name, std::optional<std::string> clsid)
      : m_name(std::move(name)), m_clsid(std::move(clsid)) {}
  STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    if (!name || !value) return E_POINTER;
    const std::u16string_view wanted(name);
    const std::string* text = nullptr;
    if (wanted == u"FriendlyName") text = &m_name;
    else if (wanted == u"CLSID" && m_clsid) text = &*m_clsid;
    if (!text) return E_INVALIDARG;
    if (value->vt != VT_EMPTY && value->vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
    BSTR copy = SysAllocStringUtf8(*text);
    if (!copy) return E_OUTOFMEMORY;
    value->vt = VT_BSTR;
    value->bstrVal = copy;
    return S_OK;
  }
  STDMETHODIMP Write(LPCOLESTR, VARIANT*) override { return E_ACCESSDENIED; }

 private:
  std::string m_name;
  std::optional<std::string> m_clsid;
};

class FilterMoniker final : public ComObject<IMoniker> {
 public:
  explicit FilterMoniker(FilterRecord record) : m_record(std::move(record)) {}
  STDMETHODIMP BindToObject(IBindCtx*, IMoniker*, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    GUID clsid{};
    if (!m_record.clsidText || !GuidFromString(*m_record.clsidText, &clsid)) return REGDB_E_CLASSNOTREG;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, ppv);
  }
  STDMETHODIMP BindToStorage(IBindCtx*, IMoniker*, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IPropertyBag::kIid) return E_NOINTERFACE;
    auto* bag = new (std::nothrow) FilterPropertyBag(m_record.name, m_record.clsidText);
    if (!bag) return E_OUTOFMEMORY;
    *ppv = static_cast<IPropertyBag*>(bag);
    return S_OK;
  }
  STDMETHODIMP GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* displayName) override {
    if (!displayName) return E_POINTER;
    *displayName = CoTaskMemDupWide(Utf8ToUtf16(DisplayName()));
    return *displayName ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP IsEqual(IMoniker* other) override {
    if (!other) return E_POINTER;
    LPOLESTR name = nullptr;
    if (FAILED(other->GetDisplayName(nullptr, nullptr, &name)) || !name) return S_FALSE;
    const bool same = Utf16ToUtf8(name) == DisplayName();
    CoTaskMemFree(name);
    return same ? S_OK : S_FALSE;
  }

 private:
  std::string DisplayName() const {
    return "@device:sw:" + GuidToString(CLSID_LegacyAmFilterCategory) + "\\" + m_record.clsidText.value_or("");
  }
  FilterRecord m_record;
};

class CFilterMapper final : public ComObject<IFilterMapper2> {
 public:
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* mapper = new (std::nothrow) CFilterMapper();
    if (!mapper) return E_OUTOFMEMORY;
    HRESULT hr = mapper->QueryInterface(riid, ppv);
    mapper->Release();
    return hr;
  }

  STDMETHODIMP CreateCategory(REFCLSID, DWORD, LPCWSTR) override { return S_OK; }

  STDMETHODIMP UnregisterFilter(const CLSID* category, LPCOLESTR instance, REFCLSID filter) override {
    const std::string path =
        InstanceKey(category) + "\\" + (instance ? Utf16ToUtf8(instance) : GuidToString(filter));
    LONG status = RegDeleteTree(HKEY_CLASSES_ROOT, path.c_str());
    if (status == ERROR_SUCCESS) status = RegDeleteKey(HKEY_CLASSES_ROOT, path.c_str());
    if (status == ERROR_FILE_NOT_FOUND) return S_FALSE;
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
  }

  STDMETHODIMP RegisterFilter(REFCLSID filter, LPCWSTR name, IMoniker** moniker, const CLSID* category,
                              LPCOLESTR instance, const REGFILTER2* data) override {
    if (!data || !name) return E_POINTER;
    if (data->dwVersion != 1) return E_INVALIDARG;
    const AMOVIESETUP_FILTER setup{&filter, name, data->dwMerit, static_cast<UINT>(data->cPins), data->rgPins};
    const FilterRecord record = RecordFromSetup(setup);
    const std::string path =
        InstanceKey(category) + "\\" + (instance ? Utf16ToUtf8(instance) : GuidToString(filter));
    RegDeleteTree(HKEY_CLASSES_ROOT, path.c_str());  // forget pins of an earlier registration
    LONG status = RegistryWriteString(HKEY_CLASSES_ROOT, path, "FriendlyName", record.name);
    if (status == ERROR_SUCCESS) status = RegistryWriteString(HKEY_CLASSES_ROOT, path, "CLSID", *record.clsidText);
    if (status == ERROR_SUCCESS) status = RegistryWriteDword(HKEY_CLASSES_ROOT, path, "Merit", record.merit);
    if (status == ERROR_SUCCESS) status = RegistryWriteString(HKEY_CLASSES_ROOT, path, "Pins", PinsToText(record.pins));
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
    if (moniker) {
      *moniker = new (std::nothrow) FilterMoniker(record);
      if (!*moniker) return E_OUTOFMEMORY;
    }
    return S_OK;
  }

  STDMETHODIMP EnumMatchingFilters(IEnumMoniker** monikers, DWORD, BOOL exactMatch, DWORD merit, BOOL inputNeeded,
                                   DWORD cInputTypes, const GUID* pInputTypes, const REGPINMEDIUM*, const CLSID*,
                                   BOOL render, BOOL outputNeeded, DWORD cOutputTypes, const GUID* pOutputTypes,
                                   const REGPINMEDIUM*, const CLSID*) override {
    if (!monikers) return E_POINTER;
    *monikers = nullptr;
    std::vector<FilterRecord> all = ReadRegisteredFilters();
    {
      std::lock_guard lock(BuiltinLock());
      all.insert(all.end(), BuiltinFilters().begin(), BuiltinFilters().end());
    }
    std::vector<FilterRecord> matching;
    for (FilterRecord& filter : all) {
      if (filter.merit < merit) continue;
      if ((inputNeeded || cInputTypes > 0) &&
          !HasPin(filter, false, exactMatch != FALSE, cInputTypes, pInputTypes, render != FALSE))
        continue;
      if ((outputNeeded || cOutputTypes > 0) && !HasPin(filter, true, exactMatch != FALSE, cOutputTypes, pOutputTypes, false))
        continue;
      matching.push_back(std::move(filter));
    }
    std::stable_sort(matching.begin(), matching.end(),
                     [](const FilterRecord& a, const FilterRecord& b) { return a.merit > b.merit; });
    std::vector<ComPtr<IMoniker>> list;
    for (FilterRecord& filter : matching) {
      ComPtr<IMoniker> moniker;
      moniker.Attach(new (std::nothrow) FilterMoniker(std::move(filter)));
      if (!moniker) return E_OUTOFMEMORY;
      list.push_back(moniker);
    }
    *monikers = new (std::nothrow) MonikerEnumerator(std::move(list));
    return *monikers ? S_OK : E_OUTOFMEMORY;
  }
};

struct Registrar {
  Registrar() { RegisterBuiltinClass("Filter Mapper2", CLSID_FilterMapper2, &CFilterMapper::CreateInstance); }
} registrar;

}  // namespace

HRESULT RegisterFilterSetup(const AMOVIESETUP_FILTER& filter, BOOL registering) {
  if (!filter.clsID) return E_POINTER;
  ComPtr<IFilterMapper2> mapper;
  HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IFilterMapper2::kIid,
                                reinterpret_cast<void**>(mapper.GetAddressOf()));
  if (FAILED(hr)) return hr;
  if (!registering) {
    hr = mapper->UnregisterFilter(&CLSID_LegacyAmFilterCategory, nullptr, *filter.clsID);
    return SUCCEEDED(hr) ? S_OK : hr;  // a filter that was not registered is no failure here
  }
  const REGFILTER2 data{1, filter.dwMerit, filter.nPins, filter.lpPin};
  return mapper->RegisterFilter(*filter.clsID, filter.strName, nullptr, &CLSID_LegacyAmFilterCategory, nullptr, &data);
}

void RegisterBuiltinFilter(const AMOVIESETUP_FILTER& filter) {
  if (!filter.clsID) return;
  FilterRecord record = RecordFromSetup(filter);
  std::lock_guard lock(BuiltinLock());
  auto& list = BuiltinFilters();
  auto same = std::find_if(list.begin(), list.end(), [&](const FilterRecord& r) { return r.clsidText == record.clsidText; });
  if (same != list.end()) *same = std::move(record);
  else list.push_back(std::move(record));
}
