#pragma once
// Windows and window messages without a display.
//
// A window is a handle with a window procedure and a user pointer; it belongs to the thread that
// created it, and its procedure only ever runs on that thread. Each thread has its own message
// queue (made on first use). PostMessage and PostThreadMessage may be called from any thread.
// SendMessage calls the procedure directly on the owner's thread; from another thread it queues
// the call and waits for the result, serving messages sent to its own thread meanwhile.
// GetMessage/PeekMessage take, in this order: calls sent from other threads (served inside the
// call, never returned), posted messages (in posting order), WM_QUIT from PostQuitMessage, then
// due timers (WM_TIMER, computed by the loop: no thread per timer).
// A GUI event loop drives the same queue through the wake callback and the next-timer time, and
// drains it with PeekMessage(PM_REMOVE) + DispatchMessage.
// When a thread ends, its windows go away and calls still waiting on it return 0.
#include "platform/win/types.h"

// Creates a window owned by the calling thread; 0 when proc is empty. proc may be a WNDPROC.
HWND CreateMessageWindow(WindowProcedure proc, void* userData = nullptr);
// Only the owner thread destroys a window: its procedure receives WM_DESTROY (the window is still
// valid then), then its timers and pending posted messages are dropped. FALSE otherwise.
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
void* GetWindowUserData(HWND hwnd);
void SetWindowUserData(HWND hwnd, void* userData);
// The owner thread's id (0 for no window); *processId gets this process's id.
DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId);
DWORD GetCurrentThreadId();

// Queues a message for the window's thread; FALSE for an invalid window or a full queue (10000
// messages waiting). hwnd 0 posts a thread message to the calling thread.
BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Queues a message without a window for a thread; FALSE when the thread has no queue.
BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
// The procedure's result; 0 for an invalid window or when the owner thread ends first.
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Blocks for the next message: > 0 for a message, 0 for WM_QUIT, -1 for an invalid hwnd filter.
// hwnd 0 takes every message of the thread; min == max == 0 every message number.
BOOL GetMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
// Like GetMessage without waiting: TRUE when a message was found (removed with PM_REMOVE).
BOOL PeekMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags);
// Calls the window procedure (or the timer procedure a WM_TIMER carries); 0 for thread messages.
LRESULT DispatchMessage(const MSG* msg);
// Asks the calling thread's loop to end with exitCode once its posted messages are done.
void PostQuitMessage(int exitCode);
// A headless loop: GetMessage + DispatchMessage until WM_QUIT; returns the quit code.
int RunMessageLoop();

// Sets (or resets) timer id of a window, owned by the window's thread; returns id, or 1 when id
// is 0. With hwnd 0 the timer belongs to the calling thread and gets a new id (returned).
// The first WM_TIMER comes one period after the call; missed periods are not made up.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT milliseconds, TIMERPROC timerProc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);

// For a GUI loop: wake is called (from any thread, possibly with the queue's lock not held) when
// something arrives in the calling thread's queue. An empty function removes it.
void SetMessageQueueWakeCallback(std::function<void()> wake);
// Milliseconds until the calling thread's next timer is due (0 when one is due, INFINITE when none).
DWORD MessageQueueTimeToNextTimer();
