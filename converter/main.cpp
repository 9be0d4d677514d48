// Brannock, the converter program.
#include <string>
#include <vector>

#include "converter/engine/Startup.h"
#include "converter/ui/HeadlessHost.h"
#include "platform/com/library.h"

int main(int argc, char** argv) {
  std::vector<std::string> words(argv + 1, argv + argc);
  std::string name = argc > 0 ? argv[0] : "brannock";
  if (size_t slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
  HeadlessHost host;
  return RunStartup(words, ExecutableFolder() + name, host);
}
