#pragma once
// The "Options" property sheet as data: its four pages filled from the settings, and OK storing
// them back. The sheet lives only while it is shown; a page is initialised the first time it is
// shown (the first page at once), and a page never shown gives back what it was filled with.
//
// The caller re-opens the loaded input after OK when the folder text changed, so that the output
// path is composed anew.
#include "converter/ui/CAC3Page.h"
#include "converter/ui/CFilterPage.h"
#include "converter/ui/CMuxerPage.h"
#include "converter/ui/COutputPage.h"
#include "converter/ui/CSfxOption.h"

class COptionsSheet {
 public:
  static constexpr char kCaption[] = "Options";
  enum Page { kOutputPage = 0, kFiltersPage = 1, kMultiplexerPage = 2, kAc3AnalyzerPage = 3, kPageCount = 4 };

  // graph: the conversion graph's filter graph, null when no file is loaded.
  COptionsSheet(CSfxOption& options, IFilterGraph* graph);

  // The sheet opens on its first page.
  void Open() { ShowPage(kOutputPage); }
  // Shows a page, initialising it the first time.
  void ShowPage(Page page);
  bool WasShown(Page page) const { return m_shown[page]; }

  COutputPage& OutputPage() { return m_output; }
  CFilterPage& FiltersPage() { return m_filters; }
  CMuxerPage& MultiplexerPage() { return m_muxer; }
  CAC3Page& Ac3AnalyzerPage() { return m_ac3; }

  struct Outcome {
    bool folderChanged = false;  // the folder text differs from the stored one (byte for byte)
  };
  // OK: stores OutputType, OutputPath, MuxerFilter and AC3Filter from the pages.
  Outcome OnOK();
  // Cancel changes nothing.
  void OnCancel() {}

 private:
  CSfxOption& m_options;
  COutputPage m_output;
  CFilterPage m_filters;
  CMuxerPage m_muxer;
  CAC3Page m_ac3;
  bool m_shown[kPageCount] = {};
};
