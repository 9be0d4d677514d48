#pragma once
// Program Association Table section (table_id 0): transport_stream_id and (program_number, PID)
// pairs. Program number 0 names the network PID.

#include <utility>
#include <vector>

#include "tests/support/TableBuilder.h"

namespace testsupport {

class PatBuilder : public TableBuilder<PatBuilder> {
 public:
  PatBuilder() : TableBuilder(0x00) { Envelope().TableIdExtension(1); }

  PatBuilder& TransportStreamId(uint16_t transport_stream_id) {
    Envelope().TableIdExtension(transport_stream_id);
    return *this;
  }
  PatBuilder& Program(uint16_t program_number, uint16_t pid) {
    m_programs.emplace_back(program_number, pid);
    return *this;
  }

  Bytes BuildBody() const;

 private:
  std::vector<std::pair<uint16_t, uint16_t>> m_programs;
};

}  // namespace testsupport
