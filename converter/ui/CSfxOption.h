#pragma once
// The converter's five options, kept per user under
//   HKEY_CURRENT_USER\<settings key>\Settings<suffix>
// (the settings key is "Software\Orvanet\" + the program's base name, given by start-up). They
// are read once when the object is built and written once when it is destroyed; in between the
// main window and the Options sheet use the public fields directly.
//
// A value equal to its default is deleted rather than written, so a user who never changed an
// option leaves nothing behind. Values are exchanged in the order OutputType, OutputPath,
// MuxerFilter, AC3Filter, Debug; a failure the registry reports (not a missing value) is told to
// the user as "Internal application error." and ends that exchange, so the values after it keep
// what they had.
#include <string>

#include "platform/com/types.h"

class CSfxOption {
 public:
  // Values of OutputType.
  static constexpr int kOutputBesideSource = 0;
  static constexpr int kOutputInFolder = 1;

  // An empty settings key keeps the options in memory only (nothing is read or written).
  explicit CSfxOption(std::string settingsKey, const std::string& sectionSuffix = "");
  virtual ~CSfxOption();
  CSfxOption(const CSfxOption&) = delete;
  CSfxOption& operator=(const CSfxOption&) = delete;

  // Loads (saving false) or saves (saving true) every value; ERROR_SUCCESS, or the registry's
  // status of the failure that ended the exchange (already reported to the user).
  virtual LONG Exchange(bool saving);

  // "Software\Orvanet\brannock\Settings": the key the values live in.
  const std::string& KeyPath() const { return m_keyPath; }

  int m_outputType = kOutputBesideSource;  // "OutputType"
  std::string m_outputPath;                // "OutputPath": the fixed folder for converted files
  std::string m_muxerFilter;               // "MuxerFilter": filter spec, empty = automatic
  std::string m_ac3Filter;                 // "AC3Filter": filter spec, empty = automatic
  int m_debug = 0;                         // "Debug": non-zero enters conversion graphs in the ROT

 private:
  LONG ExchangeInt(bool saving, const char* name, int* value, int defaultValue);
  LONG ExchangeString(bool saving, const char* name, std::string* value, const std::string& defaultValue);
  LONG DeleteValue(const char* name);

  std::string m_section;  // "Settings" + suffix
  std::string m_keyPath;  // settings key + "\" + section; empty when nothing is stored
};
