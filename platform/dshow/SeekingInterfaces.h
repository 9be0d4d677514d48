#pragma once
// IMediaSeeking: positions in the selected time format (media time, 100-ns units, unless a
// filter offers another), with the AM_SEEKING flags and capabilities.
#include "platform/dshow/Interfaces.h"

enum AM_SEEKING_SEEKING_FLAGS : DWORD {
  AM_SEEKING_NoPositioning = 0x0,
  AM_SEEKING_AbsolutePositioning = 0x1,
  AM_SEEKING_RelativePositioning = 0x2,
  AM_SEEKING_IncrementalPositioning = 0x3,
  AM_SEEKING_PositioningBitsMask = 0x3,
  AM_SEEKING_SeekToKeyFrame = 0x4,
  AM_SEEKING_ReturnTime = 0x8,
  AM_SEEKING_Segment = 0x10,
  AM_SEEKING_NoFlush = 0x20,
};

enum AM_SEEKING_SEEKING_CAPABILITIES : DWORD {
  AM_SEEKING_CanSeekAbsolute = 0x1,
  AM_SEEKING_CanSeekForwards = 0x2,
  AM_SEEKING_CanSeekBackwards = 0x4,
  AM_SEEKING_CanGetCurrentPos = 0x8,
  AM_SEEKING_CanGetStopPos = 0x10,
  AM_SEEKING_CanGetDuration = 0x20,
  AM_SEEKING_CanPlayBackwards = 0x40,
  AM_SEEKING_CanDoSegments = 0x80,
  AM_SEEKING_Source = 0x100,
};

struct IMediaSeeking : IUnknown {
  PLATFORM_INTERFACE_ID("36B73880-C2C8-11CF-8B46-00805F6CEF60");
  STDMETHOD(GetCapabilities)(DWORD* capabilities) = 0;
  STDMETHOD(CheckCapabilities)(DWORD* capabilities) = 0;
  STDMETHOD(IsFormatSupported)(const GUID* format) = 0;
  STDMETHOD(QueryPreferredFormat)(GUID* format) = 0;
  STDMETHOD(GetTimeFormat)(GUID* format) = 0;
  STDMETHOD(IsUsingTimeFormat)(const GUID* format) = 0;
  STDMETHOD(SetTimeFormat)(const GUID* format) = 0;
  STDMETHOD(GetDuration)(LONGLONG* duration) = 0;
  STDMETHOD(GetStopPosition)(LONGLONG* stop) = 0;
  STDMETHOD(GetCurrentPosition)(LONGLONG* current) = 0;
  STDMETHOD(ConvertTimeFormat)(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                               const GUID* sourceFormat) = 0;
  STDMETHOD(SetPositions)(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) = 0;
  STDMETHOD(GetPositions)(LONGLONG* current, LONGLONG* stop) = 0;
  STDMETHOD(GetAvailable)(LONGLONG* earliest, LONGLONG* latest) = 0;
  STDMETHOD(SetRate)(double rate) = 0;
  STDMETHOD(GetRate)(double* rate) = 0;
  STDMETHOD(GetPreroll)(LONGLONG* preroll) = 0;
};
