#include "platform/filters/Mpeg2VideoAnalyzer.h"

#include <cstdint>
#include <cstring>

namespace {
constexpr BYTE kPictureStart = 0x00;
constexpr BYTE kSequenceHeader = 0xB3;
constexpr BYTE kGroupStart = 0xB8;
constexpr int kIntraCoded = 1;
}  // namespace

namespace {

// The first place at or after p where two zero bytes follow each other (a start code's prefix),
// looking at eight bytes at a time: MPEG-2 picture data has many single zero bytes but few pairs.
const BYTE* FindZeroPair(const BYTE* p, const BYTE* end) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  while (end - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    const std::uint64_t zeros = ~(((word & kLow7) + kLow7) | word | kLow7);  // 0x80 in each zero byte
    const std::uint64_t pairs = zeros & (zeros >> 8);                        // a zero byte followed by one
    if (pairs != 0) return p + __builtin_ctzll(pairs) / 8;
    // A zero in the last byte may begin a pair with the next word's first.
    p += (zeros >> 63) ? 7 : 8;
  }
  for (; end - p >= 2; ++p)
    if (p[0] == 0 && p[1] == 0) return p;
  return end;
}

}  // namespace

bool Mpeg2VideoAnalyzer::StartsDecodableData(const BYTE* data, long size) {
  if (!data || size < 4) return false;
  const BYTE* end = data + size;
  for (const BYTE* p = FindZeroPair(data, end); end - p >= 4; p = FindZeroPair(p + 1, end)) {
    if (p[2] != 1) continue;
    const BYTE code = p[3];
    if (code == kSequenceHeader || code == kGroupStart) return true;
    // picture_header: temporal_reference (10 bits) then picture_coding_type (3 bits).
    if (code == kPictureStart && end - p > 5 && ((p[5] >> 3) & 0x07) == kIntraCoded) return true;
  }
  return false;
}

AnalyzerInputPin::AnalyzerInputPin(Mpeg2VideoAnalyzer* filter, CCritSec* lock, HRESULT* result)
    : CBaseInputPin("Video analyzer input", filter, lock, result, u"in"), m_analyzer(filter) {}

HRESULT AnalyzerInputPin::CheckMediaType(const CMediaType* type) {
  if (!type) return E_POINTER;
  if (*type->Type() != MEDIATYPE_Video || *type->Subtype() != MEDIASUBTYPE_MPEG2_VIDEO) return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT AnalyzerInputPin::GetMediaType(int position, CMediaType* type) {
  if (!type) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  type->InitMediaType();
  type->SetType(&MEDIATYPE_Video);
  type->SetSubtype(&MEDIASUBTYPE_MPEG2_VIDEO);
  return S_OK;
}

STDMETHODIMP AnalyzerInputPin::Receive(IMediaSample* sample) {
  CAutoLock lock(m_analyzer->ReceiveLock());
  HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  sample->SetSyncPoint(Mpeg2VideoAnalyzer::StartsDecodableData(data, sample->GetActualDataLength()) ? TRUE : FALSE);
  return m_analyzer->Output()->PassOn(sample);
}

STDMETHODIMP AnalyzerInputPin::EndOfStream() {
  CAutoLock lock(m_analyzer->ReceiveLock());
  PassThroughOutputPin* out = m_analyzer->Output();
  return out->IsConnected() ? out->DeliverEndOfStream() : S_OK;
}

STDMETHODIMP AnalyzerInputPin::BeginFlush() {
  CBaseInputPin::BeginFlush();
  PassThroughOutputPin* out = m_analyzer->Output();
  return out->IsConnected() ? out->DeliverBeginFlush() : S_OK;
}

STDMETHODIMP AnalyzerInputPin::EndFlush() {
  PassThroughOutputPin* out = m_analyzer->Output();
  if (out->IsConnected()) out->DeliverEndFlush();
  return CBaseInputPin::EndFlush();
}

STDMETHODIMP AnalyzerInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  CBasePin::NewSegment(start, stop, rate);
  PassThroughOutputPin* out = m_analyzer->Output();
  return out->IsConnected() ? out->DeliverNewSegment(start, stop, rate) : S_OK;
}

HRESULT Mpeg2VideoAnalyzer::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* filter = new Mpeg2VideoAnalyzer(nullptr);
  filter->NonDelegatingAddRef();
  HRESULT hr = filter->NonDelegatingQueryInterface(riid, ppv);
  filter->NonDelegatingRelease();
  return hr;
}

Mpeg2VideoAnalyzer::Mpeg2VideoAnalyzer(IUnknown* outer)
    : CBaseFilter("MPEG-2 Video Analyzer Filter", outer, &m_lock, CLSID_MPEG2VideoAnalyzer) {
  HRESULT hr = S_OK;
  m_input = std::make_unique<AnalyzerInputPin>(this, &m_lock, &hr);
  m_output = std::make_unique<PassThroughOutputPin>("Video analyzer output", this, &m_lock, &hr, u"out", m_input.get());
}

Mpeg2VideoAnalyzer::~Mpeg2VideoAnalyzer() = default;

CBasePin* Mpeg2VideoAnalyzer::GetPin(int n) {
  if (n == 0) return m_input.get();
  if (n == 1) return m_output.get();
  return nullptr;
}
