#include "converter/ui/CMarkPane.h"

CMarkPane::CMarkPane(std::string fileName, std::int32_t markIn, std::int32_t markOut)
    : CBasePane(std::move(fileName), markIn, markOut), m_editor(Marks(), MarkEditorStyle::SourcesPanel) {}

CMarkPane::~CMarkPane() { m_editor.Detach(); }

void CMarkPane::OnInitDialog(DWORD processId) { m_editor.FindPreviewSource(FileName(), processId); }
