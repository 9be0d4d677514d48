#pragma once
// What the probe tool learnt from the filter, gathered through ITsSourceInfo and printed as text
// or as JSON.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "shared/TsSourceInfo.h"

struct ProbeStream {
  unsigned type = 0;
  unsigned pid = 0;
};

struct ProbeProgram {
  unsigned number = 0;
  std::string name;
  unsigned pmtPid = 0;
  std::vector<ProbeStream> streams;
};

struct ProbePid {
  std::string pid;
  std::uint64_t packets = 0;
  unsigned contentCode = 0;
  std::string description;
};

// One H.264 parameter row with the remark the H.264 page shows beside it.
struct ProbeParameter {
  std::string row;
  std::string remark;
};

struct ProbeReport {
  unsigned patVersion = 0;
  unsigned transportStreamId = 0;
  std::vector<ProbeProgram> programs;
  unsigned selectedPmtPid = 0;  // the program whose video and audio the filter delivers
  std::string videoSize, frameRate, aspectRatio;
  std::vector<ProbeParameter> h264Parameters;
  std::vector<std::string> audioTracks;  // as the stream-selection interface names them
  std::string audioPid, audioFormat, audioType;
  std::string duration;
  std::uint64_t packetCount = 0;
  std::vector<ProbePid> pids;
};

// GetAttribute's answer as text (empty for none).
std::string Attribute(ITsSourceInfo* info, const std::string& key);
ProbeReport GatherReport(ITsSourceInfo* info);
void PrintText(const ProbeReport& report, std::ostream& out);
void PrintJson(const ProbeReport& report, std::ostream& out);
