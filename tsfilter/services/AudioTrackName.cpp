#include "tsfilter/services/AudioTrackName.h"

#include <cstring>

namespace tsfilter {

std::string AudioTrackName(const AudioTrack& track, int index) {
  // The language field is fixed-size; never read past it even when it lacks its terminator.
  const std::size_t languageLength = strnlen(track.language, sizeof track.language);
  std::string name = languageLength ? "Audio (" + std::string(track.language, languageLength) + ") "
                                    : "Audio Track " + std::to_string(index) + " ";
  switch (track.kind) {
    case AudioKind::Ac3: return name + "(AC3) ";
    case AudioKind::Aac: return name + "(AAC) ";
    default: return name + "(MPG) ";
  }
}

}  // namespace tsfilter
