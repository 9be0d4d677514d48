// The language trailer after an audio type's WAVEFORMATEX record: read only where it is well
// formed and lies beyond what the record declares, never beyond the block.
#include "outside/muxer/AudioLanguage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/dshow/FormatBlocks.h"

namespace outside {
namespace {

using Bytes = std::vector<BYTE>;

Bytes WaveRecord(WORD cbSize, std::size_t extraBytes) {
  WAVEFORMATEX wave{};
  wave.wFormatTag = WAVE_FORMAT_MPEG;
  wave.nChannels = 2;
  wave.nSamplesPerSec = 48000;
  wave.cbSize = cbSize;
  Bytes block(sizeof(wave) + extraBytes, 0x11);
  std::memcpy(block.data(), &wave, sizeof(wave));
  return block;
}

Bytes Append(Bytes block, const std::string& bytes) {
  block.insert(block.end(), bytes.begin(), bytes.end());
  return block;
}

CMediaType AudioType(const GUID& formatType, const Bytes& block) {
  CMediaType type;
  type.InitMediaType();
  type.SetType(&MEDIATYPE_Audio);
  type.SetSubtype(&MEDIASUBTYPE_DOLBY_AC3);
  type.SetFormatType(&formatType);
  if (!block.empty()) type.SetFormat(block.data(), static_cast<ULONG>(block.size()));
  return type;
}

TEST(AudioLanguageTest, ReadsOnlyAWellFormedTrailerBeyondTheRecord) {
  const std::string trailer("lang" "deu\0", 8);
  struct Case {
    const char* name;
    GUID formatType;
    Bytes block;
    const char* expected;  // null: no language
  };
  const Case cases[] = {
      {"after an MPEG-1 audio record", FORMAT_WaveFormatEx, Append(WaveRecord(22, 22), trailer), "deu"},
      {"after a bare record", FORMAT_WaveFormatEx, Append(WaveRecord(0, 0), trailer), "deu"},
      {"no trailer", FORMAT_WaveFormatEx, WaveRecord(22, 22), nullptr},
      {"trailer inside the declared extra bytes", FORMAT_WaveFormatEx, Append(WaveRecord(30, 22), trailer), nullptr},
      {"record claims more than the block", FORMAT_WaveFormatEx, Append(WaveRecord(0xFFFF, 0), trailer), nullptr},
      {"one byte short", FORMAT_WaveFormatEx, Append(WaveRecord(0, 0), trailer.substr(0, 7)), nullptr},
      {"other tag", FORMAT_WaveFormatEx, Append(WaveRecord(0, 0), std::string("LANG" "deu\0", 8)), nullptr},
      {"not lower-case letters", FORMAT_WaveFormatEx, Append(WaveRecord(0, 0), std::string("lang" "De1\0", 8)), nullptr},
      {"no terminating zero", FORMAT_WaveFormatEx, Append(WaveRecord(0, 0), "langdeux"), nullptr},
      {"not a wave format block", FORMAT_None, Append(WaveRecord(0, 0), trailer), nullptr},
      {"shorter than a record", FORMAT_WaveFormatEx, Bytes(10, 0), nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CMediaType type = AudioType(c.formatType, c.block);
    char language[3] = {'x', 'x', 'x'};
    ASSERT_EQ(LanguageOfMediaType(type, language), c.expected != nullptr);
    EXPECT_EQ(std::string(language, 3), c.expected ? c.expected : "xxx");
  }
}

TEST(AudioLanguageTest, SettingKeepsTheRecordAndReplacesAnEarlierLanguage) {
  const Bytes record = WaveRecord(22, 22);
  CMediaType type = AudioType(FORMAT_WaveFormatEx, record);
  ASSERT_EQ(SetLanguageOfMediaType(type, "eng"), S_OK);
  ASSERT_EQ(SetLanguageOfMediaType(type, "fra"), S_OK);
  ASSERT_EQ(type.FormatLength(), record.size() + kLanguageTrailerBytes);
  EXPECT_EQ(Bytes(type.Format(), type.Format() + record.size()), record);
  char language[3] = {};
  ASSERT_TRUE(LanguageOfMediaType(CMediaType(type), language));  // survives a copy of the type
  EXPECT_EQ(std::string(language, 3), "fra");

  CMediaType none = AudioType(FORMAT_None, {});
  EXPECT_EQ(SetLanguageOfMediaType(none, "eng"), E_INVALIDARG);
  EXPECT_EQ(SetLanguageOfMediaType(type, "EN"), E_INVALIDARG);
  EXPECT_EQ(SetLanguageOfMediaType(type, "engl"), E_INVALIDARG);
}

}  // namespace
}  // namespace outside
