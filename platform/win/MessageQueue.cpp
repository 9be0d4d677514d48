#include "platform/win/MessageQueue.h"

#include <algorithm>
#include <unordered_map>

#include "platform/win/WindowTable.h"
#include "platform/win/messages.h"
#include "platform/win/system.h"

namespace {
struct QueueRegistry {
  std::mutex lock;
  std::unordered_map<DWORD, std::shared_ptr<MessageQueue>> queues;
};
QueueRegistry& Registry() {
  static auto* registry = new QueueRegistry();  // never destroyed: threads may end after main
  return *registry;
}

// Owns the calling thread's queue; at the thread's end its windows go and its waiters are released.
struct ThreadQueueOwner {
  std::shared_ptr<MessageQueue> queue;
  ~ThreadQueueOwner() {
    if (!queue) return;
    WindowTable::Instance().RemoveThreadWindows(queue->ThreadId());
    {
      std::lock_guard lock(Registry().lock);
      Registry().queues.erase(queue->ThreadId());
    }
    queue->Shutdown();
  }
};
thread_local ThreadQueueOwner t_owner;

DWORD MillisecondsUntil(MessageQueue::Clock::time_point due, MessageQueue::Clock::time_point now) {
  if (due <= now) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
  return ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms);
}
}  // namespace

std::shared_ptr<MessageQueue> MessageQueue::ForCurrentThread() {
  if (!t_owner.queue) {
    auto queue = std::make_shared<MessageQueue>(GetCurrentThreadId());
    std::lock_guard lock(Registry().lock);
    Registry().queues[queue->ThreadId()] = queue;
    t_owner.queue = std::move(queue);
  }
  return t_owner.queue;
}

std::shared_ptr<MessageQueue> MessageQueue::ForThread(DWORD threadId) {
  std::lock_guard lock(Registry().lock);
  auto it = Registry().queues.find(threadId);
  return it == Registry().queues.end() ? nullptr : it->second;
}

void MessageQueue::Wake(std::unique_lock<std::mutex>& lock) {
  std::function<void()> wake = m_wake;
  m_changed.notify_all();
  lock.unlock();
  if (wake) wake();
}

bool MessageQueue::Post(const MSG& msg) {
  std::unique_lock lock(m_lock);
  if (m_shutDown || m_posted.size() >= kMaxPostedMessages) return false;
  m_posted.push_back(msg);
  Wake(lock);
  return true;
}

bool MessageQueue::PostQuit(int exitCode) {
  std::unique_lock lock(m_lock);
  if (m_shutDown) return false;
  m_quit = true;
  m_quitCode = exitCode;
  Wake(lock);
  return true;
}

void MessageQueue::Serve(SentMessage* sent) {
  LRESULT result = 0;
  if (auto window = WindowTable::Instance().Find(sent->msg.hwnd))
    result = window->proc(sent->msg.hwnd, sent->msg.message, sent->msg.wParam, sent->msg.lParam);
  std::lock_guard lock(sent->sender->m_lock);
  sent->result = result;
  sent->done = true;
  sent->sender->m_changed.notify_all();
}

LRESULT MessageQueue::SendAndWait(const MSG& msg) {
  std::shared_ptr<MessageQueue> self = ForCurrentThread();
  SentMessage sent{msg, 0, false, self.get()};
  {
    std::unique_lock lock(m_lock);
    if (m_shutDown) return 0;
    m_sent.push_back(&sent);
    Wake(lock);
  }
  std::unique_lock mine(self->m_lock);
  while (!sent.done) {
    if (!self->m_sent.empty()) {
      // Serve calls made to this thread while it waits, or two threads sending to each other
      // would wait for ever.
      SentMessage* incoming = self->m_sent.front();
      self->m_sent.pop_front();
      mine.unlock();
      Serve(incoming);
      mine.lock();
      continue;
    }
    self->m_changed.wait(mine);
  }
  return sent.result;
}

bool MessageQueue::Matches(const MSG& msg, HWND filterWindow, UINT filterMin, UINT filterMax) const {
  if (filterWindow == -1 && msg.hwnd != 0) return false;
  if (filterWindow != 0 && filterWindow != -1 && msg.hwnd != filterWindow) return false;
  if (filterMin == 0 && filterMax == 0) return true;
  return msg.message >= filterMin && msg.message <= filterMax;
}

