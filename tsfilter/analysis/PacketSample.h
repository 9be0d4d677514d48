#pragma once
// The media sample the packet examiner fills, seen through the few calls it makes. The filter
// wraps its IMediaSample in MediaSampleAdapter (on the stack, no allocation), so the analysis core
// needs no media framework and tests can pass a plain buffer.
#include <cstddef>
#include <cstdint>

namespace tsfilter {

class PacketSample {
 public:
  virtual std::uint8_t* Buffer() = 0;
  virtual std::size_t Size() = 0;  // bytes the buffer holds
  virtual void SetActualLength(std::size_t bytes) = 0;
  virtual void SetTimes(std::int64_t start, std::int64_t stop) = 0;  // 100 ns
  virtual void SetSyncPoint(bool isSyncPoint) = 0;
  virtual void SetDiscontinuity(bool isDiscontinuity) = 0;

 protected:
  ~PacketSample() = default;
};

// Adapts any sample type with the IMediaSample calls (GetPointer, GetSize, SetActualDataLength,
// SetTime, SetSyncPoint, SetDiscontinuity).
template <class Sample>
class MediaSampleAdapter final : public PacketSample {
 public:
  explicit MediaSampleAdapter(Sample* sample) : m_sample(sample) {}

  std::uint8_t* Buffer() override {
    std::uint8_t* data = nullptr;
    return m_sample->GetPointer(&data) >= 0 ? data : nullptr;
  }
  std::size_t Size() override {
    const auto size = m_sample->GetSize();
    return size > 0 ? static_cast<std::size_t>(size) : 0;
  }
  void SetActualLength(std::size_t bytes) override { m_sample->SetActualDataLength(static_cast<std::int32_t>(bytes)); }
  void SetTimes(std::int64_t start, std::int64_t stop) override { m_sample->SetTime(&start, &stop); }
  void SetSyncPoint(bool isSyncPoint) override { m_sample->SetSyncPoint(isSyncPoint ? 1 : 0); }
  void SetDiscontinuity(bool isDiscontinuity) override { m_sample->SetDiscontinuity(isDiscontinuity ? 1 : 0); }

 private:
  Sample* m_sample;
};

}  // namespace tsfilter
