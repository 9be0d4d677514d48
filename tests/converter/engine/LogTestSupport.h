#pragma once
// Checks log text line by line against patterns: "@" stands for a time stamp "[hh:mm:ss] ".
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline const std::string& Separator() {
  static const std::string line(71, '-');
  return line;
}

// "@text" means a stamped line with that text; anything else must match exactly.
inline void ExpectLogLines(const std::string& text, const std::vector<std::string>& patterns) {
  static const std::regex stamp(R"(\[\d\d:\d\d:\d\d\] )");
  std::vector<std::string> lines = SplitLines(text);
  ASSERT_EQ(lines.size(), patterns.size()) << text;
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE("line " + std::to_string(i + 1));
    const std::string& pattern = patterns[i];
    if (!pattern.empty() && pattern.front() == '@') {
      ASSERT_GE(lines[i].size(), 11u);
      EXPECT_TRUE(std::regex_match(lines[i].substr(0, 11), stamp)) << lines[i];
      EXPECT_EQ(lines[i].substr(11), pattern.substr(1));
    } else {
      EXPECT_EQ(lines[i], pattern);
    }
  }
}
