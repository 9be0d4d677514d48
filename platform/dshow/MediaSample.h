#pragma once
// CMediaSample: one buffer of a fixed allocator with its properties. Created once per buffer at
// Commit and reused; the last Release clears its properties and hands it back to the allocator
// (no allocation, no system call; a sole holder's Release needs no locked instruction).
#include <atomic>

#include "platform/dshow/Interfaces.h"

class CBaseAllocator;

class CMediaSample : public IMediaSample {
 public:
  CMediaSample(CBaseAllocator* allocator, BYTE* buffer, LONG length);
  virtual ~CMediaSample();
  CMediaSample(const CMediaSample&) = delete;
  CMediaSample& operator=(const CMediaSample&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_cRef); }
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetPointer(BYTE** buffer) override;
  STDMETHODIMP_(LONG) GetSize() override { return m_cbBuffer; }
  STDMETHODIMP GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
  STDMETHODIMP SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
  STDMETHODIMP IsSyncPoint() override { return (m_flags & kSyncPoint) ? S_OK : S_FALSE; }
  STDMETHODIMP SetSyncPoint(BOOL value) override { SetFlag(kSyncPoint, value); return S_OK; }
  STDMETHODIMP IsPreroll() override { return (m_flags & kPreroll) ? S_OK : S_FALSE; }
  STDMETHODIMP SetPreroll(BOOL value) override { SetFlag(kPreroll, value); return S_OK; }
  STDMETHODIMP_(LONG) GetActualDataLength() override { return m_lActual; }
  STDMETHODIMP SetActualDataLength(LONG length) override;
  STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** type) override;
  STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP IsDiscontinuity() override { return (m_flags & kDiscontinuity) ? S_OK : S_FALSE; }
  STDMETHODIMP SetDiscontinuity(BOOL value) override { SetFlag(kDiscontinuity, value); return S_OK; }
  STDMETHODIMP GetMediaTime(LONGLONG* start, LONGLONG* end) override;
  STDMETHODIMP SetMediaTime(LONGLONG* start, LONGLONG* end) override;

  // Allocator side: the free-list link and the reset between uses.
  CMediaSample* m_pNext = nullptr;
  void ResetProperties();
  void PrepareForUse() { m_cRef.store(1, std::memory_order_relaxed); }
  // The allocator's buffer and size; only while no one else holds the sample.
  void SetPointer(BYTE* buffer, LONG length) { m_pBuffer = buffer; m_cbBuffer = length; m_lActual = length; }

 protected:
  enum Flag : DWORD {
    kSyncPoint = 0x1,
    kPreroll = 0x2,
    kDiscontinuity = 0x4,
    kTypeChanged = 0x8,
    kTimeValid = 0x10,
    kStopValid = 0x20,
    kMediaTimeValid = 0x40,
  };
  void SetFlag(DWORD flag, BOOL on) { m_flags = on ? (m_flags | flag) : (m_flags & ~flag); }

  CBaseAllocator* m_pAllocator;
  BYTE* m_pBuffer;
  LONG m_cbBuffer;
  LONG m_lActual;
  DWORD m_flags = 0;
  REFERENCE_TIME m_start = 0;
  REFERENCE_TIME m_end = 0;
  LONGLONG m_mediaStart = 0;
  LONGLONG m_mediaEnd = 0;
  AM_MEDIA_TYPE* m_pMediaType = nullptr;
  std::atomic<LONG> m_cRef{0};
};
