// Flumetta.ax: the in-process server holding the source filter.
#include "platform/com/library.h"
#include "platform/com/module.h"
#include "shared/ClassIds.h"
#include "tsfilter/filter/TsSourceFilter.h"
#include "tsfilter/services/ServerRegistration.h"

namespace {

ModuleObjectCount g_objects;

const ClassEntry kClasses[] = {
    {"Orvanet Flumetta", CLSID_Flumetta, &tsfilter::TsSourceFilter::CreateInstance},
};

std::string ThisModulePath() { return GetModuleFileName(reinterpret_cast<const void*>(&g_objects)); }

}  // namespace

PLATFORM_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  tsfilter::TsSourceFilter::SetModuleObjectCount(&g_objects);
  return ModuleGetClassObject(kClasses, &g_objects, clsid, riid, ppv);
}

PLATFORM_EXPORT HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(g_objects); }

PLATFORM_EXPORT HRESULT DllRegisterServer() { return tsfilter::RegisterFlumettaServer(ThisModulePath()); }

PLATFORM_EXPORT HRESULT DllUnregisterServer() { return tsfilter::UnregisterFlumettaServer(ThisModulePath()); }
