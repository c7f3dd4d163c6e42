// Copy with resampling: the plans of each method on small rows computed by
// hand, clipping, and sizes whose products pass 32 bits.
#include <gtest/gtest.h>

#include <vector>

#include "imaging/core/dither.h"
#include "imaging/core/pixel_graphic.h"

namespace {

// A 24-bit grey row image: pixel x has level Levels[x] in all channels.
void GreyRow(TPixelGraphic& G, const std::vector<int>& Levels, int Rows = 1) {
  G.NewImage(int32_t(Levels.size()), Rows, pf24Bit);
  for (int y = 0; y < Rows; ++y)
    for (size_t x = 0; x < Levels.size(); ++x) G.SetPixel(int32_t(x), y, TColor(Levels[x]) * 0x010101);
}

std::vector<int> Levels(TPixelGraphic& G, int Row = 0) {
  std::vector<int> v;
  for (int x = 0; x < G.GetWidth(); ++x) v.push_back(int(G.GetPixel(x, Row) & 0xFF));
  return v;
}

std::vector<int> Scaled(TStretchMode Mode, const std::vector<int>& Src, int DestWidth) {
  TPixelGraphic s, d;
  GreyRow(s, Src);
  d.NewImage(DestWidth, 1, pf24Bit);
  d.SetStretchMode(Mode);
  d.CopyFrom(&s);
  return Levels(d);
}

}  // namespace

TEST(Resample, PlansOfEachMethod) {
  const int p0 = 10, p1 = 100, p2 = 250, p3 = 40;
  EXPECT_EQ(Scaled(smFast, {p0, p1, p2, p3}, 2), (std::vector<int>{p0, p2}));
  EXPECT_EQ(Scaled(smPrecise, {p0, p1, p2}, 2), (std::vector<int>{(2 * p0 + p1) / 3, (p1 + 2 * p2) / 3}));
  EXPECT_EQ(Scaled(smMedium, {p0, p1, p2}, 2), (std::vector<int>{(3 * p0 + p1) / 4, (p1 + 3 * p2) / 4}));
  EXPECT_EQ(Scaled(smPrecise, {p0, p1}, 4),
            (std::vector<int>{p0, (6 * p0 + 2 * p1) / 8, (2 * p0 + 6 * p1) / 8, p1}));
  EXPECT_EQ(Scaled(smMedium, {p0, p1}, 4), (std::vector<int>{p0, p0, p1, p1}));
  // Truncated, never rounded.
  EXPECT_EQ(Scaled(smPrecise, {0, 255}, 1), (std::vector<int>{127}));
  // A box over a range counts the middle pixels with the middle weight.
  EXPECT_EQ(Scaled(smPrecise, {0, 30, 60, 90, 120, 150}, 2), (std::vector<int>{30, 120}));
}

TEST(Resample, AxesAreIndependent) {
  // 4 x 2 onto 2 x 4 under smPrecise: pairs averaged across, rows interpolated down.
  TPixelGraphic s, d;
  s.NewImage(4, 2, pf24Bit);
  const int top[4] = {0, 20, 100, 200}, bottom[4] = {40, 60, 140, 240};
  for (int x = 0; x < 4; ++x) {
    s.SetPixel(x, 0, TColor(top[x]) * 0x010101);
    s.SetPixel(x, 1, TColor(bottom[x]) * 0x010101);
  }
  d.NewImage(2, 4, pf24Bit);
  d.CopyFrom(&s);
  const int a0 = 10, a1 = 150, b0 = 50, b1 = 190;  // horizontal averages of each row
  EXPECT_EQ(Levels(d, 0), (std::vector<int>{a0, a1}));
  EXPECT_EQ(Levels(d, 1), (std::vector<int>{(6 * a0 + 2 * b0) / 8, (6 * a1 + 2 * b1) / 8}));
  EXPECT_EQ(Levels(d, 2), (std::vector<int>{(2 * a0 + 6 * b0) / 8, (2 * a1 + 6 * b1) / 8}));
  EXPECT_EQ(Levels(d, 3), (std::vector<int>{b0, b1}));
}

TEST(Resample, RectanglesReachingOutsideWriteOnlyTheirInside) {
  TPixelGraphic s, d;
  GreyRow(s, {10, 20, 30, 40});
  GreyRow(d, {1, 1, 1, 1, 1, 1});
  d.SetStretchMode(smFast);
  // Destination starts left of the image: only its inside columns change.
  d.CopyFromRect(-2, 0, 8, 1, 0, 0, 4, 1, &s);
  EXPECT_EQ(Levels(d), (std::vector<int>{20, 20, 30, 30, 40, 40}));
  // Source rectangle starting left of the source: those columns stay as they were.
  GreyRow(d, {1, 1, 1, 1, 1, 1, 1, 1});
  d.CopyFromRect(0, 0, 8, 1, -2, 0, 6, 1, &s);
  EXPECT_EQ(Levels(d), (std::vector<int>{1, 1, 1, 10, 20, 20, 30, 40}));
  // The same under the box and linear plans of smPrecise, in both directions.
  for (int width : {3, 12}) {
    GreyRow(d, std::vector<int>(size_t(width), 1));
    d.SetStretchMode(smPrecise);
    d.CopyFromRect(0, 0, width, 1, 2, 0, 6, 1, &s);  // columns 4 and 5 lie outside
    const std::vector<int> got = Levels(d);
    EXPECT_EQ(got.back(), 1) << width;
    EXPECT_NE(got.front(), 1) << width;
  }
}

