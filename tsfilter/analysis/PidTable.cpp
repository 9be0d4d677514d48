#include "tsfilter/analysis/PidTable.h"

#include <algorithm>

#include "tsfilter/analysis/TsPacket.h"

namespace tsfilter {
namespace {

constexpr std::uint8_t kPrivateStream1 = 0xBD;
constexpr std::uint32_t kLongPrivatePes = 1800;

bool BytesAt(const std::uint8_t* packet, std::size_t offset, std::initializer_list<std::uint8_t> bytes) {
  if (offset + bytes.size() > kPacketSize) return false;
  for (std::uint8_t b : bytes)
    if (packet[offset++] != b) return false;
  return true;
}

}  // namespace

std::uint8_t ContentCodeOf(const std::uint8_t* packet) {
  if (!HasPayloadUnitStart(packet)) return kContentUnknown;
  const std::size_t pes = PesStartOffset(packet);
  if (!HasStartCodeAt(packet, pes) || pes + 6 > kPacketSize) return kContentUnknown;
  const std::uint8_t streamId = packet[pes + 3];
  const std::uint32_t pesPacketLength = (std::uint32_t{packet[pes + 4]} << 8) | packet[pes + 5];
  const std::size_t payload = PesPayloadOffset(packet, pes);
  if (BytesAt(packet, payload, {0x0B, 0x77})) return kContentAc3;
  if (streamId == kPrivateStream1 && pesPacketLength >= kLongPrivatePes) return kContentAc3;
  if (BytesAt(packet, payload, {0x00, 0x00, 0x00, 0x01, 0x09})) return kContentH264;
  return streamId;
}

const char* DescribePid(std::uint8_t code, std::uint16_t pid, std::uint32_t pmtPid) {
  const char* text = "private";
  switch (code) {
    case 27: text = "ITU-T Rec. H.264"; break;
    case 188: text = "program stream map"; break;
    case 189: text = "private stream 1"; break;
    case 190: text = "padding stream"; break;
    case 191: text = "private stream 2"; break;
    case 240: text = "ECM"; break;
    case 241: text = "EMM"; break;
    case 242: text = "DSMCC stream"; break;
    case 243: text = "ISO/IEC_13522_stream"; break;
    case 244: text = "ITU-T Rec. H.222.1 type A"; break;
    case 245: text = "ITU-T Rec. H.222.1 type B"; break;
    case 246: text = "ITU-T Rec. H.222.1 type C"; break;
    case 247: text = "ITU-T Rec. H.222.1 type D"; break;
    case 248: text = "ITU-T Rec. H.222.1 type E"; break;
    case 249: text = "private stream 1 - AC3"; break;
    default:
      if (code >= 192 && code <= 223) text = "ISO/IEC 13818-3 audio";
      else if (code >= 224 && code <= 239) text = "ISO/IEC 13818-2 video";
      break;
  }

  const bool isPrivate = code != 27 && (code < 188 || code > 249);
  if (pid <= 20 && isPrivate && (pid != pmtPid || pid == 0)) {
    static const char* const kTableNames[] = {"PAT", "CAT", "reserved", "reserved", "reserved", "reserved",
                                              "reserved", "reserved", "reserved", "reserved", "reserved",
                                              "reserved", "reserved", "reserved", "reserved", "reserved",
                                              "NIT", "SDT", "EIT", "RST", "TDT/TOT"};
    return kTableNames[pid];
  }
  switch (pid) {
    case 0x1FF0: text = "EIT-0"; break;
    case 0x1FF1: text = "EIT-1"; break;
    case 0x1FF2: text = "EIT-2"; break;
    case 0x1FF3: text = "EIT-3"; break;
    case 0x1FFB: text = "MGT/TVCT"; break;
    case 0x1FFF: text = "NULL PID"; break;
    default: break;
  }
  if (pid != 0 && pid == pmtPid) text = "PMT";
  return text;
}

void PidTable::AddPid(std::uint16_t pid, std::uint8_t code) {
  for (std::size_t i = 0; i < m_count; ++i) {
    PidEntry& row = m_rows[i];
    if (row.pid != pid) continue;
    ++row.packets;
    if (code != kContentUnknown && (row.contentCode == kContentUnknown || code == kContentAc3)) row.contentCode = code;
    return;
  }
  if (m_count >= kCapacity) return;
  m_rows[m_count++] = PidEntry{pid, 1, code};
}

void PidTable::SortPidTable() {
  std::stable_sort(m_rows.begin(), m_rows.begin() + static_cast<std::ptrdiff_t>(m_count),
                   [](const PidEntry& a, const PidEntry& b) { return a.packets > b.packets; });
}

const PidEntry* PidTable::Find(std::uint16_t pid) const {
  for (std::size_t i = 0; i < m_count; ++i)
    if (m_rows[i].pid == pid) return &m_rows[i];
  return nullptr;
}

}  // namespace tsfilter
