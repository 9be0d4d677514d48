#pragma once
// The registry: hives HKEY_CURRENT_USER, HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE, each kept in
// one file under the platform's configuration folder:
//   $PLATFORM_REGISTRY_DIR if set, else $XDG_CONFIG_HOME/orvanet-registry, else ~/.config/orvanet-registry.
// The calls keep the Win32 shapes and return Win32 error codes (ERROR_SUCCESS = 0). Key and value
// names are UTF-8 and compared without regard to (ASCII) case; "\" separates key names.
// Key handles from RegOpenKeyEx/RegCreateKeyEx name a hive and a path (no snapshot: every call
// sees the file's current content) and are freed by RegCloseKey; the predefined roots need no close.
// A handle whose key was deleted meanwhile gives ERROR_KEY_DELETED.
// Every change is saved at once: read, modify and rewrite the hive under an exclusive file lock,
// written to a temporary file, synced and renamed over the old one. A hive file that cannot be
// parsed is reported (ERROR_REGISTRY_CORRUPT) and left as it is.
#include <cstdint>
#include <string>

#include "platform/com/types.h"

struct RegistryKey;
using HKEY = RegistryKey*;
using REGSAM = DWORD;
using PHKEY = HKEY*;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))

inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_OUTOFMEMORY = 14;
inline constexpr LONG ERROR_WRITE_FAULT = 29;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;
inline constexpr LONG ERROR_BADDB = 1009;
inline constexpr LONG ERROR_REGISTRY_CORRUPT = 1015;
inline constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;
inline constexpr LONG ERROR_KEY_DELETED = 1018;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

LONG RegOpenKeyEx(HKEY key, const char* subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegCreateKeyEx(HKEY key, const char* subKey, DWORD reserved, char* className, DWORD options, REGSAM access,
                    void* security, PHKEY result, DWORD* disposition);
LONG RegCloseKey(HKEY key);
// Reads a value; "" or nullptr names the default value. With data == nullptr only the size is given.
// REG_SZ data include the terminating zero. ERROR_MORE_DATA when *dataSize is too small.
LONG RegQueryValueEx(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize);
LONG RegSetValueEx(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize);
LONG RegDeleteValue(HKEY key, const char* valueName);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED when it has some). An empty subKey
// deletes the handle's own key; a hive root cannot be deleted.
LONG RegDeleteKey(HKEY key, const char* subKey);
// Deletes a key with all its subkeys and values; with subKey nullptr or "" only the subkeys and
// values of key itself are removed.
LONG RegDeleteTree(HKEY key, const char* subKey);
// Subkeys enumerate in the order of their case-folded names, values in the order they were first
// set. *nameSize (characters) holds the buffer size with room for the terminating zero and
// returns the name's length without it; when the buffer is too small the call gives
// ERROR_MORE_DATA and *nameSize the length needed (without the zero). Data sizes work as in
// RegQueryValueEx. Past the end: ERROR_NO_MORE_ITEMS.
LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved, char* className,
                  DWORD* classSize, void* lastWriteTime);
LONG RegEnumValue(HKEY key, DWORD index, char* valueName, DWORD* valueNameSize, DWORD* reserved, DWORD* type,
                  BYTE* data, DWORD* dataSize);

// Conveniences for the platform's own code (same semantics as the calls above). The writes create
// the key path as needed and change the hive in one step. Strings read REG_SZ and REG_EXPAND_SZ
// values (without the terminating zero); a DWORD must be REG_DWORD of four bytes.
bool RegistryReadString(HKEY root, const std::string& keyPath, const std::string& valueName, std::string* value);
bool RegistryReadDword(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD* value);
LONG RegistryWriteString(HKEY root, const std::string& keyPath, const std::string& valueName, const std::string& value);
LONG RegistryWriteDword(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD value);
// The folder holding the hive files, with a trailing "/".
std::string RegistryFolder();