TEST(Resample, SizesWhoseProductsPass32Bits) {
  // 70000 source columns onto 40000: d * S reaches 2.8e9.
  TPixelGraphic s, d;
  s.NewImage(70000, 1, pf24Bit);
  for (int x = 0; x < 70000; ++x) s.SetPixel(x, 0, TColor(x % 251) * 0x010101);
  d.NewImage(40000, 1, pf24Bit);
  d.SetStretchMode(smFast);
  d.CopyFrom(&s);
  for (int64_t x : {0, 1, 20000, 39999}) {
    const int64_t sx = x * 70000 / 40000;
    EXPECT_EQ(int64_t(d.GetPixel(int32_t(x), 0) & 0xFF), sx % 251) << x;
  }
  d.SetStretchMode(smPrecise);
  s.NewImage(70000, 1, pf24Bit);  // transparent colour 0 everywhere
  for (int x = 0; x < 70000; ++x) s.SetPixel(x, 0, 0x808080);
  d.CopyFrom(&s);
  EXPECT_EQ(d.GetPixel(39999, 0), 0x808080u);
  EXPECT_EQ(d.GetPixel(0, 0), 0x808080u);
}

TEST(Resample, CopyOntoItselfReadsASnapshot) {
  TPixelGraphic g;
  GreyRow(g, {10, 20, 30, 40});
  g.SetStretchMode(smFast);
  g.CopyFromRect(0, 0, 4, 1, 2, 0, 2, 1, &g);
  EXPECT_EQ(Levels(g), (std::vector<int>{30, 30, 40, 40}));
}

TEST(Resample, PaletteDestinationAndAbort) {
  TPixelGraphic s, d;
  GreyRow(s, {255, 255, 255, 255}, 4);
  d.NewImage(2, 4, pf1Bit);
  d.SetPaletteIdent(pBlackWhite);
  d.SetDither(false);
  d.SetStretchMode(smFast);
  int rows = 0;
  d.OnProgress = [&](TObject*, int32_t, int32_t, bool& Abort) { Abort = ++rows == 2; };
  d.CopyFrom(&s);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(d.GetPixel(0, 0), 1u);
  EXPECT_EQ(d.GetPixel(1, 1), 1u);
  EXPECT_EQ(d.GetPixel(0, 2), 0u);  // rows after the abort keep their values
}

namespace {
// A derived image: a scaled copy onto it stores pixel by pixel through the
// ditherer, the reference for the row loops.
class TPerPixel : public TPixelGraphic {};
}  // namespace

TEST(Resample, PaletteRowsEqualThePixelLoop) {
  InitClampTable();  // the library's start-up builds it
  TPixelGraphic photo, indexed;
  photo.NewImage(23, 17, pf24Bit);
  for (int32_t y = 0; y < 17; ++y)
    for (int32_t x = 0; x < 23; ++x)
      photo.SetPixel(x, y, TColor((x * 11 + y * 3) & 0xFF) | TColor((x * y * 7) & 0xFF) << 8 | TColor((200 - y * 9) & 0xFF) << 16);
  indexed.NewImage(23, 17, pf8Bit);
  indexed.SetPaletteIdent(pSpecial216);
  indexed.CopyFrom(&photo);
  for (TPixelGraphic* source : {&photo, &indexed})
    for (TStretchMode mode : {smFast, smMedium, smPrecise})
      for (TPaletteIdent kind : {pSpecial216, pGray16})
        for (bool dither : {true, false})
          for (auto [w, h] : {std::pair{61, 40}, std::pair{9, 7}}) {
            TPixelGraphic rows;
            TPerPixel pixels;
            for (TPixelGraphic* d : {&rows, static_cast<TPixelGraphic*>(&pixels)}) {
              d->NewImage(w, h, kind == pGray16 ? pf4Bit : pf8Bit);
              d->SetPaletteIdent(kind);
              d->SetDither(dither);
              d->SetStretchMode(mode);
              d->CopyFrom(source);
            }
            for (int32_t y = 0; y < h; ++y)
              for (int32_t x = 0; x < w; ++x)
                ASSERT_EQ(rows.GetPixel(x, y), pixels.GetPixel(x, y))
                    << source->GetBitCount() << " " << int(mode) << " " << int(kind) << " " << dither << " " << w << ": "
                    << x << "," << y;
          }
}
