#pragma once
// The program model the rest of the filter works with: one video PID with its stream type and up
// to ten audio tracks, built from a program's PMT copy or, without a usable PMT, guessed from the
// PID census.
#include <cstddef>
#include <cstdint>

#include "tsfilter/analysis/PidTable.h"
#include "tsfilter/analysis/ProgramTable.h"
#include "tsfilter/analysis/PsiTypes.h"

namespace tsfilter {

inline constexpr std::uint16_t kVideoStreamTypeMpeg2 = 2;
inline constexpr std::uint16_t kVideoStreamTypeH264 = 27;

struct ProgramModel {
  static constexpr std::size_t kMaxAudioTracks = 10;

  std::uint16_t videoPid = 0;         // 0 = none
  std::uint16_t videoStreamType = 0;  // 2 = MPEG-1/2 video, 27 = H.264
  std::uint16_t currentProgram = 0;   // last program whose stream map was built
  AudioTrack audioTracks[kMaxAudioTracks] = {};
  std::uint16_t audioTrackCount = 0;
  bool programComplete = false;  // video PID non-zero and at least one audio track
  bool noPmt = false;            // guessed from the census

  // Appends a track; a track beyond the tenth is dropped.
  void AppendAudioTrack(std::uint16_t pid, AudioKind kind, std::uint16_t streamType, const char* language);
};

// Rebuilds the model from the PMT copy of `programNumber`. Only streams whose PIDs occur in the
// census count; the video PID is not cleared first, so a video PID of an earlier program stays until
// another video stream replaces it. Returns whether the program is complete (or has no streams but
// the flag was already set).
bool BuildStreamMap(ProgramModel& model, const ProgramTable& programs, const PidTable& census,
                    std::uint32_t programNumber);

// Fallback when no PMT gave a complete program: the busiest non-null PID of the sorted census as
// video, the next one (or, with `preferAc3`, the first AC-3 PID) as audio track 0 with language
// "eng". `audioPidInUse` receives that track's PID.
void GuessProgramModel(ProgramModel& model, const PidTable& census, bool preferAc3, std::uint16_t& audioPidInUse);

}  // namespace tsfilter
