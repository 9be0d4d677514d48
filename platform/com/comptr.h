#pragma once
// An owning smart pointer for COM interfaces (AddRef on copy, Release on reset).
#include <utility>

#include "platform/com/unknown.h"

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  ComPtr(T* p) : m_p(p) { if (m_p) m_p->AddRef(); }
  ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
  ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(const ComPtr<U>& other) : ComPtr(static_cast<T*>(other.Get())) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& other) {
    if (this != &other) { ComPtr copy(other); Swap(copy); }
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) { Reset(); m_p = std::exchange(other.m_p, nullptr); }
    return *this;
  }
  ComPtr& operator=(T* p) {
    ComPtr copy(p);
    Swap(copy);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) { Reset(); return *this; }

  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  T& operator*() const { return *m_p; }
  explicit operator bool() const { return m_p != nullptr; }

  // For out-parameters: the pointer must be empty (or is released first with ReleaseAndGetAddressOf).
  T** GetAddressOf() { return &m_p; }
  T** ReleaseAndGetAddressOf() { Reset(); return &m_p; }

  void Reset() {
    if (T* p = std::exchange(m_p, nullptr)) p->Release();
  }
  void Attach(T* p) { Reset(); m_p = p; }
  T* Detach() { return std::exchange(m_p, nullptr); }
  void Swap(ComPtr& other) noexcept { std::swap(m_p, other.m_p); }

  // Hands out another reference.
  HRESULT CopyTo(T** out) const {
    if (!out) return E_POINTER;
    *out = m_p;
    if (m_p) m_p->AddRef();
    return S_OK;
  }
  template <class U>
  HRESULT As(ComPtr<U>* out) const {
    if (!out) return E_POINTER;
    if (!m_p) return E_POINTER;
    return m_p->QueryInterface(U::kIid, reinterpret_cast<void**>(out->ReleaseAndGetAddressOf()));
  }
  template <class U>
  ComPtr<U> As() const {
    ComPtr<U> out;
    As(&out);
    return out;
  }

 private:
  T* m_p = nullptr;
};

template <class T, class U>
bool operator==(const ComPtr<T>& a, const ComPtr<U>& b) { return a.Get() == b.Get(); }
template <class T>
bool operator==(const ComPtr<T>& a, std::nullptr_t) { return a.Get() == nullptr; }
