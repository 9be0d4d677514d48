#include "converter/ui/CAC3Page.h"

#include "converter/engine/FilterCatalogue.h"

bool CAC3Page::FindCandidates(std::vector<std::string>* candidates) {
  *candidates = Ac3AnalyzerCandidates();
  return !candidates->empty();
}
