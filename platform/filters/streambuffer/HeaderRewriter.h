#pragma once
// Writes a recording's attributes into its header without ever putting the recording at risk.
//
// The new header keeps every object of the old one (in order) except the attribute objects
// (Content Description, Extended Content Description, the Metadata Library inside the Header
// Extension) and the padding, then the new attribute objects, then padding. When it fits in the
// old header's size it is written in place with one write (the padding takes up the rest; no
// byte of the data moves and no disk space is needed) and synced. Otherwise the file is copied
// beside itself with the new header and room to spare, synced, and renamed over the original;
// a failure on the way (a full disk, a crash) leaves the original as it was.
#include <string>

#include "platform/filters/streambuffer/AsfAttributes.h"

namespace asf {

// Room left for later attributes when a header has to grow.
inline constexpr std::size_t kHeaderGrowthReserve = 16 * 1024;

HRESULT RewriteHeaderAttributes(const std::string& path, const AttributeList& attributes);

// The new Header Object for `header` (parsed from `bytes`) with these attributes, exactly
// `totalSize` bytes long when that is not 0 (empty when it does not fit), else with `reserve`
// bytes of padding. For tests and for the rewrite.
std::vector<std::uint8_t> BuildHeaderWithAttributes(const std::uint8_t* bytes, const AsfHeader& header,
                                                    const AttributeList& attributes, std::size_t totalSize,
                                                    std::size_t reserve);

}  // namespace asf
