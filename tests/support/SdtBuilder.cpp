#include "tests/support/SdtBuilder.h"

#include "tests/support/Descriptors.h"

namespace testsupport {

SdtBuilder& SdtBuilder::Service(uint16_t service_id, const std::vector<Bytes>& descriptors, uint8_t running_status,
                                bool free_CA_mode) {
  Bytes loop;
  for (const Bytes& d : descriptors) Append(loop, d);
  AppendBe16(m_services, service_id);
  m_services.push_back(0xFC);  // reserved bits, EIT schedule and present/following flags clear
  AppendBe16(m_services, static_cast<uint16_t>(((running_status & 0x7) << 13) | (free_CA_mode ? 0x1000 : 0) |
                                               (loop.size() & 0x0FFF)));
  Append(m_services, loop);
  return *this;
}

SdtBuilder& SdtBuilder::Service(uint16_t service_id, std::string_view provider_name, std::string_view service_name) {
  return Service(service_id, {ServiceDescriptor(0x01, provider_name, service_name)});
}

Bytes SdtBuilder::BuildBody() const {
  Bytes body;
  AppendBe16(body, m_originalNetworkId);
  body.push_back(0xFF);  // reserved_future_use
  Append(body, m_services);
  return body;
}

}  // namespace testsupport
