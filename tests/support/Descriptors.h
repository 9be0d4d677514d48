#pragma once
// Descriptors for PMT and SDT loops: tag, length, body.

#include <cstdint>
#include <string_view>

#include "tests/support/Bytes.h"

namespace testsupport {

// Any descriptor. The body is cut at 255 bytes, the most one length byte can describe.
Bytes Descriptor(uint8_t tag, std::span<const uint8_t> body);

// ISO_639_language_descriptor (0x0A) with one language: three letters and audio_type.
Bytes LanguageDescriptor(std::string_view iso_639_language_code, uint8_t audio_type = 0);

// DVB service_descriptor (0x48). Names are raw bytes, control codes such as 0x86/0x87 included.
Bytes ServiceDescriptor(uint8_t service_type, std::string_view service_provider_name,
                        std::string_view service_name);

// registration_descriptor (0x05) with a four-letter format identifier, e.g. "AC-3".
Bytes RegistrationDescriptor(std::string_view format_identifier);

// DVB AC-3_descriptor (0x6A) with no optional fields.
Bytes Ac3Descriptor();

}  // namespace testsupport
