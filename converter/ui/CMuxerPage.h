#pragma once
// The Options sheet's "Multiplexer" page: the filters that take MPEG-2 video and MPEG-2 audio and
// have an output, as the catalogue lists them.
#include "converter/ui/CFilterChoicePage.h"

class CMuxerPage : public CFilterChoicePage {
 public:
  static constexpr char kCaption[] = "Multiplexer";
  static constexpr char kGroupTitle[] = "MPEG-2 Multiplexer";

  using CFilterChoicePage::CFilterChoicePage;

 protected:
  // Filled only when both the video and the audio query found something.
  bool FindCandidates(std::vector<std::string>* candidates) override;
};
