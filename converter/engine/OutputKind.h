#pragma once
// The converter's numbering of output kinds, shared by the command line, the graph builder,
// conversion control and the main window.
namespace OutputKind {
inline constexpr int None = -1;            // nothing chosen yet
inline constexpr int DvrMs = 0;            // stream-buffer recording
inline constexpr int ProgramStream = 1;    // MPEG-2 program stream
inline constexpr int DemuxRaw = 2;         // raw video plus raw audio
inline constexpr int DemuxWav = 3;         // raw video plus audio in RIFF/WAV
inline constexpr int TransportStream = 4;  // MPEG-2 transport stream
}  // namespace OutputKind
