#pragma once
// The process-wide keeper of the hive files. Each hive lives in one text file in RegistryFolder();
// a hive without a file is empty.
//
// Reading: the file is parsed once and kept while its identity (device, inode, size, mtime) stays
// the same, so writes by other processes (which always replace the file) are seen at the next call.
// Changing: under an exclusive flock on "<hive>.lock" the current file is read again, changed and
// written to "<hive>.tmp", synced and renamed over the old file, so concurrent writers in several
// processes never lose each other's changes and readers never see half a file.
// A file that cannot be parsed makes every call on its hive fail with ERROR_REGISTRY_CORRUPT and
// is never overwritten.
// One mutex serialises all calls inside the process (the registry is not on any hot path).
#include <functional>
#include <mutex>
#include <string>

struct stat;

#include "platform/registry/RegistryNode.h"

enum class Hive { ClassesRoot = 0, CurrentUser = 1, LocalMachine = 2 };
inline constexpr int kHiveCount = 3;

class HiveStore {
 public:
  static HiveStore& Instance();

  // Runs read on the hive's current content; returns read's result or the error that kept it from running.
  LONG Read(Hive hive, const std::function<LONG(const RegistryNode& root)>& read);
  // Runs change on the current content under the file lock and saves the hive when change returns
  // ERROR_SUCCESS and sets *changed.
  LONG Modify(Hive hive, const std::function<LONG(RegistryNode& root, bool* changed)>& change);

  // The file that holds a hive (in RegistryFolder()).
  static std::string HivePath(Hive hive);

 private:
  struct FileIdentity {
    bool exists = false;
    unsigned long long device = 0, inode = 0, size = 0;
    long long mtimeSeconds = 0, mtimeNanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
  };
  struct Cache {
    bool loaded = false;
    std::string path;
    FileIdentity identity;
    LONG status = 0;  // ERROR_SUCCESS or why the file could not be used
    RegistryNode root;
  };

  static FileIdentity IdentityOf(const struct stat& st);
  // Brings the cache up to date with the file on disk; returns its status.
  LONG Refresh(Cache& cache, const std::string& path);
  LONG Save(Cache& cache, const std::string& path);

  std::mutex m_lock;
  Cache m_caches[kHiveCount];
};
