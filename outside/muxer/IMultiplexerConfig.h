#pragma once
// IMultiplexerConfig: how a host sets up the multiplexer before it runs. Values take effect when
// the filter next starts streaming (pause from stopped).
//
// Slot order (after IUnknown's three) is fixed, because hosts call slots 6, 7 and 8 by position:
//   6 SetOutputFormat(2) then 7 SetVideoBitrate(30000000) and 8 SetAudioBitrate(448000) set up
//   high-definition program streams; SetOutputFormat(7) selects a transport stream.
#include "platform/com/unknown.h"

namespace outside {

// Output formats for SetOutputFormat.
inline constexpr LONG kMuxProgramStream = 0;    // MPEG-2 program stream, DVD-like buffers (default)
inline constexpr LONG kMuxProgramStreamHd = 2;  // program stream with high-definition video buffers
inline constexpr LONG kMuxTransportStream = 7;  // MPEG-2 transport stream

struct IMultiplexerConfig : IUnknown {
  PLATFORM_INTERFACE_ID("4D3DD460-6F79-11D3-B1AB-0080C84E9C15");
  // 1-5: what is set, and what the last run wrote.
  STDMETHOD(GetOutputFormat)(LONG* format) = 0;
  STDMETHOD(GetVideoBitrate)(LONG* bitsPerSecond) = 0;  // 0: not set
  STDMETHOD(GetAudioBitrate)(LONG* bitsPerSecond) = 0;  // 0: not set
  STDMETHOD(GetMuxRate)(LONG* bitsPerSecond) = 0;       // nominal rate the next run will use
  STDMETHOD(GetStatistics)(LONGLONG* bytesWritten, LONGLONG* lateUnits) = 0;
  // 6: kMuxProgramStream (1 is taken as the same), kMuxProgramStreamHd or kMuxTransportStream;
  // anything else is E_INVALIDARG.
  STDMETHOD(SetOutputFormat)(LONG format) = 0;
  // 7, 8: peak rates of the video stream and of each audio stream in bit/s (0 = not set); they
  // size the mux rate. Negative or absurd values (over 1 Gbit/s) are E_INVALIDARG.
  STDMETHOD(SetVideoBitrate)(LONG bitsPerSecond) = 0;
  STDMETHOD(SetAudioBitrate)(LONG bitsPerSecond) = 0;
};

}  // namespace outside
