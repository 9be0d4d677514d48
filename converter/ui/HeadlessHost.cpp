#include "converter/ui/HeadlessHost.h"

#include <cstdio>

#include "converter/engine/UsageText.h"
#include "converter/ui/CCorvaneDlg.h"
#include "platform/win/messagebox.h"

void HeadlessHost::ShowStartupMessage(const std::string& text) { MessageBox(0, text.c_str(), "brannock", MB_OK); }

void HeadlessHost::ShowHelp() {
  std::string text = UsageText("\n") + "\n";
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

HRESULT HeadlessHost::RegisterClassFactories() {
  // No automation transport in this build yet: clients cannot reach the object.
  return E_NOTIMPL;
}

int HeadlessHost::RunMainWindow(const MainWindowStart& start) {
  if (!start.options.quiet && !start.logOnly) {
    std::fputs("brannock: this build has no window to show; use /q to convert in the background (see --help)\n",
               stderr);
    return kExitUsage;
  }
  CCorvaneDlg dialog;
  dialog.ApplyStart(start);
  dialog.DoModal();
  if (!start.options.quiet) return kExitSuccess;
  return QuietRunExitStatus(dialog.ConversionCompleted(), dialog.EndedOnMessage());
}
