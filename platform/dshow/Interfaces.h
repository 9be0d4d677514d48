#pragma once
// The streaming interfaces of the media framework: filters, pins, samples, allocators, clocks
// and their enumerators. Slot order is the declaration order; the push model applies: an output
// pin delivers by calling the connected input pin's IMemInputPin::Receive on its streaming thread.
#include "platform/com/unknown.h"
#include "platform/dshow/Errors.h"
#include "platform/dshow/MediaType.h"

inline constexpr int MAX_PIN_NAME = 128;
inline constexpr int MAX_FILTER_NAME = 128;

inline constexpr HRESULT VFW_S_NO_STOP_TIME = MakeHresult(0x00040270u);

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

struct IBaseFilter;
struct IFilterGraph;
struct IEnumPins;
struct IEnumMediaTypes;
struct IEnumFilters;
struct IMemAllocator;
struct IReferenceClock;

struct PIN_INFO {
  IBaseFilter* pFilter;  // counted reference; the caller releases it
  PIN_DIRECTION dir;
  WCHAR achName[MAX_PIN_NAME];
};

struct FILTER_INFO {
  WCHAR achName[MAX_FILTER_NAME];
  IFilterGraph* pGraph;  // counted reference when not null; the caller releases it
};

struct ALLOCATOR_PROPERTIES {
  LONG cBuffers;
  LONG cbBuffer;
  LONG cbAlign;
  LONG cbPrefix;
};

using HEVENT = DWORD_PTR;      // an event to signal: a CAMEvent* here
using HSEMAPHORE = DWORD_PTR;  // a semaphore to release periodically: a CAMEvent* here

struct IPersist : IUnknown {
  PLATFORM_INTERFACE_ID("0000010C-0000-0000-C000-000000000046");
  STDMETHOD(GetClassID)(CLSID* classId) = 0;
};

struct IReferenceClock : IUnknown {
  PLATFORM_INTERFACE_ID("56A86897-0AD4-11CE-B03A-0020AF0BA770");
  STDMETHOD(GetTime)(REFERENCE_TIME* time) = 0;
  STDMETHOD(AdviseTime)(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event, DWORD_PTR* cookie) = 0;
  STDMETHOD(AdvisePeriodic)(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HSEMAPHORE semaphore,
                            DWORD_PTR* cookie) = 0;
  STDMETHOD(Unadvise)(DWORD_PTR cookie) = 0;
};

struct IMediaFilter : IPersist {
  PLATFORM_INTERFACE_ID("56A86899-0AD4-11CE-B03A-0020AF0BA770");
  STDMETHOD(Stop)() = 0;
  STDMETHOD(Pause)() = 0;
  STDMETHOD(Run)(REFERENCE_TIME start) = 0;
  STDMETHOD(GetState)(DWORD milliSecsTimeout, FILTER_STATE* state) = 0;
  STDMETHOD(SetSyncSource)(IReferenceClock* clock) = 0;
  STDMETHOD(GetSyncSource)(IReferenceClock** clock) = 0;
};

struct IBaseFilter : IMediaFilter {
  PLATFORM_INTERFACE_ID("56A86895-0AD4-11CE-B03A-0020AF0BA770");
  STDMETHOD(EnumPins)(IEnumPins** pins) = 0;
  STDMETHOD(FindPin)(LPCWSTR id, struct IPin** pin) = 0;
  STDMETHOD(QueryFilterInfo)(FILTER_INFO* info) = 0;
  STDMETHOD(JoinFilterGraph)(IFilterGraph* graph, LPCWSTR name) = 0;
  STDMETHOD(QueryVendorInfo)(LPWSTR* vendorInfo) = 0;
};

