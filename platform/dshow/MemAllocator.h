#pragma once
// Allocators of fixed buffers. CBaseAllocator keeps the free list of samples and the
// commit/decommit protocol; CMemAllocator owns one memory block holding all buffers.
//
// Invariants: every sample is either on the free list or held by a caller, and the allocator
// outlives its samples: when its last reference goes while samples are still out, it is
// destroyed by the return of the last of them (so a sample costs no reference count of its own).
// GetBuffer and ReleaseBuffer are a critical section of a few instructions under a spin lock (a
// pop or push on the free list); a waiter is woken only when one is waiting, so the usual path
// makes no system call and one locked instruction each way.
// Decommit wakes waiters (they get VFW_E_NOT_COMMITTED); the memory stays until the properties
// change or the allocator is destroyed, so Commit after Decommit costs nothing.
//
// Locks: m_lock (a mutex) serialises properties, commit and the making and freeing of buffers;
// m_poolLock (a spin lock, taken inside m_lock where both are needed) guards the free list, the
// outstanding count, the committed flag and the waiter count; sleepers wait on m_freed under
// m_sleepLock.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/dshow/ComBase.h"
#include "platform/dshow/MediaSample.h"
#include "platform/dshow/SpinLock.h"

class CBaseAllocator : public CUnknown, public IMemAllocator {
 public:
  CBaseAllocator(const char* name, IUnknown* outer, HRESULT* result);
  ~CBaseAllocator() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
  // The last reference destroys the allocator now, or at the return of its last outstanding sample.
  ULONG NonDelegatingRelease() override;

  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
  STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* props) override;
  STDMETHODIMP Commit() override;
  STDMETHODIMP Decommit() override;
  // Waits for a free buffer unless flags has AM_GBF_NOWAIT (then VFW_E_TIMEOUT when none is free).
  STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags) override;
  STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override;

  bool IsCommitted();
  LONG FreeCount();

 protected:
  // Makes the buffers and samples for the current properties (called by Commit, under m_lock).
  virtual HRESULT Alloc() = 0;
  // Frees buffers and samples; called only when every sample is on the free list (under m_lock).
  virtual void ReallyFree() = 0;

  // Under m_poolLock: whether samples are out (the properties and buffers may change only when not).
  bool HasOutstanding();

  std::mutex m_lock;
  // The pool's state, taken and given back once per sample, has a cache line of its own: a
  // neighbour written by another thread (a writer's thread, say) would make every get and release
  // wait for the line.
  alignas(64) SpinLock m_poolLock;
  CMediaSample* m_free = nullptr;  // free list, most recently released first (m_poolLock)
  LONG m_outstanding = 0;              // m_poolLock
  int m_waiting = 0;                   // m_poolLock
  alignas(64) std::mutex m_sleepLock;
  std::condition_variable m_freed;
  std::vector<CMediaSample*> m_samples;  // all samples made by Alloc
  std::atomic<unsigned> m_wakeups{0};  // raised under m_poolLock when a sleeper should look again
  bool m_committed = false;            // m_poolLock
  bool m_destroyWhenReturned = false;  // m_poolLock: the last reference went while samples were out
  bool m_changed = false;  // properties changed since the buffers were made
  LONG m_count = 0;
  LONG m_size = 0;
  LONG m_alignment = 0;
  LONG m_prefix = 0;
};

class CMemAllocator : public CBaseAllocator {
 public:
  CMemAllocator(const char* name, IUnknown* outer, HRESULT* result);
  ~CMemAllocator() override;
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;

 protected:
  HRESULT Alloc() override;
  void ReallyFree() override;

 private:
  BYTE* m_memory = nullptr;
};
