#pragma once
// DVB Service Description Table section (table_id 0x42, actual transport stream; 0x46 through
// TableId for the other one): original_network_id and services with their descriptors.
//
//   SdtBuilder().TransportStreamId(1).Service(1, "Provider", "Orvanet Test").Build()

#include <string_view>
#include <vector>

#include "tests/support/TableBuilder.h"

namespace testsupport {

class SdtBuilder : public TableBuilder<SdtBuilder> {
 public:
  SdtBuilder() : TableBuilder(0x42) { Envelope().TableIdExtension(1); }

  SdtBuilder& TransportStreamId(uint16_t transport_stream_id) {
    Envelope().TableIdExtension(transport_stream_id);
    return *this;
  }
  SdtBuilder& OriginalNetworkId(uint16_t original_network_id) { m_originalNetworkId = original_network_id; return *this; }
  // A service with any descriptors; running_status 4 (running), not scrambled.
  SdtBuilder& Service(uint16_t service_id, const std::vector<Bytes>& descriptors, uint8_t running_status = 4,
                      bool free_CA_mode = false);
  // A digital television service (type 1) with one service descriptor.
  SdtBuilder& Service(uint16_t service_id, std::string_view provider_name, std::string_view service_name);

  Bytes BuildBody() const;

 private:
  uint16_t m_originalNetworkId = 1;
  Bytes m_services;
};

}  // namespace testsupport
