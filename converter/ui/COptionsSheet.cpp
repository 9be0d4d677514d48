#include "converter/ui/COptionsSheet.h"

COptionsSheet::COptionsSheet(CSfxOption& options, IFilterGraph* graph)
    : m_options(options),
      m_output(options.m_outputType, options.m_outputPath),
      m_filters(graph),
      m_muxer(options.m_muxerFilter),
      m_ac3(options.m_ac3Filter) {}

void COptionsSheet::ShowPage(Page page) {
  if (page < 0 || page >= kPageCount || m_shown[page]) return;
  m_shown[page] = true;
  switch (page) {
    case kOutputPage: break;  // its fields show the values it was built with
    case kFiltersPage: m_filters.OnInitDialog(); break;
    case kMultiplexerPage: m_muxer.OnInitDialog(); break;
    case kAc3AnalyzerPage: m_ac3.OnInitDialog(); break;
    default: break;
  }
}

COptionsSheet::Outcome COptionsSheet::OnOK() {
  Outcome outcome;
  outcome.folderChanged = m_output.Folder() != m_options.m_outputPath;
  m_options.m_outputType = m_output.OutputType();
  m_options.m_outputPath = m_output.Folder();
  m_options.m_muxerFilter = m_muxer.SelectionText();
  m_options.m_ac3Filter = m_ac3.SelectionText();
  return outcome;
}
