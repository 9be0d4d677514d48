#pragma once
// Flumetta's user settings: one registry key of the current user. The filter keeps its own copy,
// taken when it joins a graph (PrefDemux and IgnoreCRC again at each load); the copy, not the
// registry, steers it.
#include <string>

#include "platform/com/types.h"

namespace tsfilter {

inline constexpr const char* kSettingsKey = "Software\\Orvanet\\Flumetta";

// Values of PrefDemux.
inline constexpr DWORD kPrefDemuxAnyPush = 0;
inline constexpr DWORD kPrefDemuxMpeg2 = 1;
inline constexpr DWORD kPrefDemuxNvidia = 2;
inline constexpr DWORD kPrefDemuxElementaryVideo = 3;

// The label of a PrefDemux value as the settings page and the PREFDEMUX command show it
// (empty for a value beyond the list).
const char* PrefDemuxLabel(DWORD prefDemux);

struct FilterSettings {
  bool ac3 = true;
  bool audio2 = false;
  bool autoSelect = true;
  bool allowGraphEdit = false;
  bool pcrClock = false;
  bool detLength = true;
  bool ignoreCrc = false;
  bool fastSeeking = true;
  DWORD prefDemux = kPrefDemuxMpeg2;

  // What a filter holds before it has joined a graph: AutoSelect, DetLength, FastSeeking and
  // PrefDemux 1 set, everything else off (AC3 included, unlike the stored default).
  static FilterSettings BeforeJoin();
};

// Reads every setting over the defaults (a missing or unreadable value keeps its default) and
// creates the key when it does not exist.
FilterSettings ReadFilterSettings();

// The two settings a load reads again, so that a change on the settings page takes effect there.
void ReadLoadSettings(FilterSettings& settings);

// The audio mode switch stores the new mode.
void StoreAc3Setting(bool ac3);

// Deletes the whole settings key: every setting returns to its default.
void ResetFilterSettings();

}  // namespace tsfilter
