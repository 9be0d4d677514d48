#pragma once
// Check points: the numbered steps of building a conversion graph. The last one reached is
// reported with every build failure, so a user's report names the step that went wrong.
namespace CheckPoint {
inline constexpr int GraphBuilder = 0;   // creating the filter graph
inline constexpr int AddPump = 1;        // adding the source filter
inline constexpr int AddFilter = 2;      // the add-to-graph call inside every filter addition
inline constexpr int Demux = 3;
inline constexpr int VideoAnalyzer = 4;
inline constexpr int Sbe = 5;            // the stream-buffer sink
inline constexpr int ClMux = 6;          // the multiplexer
inline constexpr int Dumper = 7;         // the main dump filter
inline constexpr int SmartTee = 8;       // the audio tee
inline constexpr int AudioDump = 9;      // either audio dump filter
inline constexpr int EncryptTag = 10;    // no step reports it
inline constexpr int Rot = 11;           // reaching the running object table
inline constexpr int Ac3Filter = 12;
inline constexpr int Ambrel = 13;        // the WAV writer
}  // namespace CheckPoint

// The check point's name; "unknown" outside 0..13.
const char* CheckPointName(int checkPoint);
