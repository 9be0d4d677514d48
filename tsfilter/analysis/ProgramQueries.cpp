#include "tsfilter/analysis/ProgramQueries.h"

namespace tsfilter {
namespace {

// The stream record `index` of a known program, or nullptr beyond its count.
const StreamRecord* StreamAt(const ProgramEntry& entry, std::uint32_t index) {
  return index < entry.pmt.stream_count && index < kMaxPmtStreams ? &entry.pmt.streams[index] : nullptr;
}

}  // namespace

HRESULT GetTransportStreamId(TsFilterState& filter, std::uint16_t* id) {
  if (!id) return E_INVALIDARG;
  std::lock_guard lock(filter.filterLock);
  *id = static_cast<std::uint16_t>(filter.pat.transport_stream_id);
  return S_OK;
}

HRESULT GetPatVersion(TsFilterState& filter, std::uint8_t* version) {
  if (!version) return E_INVALIDARG;
  std::lock_guard lock(filter.filterLock);
  *version = static_cast<std::uint8_t>(filter.pat.version_number);
  return S_OK;
}

HRESULT GetProgramCount(TsFilterState& filter, std::uint32_t* count) {
  if (!count) return E_INVALIDARG;
  std::lock_guard lock(filter.filterLock);
  *count = filter.model.noPmt ? 1u : static_cast<std::uint32_t>(filter.programs.Count());
  return S_OK;
}

HRESULT GetProgramNumber(TsFilterState& filter, std::uint32_t index, std::uint32_t* programNumber) {
  if (!programNumber) return E_INVALIDARG;
  std::lock_guard lock(filter.filterLock);
  if (filter.model.noPmt) {
    *programNumber = 1;
    return S_OK;
  }
  const ProgramEntry* entry = filter.programs.At(index);
  if (!entry) return E_INVALIDARG;
  *programNumber = entry->program_number;
  return S_OK;
}

HRESULT GetProgramPmtPid(TsFilterState& filter, std::uint32_t index, std::uint32_t* pmtPid) {
  if (!pmtPid) return E_INVALIDARG;
  std::lock_guard lock(filter.filterLock);
  const ProgramEntry* entry = filter.programs.At(index);
  if (!entry) return E_INVALIDARG;
  *pmtPid = entry->pmt_pid;
  return S_OK;
}

HRESULT GetPmtPid(TsFilterState& filter, std::uint32_t programNumber, std::uint32_t* pmtPid) {
  if (!pmtPid) return E_INVALIDARG;
  std::lock_guard lock(filter.filterLock);
  const ProgramEntry* entry = filter.programs.Find(programNumber);
  if (!entry) return E_INVALIDARG;
  *pmtPid = entry->pmt_pid;
  return S_OK;
}

HRESULT GetPmtVersion(TsFilterState& filter, std::uint32_t programNumber, std::uint8_t* version) {
  if (!version) return E_INVALIDARG;
  std::lock_guard lock(filter.filterLock);
  const ProgramEntry* entry = filter.programs.Find(programNumber);
  if (!entry) return E_INVALIDARG;
  *version = static_cast<std::uint8_t>(entry->pmt.header.version_number);
  return S_OK;
}

HRESULT GetStreamCount(TsFilterState& filter, std::uint32_t programNumber, std::uint32_t* count) {
  if (!count) return E_INVALIDARG;
  std::lock_guard lock(filter.filterLock);
  if (const ProgramEntry* entry = filter.programs.Find(programNumber)) {
    *count = entry->pmt.stream_count;
    return S_OK;
  }
  if (!filter.model.noPmt) return E_INVALIDARG;
  *count = 2;
  return S_OK;
}

HRESULT GetStreamType(TsFilterState& filter, std::uint32_t programNumber, std::uint32_t index, std::uint8_t* type) {
  if (!type) return E_INVALIDARG;
  std::lock_guard lock(filter.filterLock);
  if (const ProgramEntry* entry = filter.programs.Find(programNumber)) {
    const StreamRecord* stream = StreamAt(*entry, index);
    if (!stream) return E_INVALIDARG;
    *type = static_cast<std::uint8_t>(stream->stream_type);
    return S_OK;
  }
  if (!filter.model.noPmt) return E_INVALIDARG;
  if (index == 0) *type = static_cast<std::uint8_t>(filter.model.videoStreamType);
  if (index == 1) *type = static_cast<std::uint8_t>(filter.model.audioTracks[0].stream_type);
  return S_OK;
}

HRESULT GetStreamPid(TsFilterState& filter, std::uint32_t programNumber, std::uint32_t index, std::uint16_t* pid) {
  if (!pid) return E_INVALIDARG;
  std::lock_guard lock(filter.filterLock);
  if (const ProgramEntry* entry = filter.programs.Find(programNumber)) {
    const StreamRecord* stream = StreamAt(*entry, index);
    if (!stream) return E_INVALIDARG;
    *pid = static_cast<std::uint16_t>(stream->elementary_PID);
    return S_OK;
  }
  if (!filter.model.noPmt) return E_INVALIDARG;
  if (index == 0) *pid = filter.model.videoPid;
  if (index == 1) *pid = filter.audioPidInUse;
  return S_OK;
}

}  // namespace tsfilter
