#include "platform/win/messagebox.h"

#include <cstdio>
#include <iterator>
#include <mutex>

namespace {
std::mutex g_presenterLock;
MessageBoxPresenter g_presenter;  // empty: the headless default

int PresentOnStandardError(HWND, const std::string& text, const std::string& caption, UINT type) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
  return DefaultMessageBoxAnswer(type);
}
}  // namespace

int DefaultMessageBoxAnswer(UINT type) {
  static const int kButtons[][3] = {
      {IDOK, 0, 0},                     // MB_OK
      {IDOK, IDCANCEL, 0},              // MB_OKCANCEL
      {IDABORT, IDRETRY, IDIGNORE},     // MB_ABORTRETRYIGNORE
      {IDYES, IDNO, IDCANCEL},          // MB_YESNOCANCEL
      {IDYES, IDNO, 0},                 // MB_YESNO
      {IDRETRY, IDCANCEL, 0},           // MB_RETRYCANCEL
  };
  const UINT kind = type & MB_TYPEMASK;
  if (kind >= std::size(kButtons)) return IDOK;
  const UINT index = (type & MB_DEFMASK) >> 8;
  const int answer = index < 3 ? kButtons[kind][index] : 0;
  return answer != 0 ? answer : kButtons[kind][0];
}

MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter) {
  std::lock_guard lock(g_presenterLock);
  MessageBoxPresenter previous = std::move(g_presenter);
  g_presenter = std::move(presenter);
  return previous;
}

int MessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  MessageBoxPresenter presenter;
  {
    std::lock_guard lock(g_presenterLock);
    presenter = g_presenter;
  }
  const std::string textString = text ? text : "";
  const std::string captionString = caption ? caption : "Error";
  // The presenter runs without the lock: a dialog may run a nested loop that shows another box.
  return presenter ? presenter(owner, textString, captionString, type)
                   : PresentOnStandardError(owner, textString, captionString, type);
}
