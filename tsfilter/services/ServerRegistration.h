#pragma once
// What the module's registration entry points do: the file types, the settings reset and the
// classes (the filter and its five property pages) in the registry.
#include <string>

#include "platform/com/hresult.h"

namespace tsfilter {

HRESULT RegisterFlumettaServer(const std::string& modulePath);
HRESULT UnregisterFlumettaServer(const std::string& modulePath);

}  // namespace tsfilter
