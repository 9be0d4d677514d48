#include "tsfilter/analysis/SdtParser.h"

#include <algorithm>
#include <cstring>

#include "tsfilter/analysis/SectionEnvelope.h"
#include "tsfilter/analysis/TsPacket.h"

namespace tsfilter {
namespace {

constexpr std::uint8_t kSdtActualTableId = 0x42;
constexpr std::uint8_t kServiceDescriptorTag = 0x48;
constexpr std::size_t kServicesOffset = 11;
constexpr std::size_t kServiceHeaderSize = 5;
constexpr std::size_t kMaxServices = 204;  // more than a 1021-byte section can describe
constexpr std::size_t kPayloadOffset = 4;
constexpr std::size_t kPayloadSize = kPacketSize - kPayloadOffset;    // 184
constexpr std::size_t kFirstSectionBytes = kPacketSize - 5;           // 183
constexpr std::uint32_t kLongestSingleSection = 188;                  // section_length of 189 needs a second packet

struct Service {
  std::uint32_t service_id;
  char name[kServiceNameSize];
};

struct ServiceList {
  Service services[kMaxServices];
  std::size_t count = 0;

  bool Has(std::uint32_t id) const {
    for (std::size_t i = 0; i < count; ++i)
      if (services[i].service_id == id) return true;
    return false;
  }
};

// Copies a service name, leaving out the emphasis on/off control codes 0x86 and 0x87.
void CopyServiceName(const std::uint8_t* text, std::size_t length, char (&name)[kServiceNameSize]) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < length && n + 1 < kServiceNameSize; ++i) {
    if (text[i] == 0x86 || text[i] == 0x87) continue;
    name[n++] = static_cast<char>(text[i]);
  }
  name[n] = '\0';
}

// A service descriptor in [body, end): service_type, provider name, service name.
void TakeServiceName(const std::uint8_t* section, std::size_t body, std::size_t end, std::uint32_t serviceId,
                     ServiceList& list) {
  if (list.Has(serviceId) || list.count >= kMaxServices) return;
  std::size_t at = body + 1;  // service_type
  if (at >= end) return;
  at += 1 + section[at];  // provider name
  if (at >= end) return;
  const std::size_t nameLength = std::min<std::size_t>(section[at], end - (at + 1));
  Service& service = list.services[list.count++];
  service.service_id = serviceId;
  CopyServiceName(section + at + 1, nameLength, service.name);
}

void ReadServices(const std::uint8_t* section, std::size_t loopEnd, ServiceList& list) {
  std::size_t at = kServicesOffset;
  while (at + kServiceHeaderSize <= loopEnd) {
    const std::uint32_t serviceId = Read16(section + at);
    const std::size_t descriptorsLength = Read16(section + at + 3) & 0x0FFF;
    const std::size_t end = std::min(at + kServiceHeaderSize + descriptorsLength, loopEnd);
    std::size_t d = at + kServiceHeaderSize;
    while (d + 2 <= end) {
      const std::size_t body = d + 2;
      const std::size_t bodyEnd = std::min(body + section[d + 1], end);
      if (section[d] == kServiceDescriptorTag) TakeServiceName(section, body, bodyEnd, serviceId, list);
      d = body + section[d + 1];
    }
    at += kServiceHeaderSize + descriptorsLength;
  }
}

}  // namespace

bool ProcessSdtSection(const std::uint8_t* section, std::size_t available, SdtCollector& collector,
                       ProgramTable& programs) {
  SectionHeader header;
  if (!ReadSectionHeader(section, available, header)) return false;
  if (!HasPlausibleEnvelope(header) || header.table_id != kSdtActualTableId) return false;
  if (!SectionCrcPasses(section, available, header)) return false;
  collector.Record(Read16(section + 3), header.version_number, header.section_number);

  ServiceList list;
  ReadServices(section, SectionSize(header) - 4, list);
  for (std::size_t i = 0; i < list.count; ++i)
    if (ProgramEntry* entry = programs.Find(list.services[i].service_id)) CopyText(entry->name, list.services[i].name);
  return true;
}

void SectionAssembler::Append(const std::uint8_t* bytes, std::size_t count) {
  const std::size_t room = sizeof(m_buffer) - m_written;
  count = std::min(count, room);
  std::memcpy(m_buffer + m_written, bytes, count);
  m_written += count;
}

void SectionAssembler::ProcessSdtPacket(const std::uint8_t* packet, SdtCollector& collector, ProgramTable& programs) {
  if (m_assembling) {
    const std::size_t missing = m_expected - m_written;
    if (missing > kPayloadSize) {
      Append(packet + kPayloadOffset, kPayloadSize);
      return;
    }
    Append(packet + kPayloadOffset, missing);
    m_assembling = false;
    ProcessSdtSection(m_buffer, m_written, collector, programs);
    return;
  }

  SectionHeader header;
  ReadSectionHeader(packet + 5, kFirstSectionBytes, header);
  if (header.section_length > kLongestSingleSection && HasPlausibleEnvelope(header)) {
    m_assembling = true;
    m_written = 0;
    m_expected = SectionSize(header);
    Append(packet + 5, kFirstSectionBytes);
    return;
  }
  ProcessSdtSection(packet + 5, kFirstSectionBytes, collector, programs);
}

}  // namespace tsfilter
