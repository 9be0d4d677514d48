#pragma once
// Read access to the program tables for the filter's typed queries (the first ten methods of its
// information interface). Each takes the filter lock and returns S_OK, or E_INVALIDARG when the
// out-pointer is missing, the program number is unknown or an index is at or beyond its count.
// When the model was guessed from the census (no PMT), the program count and number read as 1 and
// an unknown program answers with two streams: the video and the audio in use.
#include <cstdint>

#include "platform/com/hresult.h"
#include "tsfilter/analysis/TsFilterState.h"

namespace tsfilter {

HRESULT GetTransportStreamId(TsFilterState& filter, std::uint16_t* id);
HRESULT GetPatVersion(TsFilterState& filter, std::uint8_t* version);
HRESULT GetProgramCount(TsFilterState& filter, std::uint32_t* count);
HRESULT GetProgramNumber(TsFilterState& filter, std::uint32_t index, std::uint32_t* programNumber);
HRESULT GetProgramPmtPid(TsFilterState& filter, std::uint32_t index, std::uint32_t* pmtPid);
HRESULT GetPmtPid(TsFilterState& filter, std::uint32_t programNumber, std::uint32_t* pmtPid);
HRESULT GetPmtVersion(TsFilterState& filter, std::uint32_t programNumber, std::uint8_t* version);
HRESULT GetStreamCount(TsFilterState& filter, std::uint32_t programNumber, std::uint32_t* count);
// Indexes beyond the two no-PMT streams give S_OK and leave the value untouched.
HRESULT GetStreamType(TsFilterState& filter, std::uint32_t programNumber, std::uint32_t index, std::uint8_t* type);
HRESULT GetStreamPid(TsFilterState& filter, std::uint32_t programNumber, std::uint32_t index, std::uint16_t* pid);

}  // namespace tsfilter
