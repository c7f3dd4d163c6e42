// Rotation by right angles (exact), by an arbitrary angle against a result
// worked out by hand, angle normalisation, and flips.
#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include "imaging/core/exceptions.h"
#include "imaging/core/dither.h"
#include "imaging/core/pixel_graphic.h"

namespace {

// Distinct raw values: 24-bit colours, or palette indices for palette formats.
void Numbered(TPixelGraphic& G, int W, int H, uint8_t Format) {
  G.NewImage(W, H, Format);
  if (Format != pf24Bit) G.SetPaletteIdent(Format == pf1Bit ? pBlackWhite : (Format == pf4Bit ? pSys16 : pGray256));
  const uint32_t mod = Format == pf1Bit ? 2 : Format == pf4Bit ? 16 : Format == pf8Bit ? 256 : 1u << 24;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) G.SetPixel(x, y, uint32_t(y * 7919 + x * 104729 + x * y) % mod);
}

std::unique_ptr<TPixelGraphic> Rotated(TPixelGraphic& Src, long double Angle) {
  auto d = std::make_unique<TPixelGraphic>();
  d->NewImage(Src.GetWidth(), Src.GetHeight(), Src.PixelFormat());
  d->AssignPalette(&Src);
  d->Rotate(true, &Src, Angle);
  return d;
}

}  // namespace

TEST(Rotate, RightAnglesAreExactInEveryFormat) {
  for (uint8_t format : {pf1Bit, pf4Bit, pf8Bit, pf24Bit}) {
    TPixelGraphic s;
    Numbered(s, 5, 3, format);
    auto r90 = Rotated(s, 90), r180 = Rotated(s, 180), r270 = Rotated(s, 270);
    ASSERT_EQ(r90->GetWidth(), 3);
    ASSERT_EQ(r90->GetHeight(), 5);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) {
        const uint32_t v = s.GetPixel(x, y);
        ASSERT_EQ(r90->GetPixel(2 - y, x), v) << int(format);  // top-left goes to the top-right corner
        ASSERT_EQ(r180->GetPixel(4 - x, 2 - y), v);
        ASSERT_EQ(r270->GetPixel(y, 4 - x), v);
      }
  }
}

TEST(Rotate, AnglesAreNormalised) {
  TPixelGraphic s;
  Numbered(s, 3, 2, pf24Bit);
  auto a = Rotated(s, -90), b = Rotated(s, 270), c = Rotated(s, 450), d = Rotated(s, 90);
  auto e = Rotated(s, 360), f = Rotated(s, 89.995L), g = Rotated(s, 1e30L);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 2; ++x) {
      EXPECT_EQ(a->GetPixel(x, y), b->GetPixel(x, y));
      EXPECT_EQ(c->GetPixel(x, y), d->GetPixel(x, y));
      EXPECT_EQ(f->GetPixel(x, y), d->GetPixel(x, y));
    }
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(e->GetPixel(x, y), s.GetPixel(x, y));
  EXPECT_GT(g->GetWidth(), 0);  // a huge angle is reduced, not looped over
  auto h = Rotated(s, 90.02L);
  EXPECT_EQ(h->GetWidth(), 3);
  EXPECT_EQ(h->GetHeight(), 4);
  EXPECT_THROW(Rotated(s, std::numeric_limits<long double>::quiet_NaN()), EPixelGraphic);
  EXPECT_THROW(Rotated(s, std::numeric_limits<long double>::infinity()), EPixelGraphic);
  TPixelGraphic big;
  Numbered(big, 100, 100, pf24Bit);
  auto r45 = Rotated(big, 45);
  EXPECT_EQ(r45->GetWidth(), 142);
  EXPECT_EQ(r45->GetHeight(), 142);
}

