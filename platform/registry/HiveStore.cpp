#include "platform/registry/HiveStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/registry/HiveText.h"
#include "platform/registry/registry.h"

namespace {
constexpr unsigned long long kMaxHiveBytes = 64ull << 20;
const char* const kHiveFileNames[kHiveCount] = {"classes-root", "current-user", "local-machine"};

LONG ErrorFromErrno(int err) {
  switch (err) {
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_OUTOFMEMORY;
    case ENOSPC:
    case EDQUOT:
    case EIO: return ERROR_WRITE_FAULT;
    default: return ERROR_REGISTRY_IO_FAILED;
  }
}

// A file descriptor closed on every path out.
class FileHandle {
 public:
  explicit FileHandle(int fd = -1) : m_fd(fd) {}
  ~FileHandle() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int Get() const { return m_fd; }
  int Release() {
    int fd = m_fd;
    m_fd = -1;
    return fd;
  }

 private:
  int m_fd;
};

bool ReadAll(int fd, std::string* text) {
  char buffer[16384];
  while (true) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text->append(buffer, static_cast<std::size_t>(n));
  }
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Creates the folder and its parents (owner-only for the ones created here).
bool MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1); ; slash = folder.find('/', slash + 1)) {
    std::string part = folder.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

void SyncFolder(const std::string& folder) {
  FileHandle dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0) ::fsync(dir.Get());
}
}  // namespace

HiveStore::FileIdentity HiveStore::IdentityOf(const struct stat& st) {
  return FileIdentity{true,
                      static_cast<unsigned long long>(st.st_dev),
                      static_cast<unsigned long long>(st.st_ino),
                      static_cast<unsigned long long>(st.st_size),
                      static_cast<long long>(st.st_mtim.tv_sec),
                      static_cast<long long>(st.st_mtim.tv_nsec)};
}

HiveStore& HiveStore::Instance() {
  static HiveStore store;
  return store;
}

std::string HiveStore::HivePath(Hive hive) {
  return RegistryFolder() + kHiveFileNames[static_cast<int>(hive)] + ".reg";
}

LONG HiveStore::Refresh(Cache& cache, const std::string& path) {
  // O_NONBLOCK: a FIFO put in the hive's place must not hang the caller (regular files ignore it).
  FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  FileIdentity identity;
  struct stat st {};
  if (file.Get() < 0) {
    if (errno != ENOENT && errno != ENOTDIR) return ErrorFromErrno(errno);
  } else {
    if (::fstat(file.Get(), &st) != 0) return ErrorFromErrno(errno);
    identity = IdentityOf(st);
  }
  if (cache.loaded && cache.path == path && cache.identity == identity) return cache.status;

  cache.loaded = false;
  cache.root = RegistryNode();
  cache.path = path;
  cache.identity = identity;
  cache.status = ERROR_SUCCESS;
  if (identity.exists && (!S_ISREG(st.st_mode) || identity.size > kMaxHiveBytes)) {
    cache.status = ERROR_REGISTRY_CORRUPT;  // not a hive file: something else, or absurdly large
  } else if (identity.exists) {
    std::string text;
    if (!ReadAll(file.Get(), &text)) return ErrorFromErrno(errno);
    if (!ReadHiveText(text, &cache.root)) {
      cache.root = RegistryNode();
      cache.status = ERROR_REGISTRY_CORRUPT;
    }
  }
  cache.loaded = true;
  return cache.status;
}

LONG HiveStore::Save(Cache& cache, const std::string& path) {
  const std::string temporary = path + ".tmp";
  FileHandle file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (file.Get() < 0) return ErrorFromErrno(errno);
  const std::string text = WriteHiveText(cache.root);
  if (!WriteAll(file.Get(), text) || ::fsync(file.Get()) != 0) {
    LONG error = ErrorFromErrno(errno);
    ::unlink(temporary.c_str());
    return error;
  }
  if (::close(file.Release()) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
    LONG error = ErrorFromErrno(errno);
    ::unlink(temporary.c_str());
    return error;
  }
  SyncFolder(RegistryFolder());
  // Remember the identity of the file just written (the tree in memory is its content), so the
  // next read does not parse it again; without it the next read simply reloads.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    cache.identity = IdentityOf(st);
  } else {
    cache.loaded = false;
  }
  return ERROR_SUCCESS;
}

LONG HiveStore::Read(Hive hive, const std::function<LONG(const RegistryNode&)>& read) {
  std::lock_guard lock(m_lock);
  Cache& cache = m_caches[static_cast<int>(hive)];
  LONG status = Refresh(cache, HivePath(hive));
  if (status != ERROR_SUCCESS) return status;
  return read(cache.root);
}

LONG HiveStore::Modify(Hive hive, const std::function<LONG(RegistryNode&, bool*)>& change) {
  std::lock_guard lock(m_lock);
  const std::string folder = RegistryFolder();
  const std::string path = HivePath(hive);
  if (!MakeFolders(folder)) return ErrorFromErrno(errno);

  const std::string lockPath = folder + kHiveFileNames[static_cast<int>(hive)] + ".lock";
  FileHandle lockFile(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lockFile.Get() < 0) return ErrorFromErrno(errno);
  while (::flock(lockFile.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) return ErrorFromErrno(errno);
  }
  // The lock is released when lockFile closes.

  Cache& cache = m_caches[static_cast<int>(hive)];
  LONG status = Refresh(cache, path);
  if (status != ERROR_SUCCESS) return status;
  bool changed = false;
  status = change(cache.root, &changed);
  if (status == ERROR_SUCCESS && changed) status = Save(cache, path);
  // A failed change or save may have left the tree unlike the file: read the file again next time.
  if (status != ERROR_SUCCESS) cache.loaded = false;
  return status;
}
