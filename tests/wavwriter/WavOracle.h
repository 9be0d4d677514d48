#pragma once
// ffmpeg and ffprobe as the oracle for the WAV files Ambrel writes: the reference AC3 bytes of a
// track (`ffmpeg -map 0:a:N -c copy -f ac3`) and what ffprobe reads from a file.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/com/types.h"

struct ProbedAudio {
  std::string codec;
  int channels = 0;
  int sampleRate = 0;
  long bitRate = 0;
};

// The AC3 bytes of audio track `track` of input, or empty (with *log) when ffmpeg fails.
std::vector<BYTE> ExtractAc3Track(const std::filesystem::path& input, int track, const std::filesystem::path& workDir,
                                  std::string* log);
// The first audio stream as ffprobe reads it (codec "" when ffprobe fails). Format hints a
// reader for a file without its usual extension ("" to let ffprobe decide).
ProbedAudio ProbeAudio(const std::filesystem::path& file, const std::string& format = "");
std::vector<BYTE> ReadWholeFile(const std::filesystem::path& file);
void WriteWholeFile(const std::filesystem::path& file, const std::vector<BYTE>& bytes);
// The "data" chunk of a WAV file as Ambrel lays it out (behind "fmt "), empty when absent.
std::vector<BYTE> WavDataChunk(const std::vector<BYTE>& wav);
// Where two byte strings first differ, for failure messages.
std::string DescribeDifference(const std::vector<BYTE>& expected, const std::vector<BYTE>& actual);
