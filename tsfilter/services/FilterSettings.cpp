#include "tsfilter/services/FilterSettings.h"

#include "platform/registry/registry.h"

namespace tsfilter {
namespace {

void ReadFlag(const char* name, bool& flag) {
  DWORD value = 0;
  if (RegistryReadDword(HKEY_CURRENT_USER, kSettingsKey, name, &value)) flag = value != 0;
}

void ReadNumber(const char* name, DWORD& number) {
  DWORD value = 0;
  if (RegistryReadDword(HKEY_CURRENT_USER, kSettingsKey, name, &value)) number = value;
}

void CreateSettingsKey() {
  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, &key,
                     nullptr) == ERROR_SUCCESS) {
    RegCloseKey(key);
  }
}

}  // namespace

const char* PrefDemuxLabel(DWORD prefDemux) {
  static constexpr const char* kLabels[] = {"Any Push Demux", "MPEG-2 Demultiplexer", "NVIDIA HDTV Demux",
                                            "not yet implemented"};
  return prefDemux < std::size(kLabels) ? kLabels[prefDemux] : "";
}

FilterSettings FilterSettings::BeforeJoin() {
  FilterSettings settings;
  settings.ac3 = false;
  return settings;
}

FilterSettings ReadFilterSettings() {
  CreateSettingsKey();
  FilterSettings settings;
  ReadFlag("AC3", settings.ac3);
  ReadFlag("Audio2", settings.audio2);
  ReadFlag("AutoSelect", settings.autoSelect);
  ReadFlag("AllowGraphEdit", settings.allowGraphEdit);
  ReadFlag("PCRClock", settings.pcrClock);
  ReadFlag("DetLength", settings.detLength);
  ReadFlag("IgnoreCRC", settings.ignoreCrc);
  ReadFlag("FastSeeking", settings.fastSeeking);
  ReadNumber("PrefDemux", settings.prefDemux);
  return settings;
}

void ReadLoadSettings(FilterSettings& settings) {
  // A load starts from the stored defaults too: a value deleted on the settings page counts as
  // its default, not as whatever the filter held before.
  FilterSettings defaults;
  settings.prefDemux = defaults.prefDemux;
  settings.ignoreCrc = defaults.ignoreCrc;
  ReadNumber("PrefDemux", settings.prefDemux);
  ReadFlag("IgnoreCRC", settings.ignoreCrc);
}

void StoreAc3Setting(bool ac3) { RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "AC3", ac3 ? 1 : 0); }

void ResetFilterSettings() { RegDeleteTree(HKEY_CURRENT_USER, kSettingsKey); }

}  // namespace tsfilter
