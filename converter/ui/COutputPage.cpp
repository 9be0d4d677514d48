#include "converter/ui/COutputPage.h"

void COutputPage::OnRadio(int id) {
  if (id != IDC_SAME_FOLDER && id != IDC_FIXED_FOLDER) return;
  m_outputType = id == IDC_FIXED_FOLDER ? 1 : 0;
  m_modified = true;
}

void COutputPage::OnFolderEdited(std::string text) {
  m_folder = std::move(text);
  m_modified = true;
}

void COutputPage::OnBrowse(const FolderBrowser& browser) {
  if (!browser) return;
  if (std::optional<std::string> chosen = browser(kBrowseTitle, m_folder)) m_folder = std::move(*chosen);
}
