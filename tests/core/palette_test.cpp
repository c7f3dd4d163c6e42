#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "imaging/core/exceptions.h"
#include "imaging/core/palette.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/gdi/objects.h"

namespace {

constexpr TColor Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

// Deterministic colour sequence for the brute-force comparisons.
struct ColorSource {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  TColor Next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<TColor>(state >> 40) & 0xFFFFFF;
  }
};

// Every corner of the cells of the 252-colour lists: the channel values
// 32 k - 16 and 32 k + 15 clipped to 0..255.
std::vector<TColor> CellCorners() {
  std::vector<int> v;
  for (int k = 0; k <= 8; ++k) {
    v.push_back(std::max(0, 32 * k - 16));
    v.push_back(std::min(255, 32 * k + 15));
  }
  std::vector<TColor> out;
  for (int r : v)
    for (int g : v)
      for (int b : v) out.push_back(Rgb(r, g, b));
  return out;
}

// An image with the standard palette of a kind.
struct KindImage {
  TPixelGraphic g;
  explicit KindImage(TPaletteIdent kind, bool weighted = true) {
    g.NewImage(1, 1, pf8Bit);
    g.SetPaletteIdent(kind);
    g.SetRGBWeighting(weighted);
  }
  uint32_t Nearest(TColor c) { return g.GetNearestIndex(c); }
};

}  // namespace

TEST(Palette, BrightnessWeightedAndPlain) {
  EXPECT_EQ(Brightness(Rgb(255, 255, 255), true), 765);
  EXPECT_EQ(Brightness(Rgb(255, 255, 255), false), 765);
  EXPECT_EQ(Brightness(Rgb(0, 255, 0), true), 449);
  EXPECT_EQ(Brightness(Rgb(10, 20, 30), false), 60);
  EXPECT_EQ(Brightness(Rgb(255, 0, 0), true), 228);  // 76245 * 3 div 1000
}

TEST(Palette, StandardPalettesByFormula) {
  auto grey = [](int v) { return Rgb(v, v, v); };
  EXPECT_EQ(StandardPalette(pGray4), (std::vector<TColor>{grey(0), grey(85), grey(170), grey(255)}));
  EXPECT_EQ(StandardPalette(pSysGray4), (std::vector<TColor>{grey(0), grey(128), grey(192), grey(255)}));
  EXPECT_EQ(StandardPaletteEntry(pGray16, 1), grey(17));
  EXPECT_EQ(StandardPaletteEntry(pGray236, 1), grey(1));
  EXPECT_EQ(StandardPaletteEntry(pGray236, 117), grey(127));  // 126.96
  EXPECT_EQ(StandardPaletteEntry(pGray236, 235), grey(255));
  EXPECT_EQ(StandardPaletteEntry(pSpecial125, 124), grey(255));
  EXPECT_EQ(StandardPaletteEntry(pSpecial125, 25 * 1 + 5 * 2 + 3), Rgb(64, 128, 192));
  EXPECT_EQ(StandardPaletteEntry(pSpecial216, 36 * 1 + 6 * 2 + 3), Rgb(51, 102, 153));
  EXPECT_EQ(StandardPaletteEntry(pSpecial252, 16), Rgb(0, 0, 0x40));
  EXPECT_EQ(StandardPaletteEntry(pSpecial252, 125), grey(0x20));
  EXPECT_EQ(StandardPaletteEntry(pSpecial252, 251), Rgb(0xE0, 0x60, 0xC0));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(StandardPaletteEntry(pSys16, i), StandardPaletteEntry(pSpecial252, i));
  EXPECT_EQ(StandardPaletteEntry(pSys16, 1), Rgb(128, 0, 0));
  EXPECT_EQ(StandardPaletteEntry(pSys16, 4), Rgb(0, 0, 128));
  // All 252 entries differ.
  auto p = StandardPalette(pSpecial252);
  std::sort(p.begin(), p.end());
  EXPECT_EQ(std::unique(p.begin(), p.end()), p.end());
}

