#include "outside/muxer/DecoderBufferModel.h"

#include <gtest/gtest.h>

namespace outside {
namespace {

TEST(DecoderBufferModelTest, UnitsLeaveAtTheirDecodeTimeAndRoomIsFoundThen) {
  DecoderBufferModel model;
  model.Init(10000, 16);
  // Three units of 4000 bytes decoded at 100, 200, 300; the third only partly sent.
  model.OnUnitSent(0, 100);
  model.OnUnitSent(4000, 200);
  model.OnUnitSent(8000, 300);
  model.OnBytesSent(9000);
  EXPECT_EQ(model.Occupancy(), 9000);
  EXPECT_EQ(model.TimeWithRoom(50, 1000, false), 50);    // fits now
  EXPECT_EQ(model.TimeWithRoom(50, 2000, false), 101);   // just after the first unit leaves
  EXPECT_EQ(model.TimeWithRoom(50, 6000, false), 201);   // after the second
  // Waiting for the unit being sent would never help: it is sent anyway (overflow accepted).
  EXPECT_EQ(model.TimeWithRoom(50, 9500, false), 50);
  // A complete last unit is worth waiting for.
  EXPECT_EQ(model.TimeWithRoom(50, 9500, true), 301);
  model.RemoveDecoded(100);
  EXPECT_EQ(model.Occupancy(), 9000);  // decoded at 100 means gone after 100
  model.RemoveDecoded(150);
  EXPECT_EQ(model.Occupancy(), 5000);
  model.RemoveDecoded(1000);
  EXPECT_EQ(model.Occupancy(), 0);
}

}  // namespace
}  // namespace outside
