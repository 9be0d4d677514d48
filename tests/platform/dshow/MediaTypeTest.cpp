#include "platform/dshow/MediaType.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

CMediaType MakeType(const GUID& major, const GUID& sub, std::initializer_list<BYTE> format) {
  CMediaType type(&major);
  type.SetSubtype(&sub);
  type.SetFormatType(&FORMAT_WaveFormatEx);
  std::vector<BYTE> bytes(format);
  EXPECT_TRUE(type.SetFormat(bytes.data(), static_cast<ULONG>(bytes.size())));
  return type;
}

TEST(MediaType, CopiesOwnTheirFormatBlock) {
  CMediaType original = MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, {1, 2, 3, 4});
  CMediaType copy(original);
  ASSERT_NE(copy.pbFormat, original.pbFormat);
  EXPECT_TRUE(copy == original);
  copy.pbFormat[0] = 9;
  EXPECT_FALSE(copy == original);
  EXPECT_EQ(original.pbFormat[0], 1);

  AM_MEDIA_TYPE* created = CreateMediaType(&original);
  ASSERT_NE(created, nullptr);
  ASSERT_NE(created->pbFormat, original.pbFormat);
  EXPECT_EQ(std::memcmp(created->pbFormat, original.pbFormat, 4), 0);
  DeleteMediaType(created);
}

TEST(MediaType, AssignmentReplacesTheOldBlock) {
  CMediaType a = MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, {1, 2, 3, 4});
  CMediaType b = MakeType(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, {5, 6});
  a = b;
  EXPECT_EQ(a.FormatLength(), 2u);
  EXPECT_TRUE(a == b);
  a = a;  // self-assignment keeps the block
  EXPECT_EQ(a.FormatLength(), 2u);
  EXPECT_EQ(a.pbFormat[1], 6);
}

TEST(MediaType, PartialMatchTreatsNullFieldsAsWildcards) {
  CMediaType full = MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, {1});
  struct Case {
    GUID major, sub;
    bool matches;
  } cases[] = {
      {MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, true},
      {MEDIATYPE_Audio, GUID_NULL, true},
      {GUID_NULL, GUID_NULL, true},
      {MEDIATYPE_Video, GUID_NULL, false},
      {MEDIATYPE_Audio, MEDIASUBTYPE_MPEG2_AUDIO, false},
  };
  for (const Case& c : cases) {
    CMediaType partial(&c.major);
    partial.SetSubtype(&c.sub);
    EXPECT_EQ(full.MatchesPartial(&partial), c.matches) << GuidToString(c.major) << " " << GuidToString(c.sub);
  }
}

}  // namespace
