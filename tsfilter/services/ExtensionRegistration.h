#pragma once
// Makes Flumetta the source filter for file extensions (and gives another program's source filter
// back when Flumetta is unregistered). Registry failures are silent: a key that cannot be opened
// is skipped.
#include <string>
#include <vector>

namespace tsfilter {

// Registers (or unregisters) one extension such as ".ts". With a file-type list ("*.ts;*.tp")
// the media player's type and description values are written too; modulePath names the module
// whose string resource describes the type.
void RegisterExtension(const std::string& extension, const std::string* fileTypeList, bool registering,
                       const std::string& modulePath);

// The pieces of a list typed by the user: split at semicolons and blanks; a piece counts only
// when it has at least three characters and begins with ".".
std::vector<std::string> SplitExtensionList(const std::string& text);

// Registers (or unregisters) every piece of the list, the last one a second time with the
// file-type list built from all pieces ("*.mpg;*.m2t").
void RegisterExtensionList(const std::string& text, bool registering, const std::string& modulePath);

}  // namespace tsfilter
