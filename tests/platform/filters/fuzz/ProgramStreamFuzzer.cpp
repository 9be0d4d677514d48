// Reads arbitrary bytes as a program stream: the probe that finds its streams, the reader that
// cuts their packets (in blocks of a size taken from the input, with a seek's trim and a stop's
// end armed), and the timeline's measurement and bisections over the bytes. Any crash, hang,
// out-of-range read or undefined behaviour is a finding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/dshow/ComBase.h"
#include "platform/filters/ProgramStreamReader.h"
#include "platform/filters/ProgramStreamTimeline.h"

namespace {

class NullSink : public IPesUnitSink {
 public:
  HRESULT DeliverPesUnit(std::size_t, const PesUnit& unit) override {
    // Touch every byte, so that a unit reaching past its packet is seen.
    for (std::size_t i = 0; i < unit.size; ++i) m_sum += unit.data[i];
    return S_OK;
  }
  unsigned m_sum = 0;
};

// The bytes as a pull source, as the file source offers them.
class MemoryReader final : public IAsyncReader {
 public:
  MemoryReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
  STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP RequestAllocator(IMemAllocator*, ALLOCATOR_PROPERTIES*, IMemAllocator**) override { return E_NOTIMPL; }
  STDMETHODIMP Request(IMediaSample*, DWORD_PTR) override { return E_NOTIMPL; }
  STDMETHODIMP WaitForNext(DWORD, IMediaSample**, DWORD_PTR*) override { return E_NOTIMPL; }
  STDMETHODIMP SyncReadAligned(IMediaSample*) override { return E_NOTIMPL; }
  STDMETHODIMP SyncRead(LONGLONG position, LONG length, BYTE* buffer) override {
    if (position < 0 || length < 0) return E_INVALIDARG;
    if (static_cast<std::uint64_t>(position) + static_cast<std::uint64_t>(length) > m_size) return S_FALSE;
    std::memcpy(buffer, m_data + position, static_cast<std::size_t>(length));
    return S_OK;
  }
  STDMETHODIMP Length(LONGLONG* total, LONGLONG* available) override {
    *total = *available = static_cast<LONGLONG>(m_size);
    return S_OK;
  }
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }

 private:
  const std::uint8_t* m_data;
  std::size_t m_size;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<PsStreamInfo> streams;
  ProgramStreamReader::Probe(data, size, &streams);

  NullSink sink;
  ProgramStreamReader reader(sink);
  for (std::size_t i = 0; i < streams.size(); ++i) reader.MapStream(streams[i].key, i);
  reader.MapStream(0xE0, 0);
  reader.MapStream(0xBD80, 1);
  const std::size_t block = size > 0 ? 1 + data[size - 1] * 37u : 1;
  const PsStreamKind kind = streams.empty() ? PsStreamKind::Mpeg2Video : streams[0].kind;
  if (size > 1 && (data[size - 2] & 1)) reader.TrimUntilCleanStart(0xE0, kind);
  for (std::size_t pos = 0; pos < size; pos += block) {
    if (pos >= size / 2 && pos < size / 2 + block && (size & 1)) reader.EndBeforeNextPicture(0xE0, kind);
    reader.Push(data + pos, std::min(block, size - pos));
  }
  reader.EndOfStream();

  if (!streams.empty()) {
    MemoryReader memory(data, size);
    ProgramStreamTimeline timeline;
    if (SUCCEEDED(timeline.Measure(&memory, streams[0].key, streams[0].kind))) {
      for (std::int64_t ticks : {std::int64_t{-1}, std::int64_t{0}, timeline.Duration() / 3, timeline.Duration(),
                                 timeline.Duration() + 1}) {
        std::int64_t offset = 0;
        timeline.StartOffset(&memory, ticks, &offset);
        if (offset < 0 || offset > static_cast<std::int64_t>(size)) __builtin_trap();
        timeline.StopOffset(&memory, ticks, &offset);
        if (offset < 0 || offset > static_cast<std::int64_t>(size)) __builtin_trap();
      }
    }
  }
  return 0;
}
