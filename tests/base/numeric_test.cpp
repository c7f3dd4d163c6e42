#include <gtest/gtest.h>

#include "platform/base/numeric.h"

TEST(Numeric, RoundIsHalfToEvenAndTruncTowardZero) {
  EXPECT_EQ(Round(0.5L), 0);
  EXPECT_EQ(Round(1.5L), 2);
  EXPECT_EQ(Round(2.5L), 2);
  EXPECT_EQ(Round(-0.5L), 0);
  EXPECT_EQ(Round(-1.5L), -2);
  EXPECT_EQ(Round(2.5000001L), 3);
  EXPECT_EQ(Trunc(-2.7L), -2);
  EXPECT_EQ(Trunc(2.7L), 2);
  EXPECT_EQ(Floor(-2.5L), -3);
  EXPECT_EQ(Ceil(-2.5L), -2);
}

TEST(Numeric, MulDivRoundsHalfAwayFromZero) {
  EXPECT_EQ(MulDiv(5, 1, 2), 3);
  EXPECT_EQ(MulDiv(-5, 1, 2), -3);
  EXPECT_EQ(MulDiv(5, -1, 2), -3);
  EXPECT_EQ(MulDiv(-5, -1, -2), -3);
  EXPECT_EQ(MulDiv(7, 3, 4), 5);  // 5.25
  EXPECT_EQ(MulDiv(100000, 100000, 100000), 100000);  // 64-bit product
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
  EXPECT_EQ(MulDiv(0x7FFFFFFF, 2, 1), -1);  // overflow
}
