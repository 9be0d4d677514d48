#pragma once
// A filter spec: a filter's friendly name, a comma and its class identifier in braces, the text
// form in which a chosen filter is stored and passed around. Empty text, or "<Auto>", chooses no
// particular filter.
#include <string>

struct FilterSpec {
  std::string name;       // before the first comma
  std::string classText;  // after it
};

// Both parts empty when the spec has no comma.
inline FilterSpec SplitFilterSpec(const std::string& spec) {
  const std::size_t comma = spec.find(',');
  if (comma == std::string::npos) return {};
  return {spec.substr(0, comma), spec.substr(comma + 1)};
}
