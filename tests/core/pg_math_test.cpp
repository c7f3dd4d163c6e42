// The maths helpers of the imaging core.
#include <gtest/gtest.h>

#include "imaging/core/exceptions.h"
#include "imaging/core/pg_math.h"

TEST(PGMath, FloorCeilPowerAndFriends) {
  EXPECT_EQ(Floor(-0.5L), -1);
  EXPECT_EQ(Ceil(-0.5L), 0);
  EXPECT_EQ(Ceil(2.0L), 2);
  EXPECT_EQ(Power(0, 0), 1);
  EXPECT_EQ(Power(0, 2), 0);
  EXPECT_EQ(Power(1, -7), 1);
  EXPECT_NEAR(double(Power(2, 0.5L)), 1.41421356, 1e-8);
  EXPECT_THROW(Power(-2, 0.5L), EPixelGraphic);
  EXPECT_EQ(IntMax(-3, 2), 2);
  EXPECT_EQ(IntMin(-3, 2), -3);
  EXPECT_TRUE(PointInRect(Point(0, 0), Rect(0, 0, 2, 2)));
  EXPECT_FALSE(PointInRect(Point(2, 1), Rect(0, 0, 2, 2)));
  EXPECT_FALSE(PointInRect(Point(1, 2), Rect(0, 0, 2, 2)));
}

TEST(PGMath, ClearRowPaddingOfA10PixelRow) {
  uint8_t row[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  ClearRowPadding(row, 4, 10);
  EXPECT_EQ(row[0], 0xFF);
  EXPECT_EQ(row[1], 0xC0);
  EXPECT_EQ(row[2], 0);
  EXPECT_EQ(row[3], 0);
  uint8_t full[1] = {0xFF};
  ClearRowPadding(full, 1, 8);
  EXPECT_EQ(full[0], 0xFF);
}
