#include "platform/filters/PesHeader.h"

bool PesHasNoOptionalHeader(std::uint8_t streamId) {
  switch (streamId) {
    case 0xBC: case 0xBE: case 0xBF: case 0xF0: case 0xF1: case 0xF2: case 0xF8: case 0xFF:
      return true;
    default:
      return false;
  }
}

std::uint64_t ReadPesTimestamp(const std::uint8_t* field) {
  return (static_cast<std::uint64_t>((field[0] >> 1) & 0x07) << 30) | (static_cast<std::uint64_t>(field[1]) << 22) |
         (static_cast<std::uint64_t>(field[2] >> 1) << 15) | (static_cast<std::uint64_t>(field[3]) << 7) |
         static_cast<std::uint64_t>(field[4] >> 1);
}

namespace {

// The MPEG-1 optional fields: up to 16 stuffing bytes, an optional STD buffer field, then the
// time stamps or the single byte 0x0F.
PesParse ParseMpeg1Fields(const std::uint8_t* data, std::size_t size, PesHeader* h) {
  std::size_t pos = 6;
  for (int stuffing = 0; pos < size && data[pos] == 0xFF; ++pos) {
    if (++stuffing > 16) return PesParse::Invalid;
  }
  if (pos >= size) return PesParse::NeedMore;
  if ((data[pos] & 0xC0) == 0x40) {
    pos += 2;
    if (pos >= size) return PesParse::NeedMore;
  }
  const std::uint8_t marker = data[pos] >> 4;
  if (marker == 0x2) {
    if (size < pos + 5) return PesParse::NeedMore;
    h->hasPts = true;
    h->pts = ReadPesTimestamp(data + pos);
    pos += 5;
  } else if (marker == 0x3) {
    if (size < pos + 10) return PesParse::NeedMore;
    h->hasPts = h->hasDts = true;
    h->pts = ReadPesTimestamp(data + pos);
    h->dts = ReadPesTimestamp(data + pos + 5);
    pos += 10;
  } else if (data[pos] == 0x0F) {
    pos += 1;
  } else {
    return PesParse::Invalid;
  }
  h->payloadOffset = pos;
  return PesParse::Ok;
}

PesParse ParseMpeg2Fields(const std::uint8_t* data, std::size_t size, PesHeader* h) {
  if (size < 9) return PesParse::NeedMore;
  const std::size_t headerDataLength = data[8];
  const std::size_t payloadOffset = 9 + headerDataLength;
  if (size < payloadOffset) return PesParse::NeedMore;
  switch (data[7] >> 6) {
    case 0x2:
      if (headerDataLength < 5) return PesParse::Invalid;
      h->hasPts = true;
      h->pts = ReadPesTimestamp(data + 9);
      break;
    case 0x3:
      if (headerDataLength < 10) return PesParse::Invalid;
      h->hasPts = h->hasDts = true;
      h->pts = ReadPesTimestamp(data + 9);
      h->dts = ReadPesTimestamp(data + 14);
      break;
    case 0x1:
      return PesParse::Invalid;  // DTS without PTS is forbidden
    default:
      break;
  }
  h->payloadOffset = payloadOffset;
  return PesParse::Ok;
}

}  // namespace

PesParse ParsePesHeader(const std::uint8_t* data, std::size_t size, PesHeader* header) {
  if (size < 3) return PesParse::NeedMore;
  if (data[0] != 0x00 || data[1] != 0x00 || data[2] != 0x01) return PesParse::Invalid;
  if (size < 6) return PesParse::NeedMore;

  PesHeader h;
  h.stream_id = data[3];
  h.PES_packet_length = static_cast<std::uint16_t>((data[4] << 8) | data[5]);
  PesParse result;
  if (PesHasNoOptionalHeader(h.stream_id)) {
    h.payloadOffset = 6;
    result = PesParse::Ok;
  } else if (size < 7) {
    return PesParse::NeedMore;
  } else if ((data[6] & 0xC0) == 0x80) {
    result = ParseMpeg2Fields(data, size, &h);
  } else {
    result = ParseMpeg1Fields(data, size, &h);
  }
  if (result != PesParse::Ok) return result;
  // A bounded packet must hold its own header.
  if (h.PES_packet_length != 0 && h.payloadOffset > h.TotalSize()) return PesParse::Invalid;
  if (!h.hasDts) h.dts = h.pts;
  *header = h;
  return PesParse::Ok;
}
