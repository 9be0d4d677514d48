#include "tsfilter/analysis/PacketExaminer.h"

#include <cstring>

#include "tsfilter/analysis/PatParser.h"
#include "tsfilter/analysis/PmtParser.h"
#include "tsfilter/analysis/SectionEnvelope.h"
#include "tsfilter/analysis/StreamTiming.h"
#include "tsfilter/services/VideoSequenceAnalyzer.h"

namespace tsfilter {
namespace {

constexpr std::uint32_t kKeySearchWindow = 5000;  // packets searched for a sequence header after a seek
constexpr std::size_t kSectionOffset = 5;
constexpr std::size_t kSectionBytesInPacket = kPacketSize - kSectionOffset;

struct Examination {
  const std::uint8_t* packet = nullptr;
  std::uint16_t pid = 0;
  bool endOfFile = false;
};

bool IsElementaryVideoMode(const TsFilterState& filter) { return filter.settings.prefDemux == kPrefDemuxElementaryVideo; }

bool AnalyseVideo(TsFilterState& filter, TsPinState& pin, const std::uint8_t* packet) {
  VideoAnalysisContext context;
  context.videoStreamType = filter.model.videoStreamType;
  context.position = pin.position;
  context.attributes = &filter.video;
  context.parameters = &pin.h264Parameters;
  context.formats = &filter.formats;
  context.skipTarget = &pin.skipTarget;
  context.keyPosition = &pin.keyPosition;
  return VideoSequenceAnalyzer::Analyse(packet, context);
}

// Picture format of a video PES start while the aspect ratio is still unknown. The analysis
// goes on past a recognised header when its aspect code has no mapping (square samples), and
// its passes number positions anew; delivery must still start at the first header the opening
// analysis found, or whole blocks of the recording would be skipped.
void AnalyseFormat(TsFilterState& filter, TsPinState& pin, const std::uint8_t* packet, bool delivering) {
  const std::uint32_t skipTarget = pin.skipTarget, keyPosition = pin.keyPosition;
  if (AnalyseVideo(filter, pin, packet) && !delivering && skipTarget != 0) {
    pin.skipTarget = skipTarget;
    pin.keyPosition = keyPosition;
  }
}

HRESULT ReadStreamBlock(TsFilterState& filter, TsPinState& pin) {
  std::uint8_t* buffer = filter.reader.StreamBuffer();
  if (!buffer) return E_UNEXPECTED;
  pin.currentBuffer = buffer;
  return filter.reader.ReadBlock(buffer, pin.position, kStreamBlockPackets, &pin.blockStart, &pin.currentPackets);
}

// Step 4: chooses the packet, skipping (without delivering) up to the skip target and, in
// elementary video mode with a sample, over packets of other PIDs.
HRESULT ChoosePacket(TsFilterState& filter, TsPinState& pin, PacketSample* sample, std::uint8_t* destination,
                     Examination& out) {
  const bool videoOnly = sample && IsElementaryVideoMode(filter);
  const std::uint64_t total = filter.reader.FileSizeWhileLocked() / kPacketSize;
  do {
    if (pin.position >= total) {
      out.endOfFile = true;
      return S_FALSE;
    }
    if (sample && (pin.position < pin.blockStart ||
                   std::uint64_t{pin.position} >= std::uint64_t{pin.blockStart} + kStreamBlockPackets)) {
      if (HRESULT hr = ReadStreamBlock(filter, pin); FAILED(hr)) return hr;
    }
    const std::uint32_t slot = pin.position % kStreamBlockPackets;
    if (slot >= pin.currentPackets && sample) {
      // The block ended early but the file claims more: it is still being written. Read it again.
      if (HRESULT hr = ReadStreamBlock(filter, pin); FAILED(hr)) return hr;
    }
    if (slot >= pin.currentPackets || !pin.currentBuffer) {
      out.endOfFile = true;  // never examine bytes that were not read
      return S_FALSE;
    }
    const std::uint8_t* packet = pin.currentBuffer + std::size_t{slot} * kPacketSize;
    if (!videoOnly) std::memcpy(destination, packet, kPacketSize);
    if (pin.discontinuityPending && !AnalyseVideo(filter, pin, packet) &&
        std::uint64_t{pin.skipTarget} < std::uint64_t{pin.keyPosition} + kKeySearchWindow)
      ++pin.skipTarget;
    out.packet = packet;
    out.pid = PacketPid(packet);
    ++pin.position;
  } while ((videoOnly && out.pid != filter.model.videoPid) || pin.position < pin.skipTarget);
  return S_OK;
}

// Elementary video mode: the sample gets the packet's payload without the TS header, any
// adaptation field and, at a PES start, the PES header. Every byte of an unbounded video PES is
// delivered.
void CopyVideoPayload(const std::uint8_t* packet, PacketSample& sample) {
  std::size_t start = 4;
  if (packet[3] & 0x20) start = 5 + std::size_t{packet[4]};
  if (!(packet[3] & 0x10) || start >= kPacketSize) {
    sample.SetActualLength(0);
    return;
  }
  if (HasPayloadUnitStart(packet) && HasStartCodeAt(packet, start)) start = PesPayloadOffset(packet, start);
  const std::size_t length = kPacketSize - start;
  if (length > 0) std::memcpy(sample.Buffer(), packet + start, length);
  sample.SetActualLength(length);
}

// Step 6: PAT and PMT are looked for at byte 5 of every packet, whatever its PID; the SDT only on
// its own PID.
void OfferToTables(TsFilterState& filter, TsPinState& pin, const std::uint8_t* packet, std::uint16_t pid) {
  const std::uint8_t* section = packet + kSectionOffset;
  SectionHeader header;
  ReadSectionHeader(section, kSectionBytesInPacket, header);
  const bool plausible = HasPlausibleEnvelope(header);
  if (header.table_id == 0 && plausible && filter.pat.section_count == 0) {
    ProcessPatSection(section, kSectionBytesInPacket, filter.pat, filter.programs);
    return;
  }
  if (header.table_id == 2 && plausible && filter.pat.section_count != 0) {
    std::uint32_t program = 0;
    if (ProcessPmtSection(section, kSectionBytesInPacket, filter.pmt, filter.programs, &program) &&
        BuildStreamMap(filter.model, filter.programs, filter.census, program)) {
      filter.model.currentProgram = static_cast<std::uint16_t>(program);
      pin.firstPts = 0;  // timing restarts with the chosen program's video
    }
    return;
  }
  if (pid == kSdtPid) pin.sdtAssembler.ProcessSdtPacket(packet, filter.sdt, filter.programs);
}

HRESULT ExamineLocked(TsFilterState& filter, TsPinState& pin, PacketSample* sample, bool& postEndOfFile) {
  std::uint8_t* destination = pin.localPacket;
  if (sample) {
    destination = sample->Buffer();
    // One 188-byte packet per sample: larger buffers get one packet, smaller ones are refused.
    if (!destination || sample->Size() < kPacketSize) return E_FAIL;
  }

  Examination chosen;
  const HRESULT hr = ChoosePacket(filter, pin, sample, destination, chosen);
  if (chosen.endOfFile) {
    postEndOfFile = filter.notifyWindow != 0;
    return S_FALSE;
  }
  if (FAILED(hr)) return hr;

  const bool elementaryVideo = IsElementaryVideoMode(filter);
  const std::uint8_t* packet = chosen.packet;
  if (sample) {
    if (elementaryVideo)
      CopyVideoPayload(packet, *sample);
    else
      sample->SetActualLength(kPacketSize);
  }

  if (filter.phase == AnalysisPhase::TableSearch) OfferToTables(filter, pin, packet, chosen.pid);
  if (filter.phase == AnalysisPhase::Census) filter.census.AddPid(chosen.pid, ContentCodeOf(packet));

  bool syncPoint = false;
  const std::uint16_t videoPid = filter.model.videoPid;
  if (!elementaryVideo && videoPid != 0 && chosen.pid == videoPid && HasPayloadUnitStart(packet)) {
    if (filter.video.aspectX == 0) AnalyseFormat(filter, pin, packet, sample != nullptr);
    syncPoint = TrackVideoPts(pin, filter.phase, packet);
  }

  if (sample) {
    sample->SetTimes(SampleStartTime(pin.streamTime, pin.rate), SampleStopTime(pin.stop, pin.rate));
    sample->SetSyncPoint(syncPoint);
    sample->SetDiscontinuity(pin.discontinuityPending);
    if (pin.discontinuityPending) {
      pin.discontinuityPending = false;
      pin.keyPosition = 0;
    }
  }
  return S_OK;
}

}  // namespace

bool TrackVideoPts(TsPinState& pin, AnalysisPhase phase, const std::uint8_t* packet) {
  const std::uint64_t pts = ReadPts(packet);
  if (pts == 0) return false;
  pin.lastPts = pts;
  if (pin.firstPts == 0 || (phase == AnalysisPhase::TableSearch && pts < pin.firstPts)) pin.firstPts = pts;
  pin.streamTime = StreamTimeOf(pts, pin.firstPts);
  return true;
}

HRESULT ExaminePacket(TsFilterState& filter, TsPinState& pin, PacketSample* sample) {
  bool postEndOfFile = false;
  std::intptr_t window = 0;
  HRESULT hr;
  {  // scope for the locks: pin lock, then filter lock
    std::lock_guard pinLock(pin.pinLock);
    std::lock_guard filterLock(filter.filterLock);
    hr = ExamineLocked(filter, pin, sample, postEndOfFile);
    window = filter.notifyWindow;
  }
  // The notice is posted after unlocking: the host receives it on its own window thread.
  if (postEndOfFile) filter.Host().PostEndOfStream(window);
  return hr;
}

std::int64_t CurrentPosition(TsFilterState& filter, TsPinState& pin) {
  std::lock_guard pinLock(pin.pinLock);
  if (pin.byteFormat) return std::int64_t{pin.position} * static_cast<std::int64_t>(kPacketSize);
  if (filter.settings.fastSeeking) {
    const auto size = static_cast<std::int64_t>(filter.reader.FileSize());
    if (size <= 0) return 0;
    const __int128 perPacket = static_cast<__int128>(pin.duration) * static_cast<__int128>(kPacketSize) / size;
    const __int128 position = perPacket * pin.position;
    return static_cast<std::int64_t>(position);
  }
  return std::int64_t{StreamTimeMilliseconds(pin.streamTime)} * 10000;
}

std::int64_t SeekingDuration(TsFilterState& filter, TsPinState& pin) {
  std::lock_guard pinLock(pin.pinLock);
  if (pin.byteFormat) return static_cast<std::int64_t>(filter.reader.FileSize());
  return pin.duration;
}

}  // namespace tsfilter
