#pragma once
// The filter graph manager's interfaces: building (IFilterGraph, IGraphBuilder), control
// (IMediaControl) and events (IMediaEvent, IMediaEventEx), with the event codes.
#include "platform/dshow/Interfaces.h"
#include "platform/dshow/SeekingInterfaces.h"

using OAFilterState = LONG;
using OAHWND = LONG_PTR;
using OAEVENT = LONG_PTR;

// Event codes. EC_COMPLETE: every renderer has seen end of stream (param1 the status);
// EC_USERABORT: the user ended playback; EC_ERRORABORT: a streaming error stopped it (param1 the status).
inline constexpr LONG EC_COMPLETE = 0x01;
inline constexpr LONG EC_USERABORT = 0x02;
inline constexpr LONG EC_ERRORABORT = 0x03;
inline constexpr LONG EC_TIME = 0x04;
inline constexpr LONG EC_REPAINT = 0x05;
inline constexpr LONG EC_STREAM_ERROR_STOPPED = 0x06;
inline constexpr LONG EC_STREAM_ERROR_STILLPLAYING = 0x07;
inline constexpr LONG EC_ERROR_STILLPLAYING = 0x08;
inline constexpr LONG EC_SHUTTING_DOWN = 0x0C;
inline constexpr LONG EC_CLOCK_CHANGED = 0x0D;
inline constexpr LONG EC_PAUSED = 0x0E;
inline constexpr LONG EC_OPENING_FILE = 0x10;
inline constexpr LONG EC_BUFFERING_DATA = 0x11;
inline constexpr LONG EC_LENGTH_CHANGED = 0x1E;

struct IFilterGraph : IUnknown {
  PLATFORM_INTERFACE_ID("56A8689F-0AD4-11CE-B03A-0020AF0BA770");
  STDMETHOD(AddFilter)(IBaseFilter* filter, LPCWSTR name) = 0;
  STDMETHOD(RemoveFilter)(IBaseFilter* filter) = 0;
  STDMETHOD(EnumFilters)(IEnumFilters** filters) = 0;
  STDMETHOD(FindFilterByName)(LPCWSTR name, IBaseFilter** filter) = 0;
  STDMETHOD(ConnectDirect)(IPin* out, IPin* in, const AM_MEDIA_TYPE* type) = 0;
  STDMETHOD(Reconnect)(IPin* pin) = 0;
  STDMETHOD(Disconnect)(IPin* pin) = 0;
  STDMETHOD(SetDefaultSyncSource)() = 0;
};

struct IGraphBuilder : IFilterGraph {
  PLATFORM_INTERFACE_ID("56A868A9-0AD4-11CE-B03A-0020AF0BA770");
  STDMETHOD(Connect)(IPin* out, IPin* in) = 0;
  STDMETHOD(Render)(IPin* out) = 0;
  STDMETHOD(RenderFile)(LPCWSTR file, LPCWSTR playList) = 0;
  STDMETHOD(AddSourceFilter)(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter) = 0;
  STDMETHOD(SetLogFile)(DWORD_PTR file) = 0;
  STDMETHOD(Abort)() = 0;
  STDMETHOD(ShouldOperationContinue)() = 0;
};

struct IMediaControl : IUnknown {
  PLATFORM_INTERFACE_ID("56A868B1-0AD4-11CE-B03A-0020AF0BA770");
  STDMETHOD(Run)() = 0;
  STDMETHOD(Pause)() = 0;
  STDMETHOD(Stop)() = 0;
  STDMETHOD(GetState)(LONG msTimeout, OAFilterState* state) = 0;
  STDMETHOD(StopWhenReady)() = 0;
};

struct IMediaEvent : IUnknown {
  PLATFORM_INTERFACE_ID("56A868B6-0AD4-11CE-B03A-0020AF0BA770");
  STDMETHOD(GetEventHandle)(OAEVENT* event) = 0;
  // E_ABORT when no event arrives within msTimeout (0: do not wait; INFINITE_TIMEOUT: wait for ever).
  STDMETHOD(GetEvent)(LONG* eventCode, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout) = 0;
  STDMETHOD(WaitForCompletion)(LONG msTimeout, LONG* eventCode) = 0;
  STDMETHOD(CancelDefaultHandling)(LONG eventCode) = 0;
  STDMETHOD(RestoreDefaultHandling)(LONG eventCode) = 0;
  STDMETHOD(FreeEventParams)(LONG eventCode, LONG_PTR param1, LONG_PTR param2) = 0;
};

inline constexpr LONG AM_MEDIAEVENT_NONOTIFY = 0x01;
inline constexpr LONG INFINITE_TIMEOUT = -1;

struct IMediaEventEx : IMediaEvent {
  PLATFORM_INTERFACE_ID("56A868C0-0AD4-11CE-B03A-0020AF0BA770");
  // Every queued event posts message msg (wParam 0, lParam instanceData) to the window.
  STDMETHOD(SetNotifyWindow)(OAHWND window, LONG msg, LONG_PTR instanceData) = 0;
  STDMETHOD(SetNotifyFlags)(LONG flags) = 0;
  STDMETHOD(GetNotifyFlags)(LONG* flags) = 0;
};
