#include "converter/ui/CCorvaneDlg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "converter/ui/CommandIds.h"
#include "engine/LogTestSupport.h"
#include "engine/TempDir.h"
#include "platform/win/messagebox.h"
#include "platform/win/messages.h"

namespace {

MainWindowStart StartFor(const std::string& input, bool quiet, bool logOnly) {
  MainWindowStart start;
  start.options.inputPath = input;
  start.options.quiet = quiet;
  start.logOnly = logOnly;
  return start;
}

bool HasQueued(HWND window, UINT message) {
  MSG msg;
  return PeekMessage(&msg, window, message, message, PM_NOREMOVE);
}

TEST(CCorvaneDlgTest, LogOnlyWindowStaysOpenAfterMessages) {
  TempDir dir;
  const std::string first = dir.File("a.ts");
  CCorvaneDlg dialog;
  dialog.ApplyStart(StartFor(first, false, true));
  ASSERT_TRUE(dialog.Create());
  dialog.OpenInput("\"" + dir.File("b.ts") + "\"", false);
  EXPECT_TRUE(IsWindow(dialog.GetSafeHwnd()));
  EXPECT_FALSE(HasQueued(dialog.GetSafeHwnd(), WM_CLOSE));
  EXPECT_FALSE(HasQueued(dialog.GetSafeHwnd(), WM_COMMAND)) << "only quiet mode starts by itself";
  ExpectLogLines(ReadWholeFile(dir.File("a.log")),
                 {Separator(), "@Staring conversion of " + first, Separator(), "@Cannot access " + first,
                  "@Shutting down.", "@Cannot access " + dir.File("b.ts"), "@Shutting down."});

  PostQuitMessage(0);  // an automation client's CLOSE
  EXPECT_EQ(dialog.RunModalLoop(), IDCANCEL);
  dialog.Destroy();
  MSG msg;
  EXPECT_TRUE(PeekMessage(&msg, 0, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit is left for the outer loop";
}

TEST(CCorvaneDlgTest, ViewLogfileWithoutViewerSaysSo) {
  TempDir emptyPath;
  const char* oldPath = std::getenv("PATH");
  std::string savedPath = oldPath ? oldPath : "";
  ::setenv("PATH", emptyPath.Path().c_str(), 1);  // no opener to be found
  std::vector<std::string> shown;
  {
    ScopedMessageBoxPresenter presenter([&](HWND, const std::string& text, const std::string&, UINT) {
      shown.push_back(text);
      return IDOK;
    });
    CCorvaneDlg dialog;
    ASSERT_TRUE(dialog.Create());
    SendMessage(dialog.GetSafeHwnd(), WM_COMMAND, ID_VIEW_LOGFILE, 0);
  }
  ::setenv("PATH", savedPath.c_str(), 1);
  EXPECT_EQ(shown, std::vector<std::string>{"No editor or viewer defined for LOG file types."});
}

}  // namespace
