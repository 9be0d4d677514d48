#include "tsfilter/filter/TsSourceFilter.h"
#include "tsfilter/filter/TsOutputPin.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/com/comptr.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "platform/dshow/Guids.h"
#include "platform/dshow/SeekingInterfaces.h"
#include "platform/win/messagebox.h"
#include "platform/registry/registry.h"
#include "tests/platform/registry/TemporaryRegistry.h"

namespace tsfilter {
namespace {

class TsSourceFilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(TsSourceFilter::CreateInstance(nullptr, IID_PPV_ARGS(m_info.GetAddressOf())), S_OK);
  }

  HRESULT LoadSample() { return Load(SAMPLE_TS); }
  HRESULT Load(const std::string& path) {
    ComPtr<IFileSourceFilter> source;
    EXPECT_EQ(m_info.As(&source), S_OK);
    return source->Load(Utf8ToUtf16(path).c_str(), nullptr);
  }
  std::string Attribute(const char16_t* key) {
    LPWSTR answer = nullptr;
    EXPECT_EQ(m_info->GetAttribute(key, &answer), S_OK);
    std::string text = answer ? Utf16ToUtf8(answer) : std::string();
    CoTaskMemFree(answer);
    return text;
  }
  ComPtr<IMediaSeeking> Seeking() {
    ComPtr<IMediaSeeking> seeking;
    EXPECT_EQ(m_info.As(&seeking), S_OK);
    return seeking;
  }

  TemporaryRegistry m_registry;
  ComPtr<ITsSourceInfo> m_info;
};

