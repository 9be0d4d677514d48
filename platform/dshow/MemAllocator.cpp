#include "platform/dshow/MemAllocator.h"

#include <cstdlib>
#include <limits>
#include <new>

CBaseAllocator::CBaseAllocator(const char* name, IUnknown* outer, HRESULT* result) : CUnknown(name, outer, result) {}

CBaseAllocator::~CBaseAllocator() = default;

HRESULT CBaseAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IMemAllocator::kIid) return GetInterface(static_cast<IMemAllocator*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

ULONG CBaseAllocator::NonDelegatingRelease() {
  const LONG left = --m_cRef;
  if (left != 0) return static_cast<ULONG>(left);
  bool destroy;
  {
    std::lock_guard pool(m_poolLock);
    destroy = m_outstanding == 0;
    if (!destroy) m_destroyWhenReturned = true;
  }
  if (destroy) {
    m_cRef = 1;  // a nested AddRef/Release pair during destruction must not delete twice
    delete this;
  }
  return 0;
}

bool CBaseAllocator::HasOutstanding() {
  std::lock_guard pool(m_poolLock);
  return m_outstanding > 0;
}

bool CBaseAllocator::IsCommitted() {
  std::lock_guard pool(m_poolLock);
  return m_committed;
}

HRESULT CBaseAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
  if (!request || !actual) return E_POINTER;
  std::lock_guard lock(m_lock);
  if (IsCommitted()) return VFW_E_ALREADY_COMMITTED;
  if (HasOutstanding()) return VFW_E_BUFFERS_OUTSTANDING;
  if (request->cBuffers <= 0 || request->cbBuffer <= 0 || request->cbPrefix < 0) return E_INVALIDARG;
  m_count = request->cBuffers;
  m_size = request->cbBuffer;
  m_alignment = request->cbAlign;
  m_prefix = request->cbPrefix;
  m_changed = true;
  *actual = {m_count, m_size, m_alignment, m_prefix};
  return S_OK;
}

HRESULT CBaseAllocator::GetProperties(ALLOCATOR_PROPERTIES* props) {
  if (!props) return E_POINTER;
  std::lock_guard lock(m_lock);
  *props = {m_count, m_size, m_alignment, m_prefix};
  return S_OK;
}

HRESULT CBaseAllocator::Commit() {
  std::lock_guard lock(m_lock);
  // Only Commit (under m_lock) sets the flag, so it cannot change before this function does.
  if (IsCommitted()) return S_OK;
  if (m_size <= 0 || m_count <= 0) return VFW_E_SIZENOTSET;
  if (m_changed || m_samples.empty()) {
    // Buffers of the old size may still be out; they must come back before new ones are made.
    // While decommitted nobody takes one, so none can leave between this check and the freeing.
    if (HasOutstanding()) return VFW_E_BUFFERS_OUTSTANDING;
    ReallyFree();
    HRESULT hr = Alloc();
    if (FAILED(hr)) return hr;
    m_changed = false;
  }
  std::lock_guard pool(m_poolLock);
  m_committed = true;
  return S_OK;
}

HRESULT CBaseAllocator::Decommit() {
  bool wake;
  {
    std::lock_guard pool(m_poolLock);
    if (!m_committed) return S_OK;
    m_committed = false;
    wake = m_waiting > 0;
    if (wake) m_wakeups.fetch_add(1, std::memory_order_relaxed);
  }
  if (wake) {
    std::lock_guard sleep(m_sleepLock);
    m_freed.notify_all();
  }
  return S_OK;
}

HRESULT CBaseAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* /*start*/, REFERENCE_TIME* /*end*/,
                                  DWORD flags) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  CMediaSample* taken = nullptr;
  bool registered = false;
  while (!taken) {
    unsigned seen;
    {  // scope for the pool lock
      std::lock_guard pool(m_poolLock);
      if (registered) --m_waiting;
      registered = false;
      if (!m_committed) return VFW_E_NOT_COMMITTED;
      if (m_free) {
        taken = m_free;
        m_free = taken->m_pNext;
        taken->m_pNext = nullptr;
        ++m_outstanding;
        break;
      }
      if (flags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
      ++m_waiting;
      registered = true;
      seen = m_wakeups.load(std::memory_order_relaxed);
    }
    // A release or decommit after the look above raises m_wakeups before it notifies under
    // m_sleepLock, so the wake-up cannot fall between the look and the wait.
    std::unique_lock sleep(m_sleepLock);
    m_freed.wait(sleep, [&] { return m_wakeups.load(std::memory_order_relaxed) != seen; });
  }
  taken->PrepareForUse();
  *sample = taken;
  return S_OK;
}

