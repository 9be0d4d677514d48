#include "platform/filters/streambuffer/HeaderRewriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/filters/streambuffer/AsfBytes.h"
#include "platform/filters/streambuffer/AsfGuids.h"
#include "platform/filters/streambuffer/RecordingHeader.h"

namespace asf {
namespace {

constexpr std::size_t kHeaderExtensionFixedSize = 46;
constexpr std::size_t kFileSizeField = 40;  // in the File Properties object
constexpr std::size_t kCopyBlock = 1 << 20;

bool IsReplaced(const GUID& id) { return id == kContentDescription || id == kExtendedContentDescription || id == kPadding; }

void HeaderExtension(AsfBuilder& out, const std::uint8_t* bytes, const AsfHeader& header, const AsfObjectSpan* old,
                     const std::vector<std::uint8_t>& library) {
  const std::size_t start = out.BeginObject(kHeaderExtension);
  if (old) {
    out.Append(bytes + old->offset + kObjectHeaderSize, 18);  // reserved GUID and WORD, as they were
  } else {
    out.Guid(kReserved1);
    out.U16(6);
  }
  const std::size_t dataSize = out.Size();
  out.U32(0);
  for (const AsfObjectSpan& child : header.extensionChildren) {
    if (child.id == kMetadataLibrary) continue;
    out.Append(bytes + child.offset, child.size);
  }
  out.Append(library.data(), library.size());
  out.Patch(dataSize, out.Size() - dataSize - 4, 4);
  out.EndObject(start);
}

std::vector<std::uint8_t> Build(const std::uint8_t* bytes, const AsfHeader& header, const AttributeList& attributes,
                                std::size_t totalSize, std::size_t reserve, std::size_t* filePropertiesAt) {
  AsfBuilder out;
  const std::size_t start = out.BeginObject(kHeaderObject);
  out.U32(0);
  out.U8(0x01);
  out.U8(0x02);
  std::uint32_t children = 0;
  const std::vector<std::uint8_t> library = attributes.MetadataLibrary();
  bool extension = false;
  for (std::size_t i = 0; i < header.children.size(); ++i) {
    const AsfObjectSpan& child = header.children[i];
    if (IsReplaced(child.id)) continue;
    if (i == header.extensionIndex) {
      HeaderExtension(out, bytes, header, &child, library);
      extension = true;
    } else {
      if (child.id == kFileProperties && filePropertiesAt) *filePropertiesAt = out.Size();
      out.Append(bytes + child.offset, child.size);
    }
    ++children;
  }
  if (!extension && !library.empty()) {
    HeaderExtension(out, bytes, header, nullptr, library);
    ++children;
  }
  for (const std::vector<std::uint8_t>& object : {attributes.ContentDescription(), attributes.ExtendedContentDescription()}) {
    if (object.empty()) continue;
    out.Append(object.data(), object.size());
    ++children;
  }
  // The padding fills the header to its old size, or is left out when the rest fits to the byte.
  std::size_t padding = reserve;
  if (totalSize != 0) {
    if (out.Size() == totalSize) padding = SIZE_MAX;
    else if (out.Size() + kPaddingObjectMinimum <= totalSize) padding = totalSize - out.Size() - kPaddingObjectMinimum;
    else return {};
  }
  if (padding != SIZE_MAX) {
    const std::size_t pad = out.BeginObject(kPadding);
    out.Zeros(padding);
    out.EndObject(pad);
    ++children;
  }
  out.Patch(start + 24, children, 4);
  out.EndObject(start);
  return std::move(out.Bytes());
}

HRESULT WriteAll(int fd, const std::uint8_t* data, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return HresultFromErrno(n < 0 ? errno : ENOSPC);
    data += n;
    size -= static_cast<std::size_t>(n);
    offset += n;
  }
  return S_OK;
}

HRESULT ReadAll(int fd, std::uint8_t* data, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t n = ::pread(fd, data, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return HresultFromErrno(errno);
    if (n == 0) return kNotAsf;  // the file is shorter than it was a moment ago
    data += n;
    size -= static_cast<std::size_t>(n);
    offset += n;
  }
  return S_OK;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A copy of the file beside it with the new header, renamed over the original once complete.
HRESULT RewriteByCopy(const std::string& path, int fd, const struct stat& info, std::uint64_t oldHeaderSize,
                      std::vector<std::uint8_t> header, std::size_t filePropertiesAt) {
  const std::uint64_t fileSize = static_cast<std::uint64_t>(info.st_size);
  const std::uint64_t newSize = fileSize - oldHeaderSize + header.size();
  if (filePropertiesAt != SIZE_MAX) StoreLe(header.data() + filePropertiesAt + kFileSizeField, newSize, 8);

  const std::string folder = FolderOf(path);
  const std::size_t slash = path.find_last_of('/');
  std::string temporary = folder + "/." + path.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
  const int out = ::mkstemp(temporary.data());
  if (out < 0) return HresultFromErrno(errno);
  HRESULT hr = WriteAll(out, header.data(), header.size(), 0);
  std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[kCopyBlock]);
  for (std::uint64_t at = oldHeaderSize; SUCCEEDED(hr) && at < fileSize;) {
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, fileSize - at));
    hr = ReadAll(fd, block.get(), take, static_cast<off_t>(at));
    if (SUCCEEDED(hr)) hr = WriteAll(out, block.get(), take, static_cast<off_t>(at - oldHeaderSize + header.size()));
    at += take;
  }
  if (SUCCEEDED(hr) && ::fchmod(out, info.st_mode & 07777) != 0) hr = HresultFromErrno(errno);
  if (SUCCEEDED(hr) && ::fsync(out) != 0) hr = HresultFromErrno(errno);
  if (::close(out) != 0 && SUCCEEDED(hr)) hr = HresultFromErrno(errno);
  if (SUCCEEDED(hr) && ::rename(temporary.c_str(), path.c_str()) != 0) hr = HresultFromErrno(errno);
  if (FAILED(hr)) {
    ::unlink(temporary.c_str());
    return hr;
  }
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return S_OK;
}

}  // namespace

