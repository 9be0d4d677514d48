#include "tests/support/PatBuilder.h"

namespace testsupport {

Bytes PatBuilder::BuildBody() const {
  Bytes body;
  for (const auto& [programNumber, pid] : m_programs) {
    AppendBe16(body, programNumber);
    AppendBe16(body, static_cast<uint16_t>(0xE000 | (pid & 0x1FFF)));
  }
  return body;
}

}  // namespace testsupport
