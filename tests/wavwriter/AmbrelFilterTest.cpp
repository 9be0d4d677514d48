#include "wavwriter/AmbrelFilter.h"

#include <gtest/gtest.h>

#include "platform/com/comptr.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "tests/wavwriter/Ac3TestFrames.h"
#include "tests/wavwriter/GraphDoubles.h"
#include "tests/wavwriter/WavBytes.h"
#include "wavwriter/AmbrelGuids.h"

namespace {

CMediaType Ac3AudioType(const std::vector<BYTE>& format) {
  CMediaType type;
  type.SetType(&MEDIATYPE_Audio);
  type.SetSubtype(&MEDIASUBTYPE_DOLBY_AC3);
  type.SetFormatType(&FORMAT_WaveFormatEx);
  type.SetFormat(format.data(), static_cast<ULONG>(format.size()));
  return type;
}

const std::vector<BYTE> kDemuxFormat = MakeWaveFormat(0x2000, 2, 48000, 0, 1, 0);

ComPtr<IBaseFilter> NewAmbrel() {
  HRESULT hr = S_OK;
  CUnknown* object = AmbrelFilter::CreateInstance(nullptr, &hr);
  EXPECT_TRUE(object && SUCCEEDED(hr));
  ComPtr<IBaseFilter> filter;
  object->NonDelegatingQueryInterface(IBaseFilter::kIid, reinterpret_cast<void**>(filter.GetAddressOf()));
  return filter;
}

ComPtr<IPin> FindPin(IBaseFilter* filter, const char16_t* name) {
  ComPtr<IPin> pin;
  filter->FindPin(name, pin.GetAddressOf());
  return pin;
}

// source -> Ambrel -> memory sink, connected and ready to run.
struct Chain {
  explicit Chain(const std::vector<BYTE>& format = kDemuxFormat, SinkStream stream = SinkStream::kOffered)
      : sourceObject(new TestAudioSource(Ac3AudioType(format), 4, 8192)),
        sinkObject(new MemoryByteSink(stream)),
        source(sourceObject),
        sink(sinkObject),
        ambrel(NewAmbrel()) {
    EXPECT_EQ(sourceObject->OutputPin()->Connect(FindPin(ambrel.Get(), u"In").Get(), nullptr), S_OK);
    EXPECT_EQ(FindPin(ambrel.Get(), u"Out")->Connect(sinkObject->InputPin(), nullptr), S_OK);
  }
  // Connected pins hold their peers (and so the filters): break the links, as a graph does.
  ~Chain() {
    Stop();
    DisconnectAll({source.Get(), ambrel.Get(), sink.Get()});
  }
  HRESULT Run() {
    for (IBaseFilter* f : {sink.Get(), ambrel.Get(), source.Get()}) {
      HRESULT hr = f->Run(0);
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  }
  HRESULT Stop() {
    HRESULT result = S_OK;
    for (IBaseFilter* f : {source.Get(), ambrel.Get(), sink.Get()}) {
      HRESULT hr = f->Stop();
      if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
  }

  TestAudioSource* sourceObject;
  MemoryByteSink* sinkObject;
  ComPtr<IBaseFilter> source;
  ComPtr<IBaseFilter> sink;
  ComPtr<IBaseFilter> ambrel;
};

TEST(AmbrelFilterTest, IdentifiesItselfAndItsPages) {
  auto ambrel = NewAmbrel();
  ASSERT_TRUE(ambrel);
  CLSID clsid{};
  EXPECT_EQ(ambrel->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_Ambrel);
  EXPECT_TRUE(FindPin(ambrel.Get(), u"In"));
  EXPECT_TRUE(FindPin(ambrel.Get(), u"Out"));

  LPWSTR vendor = nullptr;
  ASSERT_EQ(ambrel->QueryVendorInfo(&vendor), S_OK);
  EXPECT_EQ(Utf16ToUtf8(vendor), "1.2.0.0");
  CoTaskMemFree(vendor);

  ComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(ambrel.As(&pages), S_OK);
  CAUUID list{};
  ASSERT_EQ(pages->GetPages(&list), S_OK);
  ASSERT_EQ(list.cElems, 1u);
  EXPECT_EQ(list.pElems[0], CLSID_AmbrelAboutPage);
  CoTaskMemFree(list.pElems);
}

TEST(AmbrelFilterTest, AcceptsAnyWaveFormatInputAndOffersOnlyAWaveByteStream) {
  Chain chain;
  auto in = FindPin(chain.ambrel.Get(), u"In");
  auto out = FindPin(chain.ambrel.Get(), u"Out");

  CMediaType pcm = Ac3AudioType(kDemuxFormat);
  pcm.SetSubtype(&MEDIASUBTYPE_PCM);
  CMediaType video = Ac3AudioType(kDemuxFormat);
  video.SetFormatType(&FORMAT_VideoInfo);
  CMediaType wave(&MEDIATYPE_Stream);
  wave.SetSubtype(&MEDIASUBTYPE_WAVE);
  CMediaType otherStream(&MEDIATYPE_Stream);
  otherStream.SetSubtype(&MEDIASUBTYPE_MPEG2_PROGRAM);
  const struct {
    const char* name;
    IPin* pin;
    const CMediaType* type;
    bool accepted;
  } cases[] = {
      {"input: any subtype with a WAVEFORMATEX", in.Get(), &pcm, true},
      {"input: another format type", in.Get(), &video, false},
      {"output: WAVE byte stream", out.Get(), &wave, true},
      {"output: another byte stream", out.Get(), &otherStream, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.pin->QueryAccept(c.type) == S_OK, c.accepted);
  }

  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(out->EnumMediaTypes(types.GetAddressOf()), S_OK);
  AM_MEDIA_TYPE* offered[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(types->Next(2, offered, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(offered[0]->majortype, MEDIATYPE_Stream);
  EXPECT_EQ(offered[0]->subtype, MEDIASUBTYPE_WAVE);
  DeleteMediaType(offered[0]);
}

TEST(AmbrelFilterTest, OutputBufferHoldsEverythingTheInputCanHaveOutstanding) {
  Chain chain;
  ComPtr<IMemInputPin> sinkInput;
  ASSERT_EQ(ComPtr<IPin>(chain.sinkObject->InputPin()).As(&sinkInput), S_OK);
  ComPtr<IMemAllocator> allocator;
  ASSERT_EQ(sinkInput->GetAllocator(allocator.GetAddressOf()), S_OK);
  ALLOCATOR_PROPERTIES props{};
  ASSERT_EQ(allocator->GetProperties(&props), S_OK);
  EXPECT_EQ(props.cBuffers, 1);
  EXPECT_EQ(props.cbBuffer, 4 * 8192);
}

// An allocator that grants less than it is asked for.
class StingyAllocator final : public ComObject<IMemAllocator> {
 public:
  StingyAllocator(LONG buffersShort, LONG bytesShort) : m_buffersShort(buffersShort), m_bytesShort(bytesShort) {}
  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override {
    *actual = *request;
    actual->cBuffers -= m_buffersShort;
    actual->cbBuffer -= m_bytesShort;
    return S_OK;
  }
  STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
  STDMETHODIMP Commit() override { return S_OK; }
  STDMETHODIMP Decommit() override { return S_OK; }
  STDMETHODIMP GetBuffer(IMediaSample**, REFERENCE_TIME*, REFERENCE_TIME*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP ReleaseBuffer(IMediaSample*) override { return E_NOTIMPL; }

 private:
  LONG m_buffersShort, m_bytesShort;
};

TEST(AmbrelFilterTest, BufferNegotiationFailures) {
  Chain connected;
  auto* connectedAmbrel = static_cast<AmbrelFilter*>(static_cast<CBaseFilter*>(connected.ambrel.Get()));
  auto unconnected = NewAmbrel();
  auto* unconnectedAmbrel = static_cast<AmbrelFilter*>(static_cast<CBaseFilter*>(unconnected.Get()));
  ComPtr<IMemAllocator> exact, fewer, smaller;
  exact.Attach(new StingyAllocator(0, 0));
  fewer.Attach(new StingyAllocator(1, 0));
  smaller.Attach(new StingyAllocator(0, 1));
  ALLOCATOR_PROPERTIES props{};
  const struct {
    const char* name;
    AmbrelFilter* filter;
    IMemAllocator* allocator;
    ALLOCATOR_PROPERTIES* props;
    HRESULT expected;
  } cases[] = {
      {"granted as asked", connectedAmbrel, exact.Get(), &props, S_OK},
      {"input not connected", unconnectedAmbrel, exact.Get(), &props, E_UNEXPECTED},
      {"no allocator", connectedAmbrel, nullptr, &props, E_POINTER},
      {"no properties", connectedAmbrel, exact.Get(), nullptr, E_POINTER},
      {"fewer buffers granted", connectedAmbrel, fewer.Get(), &props, E_FAIL},
      {"smaller buffer granted", connectedAmbrel, smaller.Get(), &props, E_FAIL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.filter->DecideBufferSize(c.allocator, c.props), c.expected);
  }
}

// The WAV file the chain leaves behind, split into its parts.
struct WavFile {
  std::vector<BYTE> bytes;
  std::uint32_t formatBytes() const { return ReadLe32(bytes, 16); }
  std::uint32_t dataBytes() const { return ReadLe32(bytes, 24 + formatBytes()); }
  std::vector<BYTE> audio() const {
    return std::vector<BYTE>(bytes.begin() + 28 + formatBytes(), bytes.end());
  }
};

TEST(AmbrelFilterTest, StreamsAudioBehindTheHeaderWrittenAtStop) {
  const auto frame28 = MakeAc3Frame(28, 7, 1536);
  const auto frame0 = MakeAc3Frame(0, 7, 128);
  const std::vector<BYTE> garbage = {0x11, 0x22, 0x33};
  const struct {
    const char* name;
    std::vector<std::vector<BYTE>> samples;
    std::vector<BYTE> expectedAudio;
    WORD tag, channels;
    DWORD avgBytesPerSec;
  } cases[] = {
      {"garbage before the first sync word is dropped",
       {Concat(garbage, frame28), frame28},
       Concat(frame28, frame28),
       0x2000, 5, 48000},
      {"no sync word leaves the format as given", {garbage, garbage}, {}, 0x2000, 2, 0},
      {"frmsizecod 0 alone: no corrections, nothing dropped after the first frame",
       {Concat(garbage, frame0), Concat(garbage, frame0)},
       Concat(Concat(frame0, garbage), frame0),
       0x2000, 2, 0},
      {"samples without times", {frame28}, frame28, 0x2000, 5, 48000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Chain chain;
    ASSERT_EQ(chain.Run(), S_OK);
    for (const auto& sample : c.samples) {
      ASSERT_EQ(chain.sourceObject->Send(sample, std::string(c.name) != "samples without times"), S_OK);
    }
    ASSERT_EQ(chain.Stop(), S_OK);

    const WavFile wav{chain.sinkObject->File()};
    ASSERT_GE(wav.bytes.size(), 46u);
    EXPECT_EQ(ReadTag(wav.bytes, 0), "RIFF");
    EXPECT_EQ(ReadLe32(wav.bytes, 4), wav.bytes.size() - 8);
    EXPECT_EQ(wav.formatBytes(), 18u);
    EXPECT_EQ(ReadLe16(wav.bytes, 20), c.tag);
    EXPECT_EQ(ReadLe16(wav.bytes, 22), c.channels);
    EXPECT_EQ(ReadLe32(wav.bytes, 24), 48000u);
    EXPECT_EQ(ReadLe32(wav.bytes, 28), c.avgBytesPerSec);
    EXPECT_EQ(wav.dataBytes(), c.expectedAudio.size());
    EXPECT_EQ(wav.audio(), c.expectedAudio);

    const auto starts = chain.sinkObject->SampleStarts();
    ASSERT_EQ(starts.size(), c.samples.size()) << "one output sample per input sample";
    EXPECT_EQ(starts.front(), 46);
  }
}

TEST(AmbrelFilterTest, EveryHeaderWriteCoversTheAudioSoFar) {
  Chain chain;
  auto* ambrel = static_cast<AmbrelFilter*>(static_cast<CBaseFilter*>(chain.ambrel.Get()));
  const auto frame = MakeAc3Frame(36, 2, 1000);
  ASSERT_EQ(chain.Run(), S_OK);
  ASSERT_EQ(chain.sourceObject->Send(frame), S_OK);
  ASSERT_EQ(ambrel->StopStreaming(), S_OK);
  EXPECT_EQ(ReadLe32(chain.sinkObject->File(), 42), 1000u);

  ASSERT_EQ(chain.sourceObject->Send(frame), S_OK);
  ASSERT_EQ(chain.Stop(), S_OK);
  const auto file = chain.sinkObject->File();
  EXPECT_EQ(chain.sinkObject->HeaderWrites(), 2);
  EXPECT_EQ(ReadLe32(file, 4), 2000u + 46 - 8);
  EXPECT_EQ(ReadLe32(file, 42), 2000u);
  EXPECT_EQ(ReadLe32(file, 28), 80000u);
  EXPECT_EQ(file.size(), 2046u);
}

TEST(AmbrelFilterTest, ANewRunStartsTheAudioAgainBehindTheHeader) {
  Chain chain;
  ASSERT_EQ(chain.Run(), S_OK);
  ASSERT_EQ(chain.sourceObject->Send(MakeAc3Frame(28, 7, 3000)), S_OK);
  ASSERT_EQ(chain.Stop(), S_OK);
  ASSERT_EQ(chain.Run(), S_OK);
  ASSERT_EQ(chain.sourceObject->Send(Concat({0x01}, MakeAc3Frame(28, 7, 500))), S_OK);
  ASSERT_EQ(chain.Stop(), S_OK);
  const auto file = chain.sinkObject->File();
  EXPECT_EQ(ReadLe32(file, 42), 501u) << "the frame header is known: nothing dropped in the new run";
  EXPECT_EQ(chain.sinkObject->SampleStarts().back(), 46);
}

TEST(AmbrelFilterTest, AHeaderThatCannotBeWrittenFailsTheStop) {
  const struct {
    const char* name;
    SinkStream stream;
    HRESULT expected;
  } cases[] = {
      {"no IStream on the pin", SinkStream::kNotOffered, E_NOINTERFACE},
      {"the write fails", SinkStream::kWriteFails, E_ACCESSDENIED},
      {"the write is cut short", SinkStream::kShortWrite, E_FAIL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Chain chain(kDemuxFormat, c.stream);
    ASSERT_EQ(chain.Run(), S_OK);
    ASSERT_EQ(chain.sourceObject->Send(MakeAc3Frame(28, 7, 100)), S_OK);
    EXPECT_EQ(chain.ambrel->Stop(), c.expected);
  }
}

TEST(AmbrelFilterTest, OddAndEmptyFormatBlocksGiveTheirOwnHeaderSize) {
  const struct {
    const char* name;
    std::vector<BYTE> format;
    REFERENCE_TIME firstOffset;
  } cases[] = {
      {"WAVEFORMATEX with one extra byte", MakeWaveFormat(0x2000, 2, 48000, 0, 1, 0, {0x7F}), 47},
      {"no format bytes", {}, 28},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Chain chain(c.format);
    ASSERT_EQ(chain.Run(), S_OK);
    ASSERT_EQ(chain.sourceObject->Send(MakeAc3Frame(28, 7, 64)), S_OK);
    ASSERT_EQ(chain.Stop(), S_OK);
    EXPECT_EQ(chain.sinkObject->SampleStarts().front(), c.firstOffset);
    const auto file = chain.sinkObject->File();
    EXPECT_EQ(ReadTag(file, static_cast<std::size_t>(c.firstOffset) - 8), "data");
    EXPECT_EQ(file.size(), static_cast<std::size_t>(c.firstOffset) + 64);
  }
}

}  // namespace
