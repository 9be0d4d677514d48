#pragma once
// The Options sheet's "Output" page as data: where converted files go (beside their sources, or
// in one folder) and that folder, with the "..." button's folder browser handed in by the window
// layer.
#include <functional>
#include <optional>
#include <string>

class COutputPage {
 public:
  static constexpr char kCaption[] = "Output";
  static constexpr int IDC_BROWSE = 1002;
  static constexpr int IDC_SAME_FOLDER = 1004;   // OutputType 0
  static constexpr int IDC_FIXED_FOLDER = 1005;  // OutputType 1
  static constexpr int IDC_FOLDER = 1006;
  static constexpr char kBrowseTitle[] = "Select output folder";

  // Shows the system's folder browser (file-system folders only) with a title and a preselected
  // path; the chosen folder, or nothing when the user cancelled.
  using FolderBrowser = std::function<std::optional<std::string>(const std::string& title, const std::string& preselected)>;

  COutputPage(int outputType, std::string folder) : m_outputType(outputType), m_folder(std::move(folder)) {}

  void OnRadio(int id);
  void OnFolderEdited(std::string text);
  // "...": the chosen folder replaces the field's text; a cancelled browser changes nothing.
  void OnBrowse(const FolderBrowser& browser);

  int OutputType() const { return m_outputType; }
  const std::string& Folder() const { return m_folder; }
  bool IsModified() const { return m_modified; }

 private:
  int m_outputType;
  std::string m_folder;
  bool m_modified = false;
};
