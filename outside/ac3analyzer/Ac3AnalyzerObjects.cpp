#include "outside/ac3analyzer/Ac3AnalyzerModule.h"

namespace outside {

ModuleObjectCount& Ac3AnalyzerObjects() {
  static ModuleObjectCount count;
  return count;
}

}  // namespace outside
