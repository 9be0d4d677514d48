#pragma once
// The multiplexer's configuration interface as the converter knows it: an outside vendor's
// interface of which only its 6th, 7th and 8th own methods are called, by position, with the
// values that set up high-definition program streams (2, 30000000, 448000) and transport stream
// output (7 through the 6th). The first five slots are never called.
#include "platform/com/unknown.h"

struct IMultiplexerSlots : IUnknown {
  PLATFORM_INTERFACE_ID("4D3DD460-6F79-11D3-B1AB-0080C84E9C15");
  STDMETHOD(Slot1)(void*) = 0;
  STDMETHOD(Slot2)(void*) = 0;
  STDMETHOD(Slot3)(void*) = 0;
  STDMETHOD(Slot4)(void*) = 0;
  STDMETHOD(Slot5)(void*, void*) = 0;
  STDMETHOD(Slot6)(LONG value) = 0;
  STDMETHOD(Slot7)(LONG value) = 0;
  STDMETHOD(Slot8)(LONG value) = 0;
};

inline constexpr LONG kMuxHdFormat = 2;
inline constexpr LONG kMuxHdVideoRate = 30000000;
inline constexpr LONG kMuxHdAudioRate = 448000;
inline constexpr LONG kMuxTransportStream = 7;
