#include "converter/ui/CSfxOption.h"

#include <cstring>
#include <vector>

#include "converter/engine/MessageReporter.h"
#include "platform/registry/registry.h"

namespace {

constexpr char kSectionName[] = "Settings";
constexpr char kInternalError[] = "Internal application error.";

// Reads a value of the open key; *found is false for a value that is not there.
LONG QueryValue(HKEY key, const char* name, DWORD* type, std::vector<BYTE>* data, bool* found) {
  *found = false;
  DWORD size = 0;
  LONG status = RegQueryValueEx(key, name, nullptr, type, nullptr, &size);
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return status;
  data->resize(size);
  status = RegQueryValueEx(key, name, nullptr, type, data->data(), &size);
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;  // deleted meanwhile
  if (status != ERROR_SUCCESS) return status;
  data->resize(size);
  *found = true;
  return ERROR_SUCCESS;
}

// The open settings key for reading; *key stays null when the key does not exist yet.
LONG OpenForReading(const std::string& path, HKEY* key) {
  *key = nullptr;
  const LONG status = RegOpenKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key);
  if (status == ERROR_FILE_NOT_FOUND) {
    *key = nullptr;
    return ERROR_SUCCESS;
  }
  return status;
}

class KeyCloser {
 public:
  explicit KeyCloser(HKEY key) : m_key(key) {}
  ~KeyCloser() {
    if (m_key) RegCloseKey(m_key);
  }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  HKEY m_key;
};

}  // namespace

CSfxOption::CSfxOption(std::string settingsKey, const std::string& sectionSuffix)
    : m_section(kSectionName + sectionSuffix) {
  if (!settingsKey.empty()) m_keyPath = std::move(settingsKey) + "\\" + m_section;
  Exchange(false);
}

CSfxOption::~CSfxOption() { Exchange(true); }

LONG CSfxOption::Exchange(bool saving) {
  if (m_keyPath.empty()) return ERROR_SUCCESS;
  LONG status = ExchangeInt(saving, "OutputType", &m_outputType, kOutputBesideSource);
  if (status == ERROR_SUCCESS) status = ExchangeString(saving, "OutputPath", &m_outputPath, "");
  if (status == ERROR_SUCCESS) status = ExchangeString(saving, "MuxerFilter", &m_muxerFilter, "");
  if (status == ERROR_SUCCESS) status = ExchangeString(saving, "AC3Filter", &m_ac3Filter, "");
  if (status == ERROR_SUCCESS) status = ExchangeInt(saving, "Debug", &m_debug, 0);
  if (status != ERROR_SUCCESS) ReportMessage(kInternalError);
  return status;
}

LONG CSfxOption::ExchangeInt(bool saving, const char* name, int* value, int defaultValue) {
  if (saving) {
    if (*value == defaultValue) return DeleteValue(name);
    return RegistryWriteDword(HKEY_CURRENT_USER, m_keyPath, name, static_cast<DWORD>(*value));
  }
  HKEY key = nullptr;
  LONG status = OpenForReading(m_keyPath, &key);
  KeyCloser closer(key);
  *value = defaultValue;
  if (status != ERROR_SUCCESS || !key) return status;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  bool found = false;
  status = QueryValue(key, name, &type, &data, &found);
  // A value of another type reads as the default, as a missing one does.
  if (status == ERROR_SUCCESS && found && type == REG_DWORD && data.size() == sizeof(DWORD)) {
    DWORD stored = 0;
    std::memcpy(&stored, data.data(), sizeof stored);
    *value = static_cast<int>(stored);
  }
  return status;
}

LONG CSfxOption::ExchangeString(bool saving, const char* name, std::string* value, const std::string& defaultValue) {
  if (saving) {
    if (value->empty() || *value == defaultValue) return DeleteValue(name);
    return RegistryWriteString(HKEY_CURRENT_USER, m_keyPath, name, *value);
  }
  HKEY key = nullptr;
  LONG status = OpenForReading(m_keyPath, &key);
  KeyCloser closer(key);
  *value = defaultValue;
  if (status != ERROR_SUCCESS || !key) return status;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  bool found = false;
  status = QueryValue(key, name, &type, &data, &found);
  if (status == ERROR_SUCCESS && found && (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::size_t length = data.size();
    while (length > 0 && data[length - 1] == 0) --length;
    value->assign(reinterpret_cast<const char*>(data.data()), length);
  }
  return status;
}

LONG CSfxOption::DeleteValue(const char* name) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyEx(HKEY_CURRENT_USER, m_keyPath.c_str(), 0, KEY_SET_VALUE, &key);
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;  // nothing stored, nothing to delete
  if (status != ERROR_SUCCESS) return status;
  status = RegDeleteValue(key, name);
  RegCloseKey(key);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}
