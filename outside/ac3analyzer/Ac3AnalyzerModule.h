#pragma once
// The AC3 analyzer module's live-object count (DllCanUnloadNow reads it).
#include "platform/com/module.h"

namespace outside {
ModuleObjectCount& Ac3AnalyzerObjects();
}
