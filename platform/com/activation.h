#pragma once
// Object creation by class identifier. CoCreateInstance looks in the platform's built-in class
// table first (graph manager, filter mapper, platform filters), then in the registry at
// HKCR\CLSID\{clsid}\InprocServer32 (default value = module path or name), loads that module and
// asks its DllGetClassObject. An unknown class gives REGDB_E_CLASSNOTREG. Loaded modules stay
// loaded for the life of the process (the class cache).
#include "platform/com/module.h"

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
inline constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
inline constexpr DWORD COINIT_MULTITHREADED = 0x0;

HRESULT CoInitialize(void* reserved);
HRESULT CoInitializeEx(void* reserved, DWORD flags);
void CoUninitialize();

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** ppv);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* reserved, REFIID riid, void** ppv);

// The platform's own classes register here (at library load); a later entry for the same class
// replaces an earlier one.
void RegisterBuiltinClass(const char* name, REFCLSID clsid, CreateInstanceFn create);
// The registered module path of a class ("" when none), from HKCR\CLSID\{clsid}\InprocServer32.
std::string RegisteredModulePath(REFCLSID clsid);

// Registers or removes HKCR\CLSID\{clsid} with its name, InprocServer32 = modulePath and
// ThreadingModel, as a module's DllRegisterServer does for its classes.
HRESULT RegisterServerClass(REFCLSID clsid, const char* name, const char* modulePath, const char* threadingModel);
HRESULT UnregisterServerClass(REFCLSID clsid);
