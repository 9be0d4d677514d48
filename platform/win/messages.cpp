#include "platform/win/messages.h"

#include <sys/syscall.h>
#include <unistd.h>

#include "platform/win/MessageQueue.h"
#include "platform/win/WindowTable.h"
#include "platform/win/system.h"

namespace {
HWND AddWindow(WindowProcedure proc, void* userData) {
  if (!proc) return 0;
  auto window = std::make_shared<Window>();
  window->threadId = GetCurrentThreadId();
  window->proc = std::move(proc);
  window->userData = userData;
  window->queue = MessageQueue::ForCurrentThread();
  return WindowTable::Instance().Add(std::move(window));
}

// A window's timers live in its owner's queue; thread timers (hwnd 0) in the caller's.
std::shared_ptr<MessageQueue> TimerQueue(HWND hwnd) {
  if (hwnd == 0) return MessageQueue::ForCurrentThread();
  auto window = WindowTable::Instance().Find(hwnd);
  return window ? window->queue.lock() : nullptr;
}

bool IsValidFilter(HWND hwnd) { return hwnd == 0 || hwnd == -1 || IsWindow(hwnd); }
}  // namespace

DWORD GetCurrentThreadId() {
  thread_local const DWORD id = static_cast<DWORD>(::syscall(SYS_gettid));
  return id;
}

HWND CreateMessageWindow(WindowProcedure proc, void* userData) { return AddWindow(std::move(proc), userData); }

BOOL DestroyWindow(HWND hwnd) {
  auto window = WindowTable::Instance().Find(hwnd);
  if (!window || window->threadId != GetCurrentThreadId()) return FALSE;
  if (window->destroying.exchange(true)) return FALSE;  // already on its way out
  window->proc(hwnd, WM_DESTROY, 0, 0);
  WindowTable::Instance().Remove(hwnd);
  if (auto queue = window->queue.lock()) queue->ForgetWindow(hwnd);
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return hwnd != 0 && WindowTable::Instance().Find(hwnd) ? TRUE : FALSE; }

void* GetWindowUserData(HWND hwnd) {
  auto window = WindowTable::Instance().Find(hwnd);
  return window ? window->userData.load() : nullptr;
}

void SetWindowUserData(HWND hwnd, void* userData) {
  if (auto window = WindowTable::Instance().Find(hwnd)) window->userData = userData;
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId) {
  auto window = WindowTable::Instance().Find(hwnd);
  if (!window) return 0;
  if (processId) *processId = GetCurrentProcessId();
  return window->threadId;
}

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hwnd == 0) return PostThreadMessage(GetCurrentThreadId(), message, wParam, lParam);
  auto window = WindowTable::Instance().Find(hwnd);
  auto queue = window ? window->queue.lock() : nullptr;
  return queue && queue->Post(MSG{hwnd, message, wParam, lParam, GetTickCount()}) ? TRUE : FALSE;
}

BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  auto queue = threadId == GetCurrentThreadId() ? MessageQueue::ForCurrentThread() : MessageQueue::ForThread(threadId);
  return queue && queue->Post(MSG{0, message, wParam, lParam, GetTickCount()}) ? TRUE : FALSE;
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto window = WindowTable::Instance().Find(hwnd);
  if (!window) return 0;
  if (window->threadId == GetCurrentThreadId()) return window->proc(hwnd, message, wParam, lParam);
  auto queue = window->queue.lock();
  return queue ? queue->SendAndWait(MSG{hwnd, message, wParam, lParam, GetTickCount()}) : 0;
}

BOOL GetMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (!msg || !IsValidFilter(hwnd)) return -1;
  MessageQueue::ForCurrentThread()->Take(msg, hwnd, filterMin, filterMax, true, true);
  return msg->message == WM_QUIT ? 0 : 1;
}

BOOL PeekMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (!msg || !IsValidFilter(hwnd)) return FALSE;
  const bool remove = (removeFlags & PM_REMOVE) != 0;
  return MessageQueue::ForCurrentThread()->Take(msg, hwnd, filterMin, filterMax, remove, false) ? TRUE : FALSE;
}

LRESULT DispatchMessage(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    auto timerProc = reinterpret_cast<TIMERPROC>(msg->lParam);
    timerProc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
    return 0;
  }
  auto window = WindowTable::Instance().Find(msg->hwnd);
  if (!window || window->threadId != GetCurrentThreadId()) return 0;
  return window->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) { MessageQueue::ForCurrentThread()->PostQuit(exitCode); }

int RunMessageLoop() {
  MSG msg;
  BOOL got;
  while ((got = GetMessage(&msg, 0, 0, 0)) > 0) DispatchMessage(&msg);
  return got == 0 ? static_cast<int>(msg.wParam) : -1;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT milliseconds, TIMERPROC timerProc) {
  auto queue = TimerQueue(hwnd);
  return queue ? queue->SetTimer(hwnd, id, milliseconds, timerProc) : 0;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  auto queue = TimerQueue(hwnd);
  return queue && queue->KillTimer(hwnd, id) ? TRUE : FALSE;
}

void SetMessageQueueWakeCallback(std::function<void()> wake) {
  MessageQueue::ForCurrentThread()->SetWakeCallback(std::move(wake));
}

DWORD MessageQueueTimeToNextTimer() { return MessageQueue::ForCurrentThread()->TimeToNextTimer(); }
