#pragma once
// Flumetta's source filter: one transport-stream file, analysed at Load, delivered by its one
// output pin, with the demultiplexer behind it configured by the filter itself. It answers
// ITsSourceInfo for hosts and property pages.
//
// Locks: the analysis state's filter lock guards the file, tables, model and settings; the pin's
// lock guards the examiner and seeking state and is always taken first. The source base's state
// lock is taken only by connection and state changes.
#include <atomic>
#include <string>

#include "platform/com/module.h"
#include "platform/dshow/Interfaces.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/MediaType.h"
#include "platform/dshow/Source.h"
#include "shared/TsSourceInfo.h"
#include "tsfilter/analysis/TsFilterState.h"

struct IMpeg2Demultiplexer;

namespace tsfilter {

class TsOutputPin;

class TsSourceFilter final : public CSource,
                             public IFileSourceFilter,
                             public IAMFilterMiscFlags,
                             public ISpecifyPropertyPages,
                             public IAMStreamSelect,
                             public ITsSourceInfo {
 public:
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
  // The module's count of live objects (DllCanUnloadNow); each filter counts while it lives.
  static void SetModuleObjectCount(ModuleObjectCount* count) { s_objectCount = count; }

  TsSourceFilter(IUnknown* outer, HRESULT* result);
  ~TsSourceFilter() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IBaseFilter
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* vendorInfo) override;
  // IMediaFilter: with PCRClock off, a clock given after the graph asked for the filter's flags
  // is passed on: the graph runs on the first other filter's clock (not the demultiplexer's).
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;

  // IFileSourceFilter
  STDMETHODIMP Load(LPCWSTR fileName, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) override;

  // IAMFilterMiscFlags
  STDMETHODIMP_(ULONG) GetMiscFlags() override;

  // ISpecifyPropertyPages
  STDMETHODIMP GetPages(CAUUID* pages) override;

  // IAMStreamSelect
  STDMETHODIMP Count(DWORD* streams) override;
  STDMETHODIMP Info(LONG index, AM_MEDIA_TYPE** type, DWORD* flags, LCID* lcid, DWORD* group, WCHAR** name,
                    IUnknown** object, IUnknown** unk) override;
  STDMETHODIMP Enable(LONG index, DWORD flags) override;

  // ITsSourceInfo
  STDMETHODIMP GetTransportStreamId(WORD* transportStreamId) override;
  STDMETHODIMP GetPatVersion(BYTE* version) override;
  STDMETHODIMP GetProgramCount(DWORD* count) override;
  STDMETHODIMP GetProgramNumber(LONG index, WORD* programNumber) override;
  STDMETHODIMP GetProgramPmtPid(LONG index, WORD* pmtPid) override;
  STDMETHODIMP GetPmtPid(WORD programNumber, WORD* pmtPid) override;
  STDMETHODIMP GetPmtVersion(WORD programNumber, BYTE* version) override;
  STDMETHODIMP GetStreamCount(WORD programNumber, WORD* count) override;
  STDMETHODIMP GetStreamType(WORD programNumber, DWORD streamIndex, BYTE* streamType) override;
  STDMETHODIMP GetStreamPid(WORD programNumber, DWORD streamIndex, WORD* pid) override;
  STDMETHODIMP GetAttribute(LPCWSTR key, LPWSTR* answer) override;

  TsFilterState& Analysis() { return m_analysis; }
  TsOutputPin* OutputPin() { return m_pin; }

  // Connection of the output pin: configures the demultiplexer behind it (CompleteConnect) and
  // forgets it again (BreakConnect).
  HRESULT SetUpDemultiplexer(IPin* receivePin);
  void ForgetDemultiplexer(bool connectionBroken);

  // Maps the video PID and the given audio track (or unmaps the selected one when there is none)
  // on the demultiplexer's pins.
  HRESULT MapPids(const AudioTrack* track, std::uint16_t videoPid);

 private:
  class Host;
  class Attributes;

  HRESULT ConfigureDemux(IBaseFilter* demux);
  HRESULT CreateDemuxPin(IMpeg2Demultiplexer* demux, int kind);
  void AddNvidiaDemux();
  void RegisterGraphEntry();
  void RevokeGraphEntry();
  void RegisterFilterEntry();
  void RevokeFilterEntry();

  static inline ModuleObjectCount* s_objectCount = nullptr;

  TsFilterState m_analysis;
  Host* m_host = nullptr;
  TsOutputPin* m_pin = nullptr;  // owned by the source base
  std::u16string m_wideName;
  std::string m_loadedName;
  CMediaType m_mediaType;
  bool m_hasFile = false;
  IBaseFilter* m_demux = nullptr;  // counted
  bool m_allowGraphEdit = false;
  std::atomic<bool> m_clockRequested{false};  // set by the graph's flags request, on any thread
  DWORD m_graphCookie = 0;
  DWORD m_filterCookie = 0;
};

}  // namespace tsfilter
