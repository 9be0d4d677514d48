#include "platform/registry/HiveText.h"

#include <charconv>
#include <cstdio>
#include <vector>

namespace {
constexpr std::string_view kFirstLine = "; registry hive, format 1";
constexpr std::string_view kLastLine = "; end of hive";
constexpr DWORD kTypeSz = 1;
constexpr DWORD kTypeExpandSz = 2;
constexpr DWORD kTypeDword = 4;

const char kHexDigits[] = "0123456789abcdef";

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ReadHexByte(std::string_view text, std::size_t at, BYTE* byte) {
  if (at + 2 > text.size()) return false;
  int high = HexValue(text[at]);
  int low = HexValue(text[at + 1]);
  if (high < 0 || low < 0) return false;
  *byte = static_cast<BYTE>(high * 16 + low);
  return true;
}

// ---- writing ----

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    switch (ch) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (IsControl(c)) {
          out += "\\x";
          out += kHexDigits[c >> 4];
          out += kHexDigits[c & 15];
        } else {
          out += ch;
        }
    }
  }
  out += '"';
}

void AppendKeyName(std::string& out, std::string_view name) {
  for (char ch : name) {
    auto c = static_cast<unsigned char>(ch);
    if (ch == '%' || IsControl(c)) {
      out += '%';
      out += kHexDigits[c >> 4];
      out += kHexDigits[c & 15];
    } else {
      out += ch;
    }
  }
}

// Text data that reads back as the same bytes: no zero inside, exactly one at the end.
bool IsPlainText(const std::vector<BYTE>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (std::size_t i = 0; i + 1 < data.size(); ++i)
    if (data[i] == 0) return false;
  return true;
}

void AppendValue(std::string& out, const RegistryValue& value) {
  if (value.name.empty()) {
    out += '@';
  } else {
    AppendQuoted(out, value.name);
  }
  out += '=';
  const auto& data = value.data;
  if ((value.type == kTypeSz || value.type == kTypeExpandSz) && IsPlainText(data)) {
    if (value.type == kTypeExpandSz) out += "expand:";
    AppendQuoted(out, std::string_view(reinterpret_cast<const char*>(data.data()), data.size() - 1));
  } else if (value.type == kTypeDword && data.size() == 4) {
    DWORD number = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
                   static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
    char text[16];
    std::snprintf(text, sizeof text, "dword:%08x", number);
    out += text;
  } else {
    out += value.type == 3 ? std::string("hex:") : "hex(" + std::to_string(value.type) + "):";
    for (std::size_t i = 0; i < data.size(); ++i) {
      if (i) out += ',';
      out += kHexDigits[data[i] >> 4];
      out += kHexDigits[data[i] & 15];
    }
  }
  out += '\n';
}

void AppendKey(std::string& out, const RegistryNode& node, std::string& path) {
  out += '[';
  out += path;
  out += "]\n";
  for (const RegistryValue& value : node.Values()) AppendValue(out, value);
  node.ForEachChild([&](const RegistryNode& child) {
    std::size_t mark = path.size();
    path += '\\';
    AppendKeyName(path, child.Name());
    AppendKey(out, child, path);
    path.resize(mark);
  });
}

// ---- reading ----

