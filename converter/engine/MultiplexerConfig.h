#pragma once
// The multiplexer's configuration interface, from the multiplexer vendor's own definition: the
// converter calls its 6th, 7th and 8th own methods with the values that set up high-definition
// program streams (2, 30000000, 448000) and its 6th with 7 for transport stream output.
#include "outside/muxer/IMultiplexerConfig.h"

using IMultiplexerSlots = outside::IMultiplexerConfig;

inline constexpr LONG kMuxHdFormat = 2;
inline constexpr LONG kMuxHdVideoRate = 30000000;
inline constexpr LONG kMuxHdAudioRate = 448000;
inline constexpr LONG kMuxTransportStream = 7;
