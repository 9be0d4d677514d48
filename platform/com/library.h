#pragma once
// Loading modules by name. A bare name ("Flumetta.ax") is looked up in the executable's own
// folder first, then by the normal dynamic-loader search; a name with "/" is taken as a path.
#include <string>

using HMODULE = void*;

HMODULE LoadLibrary(const char* name);
void* GetProcAddress(HMODULE module, const char* symbol);
bool FreeLibrary(HMODULE module);
// The full path of a loaded module (by the address of anything inside it), "" when unknown.
std::string GetModuleFileName(const void* addressInModule);
// The folder of the running executable, with a trailing "/".
std::string ExecutableFolder();
// The last loader error text (dlerror), for diagnostics.
std::string LastLibraryError();
