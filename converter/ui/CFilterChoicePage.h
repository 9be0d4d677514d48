#pragma once
// What the Multiplexer and the AC3 Analyzer pages share: a sorted drop-down list of candidate
// filters headed by "<Auto>", each entry showing the filter's name and carrying its class
// identifier, the "Selected Filter:" field with the chosen filter's program file, and the
// selection text the sheet stores on OK (a filter spec, empty for "<Auto>").
#include <string>
#include <vector>

struct FilterChoiceEntry {
  std::string shown;      // the name before the first comma ("<Auto>" for the first entry)
  std::string classText;  // what follows the comma
  std::string fullText;   // the candidate's whole spec, as listed
};

class CFilterChoicePage {
 public:
  static constexpr int IDC_FILTER_CHOICE = 1037;
  static constexpr int IDC_SELECTED_FILTER = 1040;

  // selection: the stored filter spec the page starts with (empty = automatic).
  explicit CFilterChoicePage(std::string selection) : m_selection(std::move(selection)) {}
  virtual ~CFilterChoicePage() = default;
  CFilterChoicePage(const CFilterChoicePage&) = delete;
  CFilterChoicePage& operator=(const CFilterChoicePage&) = delete;

  // The page is shown for the first time: lists the candidates and selects the stored choice
  // (case-insensitive), or "<Auto>" when none matches.
  void OnInitDialog();
  // The user picks an entry (-1: none).
  void OnSelectionChanged(int index);

  const std::vector<FilterChoiceEntry>& Entries() const { return m_entries; }
  int SelectedIndex() const { return m_selected; }
  // The "Selected Filter:" field: "<Auto>", or the program file of the chosen filter's class
  // (empty when the class is not registered).
  const std::string& SelectedFilterText() const { return m_selectedFilterText; }
  bool IsModified() const { return m_modified; }
  bool WasOpened() const { return m_opened; }

  // What OK stores: for a page that was opened the selected entry as "name,class" (empty for
  // "<Auto>" or no selection); for a page never opened the value it was filled with.
  std::string SelectionText() const;

 protected:
  // The candidates as filter specs; false when the list is to stay empty (no "<Auto>" either).
  virtual bool FindCandidates(std::vector<std::string>* candidates) = 0;

 private:
  std::string m_selection;
  std::vector<FilterChoiceEntry> m_entries;
  int m_selected = -1;
  std::string m_selectedFilterText;
  bool m_modified = false;
  bool m_opened = false;
};
