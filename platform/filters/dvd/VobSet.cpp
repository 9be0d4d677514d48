#include "platform/filters/dvd/VobSet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/filters/dvd/IfoReader.h"
#include "platform/filters/dvd/TitleSetFiles.h"

namespace dvd {

VobSet::~VobSet() { Close(); }

void VobSet::Close() {
  for (const Part& part : m_parts) ::close(part.fd);
  m_parts.clear();
  m_bytes = 0;
  m_gap = false;
}

bool VobSet::Open(const std::string& folder, int titleSet) {
  Close();
  bool missing = false;
  for (int part = 1; part <= 9; ++part) {
    const std::string path = FindFileInFolder(folder, TitleSetFileName(titleSet, part, "VOB"));
    if (path.empty()) {
      missing = true;
      continue;
    }
    if (missing) {
      m_gap = true;
      break;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
      if (fd >= 0) ::close(fd);
      missing = true;
      continue;
    }
    m_parts.push_back({fd, m_bytes, static_cast<std::uint64_t>(info.st_size)});
    m_bytes += static_cast<std::uint64_t>(info.st_size);
  }
  return !m_parts.empty();
}

std::uint64_t VobSet::Sectors() const { return m_bytes / kSectorSize; }

HRESULT VobSet::ReadSectors(std::uint64_t sector, std::size_t count, std::uint8_t* out) const {
  std::uint64_t position = sector * kSectorSize;
  std::size_t remaining = count * kSectorSize;
  for (const Part& part : m_parts) {
    if (remaining == 0) break;
    if (position >= part.firstByte + part.size) continue;
    while (remaining > 0 && position < part.firstByte + part.size) {
      const std::uint64_t inPart = position - part.firstByte;
      const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, part.size - inPart));
      const ssize_t got = ::pread(part.fd, out, take, static_cast<off_t>(inPart));
      if (got < 0) {
        if (errno == EINTR) continue;
        return HresultFromErrno(errno);
      }
      if (got == 0) return S_FALSE;  // the file shrank since it was opened
      out += got;
      position += static_cast<std::uint64_t>(got);
      remaining -= static_cast<std::size_t>(got);
    }
  }
  return remaining == 0 ? S_OK : S_FALSE;
}

}  // namespace dvd