struct IPin : IUnknown {
  PLATFORM_INTERFACE_ID("56A86891-0AD4-11CE-B03A-0020AF0BA770");
  STDMETHOD(Connect)(IPin* receivePin, const AM_MEDIA_TYPE* type) = 0;
  STDMETHOD(ReceiveConnection)(IPin* connector, const AM_MEDIA_TYPE* type) = 0;
  STDMETHOD(Disconnect)() = 0;
  STDMETHOD(ConnectedTo)(IPin** pin) = 0;
  STDMETHOD(ConnectionMediaType)(AM_MEDIA_TYPE* type) = 0;
  STDMETHOD(QueryPinInfo)(PIN_INFO* info) = 0;
  STDMETHOD(QueryDirection)(PIN_DIRECTION* direction) = 0;
  STDMETHOD(QueryId)(LPWSTR* id) = 0;
  STDMETHOD(QueryAccept)(const AM_MEDIA_TYPE* type) = 0;
  STDMETHOD(EnumMediaTypes)(IEnumMediaTypes** types) = 0;
  STDMETHOD(QueryInternalConnections)(IPin** pins, ULONG* count) = 0;
  STDMETHOD(EndOfStream)() = 0;
  STDMETHOD(BeginFlush)() = 0;
  STDMETHOD(EndFlush)() = 0;
  STDMETHOD(NewSegment)(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) = 0;
};

struct IEnumPins : IUnknown {
  PLATFORM_INTERFACE_ID("56A86892-0AD4-11CE-B03A-0020AF0BA770");
  STDMETHOD(Next)(ULONG count, IPin** pins, ULONG* fetched) = 0;
  STDMETHOD(Skip)(ULONG count) = 0;
  STDMETHOD(Reset)() = 0;
  STDMETHOD(Clone)(IEnumPins** copy) = 0;
};

// Next hands out types made with CreateMediaType; the caller frees each with DeleteMediaType.
struct IEnumMediaTypes : IUnknown {
  PLATFORM_INTERFACE_ID("89C31040-846B-11CE-97D3-00AA0055595A");
  STDMETHOD(Next)(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) = 0;
  STDMETHOD(Skip)(ULONG count) = 0;
  STDMETHOD(Reset)() = 0;
  STDMETHOD(Clone)(IEnumMediaTypes** copy) = 0;
};

struct IEnumFilters : IUnknown {
  PLATFORM_INTERFACE_ID("56A86893-0AD4-11CE-B03A-0020AF0BA770");
  STDMETHOD(Next)(ULONG count, IBaseFilter** filters, ULONG* fetched) = 0;
  STDMETHOD(Skip)(ULONG count) = 0;
  STDMETHOD(Reset)() = 0;
  STDMETHOD(Clone)(IEnumFilters** copy) = 0;
};

