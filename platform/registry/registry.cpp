#include "platform/registry/registry.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "platform/registry/HiveStore.h"

// An open key: the hive and the path of names below its root.
struct RegistryKey {
  Hive hive;
  std::vector<std::string> path;
};

namespace {
std::mutex g_handleLock;
std::unordered_set<RegistryKey*> g_handles;  // live handles, so a stale or foreign one is refused

bool PredefinedHive(HKEY key, Hive* hive) {
  if (key == HKEY_CLASSES_ROOT) *hive = Hive::ClassesRoot;
  else if (key == HKEY_CURRENT_USER) *hive = Hive::CurrentUser;
  else if (key == HKEY_LOCAL_MACHINE) *hive = Hive::LocalMachine;
  else return false;
  return true;
}

// The hive and path a handle names, plus the names of subKey appended.
LONG Resolve(HKEY key, const char* subKey, RegistryKey* target) {
  target->path.clear();
  if (!PredefinedHive(key, &target->hive)) {
    std::lock_guard lock(g_handleLock);
    if (!key || g_handles.count(key) == 0) return ERROR_INVALID_HANDLE;
    *target = *key;
  }
  if (subKey && !SplitRegistryPath(subKey, &target->path)) return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

HKEY NewHandle(const RegistryKey& key) {
  auto* handle = new RegistryKey(key);
  std::lock_guard lock(g_handleLock);
  g_handles.insert(handle);
  return handle;
}

// The node of a handle's own key: ERROR_KEY_DELETED when it is gone.
template <class Node>
LONG FindHandleKey(Node& root, const std::vector<std::string>& path, Node** node) {
  *node = root.Find(path);
  return *node ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

LONG CopyData(const std::vector<BYTE>& stored, BYTE* data, DWORD* dataSize) {
  const auto size = static_cast<DWORD>(stored.size());
  if (data) {
    if (!dataSize) return ERROR_INVALID_PARAMETER;
    if (*dataSize < size) {
      *dataSize = size;
      return ERROR_MORE_DATA;
    }
    if (size) std::memcpy(data, stored.data(), size);
  }
  if (dataSize) *dataSize = size;
  return ERROR_SUCCESS;
}

LONG CopyName(const std::string& stored, char* name, DWORD* nameSize) {
  if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
  const auto length = static_cast<DWORD>(stored.size());
  if (*nameSize <= length) {
    *nameSize = length;
    return ERROR_MORE_DATA;
  }
  std::memcpy(name, stored.c_str(), length + 1);
  *nameSize = length;
  return ERROR_SUCCESS;
}

// Reads one value of the key at path (below the handle's key).
LONG ReadValue(HKEY root, const std::string& keyPath, const std::string& valueName, RegistryValue* value) {
  RegistryKey target;
  LONG status = Resolve(root, keyPath.c_str(), &target);
  if (status != ERROR_SUCCESS) return status;
  return HiveStore::Instance().Read(target.hive, [&](const RegistryNode& hiveRoot) {
    const RegistryNode* node = hiveRoot.Find(target.path);
    const RegistryValue* found = node ? node->FindValue(valueName) : nullptr;
    if (!found) return ERROR_FILE_NOT_FOUND;
    *value = *found;
    return ERROR_SUCCESS;
  });
}

LONG WriteValue(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD type,
                std::vector<BYTE> data) {
  RegistryKey target;
  LONG status = Resolve(root, keyPath.c_str(), &target);
  if (status != ERROR_SUCCESS) return status;
  if (valueName.size() > RegistryNode::kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  return HiveStore::Instance().Modify(target.hive, [&](RegistryNode& hiveRoot, bool* changed) {
    RegistryNode* node = &hiveRoot;
    for (const std::string& name : target.path) node = node->AddChild(name);
    const RegistryValue* existing = node->FindValue(valueName);
    *changed = !existing || existing->type != type || existing->data != data;
    if (*changed) node->SetValue(valueName, type, std::move(data));
    return ERROR_SUCCESS;
  });
}
}  // namespace

std::string RegistryFolder() {
  std::string folder;
  if (const char* explicitFolder = std::getenv("PLATFORM_REGISTRY_DIR"); explicitFolder && *explicitFolder) {
    folder = explicitFolder;
  } else if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
    folder = std::string(config) + "/orvanet-registry";
  } else {
    const char* home = std::getenv("HOME");
    folder = std::string(home && *home ? home : ".") + "/.config/orvanet-registry";
  }
  if (folder.back() != '/') folder += '/';
  return folder;
}

LONG RegOpenKeyEx(HKEY key, const char* subKey, DWORD, REGSAM, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  RegistryKey target;
  LONG status = Resolve(key, subKey, &target);
  if (status != ERROR_SUCCESS) return status;
  status = HiveStore::Instance().Read(target.hive, [&](const RegistryNode& root) {
    return root.Find(target.path) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
  if (status == ERROR_SUCCESS) *result = NewHandle(target);
  return status;
}

LONG RegCreateKeyEx(HKEY key, const char* subKey, DWORD, char*, DWORD, REGSAM, void*, PHKEY result,
                    DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  RegistryKey base;
  LONG status = Resolve(key, nullptr, &base);
  if (status != ERROR_SUCCESS) return status;
  RegistryKey target;
  status = Resolve(key, subKey, &target);
  if (status != ERROR_SUCCESS) return status;
  bool createdAny = false;
  status = HiveStore::Instance().Modify(target.hive, [&](RegistryNode& root, bool* changed) {
    RegistryNode* node = nullptr;
    LONG found = FindHandleKey(root, base.path, &node);
    if (found != ERROR_SUCCESS) return found;
    for (std::size_t i = base.path.size(); i < target.path.size(); ++i) {
      bool created = false;
      node = node->AddChild(target.path[i], &created);
      createdAny = createdAny || created;
    }
    *changed = createdAny;
    return ERROR_SUCCESS;
  });
  if (status != ERROR_SUCCESS) return status;
  if (disposition) *disposition = createdAny ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = NewHandle(target);
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  Hive hive;
  if (PredefinedHive(key, &hive)) return ERROR_SUCCESS;
  {
    std::lock_guard lock(g_handleLock);
    if (!key || g_handles.erase(key) == 0) return ERROR_INVALID_HANDLE;
  }
  delete key;
  return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY key, const char* valueName, DWORD*, DWORD* type, BYTE* data, DWORD* dataSize) {
  RegistryKey target;
  LONG status = Resolve(key, nullptr, &target);
  if (status != ERROR_SUCCESS) return status;
  const std::string name = valueName ? valueName : "";
  return HiveStore::Instance().Read(target.hive, [&](const RegistryNode& root) {
    const RegistryNode* node = nullptr;
    LONG found = FindHandleKey(root, target.path, &node);
    if (found != ERROR_SUCCESS) return found;
    const RegistryValue* value = node->FindValue(name);
    if (!value) return ERROR_FILE_NOT_FOUND;
    if (type) *type = value->type;
    return CopyData(value->data, data, dataSize);
  });
}

LONG RegSetValueEx(HKEY key, const char* valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize) {
  if (!data && dataSize) return ERROR_INVALID_PARAMETER;
  RegistryKey target;
  LONG status = Resolve(key, nullptr, &target);
  if (status != ERROR_SUCCESS) return status;
  const std::string name = valueName ? valueName : "";
  if (name.size() > RegistryNode::kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  std::vector<BYTE> bytes(data, data + dataSize);
  return HiveStore::Instance().Modify(target.hive, [&](RegistryNode& root, bool* changed) {
    RegistryNode* node = nullptr;
    LONG found = FindHandleKey(root, target.path, &node);
    if (found != ERROR_SUCCESS) return found;
    const RegistryValue* existing = node->FindValue(name);
    *changed = !existing || existing->type != type || existing->data != bytes;
    if (*changed) node->SetValue(name, type, std::move(bytes));
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteValue(HKEY key, const char* valueName) {
  RegistryKey target;
  LONG status = Resolve(key, nullptr, &target);
  if (status != ERROR_SUCCESS) return status;
  const std::string name = valueName ? valueName : "";
  return HiveStore::Instance().Modify(target.hive, [&](RegistryNode& root, bool* changed) {
    RegistryNode* node = nullptr;
    LONG found = FindHandleKey(root, target.path, &node);
    if (found != ERROR_SUCCESS) return found;
    *changed = node->RemoveValue(name);
    return *changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

LONG RegDeleteKey(HKEY key, const char* subKey) {
  if (!subKey) return ERROR_INVALID_PARAMETER;
  RegistryKey target;
  LONG status = Resolve(key, subKey, &target);
  if (status != ERROR_SUCCESS) return status;
  if (target.path.empty()) return ERROR_ACCESS_DENIED;  // a hive root stays
  return HiveStore::Instance().Modify(target.hive, [&](RegistryNode& root, bool* changed) {
    const std::string last = target.path.back();
    target.path.pop_back();
    RegistryNode* parent = root.Find(target.path);
    RegistryNode* node = parent ? parent->FindChild(last) : nullptr;
    if (!node) return ERROR_FILE_NOT_FOUND;
    if (node->ChildCount() > 0) return ERROR_ACCESS_DENIED;
    *changed = parent->RemoveChild(last);
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteTree(HKEY key, const char* subKey) {
  RegistryKey target;
  LONG status = Resolve(key, subKey, &target);
  if (status != ERROR_SUCCESS) return status;
  RegistryKey base;
  Resolve(key, nullptr, &base);
  const bool emptyOwnKey = target.path.size() == base.path.size();
  return HiveStore::Instance().Modify(target.hive, [&](RegistryNode& root, bool* changed) {
    if (emptyOwnKey) {
      RegistryNode* node = nullptr;
      LONG found = FindHandleKey(root, target.path, &node);
      if (found != ERROR_SUCCESS) return found;
      *changed = node->ChildCount() > 0 || !node->Values().empty();
      node->ClearChildren();
      node->ClearValues();
      return ERROR_SUCCESS;
    }
    const std::string last = target.path.back();
    target.path.pop_back();
    RegistryNode* parent = root.Find(target.path);
    if (!parent || !parent->RemoveChild(last)) return ERROR_FILE_NOT_FOUND;
    *changed = true;
    return ERROR_SUCCESS;
  });
}

LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD*, char* className, DWORD* classSize,
                  void*) {
  RegistryKey target;
  LONG status = Resolve(key, nullptr, &target);
  if (status != ERROR_SUCCESS) return status;
  return HiveStore::Instance().Read(target.hive, [&](const RegistryNode& root) {
    const RegistryNode* node = nullptr;
    LONG found = FindHandleKey(root, target.path, &node);
    if (found != ERROR_SUCCESS) return found;
    const RegistryNode* child = node->ChildAt(index);
    if (!child) return ERROR_NO_MORE_ITEMS;
    LONG copied = CopyName(child->Name(), name, nameSize);
    if (copied != ERROR_SUCCESS) return copied;
    if (className && classSize && *classSize > 0) *className = '\0';
    if (classSize) *classSize = 0;
    return ERROR_SUCCESS;
  });
}

LONG RegEnumValue(HKEY key, DWORD index, char* valueName, DWORD* valueNameSize, DWORD*, DWORD* type, BYTE* data,
                  DWORD* dataSize) {
  RegistryKey target;
  LONG status = Resolve(key, nullptr, &target);
  if (status != ERROR_SUCCESS) return status;
  return HiveStore::Instance().Read(target.hive, [&](const RegistryNode& root) {
    const RegistryNode* node = nullptr;
    LONG found = FindHandleKey(root, target.path, &node);
    if (found != ERROR_SUCCESS) return found;
    if (index >= node->Values().size()) return ERROR_NO_MORE_ITEMS;
    const RegistryValue& value = node->Values()[index];
    LONG copied = CopyName(value.name, valueName, valueNameSize);
    if (copied != ERROR_SUCCESS) return copied;
    if (type) *type = value.type;
    return CopyData(value.data, data, dataSize);
  });
}

bool RegistryReadString(HKEY root, const std::string& keyPath, const std::string& valueName, std::string* value) {
  RegistryValue stored;
  if (!value || ReadValue(root, keyPath, valueName, &stored) != ERROR_SUCCESS) return false;
  if (stored.type != REG_SZ && stored.type != REG_EXPAND_SZ) return false;
  std::size_t length = stored.data.size();
  while (length > 0 && stored.data[length - 1] == 0) --length;
  value->assign(reinterpret_cast<const char*>(stored.data.data()), length);
  return true;
}

bool RegistryReadDword(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD* value) {
  RegistryValue stored;
  if (!value || ReadValue(root, keyPath, valueName, &stored) != ERROR_SUCCESS) return false;
  if (stored.type != REG_DWORD || stored.data.size() != 4) return false;
  std::memcpy(value, stored.data.data(), 4);
  return true;
}

LONG RegistryWriteString(HKEY root, const std::string& keyPath, const std::string& valueName,
                         const std::string& value) {
  std::vector<BYTE> data(value.begin(), value.end());
  data.push_back(0);
  return WriteValue(root, keyPath, valueName, REG_SZ, std::move(data));
}

LONG RegistryWriteDword(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD value) {
  std::vector<BYTE> data(4);
  std::memcpy(data.data(), &value, 4);
  return WriteValue(root, keyPath, valueName, REG_DWORD, std::move(data));
}
