#include "tsfilter/analysis/TsFilterState.h"

namespace tsfilter {

TsFilterState::TsFilterState() { reader.SetNotTransportStreamHandler(&TsFilterState::OnNotTransportStream, this); }

void TsFilterState::SetHost(AnalysisHost* host) {
  std::lock_guard lock(filterLock);
  m_host = host ? host : &m_defaultHost;
}

void TsFilterState::OnNotTransportStream(void* self) { static_cast<TsFilterState*>(self)->Host().ShowNotTransportStream(); }

}  // namespace tsfilter
