#pragma once
// GUIDs with parsing and formatting in registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/com/hresult.h"

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

inline constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

namespace guid_detail {
constexpr int HexValue(char c) {
  return (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
}
// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", braces optional. Returns false on any deviation.
constexpr bool Parse(std::string_view text, GUID& out) {
  if (text.size() == 38) {
    if (text.front() != '{' || text.back() != '}') return false;
    text = text.substr(1, 36);
  }
  if (text.size() != 36) return false;
  if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return false;
  std::uint8_t bytes[16] = {};
  int n = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) continue;
    int hi = HexValue(text[i]);
    int lo = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
    if (hi < 0 || lo < 0) return false;
    bytes[n++] = static_cast<std::uint8_t>(hi * 16 + lo);
    ++i;
  }
  out.Data1 = (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) | bytes[3];
  out.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  out.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) out.Data4[i] = bytes[8 + i];
  return true;
}
}  // namespace guid_detail

// A GUID from a literal at compile time; a malformed literal fails to compile.
consteval GUID MakeGuid(const char* literal) {
  GUID g{};
  std::size_t len = 0;
  while (literal[len] != '\0') ++len;
  if (!guid_detail::Parse(std::string_view(literal, len), g)) throw "malformed GUID literal";
  return g;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
std::string GuidToString(REFGUID guid);
std::u16string GuidToWideString(REFGUID guid);
// Accepts the registry form with or without braces, any case.
bool GuidFromString(std::string_view text, GUID* guid);

// The Windows names: CLSIDFromString / StringFromGUID2.
HRESULT CLSIDFromString(const char16_t* text, CLSID* clsid);
int StringFromGUID2(REFGUID guid, char16_t* buffer, int capacity);

struct GuidHash {
  std::size_t operator()(const GUID& g) const noexcept {
    std::uint64_t a, b;
    std::memcpy(&a, &g, 8);
    std::memcpy(&b, reinterpret_cast<const char*>(&g) + 8, 8);
    return static_cast<std::size_t>(a * 0x9E3779B97F4A7C15ull ^ b);
  }
};
