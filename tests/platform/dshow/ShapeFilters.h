#pragma once
// Filters with the shapes of a conversion graph's pieces, for graph-building tests: a
// demultiplexer that makes its output pins when its input connects, an analyzer and a WAV
// writer (one input, one output, picky about types), a tee that grows a free output whenever
// one connects, and file sinks that accept anything and know their file name.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/wstring.h"
#include "platform/dshow/BaseInputPin.h"
#include "platform/dshow/BaseOutputPin.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/dshow.h"

namespace shapes {

using Accepts = std::function<bool(const CMediaType&)>;

inline CMediaType MakeType(const GUID& major, const GUID& sub, const GUID& format = GUID_NULL) {
  CMediaType type(&major);
  type.SetSubtype(&sub);
  type.SetFormatType(&format);
  return type;
}

class ShapeFilter;

class ShapeInputPin : public CBaseInputPin {
 public:
  ShapeInputPin(ShapeFilter* filter, CCritSec* lock, LPCWSTR name, Accepts accepts);
  HRESULT CheckMediaType(const CMediaType* type) override { return m_accepts(*type) ? S_OK : S_FALSE; }
  HRESULT CompleteConnect(IPin* pin) override;
  Accepts m_accepts;
  ShapeFilter* m_shape;
};

class ShapeOutputPin : public CBaseOutputPin {
 public:
  ShapeOutputPin(ShapeFilter* filter, CCritSec* lock, LPCWSTR name, CMediaType offered);
  HRESULT CheckMediaType(const CMediaType* type) override { return *type == Offered() ? S_OK : S_FALSE; }
  HRESULT GetMediaType(int position, CMediaType* type) override {
    if (position != 0) return VFW_S_NO_MORE_ITEMS;
    *type = Offered();
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    request->cBuffers = 1;
    request->cbBuffer = 4096;
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(request, &actual);
  }
  HRESULT CompleteConnect(IPin* pin) override;
  CMediaType Offered() const;
  CMediaType m_offered;
  bool m_followsInput = false;  // a tee's outputs offer whatever the input got
  ShapeFilter* m_shape;
};

class ShapeFilter : public CBaseFilter, public IFileSinkFilter {
 public:
  ShapeFilter() : CBaseFilter("shape", nullptr, &m_lock, GUID_NULL) {}
  ~ShapeFilter() override = default;
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IFileSinkFilter::kIid && m_isFileSink) return GetInterface(static_cast<IFileSinkFilter*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
  }
  int GetPinCount() override { return static_cast<int>(m_pins.size()); }
  CBasePin* GetPin(int n) override { return n >= 0 && n < GetPinCount() ? m_pins[static_cast<size_t>(n)].get() : nullptr; }

  STDMETHODIMP SetFileName(LPCWSTR name, const AM_MEDIA_TYPE*) override {
    m_fileName = name ? name : u"";
    return S_OK;
  }
  STDMETHODIMP GetCurFile(LPWSTR* name, AM_MEDIA_TYPE* type) override {
    if (!name) return E_POINTER;
    *name = m_fileName.empty() ? nullptr : CoTaskMemDupWide(m_fileName);
    if (type) std::memset(type, 0, sizeof(*type));
    return S_OK;
  }

  ShapeInputPin* AddInput(LPCWSTR name, Accepts accepts) {
    auto* pin = new ShapeInputPin(this, &m_lock, name, std::move(accepts));
    m_pins.emplace_back(pin);
    IncrementPinVersion();
    return pin;
  }
  ShapeOutputPin* AddOutput(LPCWSTR name, CMediaType offered) {
    auto* pin = new ShapeOutputPin(this, &m_lock, name, std::move(offered));
    m_pins.emplace_back(pin);
    IncrementPinVersion();
    return pin;
  }
  CBasePin* Pin(const std::u16string& name) {
    for (auto& p : m_pins)
      if (name == p->Name()) return p.get();
    return nullptr;
  }
  // Name of the filter connected to pin `name`, "" when none.
  std::u16string PeerFilterName(const std::u16string& name) {
    CBasePin* pin = Pin(name);
    if (!pin || !pin->GetConnected()) return u"";
    PIN_INFO info{};
    pin->GetConnected()->QueryPinInfo(&info);
    FILTER_INFO filterInfo{};
    info.pFilter->QueryFilterInfo(&filterInfo);
    info.pFilter->Release();
    if (filterInfo.pGraph) filterInfo.pGraph->Release();
    return filterInfo.achName;
  }
  IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }

  CCritSec m_lock;
  std::vector<std::unique_ptr<CBasePin>> m_pins;
  std::u16string m_fileName;
  bool m_isFileSink = false;
  std::function<void(ShapeFilter*)> m_onInputConnected;
  bool m_growsOutputs = false;
  int m_outputsMade = 0;
};

