#pragma once
// Start-up's host without a display: the help goes to standard output, message boxes to the
// platform's presenter, and the main window runs invisibly on the thread's message queue. It
// runs the modes that need nobody at the screen: quiet runs and automation starts.
#include "converter/engine/Startup.h"

class HeadlessHost : public StartupHost {
 public:
  void ShowStartupMessage(const std::string& text) override;
  void ShowHelp() override;
  HRESULT RegisterClassFactories() override;
  int RunMainWindow(const MainWindowStart& start) override;
};
