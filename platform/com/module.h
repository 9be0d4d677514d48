#pragma once
// What an in-process server (a .ax module) needs for its four exports:
//   DllGetClassObject, DllCanUnloadNow, DllRegisterServer, DllUnregisterServer (C linkage).
// A module lists its classes in a table of ClassEntry and answers DllGetClassObject with
// ModuleGetClassObject; ModuleObjectCount keeps DllCanUnloadNow honest.
#include <atomic>
#include <cstddef>
#include <span>

#include "platform/com/unknown.h"

#define PLATFORM_EXPORT extern "C" __attribute__((visibility("default")))

// Creates an instance; outer is the controlling unknown when aggregated (may be rejected).
using CreateInstanceFn = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

struct ClassEntry {
  const char* name;
  CLSID clsid;
  CreateInstanceFn create;
};

// Live objects and server locks of one module; each module owns one (DllCanUnloadNow reads it).
class ModuleObjectCount {
 public:
  void Increment() { ++m_count; }
  void Decrement() { --m_count; }
  long Count() const { return m_count.load(); }

 private:
  std::atomic<long> m_count{0};
};

// A class factory over a create function; it keeps the module loaded while it lives.
IClassFactory* NewClassFactory(CreateInstanceFn create, ModuleObjectCount* count);

HRESULT ModuleGetClassObject(std::span<const ClassEntry> classes, ModuleObjectCount* count, REFCLSID clsid,
                             REFIID riid, void** ppv);
inline HRESULT ModuleCanUnloadNow(const ModuleObjectCount& count) { return count.Count() == 0 ? S_OK : S_FALSE; }

// The signatures of the four exports, as the platform looks them up.
using DllGetClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID riid, void** ppv);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();
