#include "tsfilter/services/SettingsStore.h"

#include <iterator>

#include "platform/registry/registry.h"

namespace tsfilter {
namespace {

void ReadFlag(const char* name, std::uint32_t& flag) {
  DWORD value = 0;
  if (RegistryReadDword(HKEY_CURRENT_USER, kSettingsKey, name, &value)) flag = value != 0 ? 1 : 0;
}

void CreateSettingsKey() {
  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, &key,
                     nullptr) == ERROR_SUCCESS) {
    RegCloseKey(key);
  }
}

}  // namespace

const char* PrefDemuxLabel(std::uint32_t prefDemux) {
  static constexpr const char* kLabels[] = {"Any Push Demux", "MPEG-2 Demultiplexer", "NVIDIA HDTV Demux",
                                            "not yet implemented"};
  return prefDemux < std::size(kLabels) ? kLabels[prefDemux] : "";
}

FilterSettings StoredSettings::Defaults() {
  FilterSettings settings;
  settings.ac3 = 1;
  settings.audio2 = 0;
  settings.autoSelect = 1;
  settings.pcrClock = 0;
  settings.detLength = 1;
  settings.ignoreCrc = 0;
  settings.fastSeeking = 1;
  settings.prefDemux = 1;
  return settings;
}

StoredSettings ReadStoredSettings() {
  CreateSettingsKey();
  StoredSettings stored;
  std::uint32_t allowGraphEdit = 0;
  ReadFlag("AC3", stored.filter.ac3);
  ReadFlag("Audio2", stored.filter.audio2);
  ReadFlag("AutoSelect", stored.filter.autoSelect);
  ReadFlag("AllowGraphEdit", allowGraphEdit);
  ReadFlag("PCRClock", stored.filter.pcrClock);
  ReadFlag("DetLength", stored.filter.detLength);
  ReadFlag("IgnoreCRC", stored.filter.ignoreCrc);
  ReadFlag("FastSeeking", stored.filter.fastSeeking);
  ReadStoredSetting("PrefDemux", stored.filter.prefDemux);
  stored.allowGraphEdit = allowGraphEdit != 0;
  return stored;
}

void ReadStoredSetting(const char* name, std::uint32_t& value) {
  DWORD stored = 0;
  if (RegistryReadDword(HKEY_CURRENT_USER, kSettingsKey, name, &stored)) value = stored;
}

void StoreAc3Setting(bool ac3) { RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "AC3", ac3 ? 1 : 0); }

void ResetStoredSettings() { RegDeleteTree(HKEY_CURRENT_USER, kSettingsKey); }

}  // namespace tsfilter
