#include "tests/platform/filters/TestGraph.h"

#include <chrono>

ComPtr<TestGraph> TestGraph::Create() {
  ComPtr<TestGraph> graph;
  graph.Attach(new TestGraph());
  return graph;
}

TestGraph::~TestGraph() {
  TearDown();
}

STDMETHODIMP TestGraph::AddFilter(IBaseFilter* filter, LPCWSTR name) {
  if (!filter) return E_POINTER;
  HRESULT hr = filter->JoinFilterGraph(this, name);
  if (FAILED(hr)) return hr;
  m_filters.emplace_back(filter);
  return S_OK;
}

STDMETHODIMP TestGraph::Notify(LONG code, LONG_PTR param1, LONG_PTR param2) {
  std::scoped_lock lock(m_lock);
  m_events.push_back({code, param1, param2});
  m_changed.notify_all();
  return S_OK;
}

HRESULT TestGraph::Run() {
  for (auto it = m_filters.rbegin(); it != m_filters.rend(); ++it) {
    HRESULT hr = (*it)->Pause();
    if (FAILED(hr)) return hr;
  }
  for (auto it = m_filters.rbegin(); it != m_filters.rend(); ++it) {
    HRESULT hr = (*it)->Run(0);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT TestGraph::Stop() {
  HRESULT result = S_OK;
  for (auto it = m_filters.rbegin(); it != m_filters.rend(); ++it) {
    HRESULT hr = (*it)->Stop();
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

bool TestGraph::WaitForEvents(LONG code, std::size_t count, int timeoutSeconds) {
  std::unique_lock lock(m_lock);
  return m_changed.wait_for(lock, std::chrono::seconds(timeoutSeconds), [&] {
    std::size_t seen = 0;
    for (const TestEvent& e : m_events) seen += e.code == code;
    return seen >= count;
  });
}

std::vector<TestEvent> TestGraph::Events() {
  std::scoped_lock lock(m_lock);
  return m_events;
}

void TestGraph::TearDown() {
  Stop();
  for (const auto& filter : m_filters) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.GetAddressOf()))) continue;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
      pin->Disconnect();
      pin->Release();
    }
  }
  for (const auto& filter : m_filters) filter->JoinFilterGraph(nullptr, nullptr);
  m_filters.clear();
}

ComPtr<IPin> FindPin(IBaseFilter* filter, const char16_t* name) {
  ComPtr<IPin> pin;
  filter->FindPin(name, pin.GetAddressOf());
  return pin;
}
