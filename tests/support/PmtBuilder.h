#pragma once
// Program Map Table section (table_id 2) for one program: PCR_PID, program descriptors and the
// elementary streams with their descriptors.
//
//   PmtBuilder(1).PcrPid(0x100).Stream(0x02, 0x100)
//                .Stream(0x81, 0x101, {LanguageDescriptor("deu")}).Build()

#include <vector>

#include "tests/support/TableBuilder.h"

namespace testsupport {

class PmtBuilder : public TableBuilder<PmtBuilder> {
 public:
  explicit PmtBuilder(uint16_t program_number) : TableBuilder(0x02) { Envelope().TableIdExtension(program_number); }

  PmtBuilder& PcrPid(uint16_t pcr_pid) { m_pcrPid = pcr_pid; return *this; }
  PmtBuilder& ProgramDescriptor(const Bytes& descriptor) { Append(m_programInfo, descriptor); return *this; }
  PmtBuilder& Stream(uint8_t stream_type, uint16_t elementary_pid, const std::vector<Bytes>& descriptors = {});

  Bytes BuildBody() const;

 private:
  uint16_t m_pcrPid = 0x1FFF;
  Bytes m_programInfo;
  Bytes m_streams;
};

}  // namespace testsupport
