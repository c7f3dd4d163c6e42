#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/formats/codec_glue.h"
#include "imaging/formats/jpeg_glue.h"
#include "imaging/formats/png_glue.h"

namespace {

std::vector<std::string> Lines(const std::string& Bytes) {
  return SplitTextLines(reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size());
}

using V = std::vector<std::string>;

}  // namespace

TEST(CodecGlue, TextLinesPairsZeroAndLastByte) {
  EXPECT_EQ(Lines(std::string("a\r\n\r\nb")), (V{"a", "", "b"}));
  EXPECT_EQ(Lines(std::string("abc\r\n")), (V{"abc", ""}));     // the last byte ends a line too
  EXPECT_EQ(Lines(std::string("a\n\rb\nc\rd")), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(Lines(std::string("a\r\nb\r\n\0", 7)), (V{"a", "b"}));  // what the writers produce
  EXPECT_EQ(Lines(std::string("x\0yz", 4)), (V{"x"}));          // 0 ends the whole text
  EXPECT_EQ(Lines(std::string("\0", 1)), V{});
  EXPECT_EQ(Lines(std::string("\n\n")), (V{"", ""}));
  EXPECT_EQ(Lines(""), V{});
}

TEST(CodecGlue, AspectOnlyDensities) {
  int32_t x = 7, y = 9;
  AspectResolution(100, 100, 1, 2, x, y);
  EXPECT_EQ(x, 1000);
  EXPECT_EQ(y, 2000);
  x = 7, y = 9;
  AspectResolution(100, 100, 100, 101, x, y);  // within 5 %: unchanged
  EXPECT_EQ(x, 7);
  EXPECT_EQ(y, 9);
  AspectResolution(100, 50, 3, 1, x, y);  // a = 33.3 < b = 50: from the height
  EXPECT_EQ(y, 500);
  EXPECT_EQ(x, 1500);
  x = 7;
  AspectResolution(100, 50, 0, 1, x, y);
  EXPECT_EQ(x, 7);
}

TEST(CodecGlue, JFIFDensityUnits) {
  int32_t x = 0, y = 0;
  JPEGDensityToResolution(10, 10, 1, 72, 72, x, y);
  EXPECT_EQ(x, 2835);
  EXPECT_EQ(y, 2835);
  JPEGDensityToResolution(10, 10, 2, 28, 28, x, y);
  EXPECT_EQ(x, 2800);
  JPEGDensityToResolution(100, 100, 0, 1, 2, x, y);
  EXPECT_EQ(x, 1000);
  EXPECT_EQ(y, 2000);
  x = y = 5;
  JPEGDensityToResolution(100, 100, 0, 1, 1, x, y);  // the library's default header
  JPEGDensityToResolution(100, 100, 1, 0, 72, x, y);
  JPEGDensityToResolution(100, 100, 3, 72, 72, x, y);
  EXPECT_EQ(x, 5);
  EXPECT_EQ(y, 5);
}

TEST(CodecGlue, PreviewScale) {
  EXPECT_EQ(JPEGPreviewScale(1600, 1200, 100), 8);
  EXPECT_EQ(JPEGPreviewScale(300, 200, 100), 2);
  EXPECT_EQ(JPEGPreviewScale(150, 100, 100), 1);
  EXPECT_EQ(JPEGPreviewScale(1200, 1600, 100), 8);  // measured along the height
  EXPECT_EQ(JPEGPreviewScale(1600, 1200, 0), 1);
  EXPECT_EQ(JPEGPreviewScale(65535, 1, 1), 1);       // a side would vanish
  EXPECT_EQ(JPEGPreviewScale(65535, 65535, 0x7FFFFFFF), 1);
}

TEST(CodecGlue, DateTimeValues) {
  double v = 0;
  ASSERT_TRUE(EncodeDateTimeValue(1899, 12, 30, 12, 0, 0, v));
  EXPECT_DOUBLE_EQ(v, 0.5);
  ASSERT_TRUE(EncodeDateTimeValue(2000, 2, 29, 6, 30, 15, v));
  int32_t y, mo, d, h, mi, s;
  DecodeDateTimeValue(v, y, mo, d, h, mi, s);
  EXPECT_EQ((std::vector<int32_t>{y, mo, d, h, mi, s}), (std::vector<int32_t>{2000, 2, 29, 6, 30, 15}));
  ASSERT_TRUE(EncodeDateTimeValue(1850, 7, 1, 18, 0, 0, v));  // before the epoch
  DecodeDateTimeValue(v, y, mo, d, h, mi, s);
  EXPECT_EQ((std::vector<int32_t>{y, mo, d, h}), (std::vector<int32_t>{1850, 7, 1, 18}));
  EXPECT_FALSE(EncodeDateTimeValue(2001, 2, 29, 0, 0, 0, v));
  EXPECT_FALSE(EncodeDateTimeValue(2001, 13, 1, 0, 0, 0, v));
  EXPECT_FALSE(EncodeDateTimeValue(2001, 1, 0, 0, 0, 0, v));
  EXPECT_FALSE(EncodeDateTimeValue(2001, 1, 1, 24, 0, 0, v));
  EXPECT_FALSE(EncodeDateTimeValue(0, 1, 1, 0, 0, 0, v));
  DecodeDateTimeValue(1e300, y, mo, d, h, mi, s);  // out of range: no overflow
  EXPECT_EQ(y, 1899);
}

TEST(CodecGlue, PNGWarningsThatReachTheUser) {
  EXPECT_FALSE(PNGWarningReachesUser("iCCP: known incorrect sRGB profile"));
  EXPECT_FALSE(PNGWarningReachesUser("cHRM: invalid chromaticities"));
  EXPECT_FALSE(PNGWarningReachesUser("Ignoring invalid time value"));
  EXPECT_TRUE(PNGWarningReachesUser("tEXt: invalid keyword"));
  EXPECT_TRUE(PNGWarningReachesUser("gAMA: gamma value out of range"));
  EXPECT_TRUE(PNGWarningReachesUser("Extra compressed data"));
}
