#pragma once
// Little-endian bytes of ASF files: AsfCursor reads untrusted bytes (every read is checked
// against what is left; a failed read changes nothing but sets a sticky error, so a parser reads
// a record straight through and tests Ok() once), AsfBuilder appends to a growing buffer and
// patches object sizes once an object's body is complete.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/guid.h"

namespace asf {

class AsfCursor {
 public:
  AsfCursor() = default;
  AsfCursor(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

  bool Ok() const { return !m_failed; }
  bool AtEnd() const { return m_position == m_size; }
  std::size_t Position() const { return m_position; }
  std::size_t Remaining() const { return m_size - m_position; }
  const std::uint8_t* Here() const { return m_data + m_position; }
  void Fail() { m_failed = true; }

  std::uint8_t U8() { return static_cast<std::uint8_t>(Read(1)); }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Read(2)); }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Read(4)); }
  std::uint64_t U64() { return Read(8); }
  // A field whose width is one of ASF's length-type codes: 0 absent (0), 1 BYTE, 2 WORD, 3 DWORD.
  std::uint32_t Sized(unsigned lengthType) {
    static constexpr std::size_t kWidths[4] = {0, 1, 2, 4};
    return static_cast<std::uint32_t>(Read(kWidths[lengthType & 3]));
  }
  GUID Guid() {
    GUID guid{};
    if (!Has(16)) return guid;
    guid.Data1 = static_cast<std::uint32_t>(Read(4));
    guid.Data2 = static_cast<std::uint16_t>(Read(2));
    guid.Data3 = static_cast<std::uint16_t>(Read(2));
    std::memcpy(guid.Data4, Here(), 8);
    m_position += 8;
    return guid;
  }
  // The next n bytes (null and an error when fewer are left).
  const std::uint8_t* Bytes(std::size_t n) {
    if (!Has(n)) return nullptr;
    const std::uint8_t* at = Here();
    m_position += n;
    return at;
  }
  void Skip(std::size_t n) { Bytes(n); }
  // A cursor over the next n bytes, which this cursor then steps over; a child of a parent that
  // has fewer bytes left fails (and so does the parent).
  AsfCursor Child(std::size_t n) {
    const std::uint8_t* at = Bytes(n);
    return at ? AsfCursor(at, n) : Failed();
  }
  // UTF-16LE text of `bytes` bytes; a terminating zero (and anything after it) is dropped.
  std::u16string Utf16(std::size_t bytes);

 private:
  static AsfCursor Failed() {
    AsfCursor cursor;
    cursor.m_failed = true;
    return cursor;
  }
  bool Has(std::size_t n) {
    if (m_failed || n > m_size - m_position) {
      m_failed = true;
      return false;
    }
    return true;
  }
  std::uint64_t Read(std::size_t n) {
    if (!Has(n)) return 0;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < n; ++i) value |= std::uint64_t{m_data[m_position + i]} << (8 * i);
    m_position += n;
    return value;
  }

  const std::uint8_t* m_data = nullptr;
  std::size_t m_size = 0;
  std::size_t m_position = 0;
  bool m_failed = false;
};

class AsfBuilder {
 public:
  std::vector<std::uint8_t>& Bytes() { return m_bytes; }
  const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }
  std::size_t Size() const { return m_bytes.size(); }

  void U8(std::uint8_t value) { m_bytes.push_back(value); }
  void U16(std::uint16_t value) { Put(value, 2); }
  void U32(std::uint32_t value) { Put(value, 4); }
  void U64(std::uint64_t value) { Put(value, 8); }
  void Guid(const GUID& guid);
  void Append(const void* data, std::size_t size);
  void Zeros(std::size_t count) { m_bytes.insert(m_bytes.end(), count, 0); }
  // UTF-16LE text with its terminating zero.
  void Utf16z(std::u16string_view text);

  // Starts an object (its GUID and a size to patch); EndObject writes the size of everything
  // appended since.
  std::size_t BeginObject(const GUID& id);
  void EndObject(std::size_t start);
  // Overwrites a little-endian field written earlier.
  void Patch(std::size_t at, std::uint64_t value, std::size_t width);

 private:
  void Put(std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) m_bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  std::vector<std::uint8_t> m_bytes;
};

// Little-endian stores into a fixed buffer the caller has sized (the packet writer's hot path).
inline std::uint8_t* StoreLe(std::uint8_t* at, std::uint64_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
  return at + width;
}
inline std::uint64_t LoadLe(const std::uint8_t* at, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value |= std::uint64_t{at[i]} << (8 * i);
  return value;
}

// The 16 bytes of a GUID as a file stores it.
void StoreGuid(std::uint8_t* at, const GUID& guid);

}  // namespace asf