TEST(Palette, ThresholdsOfTheRegularKinds) {
  struct Case { TPaletteIdent kind; bool weighted; TColor color; uint32_t index; };
  const Case cases[] = {
      {pBlackWhite, false, Rgb(127, 127, 128), 0},  // brightness 382
      {pBlackWhite, false, Rgb(127, 128, 128), 1},  // 383
      {pBlackWhite, true, Rgb(0, 255, 0), 1},       // 449
      {pSysGray4, false, Rgb(64, 64, 64), 0},       // 192
      {pSysGray4, false, Rgb(64, 64, 65), 1},       // 193
      {pSysGray4, false, Rgb(160, 160, 160), 1},    // 480
      {pSysGray4, false, Rgb(160, 160, 161), 2},    // 481
      {pSysGray4, false, Rgb(223, 223, 224), 2},    // 670
      {pSysGray4, false, Rgb(223, 224, 224), 3},    // 671
      {pGray4, false, Rgb(42, 42, 43), 0},          // 127
      {pGray4, false, Rgb(42, 43, 43), 1},          // 128
      {pGray4, false, Rgb(255, 255, 255), 3},
      {pGray16, false, Rgb(8, 8, 9), 0},            // 25
      {pGray16, false, Rgb(8, 9, 9), 1},            // 26
      {pGray16, false, Rgb(255, 255, 255), 15},
      {pGray256, false, Rgb(0, 0, 1), 0},           // 1
      {pGray256, false, Rgb(0, 1, 1), 1},           // 2
      {pGray256, false, Rgb(255, 255, 255), 255},
      {pGray236, false, Rgb(0, 0, 0), 0},
      {pGray236, false, Rgb(255, 255, 255), 235},
      {pSpecial125, true, Rgb(223, 224, 32), 25 * 3 + 5 * 4 + 0},
      {pSpecial125, true, Rgb(33, 0, 255), 25 * 1 + 0 + 4},
      {pSpecial216, true, Rgb(26, 27, 0), 0 + 6 * 1},
      {pSpecial216, true, Rgb(230, 231, 255), 36 * 4 + 6 * 5 + 5},
  };
  for (const Case& c : cases) {
    KindImage k(c.kind, c.weighted);
    EXPECT_EQ(k.Nearest(c.color), c.index) << int(c.kind) << " " << std::hex << c.color;
  }
}

TEST(Palette, Gray236TableIsTheNearestGreyOfAThirdOfTheBrightness) {
  for (int b = 0; b <= 765; ++b) {
    int best = 0;
    for (int i = 1; i < 236; ++i) {
      const int level = static_cast<int>(StandardPaletteEntry(pGray236, i) & 0xFF);
      const int bestLevel = static_cast<int>(StandardPaletteEntry(pGray236, best) & 0xFF);
      if (std::abs(3 * level - b) < std::abs(3 * bestLevel - b)) best = i;
    }
    EXPECT_EQ(NearestGray236(b), best) << b;
  }
}

TEST(Palette, Sys16CandidatesFindEveryColourOfTheTable) {
  KindImage k(pSys16);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(k.Nearest(StandardPaletteEntry(pSys16, i)), static_cast<uint32_t>(i));
  EXPECT_EQ(k.Nearest(Rgb(200, 10, 10)), 9u);
  EXPECT_EQ(k.Nearest(Rgb(100, 100, 100)), 8u);
}

TEST(Palette, Special252ListsGiveTheFirstNearestEntry) {
  const std::vector<TColor> pal = StandardPalette(pSpecial252);
  InitPGPalettes();
  ColorSource src;
  std::vector<TColor> colors = CellCorners();
  for (int i = 0; i < 1000000; ++i) colors.push_back(src.Next());
  for (TColor c : colors) {
    const uint8_t want = NearestPaletteIndex(pal.data(), 252, c);
    const uint8_t got = NearestSpecial252(c);
    if (got != want) {
      ADD_FAILURE() << std::hex << c << ": " << std::dec << int(got) << " instead of " << int(want);
      break;
    }
  }
  // Through the image, with the memo in between.
  KindImage k(pSpecial252);
  for (size_t i = 0; i < 5000; ++i)
    ASSERT_EQ(k.Nearest(colors[i]), NearestPaletteIndex(pal.data(), 252, colors[i]));
}

TEST(Palette, ExhaustiveSearchTakesTheFirstOfEqualDistances) {
  const TColor pal[] = {Rgb(10, 0, 0), Rgb(0, 0, 0), Rgb(0, 0, 0), Rgb(20, 0, 0)};
  EXPECT_EQ(NearestPaletteIndex(pal, 4, Rgb(5, 0, 0)), 0);
  EXPECT_EQ(NearestPaletteIndex(pal, 4, Rgb(1, 0, 0)), 1);
  EXPECT_EQ(NearestPaletteIndex(pal, 4, Rgb(15, 0, 0)), 0);
  EXPECT_EQ(NearestPaletteIndex(pal, 0, Rgb(15, 0, 0)), 0);
}

