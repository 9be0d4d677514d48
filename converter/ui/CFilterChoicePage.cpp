#include "converter/ui/CFilterChoicePage.h"

#include <algorithm>
#include <cctype>

#include "converter/engine/FilterCatalogue.h"

namespace {

char Folded(char ch) { return static_cast<char>(std::tolower(static_cast<unsigned char>(ch))); }

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Folded(x) == Folded(y); });
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Folded(x) < Folded(y); });
}

}  // namespace

void CFilterChoicePage::OnInitDialog() {
  m_opened = true;
  m_entries.clear();
  std::vector<std::string> candidates;
  if (FindCandidates(&candidates)) {
    // The list sorts its entries; "<Auto>" heads it.
    std::stable_sort(candidates.begin(), candidates.end(), LessIgnoringCase);
    m_entries.push_back(FilterChoiceEntry{kAutoFilterSpec, "", kAutoFilterSpec});
    for (const std::string& spec : candidates)
      m_entries.push_back(FilterChoiceEntry{FilterSpecName(spec), FilterSpecClass(spec), spec});
  }
  int selected = m_entries.empty() ? -1 : 0;
  for (std::size_t i = 1; i < m_entries.size(); ++i) {
    if (EqualIgnoringCase(m_entries[i].fullText, m_selection)) {
      selected = static_cast<int>(i);
      break;
    }
  }
  OnSelectionChanged(selected);
}

void CFilterChoicePage::OnSelectionChanged(int index) {
  m_selected = index >= 0 && index < static_cast<int>(m_entries.size()) ? index : -1;
  m_selectedFilterText = m_selected <= 0 ? std::string(kAutoFilterSpec)
                                         : FindFilterModule(m_entries[static_cast<std::size_t>(m_selected)].classText);
  m_modified = true;
}

std::string CFilterChoicePage::SelectionText() const {
  if (!m_opened) return m_selection;
  if (m_selected <= 0) return std::string();
  const FilterChoiceEntry& entry = m_entries[static_cast<std::size_t>(m_selected)];
  return entry.shown + "," + entry.classText;
}
