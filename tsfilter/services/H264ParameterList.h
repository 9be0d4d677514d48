#pragma once
// The H.264 sequence parameters as text rows "name: value" for display: at most 20 rows of at most
// 40 characters. Rows beyond the 20th are dropped (their values are still used by the analyzer).
#include <cstddef>
#include <cstdint>

namespace tsfilter {

class H264ParameterList {
 public:
  static constexpr std::size_t kMaxRows = 20;
  static constexpr std::size_t kMaxRowLength = 40;

  // Stores "name: value" (the value as a signed 32-bit decimal), cut to 40 characters; dropped when full.
  void AddRow(const char* name, std::int64_t value);
  void Clear() { m_count = 0; }
  std::size_t Count() const { return m_count; }
  // The row text; an empty text for an index at or beyond the count.
  const char* Row(std::size_t index) const { return index < m_count ? m_rows[index] : ""; }

 private:
  char m_rows[kMaxRows][kMaxRowLength + 1] = {};
  std::size_t m_count = 0;
};

// The remark the H.264 page shows beside each row (its third column). `previousRemark` is the remark
// of the row directly above, which the frame_mbs_only_flag row may replace; `rememberedHeight` carries
// the pic_height_in_map_units_minus1 value from that row to the next. Remarks are at most 63 characters.
struct H264RemarkState {
  std::int64_t rememberedHeight = 0;
};
void RowRemark(const char* row, H264RemarkState& state, char* remark, std::size_t remarkSize, char* previousRemark,
               std::size_t previousSize);

}  // namespace tsfilter