// The colour cache answers a palette colour with its own entry (the first
// of equal entries), a cell within four 5-6-5 steps of some entry with the
// lowest-indexed entry of the nearest such cell distance, and any other cell
// with the exhaustive answer of the first colour asked in it.
TEST(Palette, ColorCacheFollowsItsCellRules) {
  for (int count : {7, 40, 256}) {
    ColorSource src;
    std::vector<TColor> pal(count);
    for (TColor& c : pal) c = src.Next();
    if (count == 256) pal[200] = pal[3];  // a duplicate entry loses to the lower index
    pal[5] = pal[1] ^ 0x010101;           // an entry in the cell of an earlier one
    TPixelGraphic cached, plain;
    for (TPixelGraphic* g : {&cached, &plain}) {
      g->NewImage(1, 1, pf8Bit);
      g->SetPaletteCount(count);
      for (int i = 0; i < count; ++i) g->SetPaletteEntry(i, pal[i]);
    }
    plain.SetUseColorCache(false);

    std::map<int, uint8_t> firstAnswer;
    auto expected = [&](TColor c) -> uint32_t {
      for (int i = 0; i < count; ++i)
        if (pal[i] == c) return static_cast<uint32_t>(i);
      const int r = (c & 0xFF) >> 3, g = ((c >> 8) & 0xFF) >> 2, b = ((c >> 16) & 0xFF) >> 3;
      int bestK = 5, bestI = -1;
      for (int i = 0; i < count; ++i) {
        const int k = std::max({std::abs(r - static_cast<int>((pal[i] & 0xFF) >> 3)),
                                std::abs(g - static_cast<int>(((pal[i] >> 8) & 0xFF) >> 2)),
                                std::abs(b - static_cast<int>(((pal[i] >> 16) & 0xFF) >> 3))});
        if (k < bestK) {
          bestK = k;
          bestI = i;
        }
      }
      if (bestI >= 0) return static_cast<uint32_t>(bestI);
      const int cell = (r << 11) | (g << 5) | b;
      auto it = firstAnswer.find(cell);
      if (it == firstAnswer.end()) it = firstAnswer.emplace(cell, NearestPaletteIndex(pal.data(), count, c)).first;
      return it->second;
    };

    std::vector<TColor> colors = CellCorners();
    for (int i = 0; i < 1000000; ++i) {
      colors.push_back(src.Next());
      if (i % 1000 == 0) colors.push_back(pal[i / 1000 % count]);
    }
    for (TColor c : colors) {
      const uint32_t want = expected(c), got = cached.GetNearestIndex(c);
      if (got != want) {
        ADD_FAILURE() << count << " entries, colour " << std::hex << c << ": " << std::dec << got << " not " << want;
        break;
      }
    }
    for (size_t i = 0; i < 200000; ++i)
      ASSERT_EQ(plain.GetNearestIndex(colors[i]), NearestPaletteIndex(pal.data(), count, colors[i]));
  }
}

TEST(Palette, DetectPaletteIdentRecognisesEveryStandardKind) {
  const TPaletteIdent kinds[] = {pBlackWhite, pSysGray4, pSys16,      pGray4,      pGray16,
                                 pGray236,    pGray256,  pSpecial125, pSpecial216, pSpecial252};
  for (TPaletteIdent kind : kinds) {
    TPixelGraphic g;
    g.NewImage(1, 1, pf8Bit);
    const std::vector<TColor> pal = StandardPalette(kind);
    g.SetPaletteCount(static_cast<int32_t>(pal.size()));
    for (size_t i = 0; i < pal.size(); ++i) g.SetPaletteEntry(static_cast<int32_t>(i), pal[i]);
    EXPECT_EQ(g.PaletteIdent(), pUnknown);
    g.DetectPaletteIdent();
    EXPECT_EQ(g.PaletteIdent(), kind);
    const bool grey = kind != pSys16 && kind != pSpecial125 && kind != pSpecial216 && kind != pSpecial252;
    EXPECT_EQ(g.IsGrayPalette(), grey) << int(kind);
    // One entry off: no standard kind any more.
    g.SetPaletteEntry(static_cast<int32_t>(pal.size()) - 1, Rgb(1, 2, 3));
    g.DetectPaletteIdent();
    EXPECT_EQ(g.PaletteIdent(), pUnknown) << int(kind);
  }
}

