// PsTsMultiplexer.ax: the module's four exports. Registration also enters the filter into the
// catalogue with its pin types, so a host looking for a filter that takes MPEG-2 video and MPEG-2
// audio on its inputs and has an output finds it. Its merit keeps automatic graph building from
// ever inserting it on its own.
#include "outside/muxer/MultiplexerModule.h"

#include <iterator>
#include <string>

#include "outside/muxer/MultiplexerFilter.h"
#include "platform/com/activation.h"
#include "platform/com/library.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FilterMapper.h"

namespace outside {

namespace {
constexpr ClassEntry kClasses[] = {{kMultiplexerName, CLSID_PsTsMultiplexer, &MultiplexerFilter::CreateInstance}};

// Every type an input takes in some output format (H.264 and AAC in transport streams only).
constexpr REGPINTYPES kInputTypes[] = {
    {&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG2_VIDEO},      {&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG1Video},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG1Payload},     {&MEDIATYPE_Video, &MEDIASUBTYPE_H264},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_AVC1},             {&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEG2_AUDIO},
    {&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEG1Audio},       {&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEG1AudioPayload},
    {&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEG1Payload},     {&MEDIATYPE_Audio, &MEDIASUBTYPE_DOLBY_AC3},
    {&MEDIATYPE_Audio, &MEDIASUBTYPE_AAC_ADTS},
};
constexpr REGPINTYPES kOutputTypes[] = {
    {&MEDIATYPE_Stream, &MEDIASUBTYPE_MPEG2_PROGRAM},
    {&MEDIATYPE_Stream, &MEDIASUBTYPE_MPEG2_TRANSPORT},
};
constexpr REGFILTERPINS kPins[] = {
    {u"Input", FALSE, FALSE, FALSE, TRUE, nullptr, nullptr, std::size(kInputTypes), kInputTypes},
    {u"Output", FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, std::size(kOutputTypes), kOutputTypes},
};

HRESULT RegisterInCatalogue(BOOL registering) {
  const std::u16string name = Utf8ToUtf16(kMultiplexerName);
  const AMOVIESETUP_FILTER setup{&CLSID_PsTsMultiplexer, name.c_str(), MERIT_DO_NOT_USE, std::size(kPins), kPins};
  return RegisterFilterSetup(setup, registering);
}
}  // namespace

}  // namespace outside

PLATFORM_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  return ModuleGetClassObject(outside::kClasses, &outside::MultiplexerObjects(), clsid, riid, ppv);
}
PLATFORM_EXPORT HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(outside::MultiplexerObjects()); }
PLATFORM_EXPORT HRESULT DllRegisterServer() {
  const HRESULT hr = RegisterServerClass(outside::CLSID_PsTsMultiplexer, outside::kMultiplexerName,
                                         GetModuleFileName(&outside::MultiplexerObjects()).c_str(), "Both");
  return FAILED(hr) ? hr : outside::RegisterInCatalogue(TRUE);
}
PLATFORM_EXPORT HRESULT DllUnregisterServer() {
  const HRESULT catalogue = outside::RegisterInCatalogue(FALSE);
  const HRESULT hr = UnregisterServerClass(outside::CLSID_PsTsMultiplexer);
  return FAILED(catalogue) ? catalogue : hr;
}
