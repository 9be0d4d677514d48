#pragma once
// MessageBox through a replaceable presenter: the GUI installs a dialog, tests a script. The
// default presenter (headless) writes the caption and text to standard error and answers with
// the default button.
#include <functional>
#include <string>

#include "platform/win/types.h"

inline constexpr UINT MB_OK = 0x0;
inline constexpr UINT MB_OKCANCEL = 0x1;
inline constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
inline constexpr UINT MB_YESNOCANCEL = 0x3;
inline constexpr UINT MB_YESNO = 0x4;
inline constexpr UINT MB_RETRYCANCEL = 0x5;
inline constexpr UINT MB_TYPEMASK = 0xF;
inline constexpr UINT MB_ICONHAND = 0x10;
inline constexpr UINT MB_ICONERROR = MB_ICONHAND;
inline constexpr UINT MB_ICONSTOP = MB_ICONHAND;
inline constexpr UINT MB_ICONQUESTION = 0x20;
inline constexpr UINT MB_ICONEXCLAMATION = 0x30;
inline constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
inline constexpr UINT MB_ICONASTERISK = 0x40;
inline constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
inline constexpr UINT MB_ICONMASK = 0xF0;
inline constexpr UINT MB_DEFBUTTON1 = 0x000;
inline constexpr UINT MB_DEFBUTTON2 = 0x100;
inline constexpr UINT MB_DEFBUTTON3 = 0x200;
inline constexpr UINT MB_DEFMASK = 0xF00;
inline constexpr UINT MB_APPLMODAL = 0x0000;
inline constexpr UINT MB_SYSTEMMODAL = 0x1000;
inline constexpr UINT MB_TASKMODAL = 0x2000;
inline constexpr UINT MB_HELP = 0x4000;
inline constexpr UINT MB_SETFOREGROUND = 0x10000;
inline constexpr UINT MB_TOPMOST = 0x40000;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Shows a message and returns the button chosen (IDOK ...). owner 0 means no owner window.
// text and caption are UTF-8; a null caption reads "Error", as on Windows.
int MessageBox(HWND owner, const char* text, const char* caption, UINT type);

// Presents one message box and returns the answer.
using MessageBoxPresenter =
    std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT type)>;
// Installs a presenter for the whole process and returns the previous one; an empty function
// restores the default presenter.
MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);
// The answer of the default button of a box of this type (MB_DEFBUTTONn, else the first button).
int DefaultMessageBoxAnswer(UINT type);

// Installs a presenter for one scope (a test) and puts the previous one back.
class ScopedMessageBoxPresenter {
 public:
  explicit ScopedMessageBoxPresenter(MessageBoxPresenter presenter)
      : m_previous(SetMessageBoxPresenter(std::move(presenter))) {}
  ~ScopedMessageBoxPresenter() { SetMessageBoxPresenter(std::move(m_previous)); }
  ScopedMessageBoxPresenter(const ScopedMessageBoxPresenter&) = delete;
  ScopedMessageBoxPresenter& operator=(const ScopedMessageBoxPresenter&) = delete;

 private:
  MessageBoxPresenter m_previous;
};