MessageQueue::Timer* MessageQueue::EarliestTimer(HWND filterWindow, UINT filterMin, UINT filterMax) {
  Timer* earliest = nullptr;
  for (Timer& timer : m_timers) {
    const MSG tick{timer.hwnd, WM_TIMER, 0, 0, 0};
    if (Matches(tick, filterWindow, filterMin, filterMax) && (!earliest || timer.due < earliest->due))
      earliest = &timer;
  }
  return earliest;
}

bool MessageQueue::TakeReadyLocked(MSG* msg, HWND filterWindow, UINT filterMin, UINT filterMax, bool remove) {
  auto posted = std::find_if(m_posted.begin(), m_posted.end(),
                             [&](const MSG& m) { return Matches(m, filterWindow, filterMin, filterMax); });
  if (posted != m_posted.end()) {
    *msg = *posted;
    if (remove) m_posted.erase(posted);
    return true;
  }
  if (m_quit) {  // whatever the filter, as Windows does
    *msg = MSG{0, WM_QUIT, static_cast<WPARAM>(m_quitCode), 0, GetTickCount()};
    if (remove) m_quit = false;
    return true;
  }
  const Clock::time_point now = Clock::now();
  Timer* due = EarliestTimer(filterWindow, filterMin, filterMax);
  if (!due || due->due > now) return false;
  *msg = MSG{due->hwnd, WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->timerProc), GetTickCount()};
  if (remove) due->due = now + due->period;  // periods missed while busy are not made up
  return true;
}

bool MessageQueue::Take(MSG* msg, HWND filterWindow, UINT filterMin, UINT filterMax, bool remove, bool wait) {
  std::unique_lock lock(m_lock);
  while (true) {
    if (!m_sent.empty()) {
      SentMessage* sent = m_sent.front();
      m_sent.pop_front();
      lock.unlock();
      Serve(sent);
      lock.lock();
      continue;
    }
    if (TakeReadyLocked(msg, filterWindow, filterMin, filterMax, remove)) return true;
    if (!wait) return false;
    // Only timers this call may return can end the wait; a due timer of another window would
    // otherwise wake it at once, again and again.
    if (const Timer* next = EarliestTimer(filterWindow, filterMin, filterMax)) {
      m_changed.wait_until(lock, next->due);
    } else {
      m_changed.wait(lock);
    }
  }
}

UINT_PTR MessageQueue::SetTimer(HWND hwnd, UINT_PTR id, UINT milliseconds, TIMERPROC timerProc) {
  std::unique_lock lock(m_lock);
  if (m_shutDown) return 0;
  if (hwnd == 0 && id == 0) id = m_nextThreadTimerId++;
  const auto period = std::chrono::milliseconds(std::max(milliseconds, USER_TIMER_MINIMUM));
  const Timer timer{hwnd, id, period, Clock::now() + period, timerProc};
  auto existing = std::find_if(m_timers.begin(), m_timers.end(),
                               [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
  if (existing != m_timers.end()) {
    *existing = timer;
  } else {
    m_timers.push_back(timer);
  }
  Wake(lock);  // a waiting loop recomputes its wake-up time
  return id != 0 ? id : 1;
}

bool MessageQueue::KillTimer(HWND hwnd, UINT_PTR id) {
  std::lock_guard lock(m_lock);
  auto removed = std::erase_if(m_timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
  return removed > 0;
}

void MessageQueue::ForgetWindow(HWND hwnd) {
  std::lock_guard lock(m_lock);
  std::erase_if(m_timers, [&](const Timer& t) { return t.hwnd == hwnd; });
  std::erase_if(m_posted, [&](const MSG& m) { return m.hwnd == hwnd; });
}

DWORD MessageQueue::TimeToNextTimer() {
  std::lock_guard lock(m_lock);
  if (m_timers.empty()) return INFINITE;
  auto next = std::min_element(m_timers.begin(), m_timers.end(),
                               [](const Timer& a, const Timer& b) { return a.due < b.due; });
  return MillisecondsUntil(next->due, Clock::now());
}

void MessageQueue::SetWakeCallback(std::function<void()> wake) {
  std::lock_guard lock(m_lock);
  m_wake = std::move(wake);
}

void MessageQueue::Shutdown() {
  std::deque<SentMessage*> waiting;
  {
    std::lock_guard lock(m_lock);
    m_shutDown = true;
    waiting.swap(m_sent);
    m_posted.clear();
    m_timers.clear();
    m_wake = nullptr;
  }
  for (SentMessage* sent : waiting) {
    std::lock_guard lock(sent->sender->m_lock);
    sent->done = true;
    sent->sender->m_changed.notify_all();
  }
}
