#pragma once
// The attributes that make a finished DVR-MS conversion look like a recorded TV show to media
// applications: title, genre, language, flags, media class, encode and end times.
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/dshow/StreamBufferInterfaces.h"

struct RecordingMetadataInput {
  int outputKind = -1;        // only DVR-MS output (0) gets attributes
  std::string inputPath;      // names the title
  std::string outputPath;     // the recording
  bool hd = false;            // video 1280 pixels wide or more
  std::time_t startTime = 0;  // wall-clock seconds when the conversion started
  std::int64_t durationTicks = 0;  // the graph's duration last read by the progress display (100 ns)
};

// Writes a string attribute, retrying a failing write up to 10 times 100 ms apart.
HRESULT SetRecordingAttribute(IStreamBufferRecordingAttribute* attributes, const char* name, const std::string& value);

// Waits 500 ms, opens the recording and writes the attribute set; does nothing for other outputs.
void WriteRecordingMetadata(const RecordingMetadataInput& input);

// The input file's name without folder and extension; the whole path when either is missing.
std::string RecordingTitle(const std::string& inputPath);

// Local calendar time of seconds with 1600 added to the year, as a FILETIME count: the 100-ns
// ticks from 1 January of year 1 to that local time.
std::uint64_t RecordingTimeStamp(std::time_t seconds);
