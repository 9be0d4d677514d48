#include "platform/filters/dvd/TitleSetFiles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace dvd {
namespace {

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// nn of a name of the form VTS_nn_0.IFO or VTS_nn_0.BUP (upper case), else 0.
int TitleSetOfInfoFile(const std::string& upperName) {
  if (upperName.size() != 12 || upperName.compare(0, 4, "VTS_") != 0 || upperName.compare(6, 3, "_0.") != 0) return 0;
  if (!std::isdigit(static_cast<unsigned char>(upperName[4])) || !std::isdigit(static_cast<unsigned char>(upperName[5])))
    return 0;
  const std::string extension = upperName.substr(9);
  if (extension != "IFO" && extension != "BUP") return 0;
  const int number = (upperName[4] - '0') * 10 + (upperName[5] - '0');
  return number >= 1 && number <= 99 ? number : 0;
}

std::vector<int> TitleSetsInFolder(const std::string& folder) {
  std::vector<int> sets;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const int number = TitleSetOfInfoFile(Upper(entry.path().filename().string()));
    if (number > 0 && std::find(sets.begin(), sets.end(), number) == sets.end()) sets.push_back(number);
  }
  std::sort(sets.begin(), sets.end());
  return sets;
}

}  // namespace

std::string TitleSetFileName(int titleSet, int part, const char* extension) {
  char name[16];
  std::snprintf(name, sizeof name, "VTS_%02d_%d.%s", titleSet, part, extension);
  return name;
}

std::string FindFileInFolder(const std::string& folder, const std::string& name) {
  const std::string wanted = Upper(name);
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (Upper(entry.path().filename().string()) == wanted && entry.is_regular_file(error)) return entry.path().string();
  }
  return {};
}

bool LocateTitleSets(const std::string& path, TitleSetLocation* location) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path given(path);
  if (fs::is_regular_file(given, error)) {
    const int number = TitleSetOfInfoFile(Upper(given.filename().string()));
    const std::string folder = given.has_parent_path() ? given.parent_path().string() : std::string(".");
    if (number > 0) {
      *location = {folder, {number}};
      return true;
    }
    // VIDEO_TS.IFO or another file of the folder: every title set beside it.
    location->folder = folder;
    location->titleSets = TitleSetsInFolder(folder);
    return !location->titleSets.empty();
  }
  if (!fs::is_directory(given, error)) return false;
  std::vector<int> sets = TitleSetsInFolder(path);
  if (!sets.empty()) {
    *location = {path, std::move(sets)};
    return true;
  }
  for (const auto& entry : fs::directory_iterator(given, error)) {
    if (Upper(entry.path().filename().string()) != "VIDEO_TS" || !entry.is_directory(error)) continue;
    sets = TitleSetsInFolder(entry.path().string());
    if (sets.empty()) continue;
    *location = {entry.path().string(), std::move(sets)};
    return true;
  }
  return false;
}

}  // namespace dvd
