#include "tsfilter/services/ExtensionRegistration.h"

#include <strings.h>

#include "platform/registry/registry.h"
#include "shared/ClassIds.h"

namespace tsfilter {
namespace {

constexpr const char* kSourceFilterValue = "Source Filter";
constexpr const char* kOtherSourceFilterValue = "Source Filter.other";
constexpr const char* kPlayerMlsExtensions = "SOFTWARE\\Microsoft\\MediaPlayer\\MLS\\Extensions";
constexpr const char* kPlayerExtensions = "SOFTWARE\\Microsoft\\MediaPlayer\\Player\\Extensions";
constexpr const char* kTypeResourceId = "106";

std::string MediaTypeExtensionKey(const std::string& extension) { return "Media Type\\Extensions\\" + extension; }

bool KeyExists(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void CreateKey(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegCreateKeyEx(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr) ==
      ERROR_SUCCESS) {
    RegCloseKey(key);
  }
}

// Writes a value only below a key that exists already.
void SetStringIfKeyExists(HKEY root, const std::string& path, const std::string& name, const std::string& text) {
  if (KeyExists(root, path)) RegistryWriteString(root, path, name, text);
}

void TakeOverExtension(const std::string& typeKey) {
  std::string current;
  // Class identifiers are compared without regard to case: our own identifier written in another
  // case must not be kept as "another program's" filter.
  if (RegistryReadString(HKEY_CLASSES_ROOT, typeKey, kSourceFilterValue, &current) &&
      strcasecmp(current.c_str(), kFlumettaClsidText) != 0) {
    RegistryWriteString(HKEY_CLASSES_ROOT, typeKey, kOtherSourceFilterValue, current);
  }
  RegistryWriteString(HKEY_CLASSES_ROOT, typeKey, kSourceFilterValue, kFlumettaClsidText);
}

void GiveBackExtension(const std::string& extension, const std::string& typeKey) {
  std::string other;
  if (RegistryReadString(HKEY_CLASSES_ROOT, typeKey, kOtherSourceFilterValue, &other)) {
    RegistryWriteString(HKEY_CLASSES_ROOT, typeKey, kSourceFilterValue, other);
    return;
  }
  RegDeleteTree(HKEY_CLASSES_ROOT, typeKey.c_str());
  RegDeleteTree(HKEY_CLASSES_ROOT, extension.c_str());
}

}  // namespace

void RegisterExtension(const std::string& extension, const std::string* fileTypeList, bool registering,
                       const std::string& modulePath) {
  if (extension.empty()) return;
  const std::string typeKey = MediaTypeExtensionKey(extension);
  CreateKey(HKEY_CLASSES_ROOT, typeKey);
  if (!registering) {
    GiveBackExtension(extension, typeKey);
    return;
  }
  TakeOverExtension(typeKey);

  RegistryWriteString(HKEY_CLASSES_ROOT, extension, "PerceivedType", "video");
  SetStringIfKeyExists(HKEY_LOCAL_MACHINE, kPlayerMlsExtensions, extension.substr(1), "video");

  if (!fileTypeList) return;
  SetStringIfKeyExists(HKEY_LOCAL_MACHINE, std::string(kPlayerExtensions) + "\\Types", kTypeResourceId,
                       *fileTypeList);
  SetStringIfKeyExists(HKEY_LOCAL_MACHINE, std::string(kPlayerExtensions) + "\\MUIDescriptions", kTypeResourceId,
                       "@" + modulePath + ",-106");
}

std::vector<std::string> SplitExtensionList(const std::string& text) {
  std::vector<std::string> pieces;
  std::string piece;
  auto finishPiece = [&] {
    if (piece.size() >= 3 && piece.front() == '.') pieces.push_back(piece);
    piece.clear();
  };
  for (char c : text) {
    if (c == ';' || c == ' ') {
      finishPiece();
    } else {
      piece += c;
    }
  }
  finishPiece();
  return pieces;
}

void RegisterExtensionList(const std::string& text, bool registering, const std::string& modulePath) {
  const std::vector<std::string> pieces = SplitExtensionList(text);
  if (pieces.empty()) return;
  std::string fileTypes;
  for (const std::string& piece : pieces) {
    RegisterExtension(piece, nullptr, registering, modulePath);
    if (!fileTypes.empty()) fileTypes += ';';
    fileTypes += "*" + piece;
  }
  RegisterExtension(pieces.back(), &fileTypes, registering, modulePath);
}

}  // namespace tsfilter
