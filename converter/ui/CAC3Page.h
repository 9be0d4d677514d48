#pragma once
// The Options sheet's "AC3 Analyzer" page: the filters that take AC3 audio and have an output,
// without multiplexers and without AC3 decoders by name.
#include "converter/ui/CFilterChoicePage.h"

class CAC3Page : public CFilterChoicePage {
 public:
  static constexpr char kCaption[] = "AC3 Analyzer";
  static constexpr char kGroupTitle[] = "AC3 Analyzer";
  static constexpr char kNote[] =
      "Note: The AC3 Analyzer is used when writing to DVR-MS Format containing AC3 audio. It compensates jitter "
      "and delivers presentation time stamps. Most AC3 filters can act as an analyzer.";

  using CFilterChoicePage::CFilterChoicePage;

 protected:
  bool FindCandidates(std::vector<std::string>* candidates) override;
};
