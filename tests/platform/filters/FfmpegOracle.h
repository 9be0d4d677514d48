#pragma once
// Runs ffmpeg as the oracle for elementary streams: what `ffmpeg -i X -map M -c copy -f F`
// (keeping non-key frames before the first key frame, which a demultiplexer delivers too)
// extracts. Tests skip when ffmpeg is not installed.
#include <string>
#include <vector>

namespace ffmpeg_oracle {

bool Available();
// Extracts into outPath; false (with the command's output in *log) when ffmpeg fails.
bool ExtractStream(const std::string& input, const std::string& map, const std::string& format,
                   const std::string& outPath, std::string* log);
std::vector<unsigned char> ReadFile(const std::string& path);
// A fresh temporary folder, removed by the caller.
std::string MakeTempDir();
// The folder holding this test's data files (the sources' data/ folder).
std::string DataDir();
// The first offset where two byte strings differ, and a few bytes around it, for failure messages.
std::string DescribeDifference(const std::vector<unsigned char>& expected, const std::vector<unsigned char>& actual);

}  // namespace ffmpeg_oracle
