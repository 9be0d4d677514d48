#pragma once
// Test helper: registers a module found beside the test program as the regsvr tool does (load it,
// call its DllRegisterServer or DllUnregisterServer), and lists the catalogue the way the
// converter asks it.
#include <string>
#include <vector>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

namespace outsidetest {

// Calls the module's DllRegisterServer (or DllUnregisterServer); a failure to load is E_FAIL.
HRESULT RegisterModule(const char* module, bool registering = true);

// Creates a class of a module found beside the test program, without the registry.
HRESULT CreateFromModule(const char* module, REFCLSID clsid, REFIID riid, void** ppv);

// "name,{clsid}" of every catalogue filter with an input of the given type (exact match, merit
// at least "do not use") and an output pin, in the catalogue's order. With exclusion, names that
// contain "uxer", "ultiplexer" or "AC3Filter" are left out.
std::vector<std::string> InputFilters(const GUID& major, const GUID& minor, bool exclusion);

// What the converter's automatic choice takes: the last entry of the MPEG-2 video list that is in
// the MPEG-2 audio list too, or "".
std::string AutoMultiplexer();

}  // namespace outsidetest
