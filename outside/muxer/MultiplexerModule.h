#pragma once
// The multiplexer module's live-object count (DllCanUnloadNow reads it).
#include "platform/com/module.h"

namespace outside {
ModuleObjectCount& MultiplexerObjects();
}
