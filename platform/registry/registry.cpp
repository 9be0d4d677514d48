// Placeholder until the file-backed store lands: every key reads as absent, every write fails.
#include "platform/registry/registry.h"

LONG RegOpenKeyEx(HKEY, const char*, DWORD, REGSAM, PHKEY result) { if (result) *result = nullptr; return ERROR_FILE_NOT_FOUND; }
LONG RegCreateKeyEx(HKEY, const char*, DWORD, char*, DWORD, REGSAM, void*, PHKEY result, DWORD*) { if (result) *result = nullptr; return ERROR_ACCESS_DENIED; }
LONG RegCloseKey(HKEY) { return ERROR_SUCCESS; }
LONG RegQueryValueEx(HKEY, const char*, DWORD*, DWORD*, BYTE*, DWORD*) { return ERROR_FILE_NOT_FOUND; }
LONG RegSetValueEx(HKEY, const char*, DWORD, DWORD, const BYTE*, DWORD) { return ERROR_ACCESS_DENIED; }
LONG RegDeleteValue(HKEY, const char*) { return ERROR_FILE_NOT_FOUND; }
LONG RegDeleteKey(HKEY, const char*) { return ERROR_FILE_NOT_FOUND; }
LONG RegDeleteTree(HKEY, const char*) { return ERROR_FILE_NOT_FOUND; }
LONG RegEnumKeyEx(HKEY, DWORD, char*, DWORD*, DWORD*, char*, DWORD*, void*) { return ERROR_NO_MORE_ITEMS; }
LONG RegEnumValue(HKEY, DWORD, char*, DWORD*, DWORD*, DWORD*, BYTE*, DWORD*) { return ERROR_NO_MORE_ITEMS; }
bool RegistryReadString(HKEY, const std::string&, const std::string&, std::string*) { return false; }
bool RegistryReadDword(HKEY, const std::string&, const std::string&, DWORD*) { return false; }
LONG RegistryWriteString(HKEY, const std::string&, const std::string&, const std::string&) { return ERROR_ACCESS_DENIED; }
LONG RegistryWriteDword(HKEY, const std::string&, const std::string&, DWORD) { return ERROR_ACCESS_DENIED; }
std::string RegistryFolder() { return "/tmp/"; }
