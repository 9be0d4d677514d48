#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "platform/win/messages.h"
#include "platform/win/system.h"

namespace {
using namespace std::chrono_literals;
constexpr auto kHangGuard = 30s;  // only a guard against hangs, never a performance limit

constexpr UINT WM_TEST = WM_APP + 1;

// A window on its own thread running the headless loop; WM_CLOSE destroys it and ends the loop.
class WindowThread {
 public:
  explicit WindowThread(WindowProcedure proc) {
    std::promise<HWND> created;
    auto handle = created.get_future();
    m_thread = std::thread([this, proc = std::move(proc), &created]() mutable {
      HWND hwnd = CreateMessageWindow([proc = std::move(proc)](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_CLOSE) {
          DestroyWindow(h);
          PostQuitMessage(static_cast<int>(w));
          return 0;
        }
        return proc(h, m, w, l);
      });
      m_threadId = GetCurrentThreadId();
      created.set_value(hwnd);
      m_exitCode = RunMessageLoop();
    });
    EXPECT_EQ(handle.wait_for(kHangGuard), std::future_status::ready);
    m_hwnd = handle.get();
  }
  ~WindowThread() { Close(0); }

  HWND Handle() const { return m_hwnd; }
  DWORD ThreadId() const { return m_threadId; }
  int Close(int exitCode) {
    if (m_thread.joinable()) {
      PostMessage(m_hwnd, WM_CLOSE, static_cast<WPARAM>(exitCode), 0);
      m_thread.join();
    }
    return m_exitCode;
  }

 private:
  std::thread m_thread;
  HWND m_hwnd = 0;
  std::atomic<DWORD> m_threadId{0};
  int m_exitCode = -1;
};

TEST(Messages, PostedMessagesArriveOnTheOwnerThreadInOrder) {
  constexpr int kPerSender = 500;
  std::vector<std::pair<WPARAM, LPARAM>> received;
  std::atomic<bool> wrongThread{false};
  DWORD ownerThread = 0;
  WindowThread window([&](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (GetCurrentThreadId() != ownerThread) wrongThread = true;
    if (message == WM_TEST) received.emplace_back(wParam, lParam);
    return 0;
  });
  ownerThread = window.ThreadId();
  auto sender = [&](LPARAM who) {
    for (int i = 0; i < kPerSender; ++i) EXPECT_TRUE(PostMessage(window.Handle(), WM_TEST, static_cast<WPARAM>(i), who));
  };
  std::thread first(sender, 1), second(sender, 2);
  first.join();
  second.join();
  EXPECT_EQ(window.Close(7), 7);

  EXPECT_FALSE(wrongThread);
  ASSERT_EQ(received.size(), 2u * kPerSender);
  WPARAM next[3] = {0, 0, 0};
  for (auto [value, who] : received) EXPECT_EQ(value, next[who]++) << "sender " << who;
  EXPECT_FALSE(IsWindow(window.Handle()));
  EXPECT_FALSE(PostMessage(window.Handle(), WM_TEST, 0, 0));
}

TEST(Messages, SendMessageAcrossThreadsReturnsTheResult) {
  WindowThread doubler([](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
    return message == WM_TEST ? static_cast<LRESULT>(wParam * 2) : 0;
  });
  EXPECT_EQ(SendMessage(doubler.Handle(), WM_TEST, 21, 0), 42);

  // Two threads that send to each other: each serves the other's call while it waits.
  HWND here = CreateMessageWindow([](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
    return message == WM_TEST ? static_cast<LRESULT>(wParam + 1) : 0;
  });
  WindowThread asker([here](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
    return message == WM_TEST ? SendMessage(here, WM_TEST, wParam * 10, 0) : 0;
  });
  auto answer = std::async(std::launch::async, [&] { return SendMessage(asker.Handle(), WM_TEST, 4, 0); });
  // This thread only serves sent calls inside GetMessage/PeekMessage or while itself sending.
  EXPECT_EQ(SendMessage(asker.Handle(), WM_TEST, 3, 0), 31);
  while (answer.wait_for(1ms) != std::future_status::ready) {
    MSG msg;
    PeekMessage(&msg, 0, 0, 0, PM_NOREMOVE);
  }
  EXPECT_EQ(answer.get(), 41);
  asker.Close(0);
  EXPECT_TRUE(DestroyWindow(here));
  EXPECT_EQ(SendMessage(here, WM_TEST, 1, 0), 0);  // no window any more
}

