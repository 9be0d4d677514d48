#include "converter/ui/CMarkDlg.h"

CMarkDlg::CMarkDlg(std::string fileName, std::int32_t markIn, std::int32_t markOut)
    : m_fileName(std::move(fileName)), m_marks{markIn, markOut, nullptr}, m_editor(m_marks, MarkEditorStyle::SetMarkWindow) {}

CMarkDlg::~CMarkDlg() { m_editor.Detach(); }

void CMarkDlg::OnInitDialog(DWORD processId) { m_editor.FindPreviewSource(m_fileName, processId); }

std::pair<std::int32_t, std::int32_t> CMarkDlg::OnOK() {
  m_visible = false;
  return {m_marks.markIn, m_marks.markOut};
}
