#include "tsfilter/analysis/ProgramModel.h"

#include "tsfilter/analysis/TsPacket.h"

namespace tsfilter {

void ProgramModel::AppendAudioTrack(std::uint16_t pid, AudioKind kind, std::uint16_t streamType, const char* language) {
  if (audioTrackCount >= kMaxAudioTracks) return;
  AudioTrack& track = audioTracks[audioTrackCount++];
  track.pid = pid;
  track.kind = kind;
  track.stream_type = streamType;
  CopyText(track.language, language);
}

namespace {

void MapStream(ProgramModel& model, const StreamRecord& stream, const PidEntry& census) {
  const auto pid = static_cast<std::uint16_t>(stream.elementary_PID);
  const auto type = static_cast<std::uint16_t>(stream.stream_type);
  switch (stream.stream_type) {
    case 1:
    case 2: model.videoPid = pid; model.videoStreamType = kVideoStreamTypeMpeg2; break;
    case 27: model.videoPid = pid; model.videoStreamType = kVideoStreamTypeH264; break;
    case 3:
    case 4: model.AppendAudioTrack(pid, AudioKind::Mpeg, type, stream.language); break;
    case 6:
      // A private PES stream is AC-3 only when the census saw an AC-3 frame in it.
      if (census.contentCode == kContentAc3) model.AppendAudioTrack(pid, AudioKind::Ac3, 6, stream.language);
      break;
    case 128:
    case 129: model.AppendAudioTrack(pid, AudioKind::Ac3, type, stream.language); break;
    case 248: model.AppendAudioTrack(pid, AudioKind::Aac, 248, stream.language); break;
    default: break;
  }
}

bool IsNullRow(const PidEntry& row) { return row.pid == kNullPid && row.contentCode == kContentUnknown; }

}  // namespace

bool BuildStreamMap(ProgramModel& model, const ProgramTable& programs, const PidTable& census,
                    std::uint32_t programNumber) {
  const ProgramEntry* entry = programs.Find(programNumber);
  if (!entry) return false;
  model.audioTrackCount = 0;
  const PmtSection& pmt = entry->pmt;
  if (pmt.stream_count == 0) return model.programComplete;

  for (std::uint32_t i = 0; i < pmt.stream_count && i < kMaxPmtStreams; ++i) {
    const StreamRecord& stream = pmt.streams[i];
    const PidEntry* row = census.Find(static_cast<std::uint16_t>(stream.elementary_PID));
    if (!row || stream.stream_type < 1 || stream.stream_type > 248) continue;
    MapStream(model, stream, *row);
    model.programComplete = model.videoPid != 0 && model.audioTrackCount != 0;
  }
  return model.programComplete;
}

void GuessProgramModel(ProgramModel& model, const PidTable& census, bool preferAc3, std::uint16_t& audioPidInUse) {
  std::size_t row = IsNullRow(census.Row(0)) ? 1 : 0;
  model.videoPid = census.Row(row).pid;
  model.videoStreamType = census.Row(row).contentCode;
  ++row;
  if (IsNullRow(census.Row(row))) ++row;

  if (preferAc3) {
    for (std::size_t i = 0; i < census.RowCount(); ++i) {
      if (census.Row(i).contentCode == kContentAc3) {
        row = i;
        break;
      }
    }
  }

  const PidEntry& audio = census.Row(row);
  const AudioKind kind = audio.contentCode == 248 ? AudioKind::Aac
                         : audio.contentCode == kContentAc3 ? AudioKind::Ac3
                                                            : AudioKind::Mpeg;
  model.AppendAudioTrack(audio.pid, kind, audio.contentCode, "eng");
  audioPidInUse = audio.pid;
  model.programComplete = true;
  model.noPmt = true;
}

}  // namespace tsfilter