TEST(Palette, DetectPaletteIdentLookAlikes) {
  TPixelGraphic g;
  g.NewImage(1, 1, pf4Bit);
  g.SetPaletteCount(4);
  const TColor sysGray[] = {Rgb(0, 0, 0), Rgb(128, 128, 128), Rgb(192, 192, 192), Rgb(255, 255, 255)};
  for (int i = 0; i < 4; ++i) g.SetPaletteEntry(i, sysGray[i]);
  g.DetectPaletteIdent();
  EXPECT_EQ(g.PaletteIdent(), pSysGray4);

  g.SetPaletteCount(2);  // black, grey 128: not black and white
  g.DetectPaletteIdent();
  EXPECT_EQ(g.PaletteIdent(), pUnknown);
  g.SetPaletteEntry(0, Rgb(255, 255, 255));
  g.SetPaletteEntry(1, Rgb(0, 0, 0));  // reversed
  g.DetectPaletteIdent();
  EXPECT_EQ(g.PaletteIdent(), pUnknown);

  g.SetPaletteCount(0);
  g.DetectPaletteIdent();
  EXPECT_EQ(g.PaletteIdent(), pNone);
  EXPECT_TRUE(g.IsGrayPalette());

  TPixelGraphic t;
  t.NewImage(1, 1, pf24Bit);
  t.DetectPaletteIdent();
  EXPECT_EQ(t.PaletteIdent(), pTrueColor);
  EXPECT_FALSE(t.IsGrayPalette());
  t.SetPaletteIdent(pGray16);  // a 24-bit image may carry a palette
  t.DetectPaletteIdent();
  EXPECT_EQ(t.PaletteIdent(), pGray16);
  EXPECT_FALSE(t.IsGrayPalette());
}

TEST(Palette, SetPaletteIdentBuildsAndKeepsPixels) {
  TPixelGraphic g;
  g.NewImage(2, 1, pf8Bit);
  g.SetPixel(1, 0, 9);
  g.SetPaletteIdent(pGray16);
  EXPECT_EQ(g.PaletteCount(), 16);
  EXPECT_EQ(g.PaletteIdent(), pGray16);
  EXPECT_EQ(g.GetPaletteEntry(9), Rgb(153, 153, 153));
  EXPECT_EQ(g.BitmapInfo()->bmiColors[9].rgbBlue, 153);
  EXPECT_EQ(g.GetPixel(1, 0), 9u);
  EXPECT_EQ(g.GetPixelColor(1, 0), Rgb(153, 153, 153));

  g.SetPaletteIdent(pSource);  // not an image's kind: left as it was
  EXPECT_EQ(g.PaletteIdent(), pGray16);
  g.SetPaletteEntry(0, Rgb(0, 0, 0));
  EXPECT_EQ(g.PaletteIdent(), pUnknown);
  g.DetectPaletteIdent();
  EXPECT_EQ(g.PaletteIdent(), pGray16);

  g.SetPaletteIdent(pUnknown);
  EXPECT_EQ(g.PaletteCount(), 16);
  g.SetPaletteIdent(pNone);
  EXPECT_EQ(g.PaletteCount(), 0);
  EXPECT_EQ(g.PaletteIdent(), pNone);
  EXPECT_EQ(g.GetPixel(1, 0), 9u);
}

TEST(Palette, EntryAccessErrors) {
  TPixelGraphic g;
  g.NewImage(1, 1, pf8Bit);
  EXPECT_EQ(g.GetPaletteEntry(77), 77u);  // true colour: the index itself
  try {
    g.SetPaletteEntry(0, 0);
    FAIL();
  } catch (const EPGNoPalette& e) {
    EXPECT_EQ(e.Message(), "No palette");
  }
  g.SetPaletteCount(4);
  try {
    g.SetPaletteEntry(4, 0);
    FAIL();
  } catch (const EPGInvalidPaletteIndex& e) {
    EXPECT_EQ(e.Message(), "Invalid palette index");
  }
  EXPECT_THROW(g.SetPaletteEntry(-1, 0), EPGInvalidPaletteIndex);
  EXPECT_THROW(g.GetPaletteEntry(4), EPGInvalidPaletteIndex);
  g.SetPaletteIdent(pNone);
  EXPECT_THROW(g.GetNearestIndex(0), EPGNoPalette);
  EXPECT_THROW(g.GetNearestIndex(0), EPGNoPalette);  // a failed search is not remembered
}

