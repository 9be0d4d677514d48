#include "platform/com/library.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <mutex>

namespace {
std::mutex g_errorLock;
std::string g_lastError;

void RememberError() {
  const char* text = dlerror();
  std::lock_guard lock(g_errorLock);
  g_lastError = text ? text : "";
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
}  // namespace

std::string ExecutableFolder() {
  char path[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "./";
  std::string text(path, static_cast<std::size_t>(n));
  auto slash = text.rfind('/');
  return slash == std::string::npos ? "./" : text.substr(0, slash + 1);
}

HMODULE LoadLibrary(const char* name) {
  if (!name || !*name) return nullptr;
  std::string request(name);
  if (request.find('/') == std::string::npos) {
    std::string beside = ExecutableFolder() + request;
    if (FileExists(beside)) request = beside;
  }
  void* handle = ::dlopen(request.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) RememberError();
  return handle;
}

void* GetProcAddress(HMODULE module, const char* symbol) {
  if (!module || !symbol) return nullptr;
  void* address = ::dlsym(module, symbol);
  if (!address) RememberError();
  return address;
}

bool FreeLibrary(HMODULE module) { return module && ::dlclose(module) == 0; }

std::string GetModuleFileName(const void* addressInModule) {
  Dl_info info{};
  if (!addressInModule || ::dladdr(addressInModule, &info) == 0 || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  if (::realpath(info.dli_fname, resolved)) return resolved;
  return info.dli_fname;
}

std::string LastLibraryError() {
  std::lock_guard lock(g_errorLock);
  return g_lastError;
}
