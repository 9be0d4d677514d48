#pragma once
// The "Set Mark In and Mark Out" window as data: a modeless window offering the Sources panel's
// editing on its own. It is created once with the input path and the main window's marks, hidden
// between uses and shown on every use; OK hands its marks back, Cancel drops them.
#include <optional>
#include <string>
#include <utility>

#include "converter/ui/CBasePane.h"
#include "converter/ui/MarkEditor.h"

class CMarkDlg {
 public:
  static constexpr char kCaption[] = "Set Mark In and Mark Out";

  CMarkDlg(std::string fileName, std::int32_t markIn, std::int32_t markOut);
  ~CMarkDlg();
  CMarkDlg(const CMarkDlg&) = delete;
  CMarkDlg& operator=(const CMarkDlg&) = delete;

  // The window's initialisation: finds the preview's source (processId is the converter's own).
  void OnInitDialog(DWORD processId);

  void Show() { m_visible = true; }
  bool IsVisible() const { return m_visible; }
  // OK: hides the window and gives the marks (Mark In, Mark Out) for the main window.
  std::pair<std::int32_t, std::int32_t> OnOK();
  // Cancel: hides the window; the main window keeps its marks.
  void OnCancel() { m_visible = false; }

  // The "File:" field.
  const std::string& FileName() const { return m_fileName; }
  MarkEditor& Editor() { return m_editor; }
  const MarkEditor& Editor() const { return m_editor; }

 private:
  std::string m_fileName;
  PaneMarks m_marks;
  MarkEditor m_editor;
  bool m_visible = false;
};
