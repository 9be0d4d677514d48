#pragma once
// The sample title set (data/dvd_min: one title of two cells, sectors 0-62 and 63-227 of
// VTS_01_1.VOB) and the changes tests make to copies of it: damaged tables, files cut short or
// missing, cells stored out of play order, cells whose clock restarts.
#include <cstdint>
#include <string>
#include <vector>

namespace dvdtest {

using Bytes = std::vector<unsigned char>;

// Byte offsets in the sample's VTS_01_0.IFO.
inline constexpr std::size_t kPgc = 0x1010;
inline constexpr std::size_t kCellPlayback = 0x110E;  // 24 bytes per cell
inline constexpr std::size_t kCellAddresses = 0x2008;  // 12 bytes per entry
inline constexpr std::uint32_t kCell1Sectors = 63;
inline constexpr std::uint32_t kVobSectors = 228;

std::string SampleFolder();  // the VIDEO_TS folder of the sample
Bytes SampleIfo();
Bytes SampleVob();

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
void PutBe32(Bytes& bytes, std::size_t at, std::uint32_t value);
std::uint32_t GetBe32(const Bytes& bytes, std::size_t at);

// A fresh folder holding a copy of the sample as <root>/VIDEO_TS/...; removed by the destructor.
class SampleCopy {
 public:
  SampleCopy();
  ~SampleCopy();
  const std::string& Root() const { return m_root; }
  std::string VideoTs() const { return m_root + "/VIDEO_TS"; }
  std::string File(const std::string& name) const { return VideoTs() + "/" + name; }
  // Writes the IFO and its BUP copy.
  void WriteIfo(const Bytes& ifo) const;

  // Stores cell 2 before cell 1 in the VOB and points the tables there: the play order, and so
  // the delivered stream, stays that of the sample.
  void StoreCellsOutOfOrder() const;
  // Moves every time stamp of cell 2 (SCR, PTS, DTS and the NAV packs' times) by `ticks`, as when
  // its clock restarts.
  void MoveCell2Clock(std::int64_t ticks) const;

 private:
  std::string m_root;
};

}  // namespace dvdtest
