#include "converter/engine/TempFolder.h"

#include <cstdlib>

std::string TempFolder() {
  const char* folder = std::getenv("TMPDIR");
  std::string path = folder && *folder ? folder : "/tmp";
  if (path.back() != '/') path += '/';
  return path;
}

void DebugOutput(std::string_view) {}
