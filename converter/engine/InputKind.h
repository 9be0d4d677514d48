#pragma once
// The converter's numbering of input kinds, decided from the input file's extension.
namespace InputKind {
inline constexpr int DvrMs = 0;            // ".dvr-ms": the stream-buffer source
inline constexpr int ProgramStream = 1;    // ".mpg": the asynchronous file source
inline constexpr int TransportStream = 4;  // ".ts", ".tp": Flumetta
inline constexpr int Dvd = 5;              // ".ifo": the DVD source
}  // namespace InputKind
