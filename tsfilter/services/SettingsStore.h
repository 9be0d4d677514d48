#pragma once
// Flumetta's user settings: one registry key of the current user. The filter keeps its own copy
// (FilterSettings), taken when it joins a graph (PrefDemux and IgnoreCRC again at each load); the
// copy, not the registry, steers it.
#include <cstdint>

#include "tsfilter/analysis/TsFilterState.h"

namespace tsfilter {

inline constexpr const char* kSettingsKey = "Software\\Orvanet\\Flumetta";

// The label of a PrefDemux value as the settings page and the PREFDEMUX command show it
// (empty for a value beyond the list).
const char* PrefDemuxLabel(std::uint32_t prefDemux);

struct StoredSettings {
  FilterSettings filter = Defaults();
  bool allowGraphEdit = false;

  // The stored defaults: AC3, AutoSelect, DetLength, FastSeeking on, PrefDemux 1, the rest off.
  static FilterSettings Defaults();
};

// Reads every setting over the defaults (a missing or unreadable value keeps its default; a
// non-zero flag reads as 1) and creates the key when it does not exist.
StoredSettings ReadStoredSettings();

// Reads one stored DWORD into `value`; leaves it as it is when the value is not stored.
void ReadStoredSetting(const char* name, std::uint32_t& value);

// The audio mode switch stores the new mode.
void StoreAc3Setting(bool ac3);

// Deletes the whole settings key: every setting returns to its default.
void ResetStoredSettings();

}  // namespace tsfilter
