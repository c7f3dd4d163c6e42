// Rotation by right angles (exact), by arbitrary angles against a mapping
// computed here, angle normalisation, and flips.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

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

TEST(Rotate, ThirtyDegreesMatchesTheInverseMapping) {
  TPixelGraphic s;
  Numbered(s, 9, 6, pf24Bit);
  TPixelGraphic d;
  d.SetTransparentColor(0x0000FF);
  d.Rotate(true, &s, 30);
  // The turned size and the pixels from the 80-bit matrix and its inverse.
  const long double t = 30 * std::numbers::pi_v<long double> / 180, c = std::cos(t), sn = std::sin(t);
  // Corners (9, 6), (0, 6), (9, 0) and (0, 0) turned: X = x c - y s, Y = x s + y c.
  const long double xs[4] = {9 * c - 6 * sn, -6 * sn, 9 * c, 0}, ys[4] = {9 * sn + 6 * c, 6 * c, 9 * sn, 0};
  const long double* ex = xs;
  const int w = int(std::ceil(*std::max_element(ex, ex + 4)) - std::floor(*std::min_element(ex, ex + 4)));
  const int h = int(std::ceil(*std::max_element(ys, ys + 4)) - std::floor(*std::min_element(ys, ys + 4)));
  ASSERT_EQ(d.GetWidth(), w);
  ASSERT_EQ(d.GetHeight(), h);
  int inside = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const long double u = x - w / 2, v = y - h / 2;
      const long double fx = u * c + v * sn + 9 / 2, fy = u * -sn + v * c + 6 / 2;
      const long double x0 = std::floor(fx), x1 = std::ceil(fx), y0 = std::floor(fy), y1 = std::ceil(fy);
      auto in = [](long double px, long double py) { return px >= 0 && px <= 8 && py >= 0 && py <= 5; };
      if (!in(x0, y0) && !in(x0, y1) && !in(x1, y0) && !in(x1, y1)) {
        ASSERT_EQ(d.GetPixel(x, y), 0x0000FFu) << x << "," << y;
        continue;
      }
      ++inside;
      const long double wx0 = x0 == x1 ? 0.5L : 1 - (fx - x0), wx1 = x0 == x1 ? 0.5L : 1 - (x1 - fx);
      const long double wy0 = y0 == y1 ? 0.5L : 1 - (fy - y0), wy1 = y0 == y1 ? 0.5L : 1 - (y1 - fy);
      auto at = [&](long double px, long double py) {
        return in(px, py) ? s.GetPixel(int(px), int(py)) : TColor(0x0000FF);
      };
      for (int k = 0; k < 3; ++k) {
        auto ch = [&](TColor col) { return (long double)((col >> (8 * k)) & 0xFF); };
        const long double sum = ch(at(x0, y0)) * (wx0 * wy0) + ch(at(x0, y1)) * (wx0 * wy1) +
                           ch(at(x1, y0)) * (wx1 * wy0) + ch(at(x1, y1)) * (wx1 * wy1);
        ASSERT_EQ(int((d.GetPixel(x, y) >> (8 * k)) & 0xFF), int(std::nearbyintl(sum))) << x << "," << y;
      }
    }
  EXPECT_GT(inside, 40);
}

// Angles whose sine or cosine is a half put many source positions exactly on
// x.5: there a blended channel of two neighbours is a tie, and nearest
// sampling rounds a half. The expectation is the mapping with the 80-bit
// inverse matrix, pixel by pixel.
TEST(Rotate, AnyAngleFollowsTheExtendedMapping) {
  const int sw = 320, sh = 240;
  TPixelGraphic s;
  s.NewImage(sw, sh, pf24Bit);
  for (int y = 0; y < sh; ++y)
    for (int x = 0; x < sw; ++x) s.SetPixelColor(x, y, TColor((x * 37 + y * 11) & 0xFF) | TColor((x * y + 3 * x) & 0xFF) << 8 |
                                                        TColor((x * 5 + y * 29 + 7) & 0xFF) << 16);
  const TColor fill = 0x00FF00FF;
  for (bool smooth : {true, false})
    for (long double angle : {30.0L, 60.0L, 210.0L}) {
      TPixelGraphic d;
      d.NewImage(1, 1, pf24Bit);
      d.SetTransparentColor(fill);
      d.SetSmoothRotate(smooth);
      d.Rotate(true, &s, angle);
      const long double t = angle * std::numbers::pi_v<long double> / 180;
      const long double A = std::cos(t), B = -std::sin(t), C = std::sin(t), D = std::cos(t), det = A * D - B * C;
      const long double iA = D / det, iB = -B / det, iC = -C / det, iD = A / det;
      const int w = d.GetWidth(), h = d.GetHeight(), dcx = w / 2, dcy = h / 2;
      auto in = [&](int64_t x, int64_t y) { return x >= 0 && x < sw && y >= 0 && y < sh; };
      int mismatches = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const long double fx = (long double)(x - dcx) * iA + (long double)(y - dcy) * iB + sw / 2;
          const long double fy = (long double)(x - dcx) * iC + (long double)(y - dcy) * iD + sh / 2;
          TColor want = fill;
          if (!smooth) {
            const int64_t sx = int64_t(std::nearbyintl(fx)), sy = int64_t(std::nearbyintl(fy));
            if (in(sx, sy)) want = s.GetPixelColor(int32_t(sx), int32_t(sy));
          } else {
            const int64_t x0 = int64_t(std::floor(fx)), x1 = int64_t(std::ceil(fx));
            const int64_t y0 = int64_t(std::floor(fy)), y1 = int64_t(std::ceil(fy));
            if (in(x0, y0) || in(x0, y1) || in(x1, y0) || in(x1, y1)) {
              const long double wx0 = x0 == x1 ? 0.5L : 1 - (fx - x0), wx1 = x0 == x1 ? 0.5L : 1 - (x1 - fx);
              const long double wy0 = y0 == y1 ? 0.5L : 1 - (fy - y0), wy1 = y0 == y1 ? 0.5L : 1 - (y1 - fy);
              auto at = [&](int64_t px, int64_t py) { return in(px, py) ? s.GetPixelColor(int32_t(px), int32_t(py)) : fill; };
              want = 0;
              for (int k = 0; k < 3; ++k) {
                auto ch = [&](TColor col) { return (long double)((col >> (8 * k)) & 0xFF); };
                const long double sum = ch(at(x0, y0)) * (wx0 * wy0) + ch(at(x0, y1)) * (wx0 * wy1) +
                                        ch(at(x1, y0)) * (wx1 * wy0) + ch(at(x1, y1)) * (wx1 * wy1);
                want |= TColor(std::nearbyintl(sum)) << (8 * k);
              }
            }
          }
          if (d.GetPixelColor(x, y) != want && ++mismatches <= 3)
            ADD_FAILURE() << "angle " << double(angle) << " smooth " << smooth << " at " << x << "," << y;
        }
      EXPECT_EQ(mismatches, 0) << "angle " << double(angle) << " smooth " << smooth;
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
