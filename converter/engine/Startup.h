#pragma once
// The converter's start-up, from process start until the main window runs, and the end of the
// program when that window closes. The steps that differ between the headless program and a
// window toolkit (help window, message box before any window, the main window's modal run, the
// automation class factories) are the host's; the order and every decision are here, so any host
// reuses them unchanged.
#include <span>
#include <string>

#include "converter/engine/CommandLine.h"
#include "platform/com/hresult.h"

// Exit statuses of the program.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // quiet run ended on a message; start-up or registration failed
inline constexpr int kExitUsage = 2;    // the run mode needs what this build does not have

// What start-up fills into the main window before the window is created.
struct MainWindowStart {
  ProgramOptions options;
  bool logOnly = false;      // started for an automation client
  std::string settingsKey;   // the per-user registry key of the program's settings
};

class StartupHost {
 public:
  virtual ~StartupHost() = default;
  // A message box before any window exists.
  virtual void ShowStartupMessage(const std::string& text) = 0;
  // The help window with the usage text; returns when it is closed.
  virtual void ShowHelp() = 0;
  // Makes the automation object reachable for clients.
  virtual HRESULT RegisterClassFactories() = 0;
  // Creates the main window from start, runs it modally and returns the exit status.
  virtual int RunMainWindow(const MainWindowStart& start) = 0;
};

// Runs start-up on the program's words (without the program name). programPath is the program
// file's full path (registered for automation; its base name names the settings key).
int RunStartup(std::span<const std::string> words, const std::string& programPath, StartupHost& host);

// "Software\Orvanet\" + the program file's base name: where the program's settings live.
std::string SettingsKeyFor(const std::string& programPath);

// Whether this build can convert (the --can-convert query).
bool ConversionAvailable();

// The exit status of a quiet run: success only when the conversion completed and no message ended it.
inline int QuietRunExitStatus(bool conversionCompleted, bool endedOnMessage) {
  return conversionCompleted && !endedOnMessage ? kExitSuccess : kExitFailure;
}
