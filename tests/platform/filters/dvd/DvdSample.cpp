#include "tests/platform/filters/dvd/DvdSample.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/filters/dvd/DvdPack.h"

namespace dvdtest {

std::string SampleFolder() { return std::string(TEST_DATA_DIR) + "/dvd_min/VIDEO_TS"; }
Bytes SampleIfo() { return ReadBytes(SampleFolder() + "/VTS_01_0.IFO"); }
Bytes SampleVob() { return ReadBytes(SampleFolder() + "/VTS_01_1.VOB"); }

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void PutBe32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

std::uint32_t GetBe32(const Bytes& bytes, std::size_t at) {
  return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) | (std::uint32_t{bytes[at + 2]} << 8) |
         bytes[at + 3];
}

SampleCopy::SampleCopy() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/dvd-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  m_root = mkdtemp(buffer.data());
  std::filesystem::create_directory(VideoTs());
  for (const auto& entry : std::filesystem::directory_iterator(SampleFolder())) {
    std::filesystem::copy_file(entry.path(), VideoTs() + "/" + entry.path().filename().string());
    std::filesystem::permissions(VideoTs() + "/" + entry.path().filename().string(),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
}

SampleCopy::~SampleCopy() {
  std::error_code ignored;
  if (!std::getenv("KEEP_TEST_FILES")) std::filesystem::remove_all(m_root, ignored);
}

void SampleCopy::WriteIfo(const Bytes& ifo) const {
  WriteBytes(File("VTS_01_0.IFO"), ifo);
  WriteBytes(File("VTS_01_0.BUP"), ifo);
}

void SampleCopy::StoreCellsOutOfOrder() const {
  const Bytes vob = SampleVob();
  const std::size_t split = std::size_t{kCell1Sectors} * 2048;
  Bytes swapped(vob.begin() + static_cast<std::ptrdiff_t>(split), vob.end());
  swapped.insert(swapped.end(), vob.begin(), vob.begin() + static_cast<std::ptrdiff_t>(split));
  WriteBytes(File("VTS_01_1.VOB"), swapped);

  const std::uint32_t cell2Sectors = kVobSectors - kCell1Sectors;
  Bytes ifo = SampleIfo();
  // Cell playback: first sector, last VOBU start, last sector.
  auto move = [&](std::size_t entry, std::int64_t by) {
    for (std::size_t field : {8u, 16u, 20u}) {
      PutBe32(ifo, entry + field, static_cast<std::uint32_t>(GetBe32(ifo, entry + field) + by));
    }
  };
  move(kCellPlayback, cell2Sectors);
  move(kCellPlayback + 24, -std::int64_t{kCell1Sectors});
  // Cell address table: start and last sector of each entry.
  for (std::size_t field : {4u, 8u}) {
    PutBe32(ifo, kCellAddresses + field, GetBe32(ifo, kCellAddresses + field) + cell2Sectors);
    PutBe32(ifo, kCellAddresses + 12 + field, GetBe32(ifo, kCellAddresses + 12 + field) - kCell1Sectors);
  }
  WriteIfo(ifo);
}

void SampleCopy::MoveCell2Clock(std::int64_t ticks) const {
  Bytes vob = ReadBytes(File("VTS_01_1.VOB"));
  for (std::size_t sector = kCell1Sectors; sector < kVobSectors; ++sector) {
    unsigned char* pack = vob.data() + sector * 2048;
    dvd::ShiftPackTimestamps(pack, 2048, ticks);
    std::uint32_t start = 0, end = 0;
    if (dvd::ReadNavPresentationTimes(pack, 2048, &start, &end)) {
      Bytes view(pack, pack + 2048);
      PutBe32(view, 0x2D + 12, static_cast<std::uint32_t>(start + ticks));
      PutBe32(view, 0x2D + 16, static_cast<std::uint32_t>(end + ticks));
      std::copy(view.begin(), view.end(), pack);
    }
  }
  WriteBytes(File("VTS_01_1.VOB"), vob);
}

}  // namespace dvdtest
