// Loads arbitrary bytes as a transport stream file, runs the whole opening analysis and a delivery
// pass (with a seek half-way), in the normal and the elementary video mode. Any crash, hang,
// out-of-range read or undefined behaviour is a finding.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tsfilter/analysis/OpeningAnalysis.h"
#include "tsfilter/analysis/PacketExaminer.h"
#include "tsfilter/analysis/ProgramQueries.h"

namespace {

class FuzzSample final : public tsfilter::PacketSample {
 public:
  std::uint8_t* Buffer() override { return m_data; }
  std::size_t Size() override { return sizeof(m_data); }
  void SetActualLength(std::size_t) override {}
  void SetTimes(std::int64_t, std::int64_t) override {}
  void SetSyncPoint(bool) override {}
  void SetDiscontinuity(bool) override {}

 private:
  std::uint8_t m_data[188] = {};
};

constexpr int kMaxSamples = 200000;

void Deliver(tsfilter::TsFilterState& filter, tsfilter::TsPinState& pin, int samples) {
  FuzzSample sample;
  for (int i = 0; i < samples; ++i)
    if (tsfilter::ExaminePacket(filter, pin, &sample) != S_OK) break;
}

// What hosts read after Load: every typed query over a few indexes, and each census row's text.
void Query(tsfilter::TsFilterState& filter) {
  std::uint32_t value = 0;
  std::uint16_t pid = 0;
  std::uint8_t byte = 0;
  for (std::uint32_t i = 0; i < 3; ++i) {
    std::uint32_t program = 0;
    tsfilter::GetProgramNumber(filter, i, &program);
    tsfilter::GetProgramPmtPid(filter, i, &value);
    tsfilter::GetStreamCount(filter, program, &value);
    for (std::uint32_t s = 0; s < 4; ++s) {
      tsfilter::GetStreamType(filter, program, s, &byte);
      tsfilter::GetStreamPid(filter, program, s, &pid);
    }
  }
  for (std::size_t row = 0; row < filter.census.RowCount(); ++row) {
    const tsfilter::PidEntry& entry = filter.census.Row(row);
    (void)tsfilter::DescribePid(entry.contentCode, entry.pid, 0x1000);
  }
}

void Run(const std::string& path, std::uint32_t prefDemux, std::size_t size) {
  tsfilter::TsFilterState filter;
  tsfilter::TsPinState pin;
  filter.settings.prefDemux = prefDemux;
  filter.settings.ac3 = size & 1;
  filter.settings.ignoreCrc = (size >> 1) & 1;
  filter.notifyWindow = 1;
  if (FAILED(tsfilter::LoadFile(filter, path.c_str(), [&] { return &pin; }))) return;
  Query(filter);
  Deliver(filter, pin, kMaxSamples / 2);
  {  // a seek to a third of the file, as ChangeStart makes it
    std::lock_guard lock(pin.pinLock);
    pin.position = static_cast<std::uint32_t>(size / 188 / 3);
    pin.skipTarget = pin.position + 1;
    pin.discontinuityPending = true;
  }
  Deliver(filter, pin, kMaxSamples / 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = memfd_create("tsfuzz", MFD_CLOEXEC);
  if (fd < 0) return 0;
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = write(fd, data + written, size - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  Run(path, 1, size);
  Run(path, tsfilter::kPrefDemuxElementaryVideo, size);
  close(fd);
  return 0;
}
