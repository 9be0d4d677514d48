#include "outside/muxer/MultiplexerModule.h"

namespace outside {

ModuleObjectCount& MultiplexerObjects() {
  static ModuleObjectCount count;
  return count;
}

}  // namespace outside