TEST(Palette, PaletteCountIsLimitedAndColourTableWritesStayInside) {
  TPixelGraphic g;
  g.NewImage(1, 1, pf1Bit);
  g.SetPaletteCount(1000);
  EXPECT_EQ(g.PaletteCount(), 256);
  g.SetPaletteEntry(200, Rgb(9, 9, 9));  // past the 1-bit colour table
  EXPECT_EQ(g.GetPaletteEntry(200), Rgb(9, 9, 9));
  EXPECT_EQ(g.BitmapInfo()->bmiColors[200].rgbRed, 0);
  EXPECT_EQ(g.BitmapInfo()->bmiHeader.biClrUsed, 256u);
  g.SetPaletteCount(-3);
  EXPECT_EQ(g.PaletteCount(), 0);
  EXPECT_EQ(g.PaletteIdent(), pNone);
  g.SetPaletteIdent(pUnknown);  // unknown and empty: index 0
  EXPECT_EQ(g.GetNearestIndex(Rgb(1, 2, 3)), 0u);
}

TEST(Palette, NearestMemoAndItsInvalidation) {
  TPixelGraphic g;
  g.NewImage(1, 1, pf8Bit);
  g.SetPaletteCount(2);
  g.SetPaletteEntry(1, Rgb(255, 255, 255));
  const TColor green = Rgb(0, 255, 0);
  EXPECT_EQ(g.GetNearestIndex(green), 0u);  // nearer to black by distance
  g.DetectPaletteIdent();                   // now black and white, caches untouched
  EXPECT_EQ(g.PaletteIdent(), pBlackWhite);
  EXPECT_EQ(g.GetNearestIndex(green), 0u);  // the memo
  g.SetRGBWeighting(false);
  g.SetRGBWeighting(true);
  EXPECT_EQ(g.GetNearestIndex(green), 1u);  // brightness 449
  g.SetUseColorCache(false);
  g.SetPaletteEntry(0, Rgb(0, 200, 0));
  EXPECT_EQ(g.GetNearestIndex(green), 0u);
}

TEST(Palette, TransparentColourIsTheNearestIndex) {
  TPixelGraphic g;
  g.NewImage(2, 2, pf4Bit);
  g.SetPaletteIdent(pSys16);
  g.SetTransparentColor(Rgb(250, 5, 5));
  EXPECT_EQ(g.GetPixel(-1, 0), 9u);
  EXPECT_EQ(g.GetTransparentColor(), Rgb(255, 0, 0));
  g.SetPaletteCount(4);  // the stored index is now past the palette
  EXPECT_EQ(g.GetTransparentColor(), Rgb(0, 0, 0));
}

TEST(Palette, SameAndAssignPalette) {
  TPixelGraphic a, b, c;
  a.NewImage(1, 1, pf8Bit);
  b.NewImage(1, 1, pf8Bit);
  c.NewImage(1, 1, pf4Bit);
  a.SetPaletteIdent(pSpecial216);
  EXPECT_FALSE(a.SamePalette(&b));
  EXPECT_FALSE(a.SamePalette(nullptr));
  b.AssignPalette(&a);
  EXPECT_EQ(b.PaletteIdent(), pSpecial216);
  EXPECT_TRUE(a.SamePalette(&b));
  c.SetPaletteIdent(pGray16);
  EXPECT_FALSE(c.SamePalette(&a));  // another pixel format

  TPixelGraphic t1, t2;
  t1.NewImage(1, 1, pf24Bit);
  t2.NewImage(2, 2, pf24Bit);
  t2.SetPaletteIdent(pGray4);
  EXPECT_TRUE(t1.SamePalette(&t2));
}

TEST(Palette, LogicalPaletteFollowsThePalette) {
  TPixelGraphic g;
  g.NewImage(1, 1, pf8Bit);
  EXPECT_EQ(g.GetPalette(), nullptr);  // true colour: no logical palette
  g.SetPaletteIdent(pSysGray4);
  HPALETTE first = g.GetPalette();
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(g.PaletteChanged());
  EXPECT_EQ(GetPaletteEntryCount(first), 4u);
  PALETTEENTRY e[4];
  ASSERT_EQ(GetPaletteEntries(first, 0, 4, e), 4u);
  EXPECT_EQ(e[1], (PALETTEENTRY{128, 128, 128, 0}));
  EXPECT_EQ(g.GetPalette(), first);  // unchanged palette: the same object
  g.SetPaletteEntry(1, Rgb(1, 2, 3));
  HPALETTE second = g.GetPalette();
  ASSERT_NE(second, nullptr);
  ASSERT_EQ(GetPaletteEntries(second, 1, 1, e), 1u);
  EXPECT_EQ(e[0], (PALETTEENTRY{1, 2, 3, 0}));
  g.SetPaletteCount(0);
  EXPECT_EQ(g.GetPalette(), nullptr);
}
