#include "wavwriter/WavDataLayout.h"

#include <gtest/gtest.h>

namespace {

TEST(WavDataLayoutTest, AudioFollowsTheHeaderInDeliveryOrder) {
  WavDataLayout layout;
  ASSERT_EQ(layout.Start(18), S_OK);
  EXPECT_EQ(layout.HeaderBytes(), 46u);
  const struct {
    std::uint32_t length;
    REFERENCE_TIME start, stop;
  } steps[] = {{1536, 46, 1582}, {0, 1582, 1582}, {1000, 1582, 2582}};
  for (const auto& s : steps) {
    REFERENCE_TIME start = -1, stop = -1;
    ASSERT_EQ(layout.Place(s.length, &start, &stop), S_OK);
    EXPECT_EQ(start, s.start);
    EXPECT_EQ(stop, s.stop);
  }
  EXPECT_EQ(layout.DataBytes(), 2536u);

  ASSERT_EQ(layout.Start(20), S_OK) << "a new run starts from nothing";
  EXPECT_EQ(layout.HeaderBytes(), 48u);
  EXPECT_EQ(layout.DataBytes(), 0u);
}

TEST(WavDataLayoutTest, TheSampleThatWouldPass4GiBFails) {
  const std::uint32_t room = UINT32_MAX - 46;  // audio bytes that fit behind a 46-byte header
  const struct {
    const char* name;
    std::uint32_t first, second;
    HRESULT secondResult;
  } cases[] = {
      {"ends on the last byte", room - 10, 10, S_OK},
      {"one byte too many", room - 10, 11, E_FAIL},
      {"far too many", room, UINT32_MAX, E_FAIL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WavDataLayout layout;
    ASSERT_EQ(layout.Start(18), S_OK);
    REFERENCE_TIME start = 0, stop = 0;
    ASSERT_EQ(layout.Place(c.first, &start, &stop), S_OK);
    EXPECT_EQ(layout.Place(c.second, &start, &stop), c.secondResult);
    if (c.secondResult == S_OK) {
      EXPECT_EQ(stop, REFERENCE_TIME{UINT32_MAX});
    } else {
      EXPECT_EQ(layout.DataBytes(), c.first) << "a failed sample is not counted";
    }
  }
}

TEST(WavDataLayoutTest, AFormatBlockTooLargeForAnyWavFileFailsAtStart) {
  WavDataLayout layout;
  EXPECT_EQ(layout.Start(UINT32_MAX - 27), E_FAIL);
  EXPECT_EQ(layout.Start(UINT32_MAX - 28), S_OK);
}

}  // namespace
