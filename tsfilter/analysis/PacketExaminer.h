#pragma once
// The output pin's per-packet step. During Load it runs without a sample, pass after pass, to
// count PIDs and search the tables; when the graph runs it fills one sample per call.
//
// The position counts examinations: the packet examined is the one at (position mod 10000) of the
// buffer filled last, so a caller that examines more packets than the block holds sees the block's
// first 10000 packets again. The opening analysis relies on exactly this.
#include "platform/com/hresult.h"
#include "tsfilter/analysis/PacketSample.h"
#include "tsfilter/analysis/TsFilterState.h"
#include "tsfilter/analysis/TsPinState.h"

namespace tsfilter {

// Examines the next packet and, with a sample, delivers it (188 bytes, or the video payload in
// elementary video mode). Returns S_OK when a packet was examined, S_FALSE at the end of the file
// (nothing examined; the end-of-file notice goes to the notify window, once per call), or the
// failure of a block read. Positions beyond the bytes really read count as the end of the file;
// during delivery a block that ends early is read once more first, so a growing file is followed.
// Takes the pin lock, then the filter lock.
HRESULT ExaminePacket(TsFilterState& filter, TsPinState& pin, PacketSample* sample);

// Timing of one packet of the video PID that starts a PES packet: takes its PTS as the last PTS
// (and as time zero when none is set yet, or, in the table search, when it is earlier) and
// updates the stream time. Returns whether the packet carries a PTS (a sync point). Pin lock held.
bool TrackVideoPts(TsPinState& pin, AnalysisPhase phase, const std::uint8_t* packet);

// IMediaSeeking answers (pin lock, then filter lock). Current position: bytes in byte format;
// with FastSeeking the position times the time per packet; else the stream time, in 100 ns.
std::int64_t CurrentPosition(TsFilterState& filter, TsPinState& pin);
// Duration: the file size in byte format, else the pin's duration.
std::int64_t SeekingDuration(TsFilterState& filter, TsPinState& pin);

}  // namespace tsfilter