// A buffer with its properties. Times are 100-ns units; the media time is the sample's second
// pair of times (the demultiplexer puts the decode time there).
struct IMediaSample : IUnknown {
  PLATFORM_INTERFACE_ID("56A8689A-0AD4-11CE-B03A-0020AF0BA770");
  STDMETHOD(GetPointer)(BYTE** buffer) = 0;
  STDMETHOD_(LONG, GetSize)() = 0;
  STDMETHOD(GetTime)(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
  STDMETHOD(SetTime)(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
  STDMETHOD(IsSyncPoint)() = 0;
  STDMETHOD(SetSyncPoint)(BOOL isSyncPoint) = 0;
  STDMETHOD(IsPreroll)() = 0;
  STDMETHOD(SetPreroll)(BOOL isPreroll) = 0;
  STDMETHOD_(LONG, GetActualDataLength)() = 0;
  STDMETHOD(SetActualDataLength)(LONG length) = 0;
  STDMETHOD(GetMediaType)(AM_MEDIA_TYPE** type) = 0;
  STDMETHOD(SetMediaType)(AM_MEDIA_TYPE* type) = 0;
  STDMETHOD(IsDiscontinuity)() = 0;
  STDMETHOD(SetDiscontinuity)(BOOL isDiscontinuity) = 0;
  STDMETHOD(GetMediaTime)(LONGLONG* start, LONGLONG* end) = 0;
  STDMETHOD(SetMediaTime)(LONGLONG* start, LONGLONG* end) = 0;
};

inline constexpr DWORD AM_GBF_PREVFRAMESKIPPED = 1;
inline constexpr DWORD AM_GBF_NOTASYNCPOINT = 2;
inline constexpr DWORD AM_GBF_NOWAIT = 4;

struct IMemAllocator : IUnknown {
  PLATFORM_INTERFACE_ID("56A8689C-0AD4-11CE-B03A-0020AF0BA770");
  STDMETHOD(SetProperties)(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) = 0;
  STDMETHOD(GetProperties)(ALLOCATOR_PROPERTIES* props) = 0;
  STDMETHOD(Commit)() = 0;
  STDMETHOD(Decommit)() = 0;
  STDMETHOD(GetBuffer)(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags) = 0;
  STDMETHOD(ReleaseBuffer)(IMediaSample* sample) = 0;
};

struct IMemInputPin : IUnknown {
  PLATFORM_INTERFACE_ID("56A8689D-0AD4-11CE-B03A-0020AF0BA770");
  STDMETHOD(GetAllocator)(IMemAllocator** allocator) = 0;
  STDMETHOD(NotifyAllocator)(IMemAllocator* allocator, BOOL readOnly) = 0;
  STDMETHOD(GetAllocatorRequirements)(ALLOCATOR_PROPERTIES* props) = 0;
  STDMETHOD(Receive)(IMediaSample* sample) = 0;
  STDMETHOD(ReceiveMultiple)(IMediaSample** samples, LONG count, LONG* processed) = 0;
  STDMETHOD(ReceiveCanBlock)() = 0;
};

// Filters report events (EC_COMPLETE, EC_ERRORABORT, ...) to the graph through this interface.
struct IMediaEventSink : IUnknown {
  PLATFORM_INTERFACE_ID("56A868A2-0AD4-11CE-B03A-0020AF0BA770");
  STDMETHOD(Notify)(LONG eventCode, LONG_PTR param1, LONG_PTR param2) = 0;
};

inline constexpr ULONG AM_FILTER_MISC_FLAGS_IS_RENDERER = 0x1;
inline constexpr ULONG AM_FILTER_MISC_FLAGS_IS_SOURCE = 0x2;

struct IAMFilterMiscFlags : IUnknown {
  PLATFORM_INTERFACE_ID("2DD74950-A890-11D1-ABE8-00A0C905F375");
  STDMETHOD_(ULONG, GetMiscFlags)() = 0;
};

using LCID = DWORD;
inline constexpr DWORD AMSTREAMSELECTINFO_ENABLED = 0x1;
inline constexpr DWORD AMSTREAMSELECTINFO_EXCLUSIVE = 0x2;
inline constexpr DWORD AMSTREAMSELECTENABLE_ENABLE = 0x1;
inline constexpr DWORD AMSTREAMSELECTENABLE_ENABLEALL = 0x2;

struct IAMStreamSelect : IUnknown {
  PLATFORM_INTERFACE_ID("C1960960-17F5-11D1-ABE1-00A0C905F375");
  STDMETHOD(Count)(DWORD* streams) = 0;
  STDMETHOD(Info)(LONG index, AM_MEDIA_TYPE** type, DWORD* flags, LCID* lcid, DWORD* group, WCHAR** name,
                  IUnknown** object, IUnknown** unk) = 0;
  STDMETHOD(Enable)(LONG index, DWORD flags) = 0;
};

// A counted array of GUIDs in task memory; the caller frees pElems with CoTaskMemFree.
struct CAUUID {
  ULONG cElems;
  GUID* pElems;
};

struct ISpecifyPropertyPages : IUnknown {
  PLATFORM_INTERFACE_ID("B196B28B-BAB4-101A-B69C-00AA00341D07");
  STDMETHOD(GetPages)(CAUUID* pages) = 0;
};