inline ShapeInputPin::ShapeInputPin(ShapeFilter* filter, CCritSec* lock, LPCWSTR name, Accepts accepts)
    : CBaseInputPin("shape in", filter, lock, nullptr, name), m_accepts(std::move(accepts)), m_shape(filter) {}

inline HRESULT ShapeInputPin::CompleteConnect(IPin* pin) {
  HRESULT hr = CBaseInputPin::CompleteConnect(pin);
  if (SUCCEEDED(hr) && m_shape->m_onInputConnected) m_shape->m_onInputConnected(m_shape);
  return hr;
}

inline ShapeOutputPin::ShapeOutputPin(ShapeFilter* filter, CCritSec* lock, LPCWSTR name, CMediaType offered)
    : CBaseOutputPin("shape out", filter, lock, nullptr, name), m_offered(std::move(offered)), m_shape(filter) {}

inline CMediaType ShapeOutputPin::Offered() const {
  if (!m_followsInput) return m_offered;
  for (auto& p : m_shape->m_pins) {
    PIN_DIRECTION dir;
    p->QueryDirection(&dir);
    if (dir == PINDIR_INPUT && p->IsConnected()) return p->CurrentMediaType();
  }
  return CMediaType();
}

inline HRESULT ShapeOutputPin::CompleteConnect(IPin* pin) {
  HRESULT hr = CBaseOutputPin::CompleteConnect(pin);
  if (FAILED(hr) || !m_shape->m_growsOutputs) return hr;
  for (auto& p : m_shape->m_pins) {
    PIN_DIRECTION dir;
    p->QueryDirection(&dir);
    if (dir == PINDIR_OUTPUT && !p->IsConnected() && p.get() != this) return hr;
  }
  const std::string name = "Output" + std::to_string(++m_shape->m_outputsMade);
  m_shape->AddOutput(Utf8ToUtf16(name).c_str(), CMediaType())->m_followsInput = true;
  return hr;
}

inline ShapeFilter* Make() {
  auto* f = new ShapeFilter();
  f->NonDelegatingAddRef();
  return f;
}

inline Accepts AnyType() {
  return [](const CMediaType&) { return true; };
}
inline Accepts Subtype(const GUID& major, const GUID& sub) {
  return [major, sub](const CMediaType& t) { return t.majortype == major && t.subtype == sub; };
}

inline ShapeFilter* MakeDemux(CMediaType video, LPCWSTR videoName, CMediaType audio, LPCWSTR audioName) {
  ShapeFilter* f = Make();
  f->AddInput(u"MPEG-2 Stream", Subtype(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT));
  std::u16string v = videoName, a = audioName;
  f->m_onInputConnected = [video, v, audio, a](ShapeFilter* self) {
    if (!self->Pin(v)) self->AddOutput(v.c_str(), video);
    if (!self->Pin(a)) self->AddOutput(a.c_str(), audio);
  };
  return f;
}

inline ShapeFilter* MakeAnalyzer() {
  ShapeFilter* f = Make();
  f->AddInput(u"in", Subtype(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO));
  f->AddOutput(u"out", MakeType(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, FORMAT_MPEG2Video));
  return f;
}

inline ShapeFilter* MakeWavWriter() {
  ShapeFilter* f = Make();
  f->AddInput(u"In", [](const CMediaType& t) { return t.formattype == FORMAT_WaveFormatEx; });
  f->AddOutput(u"Out", MakeType(MEDIATYPE_Stream, MEDIASUBTYPE_WAVE));
  return f;
}

inline ShapeFilter* MakeTee() {
  ShapeFilter* f = Make();
  f->AddInput(u"Input", AnyType());
  f->AddOutput(u"Output1", CMediaType())->m_followsInput = true;
  f->m_outputsMade = 1;
  f->m_growsOutputs = true;
  return f;
}

inline ShapeFilter* MakeFileSink(const char16_t* fileName) {
  ShapeFilter* f = Make();
  f->AddInput(u"Input", AnyType());
  f->m_isFileSink = true;
  if (fileName) f->m_fileName = fileName;
  return f;
}

}  // namespace shapes
