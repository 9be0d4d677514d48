#include "platform/filters/streambuffer/AsfHeader.h"

#include <algorithm>

#include "platform/filters/streambuffer/AsfBytes.h"
#include "platform/filters/streambuffer/AsfGuids.h"

namespace asf {
namespace {

constexpr std::size_t kMaxChildren = 4096;
constexpr std::size_t kStreamPropertiesFixedSize = 78;
constexpr std::size_t kExtendedStreamPropertiesFixedSize = 88;
constexpr std::uint16_t kEncryptedFlag = 0x8000;

// Walks the objects in body[0..size): each must have a size of at least 24 that fits.
bool ListObjects(const std::uint8_t* body, std::size_t size, std::size_t base, std::vector<AsfObjectSpan>* out) {
  std::size_t at = 0;
  while (at < size) {
    if (size - at < kObjectHeaderSize || out->size() >= kMaxChildren) return false;
    AsfCursor in(body + at, size - at);
    const GUID id = in.Guid();
    const std::uint64_t objectSize = in.U64();
    if (objectSize < kObjectHeaderSize || objectSize > size - at) return false;
    out->push_back({id, base + at, static_cast<std::size_t>(objectSize)});
    at += static_cast<std::size_t>(objectSize);
  }
  return true;
}

AsfStreamHeader* FindOrAddStream(AsfHeader* header, std::uint16_t number) {
  for (AsfStreamHeader& s : header->streams)
    if (s.number == number) return &s;
  header->streams.push_back(AsfStreamHeader{});
  header->streams.back().number = number;
  return &header->streams.back();
}

bool ParseFileProperties(AsfCursor in, AsfFileProperties* file) {
  in.Skip(kObjectHeaderSize);
  file->fileId = in.Guid();
  file->fileSize = in.U64();
  file->creationDate = in.U64();
  file->packetCount = in.U64();
  file->playDuration = in.U64();
  file->sendDuration = in.U64();
  file->prerollMs = in.U64();
  file->flags = in.U32();
  file->minPacketSize = in.U32();
  file->maxPacketSize = in.U32();
  file->maxBitrate = in.U32();
  return in.Ok();
}

bool ParseStreamProperties(AsfCursor in, AsfHeader* header) {
  if (in.Remaining() < kStreamPropertiesFixedSize) return false;
  in.Skip(kObjectHeaderSize);
  const GUID type = in.Guid();
  in.Guid();  // error correction type
  in.U64();   // time offset
  const std::uint32_t typeSpecific = in.U32();
  const std::uint32_t errorCorrection = in.U32();
  const std::uint16_t flags = in.U16();
  in.U32();
  const std::uint8_t* data = in.Bytes(typeSpecific);
  in.Skip(errorCorrection);
  if (!in.Ok()) return false;
  const std::uint16_t number = flags & 0x7F;
  if (number == 0) return false;
  AsfStreamHeader* stream = FindOrAddStream(header, number);
  stream->type = type;
  stream->typeSpecific.assign(data, data + typeSpecific);
  stream->encrypted = (flags & kEncryptedFlag) != 0;
  return true;
}

bool ParseExtendedStreamProperties(AsfCursor in, AsfHeader* header) {
  if (in.Remaining() < kExtendedStreamPropertiesFixedSize) return false;
  in.Skip(kObjectHeaderSize);
  in.Skip(48);  // times, rates, buffer sizes, maximum object size, flags
  const std::uint16_t number = in.U16() & 0x7F;
  in.U16();     // language index
  const std::uint64_t averageTime = in.U64();
  const std::uint16_t names = in.U16();
  const std::uint16_t systems = in.U16();
  for (std::uint16_t i = 0; i < names && in.Ok(); ++i) {
    in.U16();
    in.Skip(in.U16());
  }
  std::vector<AsfPayloadExtensionSystem> extensions;
  for (std::uint16_t i = 0; i < systems && in.Ok(); ++i) {
    AsfPayloadExtensionSystem system;
    system.id = in.Guid();
    system.size = in.U16();
    in.Skip(in.U32());
    extensions.push_back(system);
  }
  if (!in.Ok() || number == 0) return false;
  // What follows may be the stream's own Stream Properties object.
  if (in.Remaining() >= kObjectHeaderSize) {
    AsfCursor rest(in.Here(), in.Remaining());
    if (rest.Guid() == kStreamProperties) {
      const std::uint64_t size = rest.U64();
      if (size < kStreamPropertiesFixedSize || size > in.Remaining()) return false;
      if (!ParseStreamProperties(AsfCursor(in.Here(), static_cast<std::size_t>(size)), header)) return false;
    }
  }
  AsfStreamHeader* stream = FindOrAddStream(header, number);
  stream->averageTimePerFrame = averageTime <= static_cast<std::uint64_t>(INT64_MAX) ? static_cast<std::int64_t>(averageTime) : 0;
  stream->extensions = std::move(extensions);
  return true;
}

bool ParseHeaderExtension(const std::uint8_t* data, const AsfObjectSpan& span, AsfHeader* header) {
  AsfCursor in(data + span.offset, span.size);
  in.Skip(kObjectHeaderSize);
  in.Guid();
  in.U16();
  const std::uint32_t dataSize = in.U32();
  if (!in.Ok() || dataSize > in.Remaining()) return false;
  const std::size_t base = span.offset + 46;
  if (!ListObjects(data + base, dataSize, base, &header->extensionChildren)) return false;
  for (const AsfObjectSpan& child : header->extensionChildren) {
    if (child.id == kExtendedStreamProperties &&
        !ParseExtendedStreamProperties(AsfCursor(data + child.offset, child.size), header)) {
      return false;
    }
  }
  return true;
}

}  // namespace

const AsfStreamHeader* AsfHeader::Stream(std::uint16_t number) const {
  for (const AsfStreamHeader& s : streams)
    if (s.number == number) return &s;
  return nullptr;
}

std::uint64_t HeaderObjectSize(const std::uint8_t* data, std::size_t size) {
  AsfCursor in(data, size);
  if (in.Guid() != kHeaderObject) return 0;
  const std::uint64_t objectSize = in.U64();
  if (!in.Ok() || objectSize < kHeaderObjectFixedSize || objectSize > kMaxHeaderSize) return 0;
  return objectSize;
}

HRESULT ParseAsfHeader(const std::uint8_t* data, std::size_t size, AsfHeader* header) {
  if (!data || !header) return E_POINTER;
  *header = AsfHeader{};
  const std::uint64_t objectSize = HeaderObjectSize(data, size);
  if (objectSize == 0 || objectSize > size) return kNotAsf;
  header->size = static_cast<std::size_t>(objectSize);
  if (!ListObjects(data + kHeaderObjectFixedSize, header->size - kHeaderObjectFixedSize, kHeaderObjectFixedSize,
                   &header->children)) {
    return kNotAsf;
  }
  for (std::size_t i = 0; i < header->children.size(); ++i) {
    const AsfObjectSpan& child = header->children[i];
    AsfCursor object(data + child.offset, child.size);
    bool ok = true;
    if (child.id == kFileProperties) {
      ok = ParseFileProperties(object, &header->file);
      header->hasFileProperties = ok;
    } else if (child.id == kStreamProperties) {
      ok = ParseStreamProperties(object, header);
    } else if (child.id == kHeaderExtension && header->extensionIndex == SIZE_MAX) {
      header->extensionIndex = i;
      ok = ParseHeaderExtension(data, child, header);
    } else if (child.id == kContentEncryption || child.id == kExtendedContentEncryption) {
      header->protectedContent = true;
    }
    if (!ok) return kNotAsf;
  }
  if (!header->hasFileProperties) return kNotAsf;
  // Extended Stream Properties without a Stream Properties object describe no stream.
  header->streams.erase(std::remove_if(header->streams.begin(), header->streams.end(),
                                       [](const AsfStreamHeader& s) { return s.type == GUID{}; }),
                        header->streams.end());
  for (const AsfStreamHeader& s : header->streams)
    if (s.encrypted) header->protectedContent = true;
  return S_OK;
}

}  // namespace asf
