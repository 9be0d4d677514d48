#pragma once
// Ac3AnalyzerFilter: a pass-through for AC3 audio that re-cuts whatever it receives into whole
// frames, one frame per output sample, each stamped with its presentation time (start and stop)
// and marked as a sync point. Pins "In" and "Out", both MEDIATYPE_Audio / MEDIASUBTYPE_DOLBY_AC3.
//
// The cutter runs on the streaming thread under the transform filter's receive lock; a flush or a
// new run forgets a partial frame and the time base.
#include "outside/ac3analyzer/Ac3FrameCutter.h"
#include "platform/dshow/TransformFilter.h"

namespace outside {

// {C944FCA1-873A-48E6-BCB3-667AF021B5A2}
inline constexpr CLSID CLSID_Ac3FrameAnalyzer = MakeGuid("{C944FCA1-873A-48E6-BCB3-667AF021B5A2}");
inline constexpr const char* kAc3AnalyzerName = "AC3 Frame Analyzer";

class Ac3AnalyzerFilter final : public CTransformFilter, private Ac3FrameSink {
 public:
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

  CBasePin* GetPin(int n) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* vendorInfo) override;

  HRESULT CheckInputType(const CMediaType* type) override;
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT StartStreaming() override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndFlush() override;

 private:
  Ac3AnalyzerFilter();
  ~Ac3AnalyzerFilter() override;
  HRESULT OnFrame(const std::uint8_t* data, std::size_t size, std::int64_t start, std::int64_t stop,
                  bool discontinuity) override;

  Ac3FrameCutter m_cutter;
};

}  // namespace outside
