#include "tsfilter/analysis/OpeningAnalysis.h"

#include "tsfilter/analysis/PacketExaminer.h"
#include "tsfilter/analysis/StreamTiming.h"
#include "tsfilter/analysis/TsPacket.h"

namespace tsfilter {
namespace {

HRESULT ReadIntoScanBuffer(TsFilterState& filter, TsPinState& pin, std::uint32_t index, std::uint32_t count,
                           std::uint32_t* blockStart = nullptr) {
  std::uint8_t* buffer = filter.reader.ScanBuffer();
  if (!buffer) return E_UNEXPECTED;
  std::lock_guard pinLock(pin.pinLock);
  pin.currentBuffer = buffer;
  return filter.reader.ReadBlock(buffer, index, count, blockStart, &pin.currentPackets);
}

void TakeMeasuredDuration(TsFilterState& filter, TsPinState& pin) {
  if (pin.streamTime != 0) {
    filter.duration = MeasuredDuration(pin.streamTime, pin.firstPts, pin.lastPts);
    pin.duration = filter.duration;
    pin.stop = filter.duration;
  }
}

// The last video PTS of the file's end, read from the end-scan block directly. Examining
// positions instead would go on from where the table search stopped: in a file of fewer packets
// than that position (20000 to some 40000 packets, a few megabytes) nothing would be examined and
// a 150-second recording would keep the size estimate of 2 seconds. The reader starts a block at
// a multiple of its length, so the block asked for at the last 20000 packets may end well before
// the file does; the packets after it are read as the block that follows.
HRESULT ScanFileEnd(TsFilterState& filter, TsPinState& pin, std::uint64_t total) {
  const std::uint16_t videoPid = filter.model.videoPid;
  {
    std::lock_guard pinLock(pin.pinLock);
    pin.streamTime = 0;
  }
  std::uint64_t index = total < kEndScanBlockPackets ? 0 : total - kEndScanBlockPackets;
  for (int block = 0; block < 2 && index < total; ++block) {
    std::uint32_t blockStart = 0;
    if (HRESULT hr = ReadIntoScanBuffer(filter, pin, static_cast<std::uint32_t>(index), kEndScanBlockPackets,
                                        &blockStart);
        FAILED(hr))
      return hr;
    std::lock_guard pinLock(pin.pinLock);
    if (videoPid == 0 || filter.settings.prefDemux == kPrefDemuxElementaryVideo) return S_OK;
    for (std::uint32_t slot = 0; slot < pin.currentPackets; ++slot) {
      const std::uint8_t* packet = pin.currentBuffer + std::size_t{slot} * kPacketSize;
      if (PacketPid(packet) == videoPid && HasPayloadUnitStart(packet)) TrackVideoPts(pin, filter.phase, packet);
    }
    if (pin.currentPackets < kEndScanBlockPackets) break;  // the file's end was in this block
    index = std::uint64_t{blockStart} + kEndScanBlockPackets;
  }
  std::lock_guard pinLock(pin.pinLock);
  TakeMeasuredDuration(filter, pin);
  return S_OK;
}

}  // namespace

void ExaminePositions(TsFilterState& filter, TsPinState& pin, std::uint32_t positions) {
  for (std::uint32_t i = 0; i < positions; ++i)
    if (ExaminePacket(filter, pin, nullptr) != S_OK) break;
}

HRESULT MeasureDuration(TsFilterState& filter, TsPinState& pin) {
  std::lock_guard filterLock(filter.filterLock);
  if (pin.firstPts == 0) ExaminePositions(filter, pin, kAnalysisPassPositions);

  const std::uint64_t total = filter.reader.FileSize() / kPacketSize;
  return ScanFileEnd(filter, pin, total);
}

HRESULT AnalyseFile(TsFilterState& filter, const CreatePinFunction& createPin) {
  std::lock_guard filterLock(filter.filterLock);
  filter.duration = EstimateDuration(filter.reader.FileSize());
  filter.Host().ReadSetting("PrefDemux", filter.settings.prefDemux);
  TsPinState* pin = createPin ? createPin() : nullptr;
  if (!pin) return E_OUTOFMEMORY;
  pin->AttachToFilter(filter);

  if (HRESULT hr = ReadIntoScanBuffer(filter, *pin, 0, kScanBlockPackets); FAILED(hr)) return hr;

  filter.phase = AnalysisPhase::Census;
  ExaminePositions(filter, *pin, kAnalysisPassPositions);
  filter.census.SortPidTable();

  filter.phase = AnalysisPhase::TableSearch;
  pin->ResetPlayback();
  ExaminePositions(filter, *pin, kAnalysisPassPositions);

  if (!filter.model.programComplete) {
    filter.Host().ReadSetting("IgnoreCRC", filter.settings.ignoreCrc);
    if (filter.settings.ignoreCrc) {
      filter.pmt.ignoreCrc = true;
      ExaminePositions(filter, *pin, kAnalysisPassPositions);  // the position goes on from the last pass
    }
  }
  if (!filter.model.programComplete)
    GuessProgramModel(filter.model, filter.census, filter.settings.ac3 != 0, filter.audioPidInUse);

  filter.phase = AnalysisPhase::Delivering;
  if (filter.settings.detLength) {
    if (HRESULT hr = MeasureDuration(filter, *pin); FAILED(hr)) return hr;
  }

  std::lock_guard pinLock(pin->pinLock);
  pin->ResetPlayback();
  // The pin's block start stays 0: the stream buffer now holds the block of packet 0.
  pin->currentBuffer = filter.reader.StreamBuffer();
  return filter.reader.ReadBlock(filter.reader.StreamBuffer(), 0, kStreamBlockPackets, nullptr, &pin->currentPackets);
}

HRESULT LoadFile(TsFilterState& filter, const char* path, const CreatePinFunction& createPin) {
  std::lock_guard filterLock(filter.filterLock);
  if (!path) return E_POINTER;
  if (FAILED(filter.reader.Open(path))) return E_FAIL;
  filter.reader.FileSize();
  if (HRESULT hr = filter.reader.AllocateBuffers(); FAILED(hr)) return hr;
  return AnalyseFile(filter, createPin);
}

}  // namespace tsfilter
