#pragma once
// What the whole-process benchmarks share: heap allocation counting, wall-clock timing, running
// the contender's command lines, and the dump filter and demultiplexer pins they build graphs from.
#include <chrono>
#include <string>
#include <vector>

#include "platform/com/comptr.h"
#include "platform/dshow/Interfaces.h"

namespace bench {

// Heap allocations made through operator new in this process so far (linking this library
// replaces the global operator new with a counting one).
long long HeapAllocations();

using Clock = std::chrono::steady_clock;
double SecondsSince(Clock::time_point start);
double Median(std::vector<double> values);

// Runs a shell command; true when it exited with 0.
bool RunCommand(const std::string& command);

// Makes `output` in `dir`: 16 s of ffmpeg's MPEG-2 1280x720 at 25 Mbit/s with AC3, stream-copied
// `loops` times more after itself (each pass about 21 MB). True when ffmpeg made it.
bool MakeHdTestStream(const std::string& dir, int loops, const std::string& output);

// A fresh working folder below $TMPDIR (or /tmp) for one run of the named benchmark.
std::string MakeWorkFolder(const std::string& name);

// Reads the file once so that every contender finds it in the page cache.
void WarmPageCache(const std::string& path);

// The dump filter (Gallowin.ax, loaded from the executable's folder) writing to `path`; null
// when the module or the class cannot be had.
ComPtr<IBaseFilter> CreateDumpFilter(const std::string& path);

// Makes a demultiplexer output pin of the given type for one PID, as the TS source does at
// connection.
bool MapDemultiplexerPin(IBaseFilter* demux, const GUID& major, const GUID& subtype, const char16_t* name, ULONG pid);

}  // namespace bench
