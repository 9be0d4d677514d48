#pragma once
// Where a title set's files are: the user names a VTS_nn_0.IFO (or its .BUP), the VIDEO_TS folder
// that holds title sets, or the folder above it. File names are matched in any case, as copies of
// discs often have them in lower case.
#include <string>
#include <vector>

namespace dvd {

struct TitleSetLocation {
  std::string folder;            // the folder holding VTS_nn_0.IFO and the VOBs
  std::vector<int> titleSets;    // nn of each title set to consider, ascending
};

// False when the path is neither a title set file nor a folder with one.
bool LocateTitleSets(const std::string& path, TitleSetLocation* location);

// The full path of the file of this name in the folder, matched without regard to case; empty
// when there is none.
std::string FindFileInFolder(const std::string& folder, const std::string& name);

// "VTS_01_0.IFO" for (1, 0, "IFO").
std::string TitleSetFileName(int titleSet, int part, const char* extension);

}  // namespace dvd
