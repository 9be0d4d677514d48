#include "platform/win/WindowTable.h"

WindowTable& WindowTable::Instance() {
  // Never destroyed: threads may still look up windows while the process exits.
  static auto* table = new WindowTable();
  return *table;
}

HWND WindowTable::Add(std::shared_ptr<Window> window) {
  std::lock_guard lock(m_lock);
  HWND handle = m_nextHandle;
  m_nextHandle += 2;
  window->handle = handle;
  m_windows.emplace(handle, std::move(window));
  return handle;
}

std::shared_ptr<Window> WindowTable::Find(HWND hwnd) const {
  std::lock_guard lock(m_lock);
  auto it = m_windows.find(hwnd);
  return it == m_windows.end() ? nullptr : it->second;
}

void WindowTable::Remove(HWND hwnd) {
  std::shared_ptr<Window> removed;  // released after the lock, in case it holds the last reference
  std::lock_guard lock(m_lock);
  auto it = m_windows.find(hwnd);
  if (it == m_windows.end()) return;
  removed = std::move(it->second);
  m_windows.erase(it);
}

std::vector<HWND> WindowTable::RemoveThreadWindows(DWORD threadId) {
  std::vector<HWND> handles;
  std::vector<std::shared_ptr<Window>> removed;
  std::lock_guard lock(m_lock);
  for (auto it = m_windows.begin(); it != m_windows.end();) {
    if (it->second->threadId == threadId) {
      handles.push_back(it->first);
      removed.push_back(std::move(it->second));
      it = m_windows.erase(it);
    } else {
      ++it;
    }
  }
  return handles;
}
