#include "platform/com/activation.h"

#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/com/library.h"
#include "platform/registry/registry.h"

namespace {
struct BuiltinClass {
  std::string name;
  CreateInstanceFn create;
};

std::mutex& TableLock() {
  static std::mutex lock;
  return lock;
}
std::unordered_map<GUID, BuiltinClass, GuidHash>& BuiltinTable() {
  static std::unordered_map<GUID, BuiltinClass, GuidHash> table;
  return table;
}
// Modules loaded for activation, by path; never unloaded while the process runs.
std::unordered_map<std::string, HMODULE>& LoadedModules() {
  static std::unordered_map<std::string, HMODULE> modules;
  return modules;
}

CreateInstanceFn FindBuiltin(REFCLSID clsid) {
  std::lock_guard lock(TableLock());
  auto it = BuiltinTable().find(clsid);
  return it == BuiltinTable().end() ? nullptr : it->second.create;
}

HRESULT LoadModuleFor(const std::string& path, HMODULE* module) {
  std::lock_guard lock(TableLock());
  auto it = LoadedModules().find(path);
  if (it != LoadedModules().end()) {
    *module = it->second;
    return S_OK;
  }
  HMODULE loaded = LoadLibrary(path.c_str());
  if (!loaded) return CO_E_DLLNOTFOUND;
  LoadedModules().emplace(path, loaded);
  *module = loaded;
  return S_OK;
}

std::string ClassKey(REFCLSID clsid) { return "CLSID\\" + GuidToString(clsid); }
}  // namespace

HRESULT CoInitialize(void*) { return S_OK; }
HRESULT CoInitializeEx(void*, DWORD) { return S_OK; }
void CoUninitialize() {}

void RegisterBuiltinClass(const char* name, REFCLSID clsid, CreateInstanceFn create) {
  std::lock_guard lock(TableLock());
  BuiltinTable()[clsid] = BuiltinClass{name ? name : "", create};
}

std::string RegisteredModulePath(REFCLSID clsid) {
  std::string path;
  if (!RegistryReadString(HKEY_CLASSES_ROOT, ClassKey(clsid) + "\\InprocServer32", "", &path)) return {};
  return path;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void*, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if ((context & CLSCTX_INPROC) == 0) return REGDB_E_CLASSNOTREG;
  if (CreateInstanceFn create = FindBuiltin(clsid)) {
    IClassFactory* factory = NewClassFactory(create, nullptr);
    if (!factory) return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
  }
  std::string path = RegisteredModulePath(clsid);
  if (path.empty()) return REGDB_E_CLASSNOTREG;
  HMODULE module = nullptr;
  HRESULT hr = LoadModuleFor(path, &module);
  if (FAILED(hr)) return hr;
  auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(GetProcAddress(module, "DllGetClassObject"));
  if (!getClassObject) return CO_E_ERRORINDLL;
  return getClassObject(clsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(clsid, context, nullptr, IClassFactory::kIid, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, riid, ppv);
  factory->Release();
  return hr;
}

HRESULT RegisterServerClass(REFCLSID clsid, const char* name, const char* modulePath, const char* threadingModel) {
  const std::string key = ClassKey(clsid);
  if (RegistryWriteString(HKEY_CLASSES_ROOT, key, "", name ? name : "") != ERROR_SUCCESS) return SELFREG_E_CLASS;
  if (RegistryWriteString(HKEY_CLASSES_ROOT, key + "\\InprocServer32", "", modulePath ? modulePath : "") !=
      ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  if (threadingModel &&
      RegistryWriteString(HKEY_CLASSES_ROOT, key + "\\InprocServer32", "ThreadingModel", threadingModel) !=
          ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  return S_OK;
}

HRESULT UnregisterServerClass(REFCLSID clsid) {
  LONG rc = RegDeleteTree(HKEY_CLASSES_ROOT, ClassKey(clsid).c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
}
