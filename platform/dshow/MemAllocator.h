#pragma once
// Allocators of fixed buffers. CBaseAllocator keeps the free list of samples and the
// commit/decommit protocol; CMemAllocator owns one memory block holding all buffers.
//
// Invariants: every sample is either on the free list or held by a caller; a sample held by a
// caller holds one reference on the allocator, so the allocator outlives its samples.
// GetBuffer and ReleaseBuffer are a short critical section (a pop or push on the free list);
// a waiter is woken only when one is waiting, so the usual path makes no system call.
// Decommit wakes waiters (they get VFW_E_NOT_COMMITTED); the memory stays until the properties
// change or the allocator is destroyed, so Commit after Decommit costs nothing.
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/dshow/ComBase.h"
#include "platform/dshow/MediaSample.h"

class CBaseAllocator : public CUnknown, public IMemAllocator {
 public:
  CBaseAllocator(const char* name, IUnknown* outer, HRESULT* result);
  ~CBaseAllocator() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
  STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* props) override;
  STDMETHODIMP Commit() override;
  STDMETHODIMP Decommit() override;
  // Waits for a free buffer unless flags has AM_GBF_NOWAIT (then VFW_E_TIMEOUT when none is free).
  STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags) override;
  STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override;

  bool IsCommitted() const { return m_committed; }
  LONG FreeCount();

 protected:
  // Makes the buffers and samples for the current properties (called by Commit, under m_lock).
  virtual HRESULT Alloc() = 0;
  // Frees buffers and samples; called only when every sample is on the free list (under m_lock).
  virtual void ReallyFree() = 0;

  std::mutex m_lock;
  std::condition_variable m_freed;
  CMediaSample* m_free = nullptr;  // free list, most recently released first
  std::vector<CMediaSample*> m_samples;  // all samples made by Alloc
  LONG m_outstanding = 0;
  int m_waiting = 0;
  bool m_committed = false;
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
