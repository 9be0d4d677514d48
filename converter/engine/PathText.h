#pragma once
// The converter's path rules on this platform: the file part is the text after the last "/"
// (the whole path when it has none); the extension starts at the last ".".
#include <string>

inline std::string FilePartOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path up to (not including) its last "."; the whole path when it has none.
inline std::string StemOf(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  return dot == std::string::npos ? path : path.substr(0, dot);
}

// The text from the last "." on; empty when there is none.
inline std::string ExtensionOf(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  return dot == std::string::npos ? std::string() : path.substr(dot);
}
