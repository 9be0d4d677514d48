// regsvr MODULE [/u]: registers a module (or, with /u or -u, unregisters it) by loading it and
// calling its DllRegisterServer or DllUnregisterServer. /s or -s keeps quiet on success.
// Exit status: 0 done, 2 bad command line, 3 module not loadable, 4 entry point missing,
// 5 the entry point reported a failure.
#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/com/library.h"
#include "platform/com/module.h"

namespace {
bool IsOption(const std::string& word, char letter) {
  return word.size() == 2 && (word[0] == '/' || word[0] == '-') && (word[1] == letter || word[1] == letter - 32);
}

// A module named by an existing file (relative to the current folder) is loaded by its full path,
// so it registers where it really is; other names go through the usual module search.
std::string ModuleToLoad(const std::string& name) {
  struct stat st {};
  char resolved[PATH_MAX];
  if (::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::realpath(name.c_str(), resolved)) return resolved;
  return name;
}

int Usage() {
  std::fprintf(stderr, "Usage: regsvr MODULE [/u] [/s]\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::string module;
  bool unregister = false;
  bool silent = false;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (IsOption(word, 'u')) {
      unregister = true;
    } else if (IsOption(word, 's')) {
      silent = true;
    } else if (module.empty() && !word.empty()) {
      module = word;
    } else {
      return Usage();
    }
  }
  if (module.empty()) return Usage();

  const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  HMODULE handle = LoadLibrary(ModuleToLoad(module).c_str());
  if (!handle) {
    std::fprintf(stderr, "regsvr: cannot load %s: %s\n", module.c_str(), LastLibraryError().c_str());
    return 3;
  }
  auto entry = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(handle, entryName));
  if (!entry) {
    std::fprintf(stderr, "regsvr: %s has no %s entry point\n", module.c_str(), entryName);
    return 4;
  }
  const HRESULT hr = entry();
  if (FAILED(hr)) {
    std::fprintf(stderr, "regsvr: %s in %s failed with 0x%08X\n", entryName, module.c_str(),
                 static_cast<unsigned>(hr));
    return 5;
  }
  if (!silent) std::printf("%s in %s succeeded.\n", entryName, module.c_str());
  return 0;
}
