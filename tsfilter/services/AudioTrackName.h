#pragma once
// The name a player shows for an audio track: "Audio (deu) (AC3) " with the language, or
// "Audio Track 2 (MPG) " with the index when the track has no language; the trailing blank is
// part of the name.
#include <string>

#include "tsfilter/analysis/PsiTypes.h"

namespace tsfilter {

std::string AudioTrackName(const AudioTrack& track, int index);

}  // namespace tsfilter
