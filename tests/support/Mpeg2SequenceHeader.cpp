#include "tests/support/Mpeg2SequenceHeader.h"

#include "tests/support/BitWriter.h"

namespace testsupport {

Bytes Mpeg2SequenceHeader::Build() const {
  BitWriter bits;
  bits.U(24, 0x000001).U(8, 0xB3);
  bits.U(12, horizontal_size_value).U(12, vertical_size_value);
  bits.U(4, aspect_ratio_information).U(4, frame_rate_code);
  bits.U(18, bit_rate_value).Flag(true /* marker */).U(10, vbv_buffer_size_value);
  bits.Flag(false /* constrained_parameters_flag */).Flag(false /* load_intra_quantiser_matrix */);
  bits.Flag(false /* load_non_intra_quantiser_matrix */);
  Bytes out;
  if (leadingZero) out.push_back(0x00);
  Append(out, bits.Data());
  if (sequenceExtension) {
    // extension id 1, profile_and_level 0x48, progressive, 4:2:0, no size or rate extensions.
    Append(out, Bytes{0x00, 0x00, 0x01, 0xB5, 0x14, 0x8A, 0x00, 0x01, 0x00, 0x00});
  }
  return out;
}

}  // namespace testsupport
