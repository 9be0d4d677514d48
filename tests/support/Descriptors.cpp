#include "tests/support/Descriptors.h"

#include <algorithm>

namespace testsupport {

Bytes Descriptor(uint8_t tag, std::span<const uint8_t> body) {
  const size_t length = std::min<size_t>(body.size(), 255);
  Bytes out{tag, static_cast<uint8_t>(length)};
  out.insert(out.end(), body.begin(), body.begin() + static_cast<std::ptrdiff_t>(length));
  return out;
}

Bytes LanguageDescriptor(std::string_view iso_639_language_code, uint8_t audio_type) {
  Bytes body = BytesOf(iso_639_language_code.substr(0, 3));
  body.resize(3, ' ');
  body.push_back(audio_type);
  return Descriptor(0x0A, body);
}

Bytes ServiceDescriptor(uint8_t service_type, std::string_view service_provider_name,
                        std::string_view service_name) {
  Bytes body{service_type, static_cast<uint8_t>(std::min<size_t>(service_provider_name.size(), 255))};
  Append(body, BytesOf(service_provider_name.substr(0, 255)));
  body.push_back(static_cast<uint8_t>(std::min<size_t>(service_name.size(), 255)));
  Append(body, BytesOf(service_name.substr(0, 255)));
  return Descriptor(0x48, body);
}

Bytes RegistrationDescriptor(std::string_view format_identifier) {
  Bytes body = BytesOf(format_identifier.substr(0, 4));
  body.resize(4, ' ');
  return Descriptor(0x05, body);
}

Bytes Ac3Descriptor() { return Descriptor(0x6A, Bytes{0x00}); }

}  // namespace testsupport