std::vector<std::uint8_t> BuildHeaderWithAttributes(const std::uint8_t* bytes, const AsfHeader& header,
                                                    const AttributeList& attributes, std::size_t totalSize,
                                                    std::size_t reserve) {
  return Build(bytes, header, attributes, totalSize, reserve, nullptr);
}

HRESULT RewriteHeaderAttributes(const std::string& path, const AttributeList& attributes) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return HresultFromErrno(errno);
  HRESULT hr = S_OK;
  struct stat info {};
  std::vector<std::uint8_t> bytes(kHeaderObjectFixedSize);
  std::uint64_t headerSize = 0;
  if (::fstat(fd, &info) != 0) hr = HresultFromErrno(errno);
  if (SUCCEEDED(hr)) hr = ReadAll(fd, bytes.data(), bytes.size(), 0);
  if (SUCCEEDED(hr)) {
    headerSize = HeaderObjectSize(bytes.data(), bytes.size());
    if (headerSize == 0 || headerSize > static_cast<std::uint64_t>(info.st_size)) hr = kNotAsf;
  }
  if (SUCCEEDED(hr)) {
    bytes.resize(static_cast<std::size_t>(headerSize));
    hr = ReadAll(fd, bytes.data(), bytes.size(), 0);
  }
  AsfHeader header;
  if (SUCCEEDED(hr)) hr = ParseAsfHeader(bytes.data(), bytes.size(), &header);
  if (SUCCEEDED(hr)) {
    std::vector<std::uint8_t> inPlace = Build(bytes.data(), header, attributes, header.size, 0, nullptr);
    if (!inPlace.empty()) {
      hr = WriteAll(fd, inPlace.data(), inPlace.size(), 0);
      if (SUCCEEDED(hr) && ::fdatasync(fd) != 0) hr = HresultFromErrno(errno);
    } else {
      std::size_t filePropertiesAt = SIZE_MAX;
      std::vector<std::uint8_t> grown = Build(bytes.data(), header, attributes, 0, kHeaderGrowthReserve, &filePropertiesAt);
      hr = RewriteByCopy(path, fd, info, headerSize, std::move(grown), filePropertiesAt);
    }
  }
  ::close(fd);
  return hr;
}

}  // namespace asf