// A white dot right of the centre of a black 3 x 3 picture, turned by 45
// degrees clockwise onto a green ground: the 6 x 5 result, worked out by
// hand. The dot's centre lands down and right of the picture's centre,
// between pixels: the nearest sample puts it on pixel (4, 3); the smooth
// one spreads it over (4, 3) (weight 2 - sqrt 2, the rest of that pixel's
// samples falling off the picture onto the green ground), (3, 3) and
// (4, 2) (weight (sqrt 2 - 1) / sqrt 2 each).
TEST(Rotate, ADotTurnedBy45DegreesLandsWhereWorkedOutByHand) {
  TPixelGraphic s;
  s.NewImage(3, 3, pf24Bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) s.SetPixelColor(x, y, 0);
  s.SetPixelColor(2, 1, 0xFFFFFF);
  const TColor green = 0x00FF00;
  for (bool smooth : {true, false}) {
    SCOPED_TRACE(smooth ? "smooth" : "nearest");
    TPixelGraphic d;
    d.NewImage(1, 1, pf24Bit);
    d.SetTransparentColor(green);
    d.SetSmoothRotate(smooth);
    d.Rotate(true, &s, 45);
    ASSERT_EQ(d.GetWidth(), 6);
    ASSERT_EQ(d.GetHeight(), 5);
    EXPECT_EQ(d.GetPixelColor(4, 3), smooth ? TColor(0x95FF95) : TColor(0xFFFFFF));
    EXPECT_EQ(d.GetPixelColor(3, 3), smooth ? TColor(0x353535) : TColor(0));
    EXPECT_EQ(d.GetPixelColor(4, 2), smooth ? TColor(0x353535) : TColor(0));
    for (TPoint black : {TPoint{3, 2}, TPoint{2, 2}, TPoint{3, 1}}) EXPECT_EQ(d.GetPixelColor(black.X, black.Y), 0u);
    for (TPoint corner : {TPoint{0, 0}, TPoint{5, 0}, TPoint{0, 4}, TPoint{5, 4}})
      EXPECT_EQ(d.GetPixelColor(corner.X, corner.Y), green);
  }
}

TEST(Rotate, OtherPaletteTakesTheMappedRouteAndItselfIsASnapshot) {
  InitClampTable();  // built by the library's start-up
  TPixelGraphic s;
  s.NewImage(2, 1, pf4Bit);
  s.SetPaletteIdent(pSys16);
  s.SetPixel(0, 0, 15);  // white
  s.SetPixel(1, 0, 0);   // black
  TPixelGraphic d;
  d.NewImage(1, 1, pf8Bit);
  d.SetPaletteIdent(pGray256);
  d.Rotate(true, &s, 180);
  EXPECT_EQ(d.GetPixel(0, 0), 0u);
  EXPECT_EQ(d.GetPixel(1, 0), 255u);
  EXPECT_TRUE(d.SmoothRotate());

  TPixelGraphic g;
  Numbered(g, 4, 2, pf24Bit);
  const uint32_t corner = g.GetPixel(0, 0);
  g.Rotate(true, &g, 90);
  EXPECT_EQ(g.GetWidth(), 2);
  EXPECT_EQ(g.GetPixel(1, 0), corner);
  EXPECT_THROW(g.FastRotate(45, &s), EPixelGraphic);
}

TEST(Flip, MirrorsAndRestores) {
  TPixelGraphic g;
  Numbered(g, 5, 3, pf4Bit);
  TPixelGraphic orig;
  orig.Assign(&g);
  g.FlipHorizontal();
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(g.GetPixel(2, y), orig.GetPixel(2, y));
    EXPECT_EQ(g.GetPixel(0, y), orig.GetPixel(4, y));
  }
  g.FlipHorizontal();
  g.FlipVertical();
  for (int x = 0; x < 5; ++x) EXPECT_EQ(g.GetPixel(x, 0), orig.GetPixel(x, 2));
  g.FlipVertical();
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(g.GetPixel(x, y), orig.GetPixel(x, y));
  TPixelGraphic one;
  Numbered(one, 1, 3, pf24Bit);
  const uint32_t v = one.GetPixel(0, 1);
  one.FlipHorizontal();
  EXPECT_EQ(one.GetPixel(0, 1), v);
}
