#pragma once
// Window handles, message parameters and the message numbers the system uses.
// A window handle is a number (pointer-sized, so "%ld" prints it and strtol reads it back);
// 0 is "no window". Handles are never reused while the process runs.
#include <cstdint>
#include <functional>

#include "platform/com/types.h"

using HWND = std::intptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

struct MSG {
  HWND hwnd = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;  // GetTickCount() when the message was posted or generated
};
using LPMSG = MSG*;

using WNDPROC = LRESULT (*)(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The same, for C++ callers that want to capture state.
using WindowProcedure = std::function<LRESULT(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)>;
using TIMERPROC = void (*)(HWND hwnd, UINT message, UINT_PTR id, DWORD tickCount);

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;
inline constexpr UINT PM_NOYIELD = 0x0002;

inline constexpr DWORD INFINITE = 0xFFFFFFFF;
// Shortest timer period; shorter requests are raised to it (as on Windows).
inline constexpr UINT USER_TIMER_MINIMUM = 10;
