#pragma once
// Configuration of the MPEG-2 demultiplexer in push mode: output pins made on request and PIDs
// mapped onto them.
#include "platform/dshow/Interfaces.h"

enum MEDIA_SAMPLE_CONTENT {
  MEDIA_TRANSPORT_PACKET = 0,   // whole transport packets
  MEDIA_ELEMENTARY_STREAM = 1,  // reassembled PES payload, PTS as start time, DTS as media time
  MEDIA_MPEG2_PSI = 2,
  MEDIA_TRANSPORT_PAYLOAD = 3,
};

struct PID_MAP {
  ULONG ulPID;
  MEDIA_SAMPLE_CONTENT MediaSampleContent;
};

struct IMpeg2Demultiplexer : IUnknown {
  PLATFORM_INTERFACE_ID("436EEE9C-264F-4242-90E1-4E330C107512");
  // A pin of an existing name fails with VFW_E_DUPLICATE_NAME.
  STDMETHOD(CreateOutputPin)(AM_MEDIA_TYPE* type, LPWSTR pinName, IPin** pin) = 0;
  STDMETHOD(SetOutputPinMediaType)(LPWSTR pinName, AM_MEDIA_TYPE* type) = 0;
  STDMETHOD(DeleteOutputPin)(LPWSTR pinName) = 0;
};

struct IEnumPIDMap : IUnknown {
  PLATFORM_INTERFACE_ID("AFB6C2A2-2C41-11D3-8A60-0000F81E0E4A");
  STDMETHOD(Next)(ULONG count, PID_MAP* maps, ULONG* fetched) = 0;
  STDMETHOD(Skip)(ULONG count) = 0;
  STDMETHOD(Reset)() = 0;
  STDMETHOD(Clone)(IEnumPIDMap** copy) = 0;
};

// Implemented by each output pin of the demultiplexer.
struct IMPEG2PIDMap : IUnknown {
  PLATFORM_INTERFACE_ID("AFB6C2A1-2C41-11D3-8A60-0000F81E0E4A");
  STDMETHOD(MapPID)(ULONG count, ULONG* pids, MEDIA_SAMPLE_CONTENT content) = 0;
  STDMETHOD(UnmapPID)(ULONG count, ULONG* pids) = 0;
  STDMETHOD(EnumPIDMap)(IEnumPIDMap** maps) = 0;
};
