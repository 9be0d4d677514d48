#include "converter/ui/CMuxerPage.h"

#include "converter/engine/FilterCatalogue.h"

bool CMuxerPage::FindCandidates(std::vector<std::string>* candidates) {
  bool bothListsFound = false;
  *candidates = MultiplexerCandidates(&bothListsFound);
  return bothListsFound;
}