TEST(Messages, SenderIsReleasedWhenTheOwnerThreadEnds) {
  std::promise<HWND> created;
  std::promise<void> release;
  std::thread owner([&] {
    created.set_value(CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 5; }));
    release.get_future().wait();  // never pumps its queue
  });
  HWND hwnd = created.get_future().get();
  auto result = std::async(std::launch::async, [hwnd] { return SendMessage(hwnd, WM_TEST, 0, 0); });
  std::this_thread::sleep_for(20ms);  // lets the call queue up (either order must end in 0)
  release.set_value();
  owner.join();
  ASSERT_EQ(result.wait_for(kHangGuard), std::future_status::ready);
  EXPECT_EQ(result.get(), 0);
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST(Messages, TimersFireUntilKilled) {
  int ticks = 0;
  int ticksWhenKilled = -1;
  int ticksAtSentinel = -1;
  HWND hwnd = CreateMessageWindow([&](HWND h, UINT message, WPARAM id, LPARAM) -> LRESULT {
    if (message != WM_TIMER) return 0;
    if (id == 5 && ++ticks == 3) {
      EXPECT_TRUE(KillTimer(h, 5));
      ticksWhenKilled = ticks;
      SetTimer(h, 6, 100, nullptr);  // ten periods of the killed timer later
    } else if (id == 6) {
      ticksAtSentinel = ticks;
      KillTimer(h, 6);
      PostQuitMessage(0);
    }
    return 0;
  });
  ASSERT_EQ(SetTimer(hwnd, 5, 10, nullptr), 5u);
  EXPECT_NE(MessageQueueTimeToNextTimer(), INFINITE);
  EXPECT_EQ(RunMessageLoop(), 0);
  EXPECT_EQ(ticksWhenKilled, 3);
  EXPECT_EQ(ticksAtSentinel, 3);
  EXPECT_FALSE(KillTimer(hwnd, 5));
  EXPECT_EQ(MessageQueueTimeToNextTimer(), INFINITE);

  // A thread timer with a timer procedure, dispatched without a window.
  static int procTicks;
  procTicks = 0;
  UINT_PTR id = SetTimer(0, 0, 1, [](HWND, UINT, UINT_PTR timerId, DWORD) {
    if (++procTicks == 2) {
      KillTimer(0, timerId);
      PostQuitMessage(9);
    }
  });
  EXPECT_NE(id, 0u);
  EXPECT_EQ(RunMessageLoop(), 9);
  EXPECT_EQ(procTicks, 2);
  DestroyWindow(hwnd);
}

TEST(Messages, QuitEndsTheLoopAfterThePostedMessages) {
  std::vector<WPARAM> seen;
  HWND hwnd = CreateMessageWindow([&](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
    if (message == WM_TEST) seen.push_back(wParam);
    return 0;
  });
  PostMessage(hwnd, WM_TEST, 1, 0);
  PostMessage(hwnd, WM_TEST, 2, 0);
  PostQuitMessage(3);
  PostMessage(hwnd, WM_TEST, 4, 0);
  EXPECT_EQ(RunMessageLoop(), 3);
  EXPECT_EQ(seen, (std::vector<WPARAM>{1, 2, 4}));
  // The quit was taken: the queue is empty again.
  MSG msg;
  EXPECT_FALSE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
  DestroyWindow(hwnd);
}

TEST(Messages, PeekFiltersAndDestroyRules) {
  std::vector<UINT> seen;
  HWND hwnd = CreateMessageWindow([&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
    seen.push_back(message);
    return 0;
  });
  PostMessage(hwnd, WM_USER, 0, 0);
  PostMessage(0, WM_TEST, 0, 0);  // a thread message
  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg, 0, WM_APP, WM_APP + 10, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_TEST);
  EXPECT_EQ(msg.hwnd, 0);
  ASSERT_TRUE(PeekMessage(&msg, hwnd, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER);
  ASSERT_TRUE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_TEST);
  EXPECT_EQ(DispatchMessage(&msg), 0);  // no window to call
  EXPECT_EQ(GetMessage(&msg, hwnd + 1, 0, 0), -1);

  // A full queue refuses more posts instead of growing without bound.
  int posted = 0;
  while (PostMessage(hwnd, WM_USER, 0, 0) && posted < 20000) ++posted;
  EXPECT_EQ(posted, 10000);
  ASSERT_TRUE(PeekMessage(&msg, hwnd, 0, 0, PM_REMOVE));
  EXPECT_TRUE(PostMessage(hwnd, WM_USER, 0, 0));
  while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
  }

  // Only the owner destroys a window; its pending messages and timers go with it.
  auto otherThread = std::async(std::launch::async, [hwnd] { return DestroyWindow(hwnd); });
  EXPECT_FALSE(otherThread.get());
  PostMessage(hwnd, WM_USER, 0, 0);
  SetTimer(hwnd, 1, 10, nullptr);
  seen.clear();
  EXPECT_TRUE(DestroyWindow(hwnd));
  EXPECT_EQ(seen, std::vector<UINT>{WM_DESTROY});
  EXPECT_FALSE(DestroyWindow(hwnd));
  EXPECT_FALSE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
  EXPECT_EQ(MessageQueueTimeToNextTimer(), INFINITE);
}

TEST(Messages, WakeCallbackAnnouncesPostsFromOtherThreads) {
  std::promise<void> woken;
  std::atomic<bool> once{false};
  std::promise<DWORD> threadId;
  std::thread gui([&] {
    SetMessageQueueWakeCallback([&] {
      if (!once.exchange(true)) woken.set_value();
    });
    threadId.set_value(GetCurrentThreadId());
    MSG msg;
    EXPECT_EQ(GetMessage(&msg, 0, 0, 0), 1);
    EXPECT_EQ(msg.message, WM_TEST);
    SetMessageQueueWakeCallback(nullptr);
  });
  EXPECT_TRUE(PostThreadMessage(threadId.get_future().get(), WM_TEST, 0, 0));
  EXPECT_EQ(woken.get_future().wait_for(kHangGuard), std::future_status::ready);
  gui.join();
  EXPECT_FALSE(PostThreadMessage(0xFFFFFFF0u, WM_TEST, 0, 0));
}
}  // namespace
