#include "platform/filters/streambuffer/AsfBytes.h"

namespace asf {

std::u16string AsfCursor::Utf16(std::size_t bytes) {
  const std::uint8_t* at = Bytes(bytes);
  std::u16string text;
  if (!at) return text;
  text.reserve(bytes / 2);
  for (std::size_t i = 0; i + 1 < bytes; i += 2) {
    const char16_t unit = static_cast<char16_t>(at[i] | (at[i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

void StoreGuid(std::uint8_t* at, const GUID& guid) {
  at = StoreLe(at, guid.Data1, 4);
  at = StoreLe(at, guid.Data2, 2);
  at = StoreLe(at, guid.Data3, 2);
  std::memcpy(at, guid.Data4, 8);
}

void AsfBuilder::Guid(const GUID& guid) {
  std::uint8_t bytes[16];
  StoreGuid(bytes, guid);
  Append(bytes, sizeof bytes);
}

void AsfBuilder::Append(const void* data, std::size_t size) {
  if (size == 0) return;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  m_bytes.insert(m_bytes.end(), bytes, bytes + size);
}

void AsfBuilder::Utf16z(std::u16string_view text) {
  for (char16_t unit : text) U16(static_cast<std::uint16_t>(unit));
  U16(0);
}

std::size_t AsfBuilder::BeginObject(const GUID& id) {
  const std::size_t start = m_bytes.size();
  Guid(id);
  U64(0);
  return start;
}

void AsfBuilder::EndObject(std::size_t start) { Patch(start + 16, m_bytes.size() - start, 8); }

void AsfBuilder::Patch(std::size_t at, std::uint64_t value, std::size_t width) {
  if (at > m_bytes.size() || width > m_bytes.size() - at) return;
  StoreLe(m_bytes.data() + at, value, width);
}

}  // namespace asf