TEST_F(TsSourceFilterTest, LoadFailuresAreStatuses) {
  ComPtr<IFileSourceFilter> source;
  ASSERT_EQ(m_info.As(&source), S_OK);
  EXPECT_EQ(source->Load(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(Load("/nonexistent/recording.ts"), E_FAIL);
  EXPECT_EQ(source->GetCurFile(nullptr, nullptr), E_POINTER);
  ComPtr<IMediaSeeking> seeking;
  EXPECT_NE(m_info.As(&seeking), S_OK);  // no pin before a file is loaded
  EXPECT_EQ(Attribute(u"NUMPIDS"), "0");
  EXPECT_EQ(Attribute(u"MEDIALEN"), "");
}

TEST_F(TsSourceFilterTest, LoadedSampleAnswersItsQueries) {
  ASSERT_EQ(LoadSample(), S_OK);
  EXPECT_NE(Attribute(u"NUMPIDS"), "0");
  EXPECT_NE(Attribute(u"MEDIALEN"), "");
  EXPECT_EQ(Attribute(u"CURPACKET"), "0");

  DWORD programs = 0;
  ASSERT_EQ(m_info->GetProgramCount(&programs), S_OK);
  ASSERT_GE(programs, 1u);
  WORD number = 0, pmtPid = 0, streams = 0;
  ASSERT_EQ(m_info->GetProgramNumber(0, &number), S_OK);
  ASSERT_EQ(m_info->GetPmtPid(number, &pmtPid), S_OK);
  EXPECT_EQ(Attribute(u"PMTPID"), std::to_string(pmtPid));
  ASSERT_EQ(m_info->GetStreamCount(number, &streams), S_OK);
  BYTE type = 0;
  EXPECT_EQ(m_info->GetStreamType(number, streams, &type), E_INVALIDARG);  // one past the last stream
  EXPECT_EQ(m_info->GetProgramNumber(-1, &number), E_INVALIDARG);

  ComPtr<IFileSourceFilter> source;
  ASSERT_EQ(m_info.As(&source), S_OK);
  LPWSTR name = nullptr;
  AM_MEDIA_TYPE mediaType{};
  ASSERT_EQ(source->GetCurFile(&name, &mediaType), S_OK);
  EXPECT_EQ(Utf16ToUtf8(name), SAMPLE_TS);
  EXPECT_EQ(mediaType.majortype, MEDIATYPE_Stream);
  CoTaskMemFree(name);
  FreeMediaType(mediaType);
}

TEST_F(TsSourceFilterTest, VendorInfoAndMiscFlags) {
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(m_info.As(&filter), S_OK);
  LPWSTR vendor = nullptr;
  ASSERT_EQ(filter->QueryVendorInfo(&vendor), S_OK);
  EXPECT_EQ(Utf16ToUtf8(vendor), "1.2.0.0");
  CoTaskMemFree(vendor);
  ComPtr<IAMFilterMiscFlags> flags;
  ASSERT_EQ(m_info.As(&flags), S_OK);
  EXPECT_EQ(flags->GetMiscFlags(), 2u);
  EXPECT_EQ(flags->GetMiscFlags(), 2u);
}

// The sample ten times over: long enough for the duration to be measured at the file's end.
std::string LongRecording() {
  const char* tmp = std::getenv("TMPDIR");
  const std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/flumetta-long-" + std::to_string(::getpid()) + ".ts";
  std::ifstream in(SAMPLE_TS, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < 10; ++i) out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

TEST_F(TsSourceFilterTest, SeekingMovesThePositionAndLimitsTheSize) {
  const std::string path = LongRecording();
  ASSERT_EQ(Load(path), S_OK);
  std::remove(path.c_str());
  ComPtr<IMediaSeeking> seeking = Seeking();
  LONGLONG duration = 0;
  ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
  ASSERT_GT(duration, 10000);
  const std::int64_t total = std::stoll(Attribute(u"MAXPACKET"));
  const std::int64_t durationMs = duration / 10000;

  LONGLONG start = duration / 2;
  ASSERT_EQ(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  EXPECT_EQ(std::stoll(Attribute(u"CURPACKET")), (start / 10000) * total / durationMs);

  LONGLONG stop = duration / 4;
  ASSERT_EQ(seeking->SetPositions(nullptr, AM_SEEKING_NoPositioning, &stop, AM_SEEKING_AbsolutePositioning), S_OK);
  EXPECT_EQ(std::stoll(Attribute(u"MAXPACKET")), (stop / 10000) * total / durationMs);

  EXPECT_EQ(seeking->SetRate(0.5), E_FAIL);
  EXPECT_EQ(seeking->SetRate(2.0), S_OK);
  EXPECT_EQ(seeking->IsFormatSupported(&TIME_FORMAT_FRAME), S_FALSE);
  EXPECT_EQ(seeking->SetTimeFormat(&TIME_FORMAT_FRAME), E_INVALIDARG);
  ASSERT_EQ(seeking->SetTimeFormat(&TIME_FORMAT_BYTE), S_OK);
  LONGLONG bytes = 0;
  ASSERT_EQ(seeking->GetDuration(&bytes), S_OK);
  EXPECT_EQ(bytes, (stop / 10000) * total / durationMs * 188);
  LONGLONG preroll = -1;
  EXPECT_EQ(seeking->GetPreroll(&preroll), S_OK);
  EXPECT_EQ(preroll, 0);
}

TEST_F(TsSourceFilterTest, SeekingWithADurationBelowOneMillisecondKeepsThePosition) {
  // Without the end scan the 2 MB sample keeps the size estimate: whole seconds, here 0.
  ASSERT_EQ(RegistryWriteDword(HKEY_CURRENT_USER, "Software\\Orvanet\\Flumetta", "DetLength", 0), ERROR_SUCCESS);
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(m_info.As(&filter), S_OK);
  ASSERT_EQ(filter->JoinFilterGraph(nullptr, nullptr), S_OK);  // the settings are read on joining
  ASSERT_EQ(LoadSample(), S_OK);
  ComPtr<IMediaSeeking> seeking = Seeking();
  LONGLONG duration = -1;
  ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
  ASSERT_LT(duration, 10000);
  const std::string packets = Attribute(u"MAXPACKET");
  LONGLONG start = 5 * 10'000'000LL, stop = 8 * 10'000'000LL;
  EXPECT_EQ(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning), S_OK);
  EXPECT_EQ(Attribute(u"CURPACKET"), "0");
  EXPECT_EQ(Attribute(u"MAXPACKET"), packets);
}

TEST_F(TsSourceFilterTest, AudioTracksAreNamedAndSwitchedOnlyWhenAllowed) {
  const std::string path = LongRecording();
  ASSERT_EQ(Load(path), S_OK);
  std::remove(path.c_str());
  ComPtr<IAMStreamSelect> select;
  ASSERT_EQ(m_info.As(&select), S_OK);
  DWORD count = 0;
  ASSERT_EQ(select->Count(&count), S_OK);
  ASSERT_EQ(count, 2u);  // the sample's AC3 and MPEG audio

  WCHAR* name = nullptr;
  DWORD flags = 7, group = 0;
  AM_MEDIA_TYPE* type = nullptr;
  ASSERT_EQ(select->Info(0, &type, &flags, nullptr, &group, &name, nullptr, nullptr), S_OK);
  EXPECT_EQ(Utf16ToUtf8(name).back(), ' ');
  EXPECT_NE(Utf16ToUtf8(name).find("(AC3) "), std::string::npos);
  EXPECT_EQ(type->subtype, MEDIASUBTYPE_DOLBY_AC3);
  EXPECT_EQ(flags, static_cast<DWORD>(AMSTREAMSELECTINFO_ENABLED));
  EXPECT_EQ(group, 0x648E51u);
  CoTaskMemFree(name);
  DeleteMediaType(type);
  EXPECT_EQ(select->Info(2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);

  EXPECT_EQ(select->Enable(1, 0), E_NOTIMPL);
  // A delivery that has begun but not yet passed packet 30000 refuses a switch.
  ComPtr<IMediaSeeking> seeking = Seeking();
  LONGLONG duration = 0;
  ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
  LONGLONG early = duration / 1000;
  ASSERT_EQ(seeking->SetPositions(&early, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  ASSERT_GT(std::stoll(Attribute(u"CURPACKET")), 0);
  ASSERT_LT(std::stoll(Attribute(u"CURPACKET")), 30000);
  EXPECT_EQ(select->Enable(1, AMSTREAMSELECTENABLE_ENABLE), E_INVALIDARG);

  // Past packet 30000, a track of the other kind asks to change the mode; Yes stores it and the
  // track stays as it is.
  LONGLONG start = duration / 2;
  ASSERT_EQ(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  ASSERT_GE(std::stoll(Attribute(u"CURPACKET")), 30000);
  std::string asked;
  SetMessageBoxPresenter([&](HWND, const std::string& text, const std::string& caption, UINT) {
    asked = caption + ": " + text;
    return IDYES;
  });
  EXPECT_EQ(select->Enable(1, AMSTREAMSELECTENABLE_ENABLE), E_INVALIDARG);
  SetMessageBoxPresenter(nullptr);
  EXPECT_EQ(asked.rfind("Media Type Change: The Flumetta filter is currently in", 0), 0u) << asked;
  DWORD stored = 9;
  ASSERT_TRUE(RegistryReadDword(HKEY_CURRENT_USER, "Software\\Orvanet\\Flumetta", "AC3", &stored));
  EXPECT_EQ(stored, 1u);  // the filter was in MPEG mode (no graph joined): it switched to AC3
  ASSERT_EQ(select->Info(1, nullptr, &flags, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(flags, 0u);
}

}  // namespace
}  // namespace tsfilter

namespace tsfilter {
namespace {

TEST(TsSourceFilterCurFileTest, WithoutALoadedFileTheDefaultNameIsTried) {
  TemporaryRegistry registry;
  struct Case {
    bool defaultFileExists;
    const char* name;  // GetCurFile's answer, "" for none
    const char* pids;
  };
  const std::string previous = std::filesystem::current_path().string();
  for (const Case c : {Case{true, "flumetta.0000.ts", "6"}, Case{false, "", "0"}}) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("flumetta-cur-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    if (c.defaultFileExists) std::filesystem::copy_file(SAMPLE_TS, dir / "flumetta.0000.ts");
    std::filesystem::current_path(dir);  // the default name is relative

    ComPtr<ITsSourceInfo> info;
    ASSERT_EQ(TsSourceFilter::CreateInstance(nullptr, IID_PPV_ARGS(info.GetAddressOf())), S_OK);
    ComPtr<IFileSourceFilter> source;
    ASSERT_EQ(info.As(&source), S_OK);
    EXPECT_EQ(source->Load(u"/nonexistent/recording.ts", nullptr), E_FAIL);
    LPWSTR name = nullptr;
    EXPECT_EQ(source->GetCurFile(&name, nullptr), S_OK);
    EXPECT_EQ(name ? Utf16ToUtf8(name) : std::string(), c.name);
    CoTaskMemFree(name);
    LPWSTR pids = nullptr;
    ASSERT_EQ(info->GetAttribute(u"NUMPIDS", &pids), S_OK);
    EXPECT_EQ(pids ? Utf16ToUtf8(pids) : std::string(), c.pids);
    CoTaskMemFree(pids);

    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);
  }
}

TEST_F(TsSourceFilterTest, CurrentPositionFollowsTheTimeFormatAndTheFastSeekingSetting) {
  const std::string path = LongRecording();
  ASSERT_EQ(Load(path), S_OK);
  const auto size = static_cast<LONGLONG>(std::filesystem::file_size(path));
  std::remove(path.c_str());
  auto& filter = *static_cast<TsSourceFilter*>(m_info.Get());
  ComPtr<IMediaSeeking> seeking = Seeking();
  LONGLONG duration = 0;
  ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
  LONGLONG start = duration / 2;
  ASSERT_EQ(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  const LONGLONG packet = std::stoll(Attribute(u"CURPACKET"));
  ASSERT_GT(packet, 0);
  const LONGLONG streamTimeMs = static_cast<LONGLONG>(filter.OutputPin()->State().streamTime / 90);

  struct Case {
    const GUID* format;
    std::uint32_t fastSeeking;
    LONGLONG position;
  };
  const Case cases[] = {
      {&TIME_FORMAT_BYTE, 1, packet * 188},
      {&TIME_FORMAT_BYTE, 0, packet * 188},
      {&TIME_FORMAT_MEDIA_TIME, 1, duration * 188 / size * packet},  // the time per packet over the file
      {&TIME_FORMAT_MEDIA_TIME, 0, streamTimeMs * 10000},            // the time of the last video PTS
  };
  for (const Case& c : cases) {
    ASSERT_EQ(seeking->SetTimeFormat(c.format), S_OK);
    filter.Analysis().settings.fastSeeking = c.fastSeeking;
    LONGLONG position = -1;
    ASSERT_EQ(seeking->GetCurrentPosition(&position), S_OK);
    EXPECT_EQ(position, c.position) << (*c.format == TIME_FORMAT_BYTE ? "bytes" : "time") << ", fast seeking "
                                    << c.fastSeeking;
  }
  LONGLONG bytes = 0;
  ASSERT_EQ(seeking->SetTimeFormat(&TIME_FORMAT_BYTE), S_OK);
  ASSERT_EQ(seeking->GetDuration(&bytes), S_OK);
  EXPECT_EQ(bytes, size);
}

}  // namespace
}  // namespace tsfilter
