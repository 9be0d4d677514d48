#pragma once
// What the program tests ask of the files a conversion read and wrote, answered by ffprobe and
// ffmpeg (the independent oracle) or by a plain walk over transport packets.
#include <cstdint>
#include <string>
#include <vector>

namespace streamfacts {

// ffprobe's decoded frame count of the first stream of a kind ("v" or "a"); -1 when unknown.
long FrameCount(const std::string& path, const char* kind);
// ffprobe's codec name of the first stream of a kind; empty when none.
std::string CodecName(const std::string& path, const char* kind);
// "channels,sample_rate" of the first audio stream.
std::string AudioLayout(const std::string& path);
// Everything ffmpeg says at level error while decoding the whole file (empty: clean).
std::string DecodeErrors(const std::string& path);
// ffmpeg -c copy of one stream ("0:v:0", "0:a:1") into a raw elementary file of the format.
std::string ExtractWithFfmpeg(const std::string& input, const std::string& map, const std::string& format,
                              const std::string& output);
// The PID of the first video stream, from ffprobe; -1 when none.
int VideoPid(const std::string& path);
// The first packet of pid that starts a PES packet holding an MPEG-2 sequence header; -1 if none.
long FirstSequenceHeaderPacket(const std::string& bytes, int pid);
// The presentation times (90 kHz) of the video PES packets of a transport stream, in file order.
std::vector<std::int64_t> VideoPresentationTimes(const std::string& bytes, int pid);

}  // namespace streamfacts
