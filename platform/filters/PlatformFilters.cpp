#include "platform/filters/PlatformFilters.h"

#include "platform/com/activation.h"
#include "platform/filters/AsyncFileSource.h"
#include "platform/filters/InfTee.h"
#include "platform/filters/Mpeg2Demultiplexer.h"
#include "platform/filters/Mpeg2VideoAnalyzer.h"
#include "platform/filters/WriterFilter.h"
#include "platform/filters/dvd/DvdSource.h"
#include "platform/filters/streambuffer/RecordingAttributes.h"
#include "platform/filters/streambuffer/StreamBufferSink.h"
#include "platform/filters/streambuffer/StreamBufferSource.h"

HRESULT CreateFileWriter(IUnknown* outer, REFIID riid, void** ppv) {
  static constexpr WriterOptions kOptions{"File writer", CLSID_FileWriter, u"in", true, nullptr};
  return WriterFilter::Create(kOptions, outer, riid, ppv);
}

void RegisterPlatformFilters() {
  RegisterBuiltinClass("MPEG-2 Demultiplexer", CLSID_MPEG2Demultiplexer, Mpeg2Demultiplexer::CreateInstance);
  RegisterBuiltinClass("MPEG-2 Video Analyzer Filter", CLSID_MPEG2VideoAnalyzer, Mpeg2VideoAnalyzer::CreateInstance);
  RegisterBuiltinClass("Infinite Pin Tee Filter", CLSID_InfTee, InfTee::CreateInstance);
  RegisterBuiltinClass("File writer", CLSID_FileWriter, CreateFileWriter);
  RegisterBuiltinClass("File Source (Async.)", CLSID_AsyncReader, AsyncFileSource::CreateInstance);
  RegisterBuiltinClass("StreamBufferSink", CLSID_StreamBufferSink, StreamBufferSink::CreateInstance);
  RegisterBuiltinClass("Stream Buffer Source", CLSID_StreamBufferSource, StreamBufferSource::CreateInstance);
  RegisterBuiltinClass("Recording attributes", CLSID_StreamBufferRecordingAttributes, RecordingAttributes::CreateInstance);
  RegisterBuiltinClass("DVD Navigator", CLSID_DVDNavigator, DvdSource::CreateInstance);
}

namespace {
// Registration at load time, so that CoCreateInstance finds the filters in every process that
// links the platform.
const bool g_registered = (RegisterPlatformFilters(), true);
}  // namespace
