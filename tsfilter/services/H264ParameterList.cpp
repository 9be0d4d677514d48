#include "tsfilter/services/H264ParameterList.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tsfilter {

void H264ParameterList::AddRow(const char* name, std::int64_t value) {
  if (m_count >= kMaxRows) return;
  std::snprintf(m_rows[m_count], sizeof(m_rows[m_count]), "%s: %d", name, static_cast<int>(static_cast<std::int32_t>(value)));
  ++m_count;
}

namespace {

const char* ProfileName(long long value) {
  switch (value) {
    case 66: return "Baseline profile";
    case 77: return "Main profile";
    case 88: return "Extended profile";
    default: return "High profile";
  }
}

const char* AspectRatioName(long long value) {
  switch (value) {
    case 1: return "1:1 square";
    case 2: return "12:11";
    case 3: return "10:11";
    case 4: return "16:11";
    case 5: return "40:33";
    case 6: return "24:11";
    case 7: return "20:11";
    case 255: return "extended SAR";
    default: return "";
  }
}

long long MacroblockUnits(long long value, long long unit) { return ((value + 1) % 65536 + 65536) % 65536 * unit; }

}  // namespace

void RowRemark(const char* row, H264RemarkState& state, char* remark, std::size_t remarkSize, char* previousRemark,
               std::size_t previousSize) {
  if (remarkSize == 0) return;
  remark[0] = '\0';
  const char* separator = std::strstr(row, ": ");
  if (!separator) return;
  const std::size_t nameLength = static_cast<std::size_t>(separator - row);
  const char* valueText = separator + 2;
  const long long value = std::strtoll(valueText, nullptr, 10);
  auto is = [&](const char* name) { return std::strlen(name) == nameLength && std::strncmp(row, name, nameLength) == 0; };

  if (is("profile_idc")) {
    std::snprintf(remark, remarkSize, "%s", ProfileName(value));
  } else if (is("level_idc")) {
    const char first = valueText[0];
    const char second = first != '\0' ? valueText[1] : '\0';
    if (second != '\0')
      std::snprintf(remark, remarkSize, "Level %c.%c", first, second);
    else
      std::snprintf(remark, remarkSize, "Level %c.", first);
  } else if (is("pic_width_in_mbs_minus1")) {
    std::snprintf(remark, remarkSize, "Width %lld", MacroblockUnits(value, 16));
  } else if (is("pic_height_in_map_units_minus1")) {
    state.rememberedHeight = value;
    std::snprintf(remark, remarkSize, "Height %lld", MacroblockUnits(value, 32));
  } else if (is("frame_mbs_only_flag")) {
    if (value == 1) {
      std::snprintf(remark, remarkSize, "progressive");
      if (previousRemark && previousSize > 0)
        std::snprintf(previousRemark, previousSize, "Height %lld", MacroblockUnits(state.rememberedHeight, 16));
    } else if (value == 0) {
      std::snprintf(remark, remarkSize, "interlaced");
    }
  } else if (is("aspect_ratio_idc")) {
    std::snprintf(remark, remarkSize, "%s", AspectRatioName(value));
  }
}

}  // namespace tsfilter
