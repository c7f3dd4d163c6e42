// The soft border: frame and ellipse weights computed by hand, the small and
// narrow cases, abort, and bordering an image onto itself.
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/core/dither.h"
#include "imaging/core/pixel_graphic.h"

namespace {

void Fill(TPixelGraphic& G, int W, int H, TColor C) {
  G.NewImage(W, H, pf24Bit);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) G.SetPixel(x, y, C);
}

int Blend(int a, int b, int w) { return (a * (1024 - w) + b * w) / 1024; }

}  // namespace

TEST(SoftBorder, FrameWeights) {
  TPixelGraphic src, dst;
  Fill(src, 30, 20, 0x000000);
  dst.SoftBorder(0, 10, &src, 0xFFFFFF);
  ASSERT_EQ(dst.GetWidth(), 30);
  ASSERT_EQ(dst.GetHeight(), 20);
  const int w3 = 6 * 1024 / 9;  // 682
  EXPECT_EQ(dst.GetPixel(15, 0), 0xFFFFFFu);        // outermost row: pure colour
  EXPECT_EQ(dst.GetPixel(15, 9) & 0xFF, 0u);        // distance 9: unchanged
  EXPECT_EQ(int(dst.GetPixel(15, 3) & 0xFF), Blend(0, 255, w3));
  EXPECT_EQ(int(dst.GetPixel(15, 16) & 0xFF), Blend(0, 255, w3));  // bottom edge, distance 3
  EXPECT_EQ(dst.GetPixel(0, 0), 0xFFFFFFu);         // corner
  EXPECT_EQ(int(dst.GetPixel(3, 3) & 0xFF), Blend(Blend(0, 255, w3), 255, w3));  // blended twice
  EXPECT_EQ(int(dst.GetPixel(26, 3) & 0xFF), Blend(Blend(0, 255, w3), 255, w3));
}

TEST(SoftBorder, EllipseCentreCornersAndAxisEnds) {
  TPixelGraphic src, dst;
  Fill(src, 101, 51, 0x123456);
  dst.SoftBorder(1, 10, &src, 0x00FF00);
  EXPECT_EQ(dst.GetPixel(50, 25), 0x123456u);
  for (auto [x, y] : {std::pair{0, 0}, {100, 0}, {0, 50}, {100, 50}}) EXPECT_EQ(dst.GetPixel(x, y), 0x00FF00u);
  for (auto [x, y] : {std::pair{0, 25}, {100, 25}, {50, 0}, {50, 50}}) EXPECT_EQ(dst.GetPixel(x, y), 0x00FF00u);
  // On the long axis, 4 pixels in from the end: D = 4 * sqrt(k1) with k1 = 25/50.
  const long double D = 4 * std::sqrt(0.5L);
  const int w = int(std::floor((9 - D) * 1024 / 9));
  EXPECT_EQ(int((dst.GetPixel(4, 25) >> 8) & 0xFF), Blend(0x34, 0xFF, w));
}

TEST(SoftBorder, NarrowBordersLeaveThePictureAndSmallImagesAreFilled) {
  InitClampTable();  // built by the library's start-up
  TPixelGraphic src, dst;
  Fill(src, 5, 4, 0x102030);
  src.SetPixel(2, 2, 0x0000FF);
  for (int mode : {0, 1})
    for (int width : {1, 0, -3}) {
      dst.SoftBorder(mode, width, &src, 0xFFFFFF);
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) ASSERT_EQ(dst.GetPixel(x, y), src.GetPixel(x, y)) << mode << width;
    }
  Fill(src, 2, 6, 0x102030);
  dst.SoftBorder(0, 10, &src, 0xABCDEF);
  for (int y = 0; y < 6; ++y) EXPECT_EQ(dst.GetPixel(1, y), 0xABCDEFu);
  // The same fill on a dithered palette image (the ditherer is set up).
  TPixelGraphic pal;
  pal.NewImage(1, 1, pf8Bit);
  pal.SetPaletteIdent(pGray256);
  pal.SetDither(true);
  pal.SoftBorder(1, 10, &src, 0x808080);
  EXPECT_EQ(pal.GetWidth(), 2);
  EXPECT_EQ(pal.GetPixel(0, 0), 0x80u);
  EXPECT_EQ(pal.GetPixel(1, 5), 0x80u);
}

TEST(SoftBorder, AbortKeepsTheRowsDone) {
  TPixelGraphic src, dst;
  Fill(src, 8, 12, 0x000000);
  dst.SetTransparentColor(0x0000FF);
  int ends = 0;
  dst.OnProgress = [](TObject*, int32_t Step, int32_t Max, bool& Abort) {
    EXPECT_EQ(Max, 11);
    Abort = Step == 5;
  };
  dst.OnProgressEnd = [&](TObject*) { ++ends; };
  dst.SoftBorder(0, 3, &src, 0xFFFFFF);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(dst.GetPixel(0, 5), 0xFFFFFFu);
  EXPECT_EQ(dst.GetPixel(4, 5), 0u);
  EXPECT_EQ(dst.GetPixel(4, 6), 0x0000FFu);
}

TEST(SoftBorder, OntoItself) {
  TPixelGraphic g;
  Fill(g, 6, 6, 0x000000);
  g.SoftBorder(0, 2, &g, 0xFFFFFF);
  EXPECT_EQ(g.GetPixel(0, 3), 0xFFFFFFu);
  EXPECT_EQ(g.GetPixel(3, 3), 0u);
}
