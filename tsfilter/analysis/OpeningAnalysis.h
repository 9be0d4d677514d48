#pragma once
// Load's analysis of a transport stream file: a PID census over the first 10000 packets, a search
// of the same packets for PAT, PMT and SDT (a third pass when IgnoreCRC is on and the program is
// still incomplete), the census guess when no PMT gave a complete program, and, with DetLength, a
// scan of the file's end for the duration. Everything runs under the filter lock.
#include <functional>

#include "platform/com/hresult.h"
#include "tsfilter/analysis/TsFilterState.h"
#include "tsfilter/analysis/TsPinState.h"

namespace tsfilter {

inline constexpr std::uint32_t kAnalysisPassPositions = 30000;

// Creates the output pin when the analysis asks for it and returns its state (owned by the caller,
// typically inside the pin object); nullptr when it cannot be created.
using CreatePinFunction = std::function<TsPinState*()>;

// The analysis sequence of Load, run after the file is open and both buffers exist. Returns S_OK,
// E_OUTOFMEMORY when the pin cannot be created, or the failure of a block read. A file without
// packet sync is reported to the host and still analysed.
HRESULT AnalyseFile(TsFilterState& filter, const CreatePinFunction& createPin);

// Load's file part: opens `path` (E_FAIL when it cannot be opened), asks its size, allocates both
// block buffers (E_OUTOFMEMORY) and runs AnalyseFile.
HRESULT LoadFile(TsFilterState& filter, const char* path, const CreatePinFunction& createPin);

// Examines `positions` packet positions without a sample, stopping at the end of the file.
void ExaminePositions(TsFilterState& filter, TsPinState& pin, std::uint32_t positions);

// The end scan: finds a first PTS if none is known, reads the last 20000 packets and takes the
// duration from the PTS found there. The size estimate stays when no PTS turns up.
HRESULT MeasureDuration(TsFilterState& filter, TsPinState& pin);

}  // namespace tsfilter
