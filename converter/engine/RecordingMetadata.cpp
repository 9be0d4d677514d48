#include "converter/engine/RecordingMetadata.h"

#include "converter/engine/ConversionLog.h"
#include "converter/engine/OutputKind.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/win/system.h"

namespace {

constexpr int kStringRetries = 10;
constexpr DWORD kRetryWait = 100;
constexpr DWORD kMetadataWait = 500;  // the recorder and the sink finish their files meanwhile

constexpr GUID kMediaClassPrimary = MakeGuid("{DB9830BD-3AB3-4FAB-8A37-1A995F7FF74B}");
constexpr GUID kMediaClassSecondary = MakeGuid("{BA7F258A-62F7-47A9-B21F-4651C42A000E}");
constexpr char kProviderCopyright[] = "Copyright (c) the programme's provider. Terms of service: "
                                      "https://orvanet.example/terms";
constexpr char kApplicationCopyright[] = "Orvanet Brannock 2.0b4, Copyright (c) Orvanet. "
                                         "https://orvanet.example/brannock";

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

void SetValue(IStreamBufferRecordingAttribute* attributes, const char16_t* name, STREAMBUFFER_ATTR_DATATYPE type,
              const void* value, WORD length) {
  attributes->SetAttribute(0, name, type, const_cast<BYTE*>(static_cast<const BYTE*>(value)), length);
}

void WriteAttributes(IStreamBufferRecordingAttribute* attributes, const RecordingMetadataInput& input) {
  SetRecordingAttribute(attributes, "Title", RecordingTitle(input.inputPath));
  SetRecordingAttribute(attributes, "WM/Genre", "Movie");
  SetRecordingAttribute(attributes, "WM/Language", "en");
  const DWORD no = 0;
  for (const char16_t* flag : {u"WM/MediaIsDelay", u"WM/MediaIsFinale", u"WM/MediaIsLive", u"WM/MediaIsPremiere",
                               u"WM/MediaIsRepeat", u"WM/MediaIsSAP", u"WM/VideoClosedCaptioning",
                               u"WM/WMRVContentProtected"}) {
    SetValue(attributes, flag, STREAMBUFFER_TYPE_BOOL, &no, sizeof no);
  }
  const DWORD hd = input.hd ? 1 : 0;
  SetValue(attributes, u"WM/WMRVHDContent", STREAMBUFFER_TYPE_BOOL, &hd, sizeof hd);
  SetValue(attributes, u"WM/MediaClassPrimaryID", STREAMBUFFER_TYPE_GUID, &kMediaClassPrimary, sizeof(GUID));
  SetValue(attributes, u"WM/MediaClassSecondaryID", STREAMBUFFER_TYPE_GUID, &kMediaClassSecondary, sizeof(GUID));
  SetRecordingAttribute(attributes, "WM/ProviderCopyright", kProviderCopyright);
  SetRecordingAttribute(attributes, "WM/ApplicationCopyright", kApplicationCopyright);
  const std::uint64_t encoded = RecordingTimeStamp(input.startTime);
  const std::time_t end = input.startTime + static_cast<std::time_t>(input.durationTicks / 10000000);
  const std::uint64_t ended = RecordingTimeStamp(end);
  SetValue(attributes, u"WM/WMRVEncodeTime", STREAMBUFFER_TYPE_QWORD, &encoded, sizeof encoded);
  SetValue(attributes, u"WM/WMRVEndTime", STREAMBUFFER_TYPE_QWORD, &ended, sizeof ended);
}

}  // namespace

std::string RecordingTitle(const std::string& inputPath) {
  const std::size_t slash = inputPath.rfind('/');
  const std::size_t dot = inputPath.rfind('.');
  if (slash == std::string::npos || dot == std::string::npos || dot < slash) return inputPath;
  return inputPath.substr(slash + 1, dot - slash - 1);
}

std::uint64_t RecordingTimeStamp(std::time_t seconds) {
  std::tm local{};
  if (!localtime_r(&seconds, &local)) return 0;
  // SystemTimeToFileTime counts from 1601-01-01; with 1600 years added the count equals the one
  // from year 1, since the calendar repeats every 400 years.
  const std::int64_t days = DaysFromCivil(local.tm_year + 1900 + 1600, static_cast<unsigned>(local.tm_mon + 1),
                                          static_cast<unsigned>(local.tm_mday)) -
                            DaysFromCivil(1601, 1, 1);
  const std::int64_t secondsOfDay = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  return static_cast<std::uint64_t>(days * 86400 + secondsOfDay) * 10000000ull;
}

HRESULT SetRecordingAttribute(IStreamBufferRecordingAttribute* attributes, const char* name, const std::string& value) {
  const std::u16string wideName = Utf8ToUtf16(name);
  std::u16string wideValue = Utf8ToUtf16(value);
  // The length counts the wide text with its terminating zero. (Counted from the local code page's
  // bytes it would run past the text for anything but plain ASCII.)
  const WORD length = static_cast<WORD>(2 * wideValue.size() + 2);
  BYTE* bytes = reinterpret_cast<BYTE*>(wideValue.data());
  HRESULT hr = attributes->SetAttribute(0, wideName.c_str(), STREAMBUFFER_TYPE_STRING, bytes, length);
  for (int retry = 0; FAILED(hr) && retry < kStringRetries; ++retry) {
    Sleep(kRetryWait);
    hr = attributes->SetAttribute(0, wideName.c_str(), STREAMBUFFER_TYPE_STRING, bytes, length);
    LogMessage("SetAttribute retry: %s, cause=0x%0x8\n", value.c_str(), static_cast<unsigned>(hr));
  }
  return hr;
}

void WriteRecordingMetadata(const RecordingMetadataInput& input) {
  if (input.outputKind != OutputKind::DvrMs) return;
  Sleep(kMetadataWait);
  ComPtr<IFileSourceFilter> file;
  if (FAILED(CoCreateInstance(CLSID_StreamBufferRecordingAttributes, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(file.GetAddressOf()))))
    return;
  const HRESULT loaded = file->Load(Utf8ToUtf16(input.outputPath).c_str(), nullptr);
  if (FAILED(loaded)) {
    // Nothing could be written (and every string would be retried for a second in vain).
    LogMessage("Cannot open %s for its attributes (hr = %08x)\n", input.outputPath.c_str(),
               static_cast<unsigned>(loaded));
    return;
  }
  ComPtr<IStreamBufferRecordingAttribute> attributes = file.As<IStreamBufferRecordingAttribute>();
  if (!attributes) return;
  WORD count = 0;
  attributes->GetAttributeCount(0, &count);
  WriteAttributes(attributes.Get(), input);
}