// Reads a quoted string starting at text[*at] == '"'; leaves *at after the closing quote.
bool ReadQuoted(std::string_view text, std::size_t* at, std::string* result) {
  std::size_t i = *at;
  if (i >= text.size() || text[i] != '"') return false;
  ++i;
  result->clear();
  while (i < text.size()) {
    char ch = text[i];
    if (ch == '"') {
      *at = i + 1;
      return true;
    }
    if (IsControl(static_cast<unsigned char>(ch))) return false;
    if (ch != '\\') {
      *result += ch;
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return false;
    char escape = text[i + 1];
    i += 2;
    switch (escape) {
      case '\\': *result += '\\'; break;
      case '"': *result += '"'; break;
      case 'n': *result += '\n'; break;
      case 'r': *result += '\r'; break;
      case 't': *result += '\t'; break;
      case 'x': {
        BYTE byte = 0;
        if (!ReadHexByte(text, i, &byte)) return false;
        *result += static_cast<char>(byte);
        i += 2;
        break;
      }
      default: return false;
    }
  }
  return false;
}

bool ReadKeyPath(std::string_view text, std::vector<std::string>* names) {
  names->clear();
  std::string name;
  auto finishName = [&]() {
    if (name.empty() || name.size() > RegistryNode::kMaxKeyNameLength) return false;
    names->push_back(std::move(name));
    name.clear();
    return names->size() <= RegistryNode::kMaxDepth;
  };
  if (text.empty()) return true;  // the root
  for (std::size_t i = 0; i < text.size(); ++i) {
    char ch = text[i];
    if (ch == '\\') {
      if (!finishName()) return false;
    } else if (ch == '%') {
      BYTE byte = 0;
      if (!ReadHexByte(text, i + 1, &byte)) return false;
      name += static_cast<char>(byte);
      i += 2;
    } else if (IsControl(static_cast<unsigned char>(ch))) {
      return false;
    } else {
      name += ch;
    }
  }
  return finishName();
}

bool ReadHexList(std::string_view text, std::vector<BYTE>* data) {
  data->clear();
  if (text.empty()) return true;
  std::size_t i = 0;
  while (true) {
    BYTE byte = 0;
    if (!ReadHexByte(text, i, &byte)) return false;
    data->push_back(byte);
    i += 2;
    if (i == text.size()) return true;
    if (text[i] != ',') return false;
    ++i;
  }
}

bool ReadData(std::string_view text, RegistryValue* value) {
  auto textData = [&](std::string_view quoted, DWORD type) {
    std::size_t at = 0;
    std::string content;
    if (!ReadQuoted(quoted, &at, &content) || at != quoted.size()) return false;
    if (content.find('\0') != std::string::npos) return false;
    value->type = type;
    value->data.assign(content.begin(), content.end());
    value->data.push_back(0);
    return true;
  };
  if (text.starts_with('"')) return textData(text, kTypeSz);
  if (text.starts_with("expand:")) return textData(text.substr(7), kTypeExpandSz);
  if (text.starts_with("dword:")) {
    std::string_view digits = text.substr(6);
    if (digits.size() != 8) return false;
    DWORD number = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number, 16);
    if (error != std::errc() || end != digits.data() + digits.size()) return false;
    value->type = kTypeDword;
    value->data = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8), static_cast<BYTE>(number >> 16),
                   static_cast<BYTE>(number >> 24)};
    return true;
  }
  if (text.starts_with("hex:")) {
    value->type = 3;
    return ReadHexList(text.substr(4), &value->data);
  }
  if (text.starts_with("hex(")) {
    std::size_t close = text.find("):");
    if (close == std::string_view::npos || close == 4) return false;
    DWORD type = 0;
    auto [end, error] = std::from_chars(text.data() + 4, text.data() + close, type, 10);
    if (error != std::errc() || end != text.data() + close) return false;
    value->type = type;
    return ReadHexList(text.substr(close + 2), &value->data);
  }
  return false;
}

bool ReadValueLine(std::string_view line, RegistryValue* value) {
  std::size_t at = 0;
  if (line.starts_with('@')) {
    value->name.clear();
    at = 1;
  } else if (!ReadQuoted(line, &at, &value->name) || value->name.empty() ||
             value->name.size() > RegistryNode::kMaxValueNameLength) {
    return false;
  }
  if (at >= line.size() || line[at] != '=') return false;
  return ReadData(line.substr(at + 1), value);
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}
}  // namespace

std::string WriteHiveText(const RegistryNode& root) {
  std::string out(kFirstLine);
  out += '\n';
  for (const RegistryValue& value : root.Values()) {
    if (&value == &root.Values().front()) out += "[]\n";
    AppendValue(out, value);
  }
  root.ForEachChild([&](const RegistryNode& child) {
    std::string path;
    AppendKeyName(path, child.Name());
    AppendKey(out, child, path);
  });
  out += kLastLine;
  out += '\n';
  return out;
}

bool ReadHiveText(std::string_view text, RegistryNode* root, std::size_t* badLine) {
  std::vector<std::string_view> lines = SplitLines(text);
  auto fail = [&](std::size_t index) {
    if (badLine) *badLine = index + 1;
    return false;
  };
  // The last line that is not blank must be the end marker: anything else is a cut-off file.
  std::size_t last = lines.size();
  while (last > 0 && lines[last - 1].empty()) --last;
  if (lines.empty() || lines[0] != kFirstLine) return fail(0);
  if (last < 2 || lines[last - 1] != kLastLine) return fail(last == 0 ? 0 : last - 1);

  RegistryNode* current = root;
  std::vector<std::string> names;
  RegistryValue value;
  for (std::size_t index = 1; index + 1 < last; ++index) {
    std::string_view line = lines[index];
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      if (line.back() != ']' || !ReadKeyPath(line.substr(1, line.size() - 2), &names)) return fail(index);
      current = root;
      for (const std::string& name : names) current = current->AddChild(name);
      continue;
    }
    if (!ReadValueLine(line, &value)) return fail(index);
    current->SetValue(value.name, value.type, std::move(value.data));
    value.data.clear();
  }
  return true;
}
