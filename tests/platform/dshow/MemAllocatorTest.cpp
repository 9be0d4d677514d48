#include "platform/dshow/MemAllocator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/com/comptr.h"

namespace {

ComPtr<IMemAllocator> MakeAllocator(LONG count, LONG size, LONG align = 1, LONG prefix = 0) {
  ComPtr<IMemAllocator> allocator;
  EXPECT_EQ(CMemAllocator::CreateInstance(nullptr, IMemAllocator::kIid, reinterpret_cast<void**>(allocator.GetAddressOf())), S_OK);
  ALLOCATOR_PROPERTIES request{count, size, align, prefix}, actual{};
  EXPECT_EQ(allocator->SetProperties(&request, &actual), S_OK);
  return allocator;
}

TEST(MemAllocator, HandsOutEachBufferOnceUntilReleased) {
  auto allocator = MakeAllocator(2, 188);
  IMediaSample* a = nullptr;
  EXPECT_EQ(allocator->GetBuffer(&a, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
  ASSERT_EQ(allocator->Commit(), S_OK);
  IMediaSample* b = nullptr;
  IMediaSample* c = nullptr;
  ASSERT_EQ(allocator->GetBuffer(&a, nullptr, nullptr, 0), S_OK);
  ASSERT_EQ(allocator->GetBuffer(&b, nullptr, nullptr, 0), S_OK);
  EXPECT_NE(a, b);
  EXPECT_EQ(allocator->GetBuffer(&c, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
  EXPECT_EQ(a->GetSize(), 188);
  b->Release();
  ASSERT_EQ(allocator->GetBuffer(&c, nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
  EXPECT_EQ(c, b);  // the buffer came back to the pool, nothing was allocated
  a->Release();
  c->Release();
}

TEST(MemAllocator, ReleasedSampleForgetsItsProperties) {
  auto allocator = MakeAllocator(1, 64);
  ASSERT_EQ(allocator->Commit(), S_OK);
  IMediaSample* sample = nullptr;
  ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
  REFERENCE_TIME start = 10, stop = 20;
  sample->SetTime(&start, &stop);
  sample->SetMediaTime(&start, &stop);
  sample->SetSyncPoint(TRUE);
  sample->SetDiscontinuity(TRUE);
  sample->SetActualDataLength(5);
  CMediaType type(&MEDIATYPE_Audio);
  sample->SetMediaType(&type);
  sample->Release();

  ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(sample->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
  EXPECT_EQ(sample->GetMediaTime(&start, &stop), VFW_E_MEDIA_TIME_NOT_SET);
  EXPECT_EQ(sample->IsSyncPoint(), S_FALSE);
  EXPECT_EQ(sample->IsDiscontinuity(), S_FALSE);
  EXPECT_EQ(sample->GetActualDataLength(), 64);
  AM_MEDIA_TYPE* attached = nullptr;
  EXPECT_EQ(sample->GetMediaType(&attached), S_FALSE);
  EXPECT_EQ(sample->SetActualDataLength(65), VFW_E_BUFFER_OVERFLOW);
  sample->Release();
}

TEST(MemAllocator, TimesReportAMissingStop) {
  auto allocator = MakeAllocator(1, 8);
  ASSERT_EQ(allocator->Commit(), S_OK);
  IMediaSample* sample = nullptr;
  ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
  REFERENCE_TIME start = 100, stop = 0;
  sample->SetTime(&start, nullptr);
  EXPECT_EQ(sample->GetTime(&start, &stop), VFW_S_NO_STOP_TIME);
  EXPECT_EQ(stop, 101);
  sample->Release();
}

TEST(MemAllocator, DecommitWakesAWaitingGetBuffer) {
  auto allocator = MakeAllocator(1, 8);
  ASSERT_EQ(allocator->Commit(), S_OK);
  IMediaSample* held = nullptr;
  ASSERT_EQ(allocator->GetBuffer(&held, nullptr, nullptr, 0), S_OK);
  HRESULT waited = S_OK;
  std::thread waiter([&] {
    IMediaSample* sample = nullptr;
    waited = allocator->GetBuffer(&sample, nullptr, nullptr, 0);
  });
  while (true) {  // wait until the other thread is blocked in GetBuffer
    std::this_thread::yield();
    auto* base = static_cast<CBaseAllocator*>(allocator.Get());
    if (base->FreeCount() == 0) break;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  allocator->Decommit();
  waiter.join();
  EXPECT_EQ(waited, VFW_E_NOT_COMMITTED);
  held->Release();
}

// One buffer handed from a getting thread to a releasing one, over and over: every blocked
// GetBuffer must be woken by the release that follows (a lost wake-up hangs until the watchdog
// decommits, and the count comes up short).
TEST(MemAllocator, BuffersPassBetweenThreadsWithoutLostWakeUps) {
  constexpr int kRounds = 20000;
  auto allocator = MakeAllocator(1, 188);
  ASSERT_EQ(allocator->Commit(), S_OK);
  std::atomic<IMediaSample*> handedOver{nullptr};
  std::atomic<int> got{0};
  std::atomic<bool> getterDone{false};
  std::thread getter([&] {
    for (int i = 0; i < kRounds; ++i) {
      IMediaSample* sample = nullptr;
      if (allocator->GetBuffer(&sample, nullptr, nullptr, 0) != S_OK) break;
      ++got;
      handedOver.store(sample);
    }
    getterDone = true;
  });
  std::thread releaser([&] {
    while (!getterDone || handedOver.load()) {
      if (IMediaSample* sample = handedOver.exchange(nullptr)) sample->Release();
      else std::this_thread::yield();
    }
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!getterDone && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  allocator->Decommit();  // frees a getter stuck in a lost wake-up
  getter.join();
  releaser.join();
  EXPECT_EQ(got.load(), kRounds);
  EXPECT_EQ(static_cast<CBaseAllocator*>(allocator.Get())->FreeCount(), 1);
}

TEST(MemAllocator, PropertiesAreFixedWhileCommittedAndAlignmentIsHonoured) {
  auto allocator = MakeAllocator(3, 100, 16, 4);
  ALLOCATOR_PROPERTIES props{};
  allocator->GetProperties(&props);
  EXPECT_EQ((props.cbBuffer + props.cbPrefix) % 16, 0);
  EXPECT_GE(props.cbBuffer, 100);
  ASSERT_EQ(allocator->Commit(), S_OK);
  ALLOCATOR_PROPERTIES request{1, 8, 1, 0}, actual{};
  EXPECT_EQ(allocator->SetProperties(&request, &actual), VFW_E_ALREADY_COMMITTED);
  IMediaSample* sample = nullptr;
  ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  EXPECT_EQ((reinterpret_cast<uintptr_t>(data) - 4) % 16, 0u);
  sample->Release();

  ALLOCATOR_PROPERTIES bad{1, 8, 3, 0};
  allocator->Decommit();
  EXPECT_EQ(allocator->SetProperties(&bad, &actual), VFW_E_BADALIGN);
}

// The allocator goes with the return of its last sample (LeakSanitizer catches one that stays;
// ASan catches a sample used after its allocator went), also when that return is on another
// thread and a sample was shared by two holders.
TEST(MemAllocator, AnOutstandingSampleKeepsTheAllocatorAlive) {
  IMediaSample* first = nullptr;
  IMediaSample* second = nullptr;
  {
    auto allocator = MakeAllocator(2, 8);
    ASSERT_EQ(allocator->Commit(), S_OK);
    ASSERT_EQ(allocator->GetBuffer(&first, nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(allocator->GetBuffer(&second, nullptr, nullptr, 0), S_OK);
  }
  BYTE* data = nullptr;
  first->GetPointer(&data);
  data[7] = 1;  // still valid memory (ASan would catch a freed block)
  first->Release();
  second->AddRef();
  second->Release();
  std::thread([second] {
    BYTE* bytes = nullptr;
    second->GetPointer(&bytes);
    bytes[0] = 2;
    second->Release();
  }).join();
}

}  // namespace