HRESULT CBaseAllocator::ReleaseBuffer(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  auto* returned = static_cast<CMediaSample*>(sample);
  bool wake, destroy;
  {  // scope for the pool lock
    std::lock_guard pool(m_poolLock);
    returned->m_pNext = m_free;
    m_free = returned;
    --m_outstanding;
    wake = m_waiting > 0;
    if (wake) m_wakeups.fetch_add(1, std::memory_order_relaxed);
    destroy = m_destroyWhenReturned && m_outstanding == 0;
  }
  if (wake) {
    std::lock_guard sleep(m_sleepLock);
    m_freed.notify_all();
  }
  if (destroy) {
    m_cRef = 1;
    delete this;
  }
  return S_OK;
}

LONG CBaseAllocator::FreeCount() {
  std::lock_guard pool(m_poolLock);
  LONG n = 0;
  for (CMediaSample* s = m_free; s; s = s->m_pNext) ++n;
  return n;
}

CMemAllocator::CMemAllocator(const char* name, IUnknown* outer, HRESULT* result)
    : CBaseAllocator(name, outer, result) {}

CMemAllocator::~CMemAllocator() {
  std::lock_guard lock(m_lock);
  ReallyFree();
}

HRESULT CMemAllocator::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* allocator = new (std::nothrow) CMemAllocator("CMemAllocator", nullptr, nullptr);
  if (!allocator) return E_OUTOFMEMORY;
  allocator->NonDelegatingAddRef();
  HRESULT hr = allocator->NonDelegatingQueryInterface(riid, ppv);
  allocator->NonDelegatingRelease();
  return hr;
}

HRESULT CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
  if (!request || !actual) return E_POINTER;
  ALLOCATOR_PROPERTIES adjusted = *request;
  if (adjusted.cbAlign == 0) adjusted.cbAlign = 1;
  if (adjusted.cbAlign < 0 || (adjusted.cbAlign & (adjusted.cbAlign - 1)) != 0) return VFW_E_BADALIGN;
  if (adjusted.cbBuffer <= 0 || adjusted.cbPrefix < 0) return E_INVALIDARG;
  // Each buffer (prefix included) starts on the alignment.
  const long long span = static_cast<long long>(adjusted.cbBuffer) + adjusted.cbPrefix;
  const long long rounded = (span + adjusted.cbAlign - 1) / adjusted.cbAlign * adjusted.cbAlign;
  if (rounded > std::numeric_limits<LONG>::max()) return E_OUTOFMEMORY;
  adjusted.cbBuffer = static_cast<LONG>(rounded - adjusted.cbPrefix);
  return CBaseAllocator::SetProperties(&adjusted, actual);
}

HRESULT CMemAllocator::Alloc() {
  const long long stride = static_cast<long long>(m_size) + m_prefix;
  const long long total = stride * m_count;
  if (total <= 0 || total > (1ll << 40)) return E_OUTOFMEMORY;
  const size_t alignment = m_alignment > static_cast<LONG>(alignof(std::max_align_t)) ? m_alignment : alignof(std::max_align_t);
  const size_t bytes = (static_cast<size_t>(total) + alignment - 1) / alignment * alignment;
  m_memory = static_cast<BYTE*>(std::aligned_alloc(alignment, bytes));
  if (!m_memory) return E_OUTOFMEMORY;
  m_samples.reserve(static_cast<size_t>(m_count));
  for (LONG i = 0; i < m_count; ++i) {
    BYTE* buffer = m_memory + stride * i + m_prefix;
    auto* sample = new (std::nothrow) CMediaSample(this, buffer, m_size);
    if (!sample) {
      ReallyFree();
      return E_OUTOFMEMORY;
    }
    m_samples.push_back(sample);
    std::lock_guard pool(m_poolLock);
    sample->m_pNext = m_free;
    m_free = sample;
  }
  return S_OK;
}

void CMemAllocator::ReallyFree() {
  for (CMediaSample* sample : m_samples) delete sample;
  m_samples.clear();
  std::lock_guard pool(m_poolLock);
  m_free = nullptr;
  std::free(m_memory);
  m_memory = nullptr;
}
