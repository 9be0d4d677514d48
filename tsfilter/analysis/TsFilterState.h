#pragma once
// The analysis state of the source filter (TsSourceFilter): the reader, the program tables, the
// program model, the PID census, the video attributes, the settings the analysis uses and the
// analysis phase. The filter object owns one and builds its COM interfaces around it.
//
// Locking: `filterLock` (re-entrant) guards every member. The output pin's state has its own pin
// lock; the order is always pin lock, then filter lock, except during Load, which holds the filter
// lock and drives the pin's examination before any streaming thread exists.
#include <cstdint>
#include <mutex>

#include "tsfilter/analysis/PidTable.h"
#include "tsfilter/analysis/ProgramModel.h"
#include "tsfilter/analysis/ProgramTable.h"
#include "tsfilter/analysis/TsFileReader.h"
#include "tsfilter/services/VideoAttributes.h"
#include "tsfilter/services/VideoFormatBlock.h"

namespace tsfilter {

enum class AnalysisPhase : std::uint32_t { Delivering = 0, Census = 1, TableSearch = 2 };

inline constexpr std::uint32_t kPrefDemuxElementaryVideo = 3;

// The end-of-file notice posted to the host's notify window.
inline constexpr std::uint32_t kEndOfFileMessage = 0x8001;  // WM_APP + 1
inline constexpr std::uintptr_t kEndOfFileWParam = 0xAAAA;
inline constexpr std::intptr_t kEndOfFileLParam = 0x5555;

// Settings as the filter holds them (construction values; the registry overwrites them).
struct FilterSettings {
  std::uint32_t ac3 = 0;
  std::uint32_t audio2 = 0;
  std::uint32_t autoSelect = 1;
  std::uint32_t pcrClock = 0;
  std::uint32_t detLength = 1;
  std::uint32_t ignoreCrc = 0;
  std::uint32_t fastSeeking = 1;
  std::uint32_t prefDemux = 1;
};

// What the analysis needs from the filter around it. The default does nothing, which is what
// tests and tools want.
class AnalysisHost {
 public:
  virtual ~AnalysisHost() = default;
  // No packet sync in a file: the filter shows "Input stream does not appear to be a transport
  // stream" (caption "Flumetta"). Called at most once per opened file, with the filter lock held.
  virtual void ShowNotTransportStream() {}
  // Post (never send) message 0x8001 with wParam 0xAAAA and lParam 0x5555 to `window`. Called with
  // no lock held.
  virtual void PostEndOfStream(std::intptr_t window) { (void)window; }
  // Re-read one setting ("PrefDemux", "IgnoreCRC") from storage into `value`; leave it as it is
  // when the setting is not stored.
  virtual void ReadSetting(const char* name, std::uint32_t& value) {
    (void)name;
    (void)value;
  }
};

class TsFilterState {
 public:
  TsFilterState();
  TsFilterState(const TsFilterState&) = delete;
  TsFilterState& operator=(const TsFilterState&) = delete;

  // The host stays owned by the caller; nullptr restores the default.
  void SetHost(AnalysisHost* host);
  AnalysisHost& Host() { return *m_host; }

  CSpinCritSec filterLock;  // taken once per packet while streaming: a spin lock
  TsFileReader reader{filterLock};

  ProgramTable programs;
  PatCollector pat;
  PmtCollector pmt;
  SdtCollector sdt;
  ProgramModel model;
  PidTable census;

  VideoAttributes video;
  VideoFormatBlocks formats;
  FilterSettings settings;

  std::int64_t duration = 0;  // 100 ns
  AnalysisPhase phase = AnalysisPhase::Delivering;
  std::intptr_t notifyWindow = 0;  // 0 = none
  std::uint16_t audioPidInUse = 0;
  std::uint16_t selectedAudioTrack = 0;

 private:
  static void OnNotTransportStream(void* self);

  AnalysisHost m_defaultHost;
  AnalysisHost* m_host = &m_defaultHost;
};

}  // namespace tsfilter
