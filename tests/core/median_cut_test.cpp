// The optimal palette: median cut over 5-6-5 cells, merging of palette
// colours, the system colours, and the counts that must not overflow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/exceptions.h"
#include "imaging/core/median_cut.h"
#include "imaging/core/options.h"
#include "imaging/core/pixel_graphic.h"

namespace {

using namespace median_cut;

constexpr TColor Rgb(uint8_t R, uint8_t G, uint8_t B) {
  return TColor(R) | TColor(G) << 8 | TColor(B) << 16;
}

std::vector<TColor> PaletteOf(TPixelGraphic& Image) {
  std::vector<TColor> colors;
  for (int32_t i = 0; i < Image.PaletteCount(); ++i) colors.push_back(Image.GetPaletteEntry(i));
  return colors;
}

// A 24-bit image whose pixels, in raster order, take the colours of Runs:
// Runs[k].second pixels of colour Runs[k].first.
void FillTrueColor(TPixelGraphic& Image, int32_t Width, int32_t Height,
                   const std::vector<std::pair<TColor, int32_t>>& Runs) {
  Image.NewImage(Width, Height, pf24Bit);
  int64_t pixel = 0;
  for (const auto& [color, count] : Runs)
    for (int32_t i = 0; i < count; ++i, ++pixel)
      Image.SetPixel(int32_t(pixel % Width), int32_t(pixel / Width), color);
}

// An 8-bit image with the given palette and pixel indexes in raster order.
void FillIndexed(TPixelGraphic& Image, int32_t Width, int32_t Height,
                 const std::vector<TColor>& Palette, const std::vector<uint32_t>& Indexes) {
  Image.NewImage(Width, Height, pf8Bit);
  Image.SetPaletteCount(int32_t(Palette.size()));
  for (size_t i = 0; i < Palette.size(); ++i) Image.SetPaletteEntry(int32_t(i), Palette[i]);
  for (size_t i = 0; i < Indexes.size(); ++i)
    Image.SetPixel(int32_t(i % Width), int32_t(i / Width), Indexes[i]);
}

TEST(MedianCut, BoxesOfOneColourKeepIt) {
  // More colours than wanted: a box whose pixels have one colour keeps it,
  // not the centre of its cell; a box of two colours in one cell takes the
  // centre. Black x3 and (6,3,7) x3 share cell 0; white stands alone.
  TPixelGraphic source, dest;
  FillTrueColor(source, 3, 3, {{Rgb(0, 0, 0), 3}, {Rgb(6, 3, 7), 3}, {Rgb(255, 255, 255), 3}});
  CreateOptimizedPalette(&dest, &source, 2, false);
  std::vector<TColor> colors = PaletteOf(dest);
  std::sort(colors.begin(), colors.end());
  EXPECT_EQ(colors, (std::vector<TColor>{Rgb(4, 2, 4), Rgb(255, 255, 255)}));
  EXPECT_EQ(dest.PaletteIdent(), pUnknown);

  // In a threaded count the two colours of a cell meet only when the bands
  // are merged (three colours, two wanted).
  FillTrueColor(source, 1100, 1000,
                {{Rgb(1, 1, 1), 540000}, {Rgb(6, 3, 7), 540000}, {Rgb(200, 0, 0), 20000}});
  CreateOptimizedPalette(&dest, &source, 2, false);
  colors = PaletteOf(dest);
  std::sort(colors.begin(), colors.end());
  EXPECT_EQ(colors, (std::vector<TColor>{Rgb(200, 0, 0), Rgb(4, 2, 4)}));
}

TEST(MedianCut, PictureThatFitsKeepsItsExactColoursInOrderOfAppearance) {
  // Five colours, two of them in one 5-6-5 cell, and room for five or more:
  // the palette is the five colours as they first appear, not cell centres.
  TPixelGraphic source, dest;
  const std::vector<TColor> five{Rgb(6, 3, 7), Rgb(200, 10, 10), Rgb(1, 1, 1), Rgb(10, 200, 10),
                                 Rgb(255, 255, 255)};
  FillTrueColor(source, 4, 3, {{five[0], 2}, {five[1], 3}, {five[2], 2}, {five[3], 3}, {five[4], 2}});
  for (int32_t count : {5, 6, 256}) {
    CreateOptimizedPalette(&dest, &source, count, false);
    EXPECT_EQ(PaletteOf(dest), five) << count;
  }
  // With the system colours after them, and with a progress handler, which
  // reads the rows in order: the same.
  int32_t rows = 0;
  dest.OnProgress = [&](TObject*, int32_t, int32_t, bool&) { ++rows; };
  CreateOptimizedPalette(&dest, &source, 21, true);
  EXPECT_EQ(rows, 3);
  std::vector<TColor> expected = five;
  for (int32_t i = 0; i < 16; ++i) expected.push_back(StandardPaletteEntry(pSys16, i));
  EXPECT_EQ(PaletteOf(dest), expected);
  // One place fewer: the median cut, whose cell centres are not exact.
  dest.OnProgress = nullptr;
  CreateOptimizedPalette(&dest, &source, 4, false);
  EXPECT_EQ(dest.PaletteCount(), 4);
  EXPECT_NE(PaletteOf(dest), std::vector<TColor>(five.begin(), five.begin() + 4));
  const std::vector<TColor> cut = PaletteOf(dest);
  EXPECT_NE(std::find(cut.begin(), cut.end(), Rgb(4, 2, 4)), cut.end());

  // 300 colours in three cells, 256 wanted: one colour per cell, its centre.
  source.NewImage(300, 1, pf24Bit);
  for (int32_t x = 0; x < 300; ++x)
    source.SetPixel(x, 0, Rgb(uint8_t(x / 100 * 64 + x % 100 % 8), uint8_t(x % 100 / 8 % 4), uint8_t(x % 100 / 32)));
  CreateOptimizedPalette(&dest, &source, 256, false);
  std::vector<TColor> centres = PaletteOf(dest);
  std::sort(centres.begin(), centres.end());
  EXPECT_EQ(centres, (std::vector<TColor>{Rgb(4, 2, 4), Rgb(68, 2, 4), Rgb(132, 2, 4)}));

  // A large picture (threaded count when it does not fit) of 256 colours.
  source.NewImage(1100, 1000, pf24Bit);
  for (int32_t y = 0; y < 1000; ++y)
    for (int32_t x = 0; x < 1100; ++x) source.SetPixel(x, y, Rgb(uint8_t((x + y) % 256), 7, 9));
  CreateOptimizedPalette(&dest, &source, 256, false);
  ASSERT_EQ(dest.PaletteCount(), 256);
  for (int32_t i = 0; i < 256; ++i) EXPECT_EQ(dest.GetPaletteEntry(i), Rgb(uint8_t(i), 7, 9));
}

TEST(MedianCut, TwoColoursFromFourByHand) {
  // Cells: black x3, red (31,0,0) x1, green (0,63,0) x2, blue (0,0,31) x1.
  // The shrunk box spans everything; weighted extents R 496, G 756, B 496,
  // so G is cut at 31: black, red and blue stay, green goes to a new box.
  // Box 0: R = (3*4 + 252 + 4 + 2) div 5 = 54, G = 2, B = (3*4 + 4 + 252 + 2) div 5 = 54.
  // Box 1 holds green alone and keeps it.
  TPixelGraphic source, dest;
  FillTrueColor(source, 7, 1,
                {{Rgb(0, 0, 0), 3}, {Rgb(255, 0, 0), 1}, {Rgb(0, 255, 0), 2}, {Rgb(0, 0, 255), 1}});
  CreateOptimizedPalette(&dest, &source, 2, false);
  EXPECT_EQ(PaletteOf(dest), (std::vector<TColor>{Rgb(54, 2, 54), Rgb(0, 255, 0)}));
}

TEST(MedianCut, AxisTiesGoToGreenThenRed) {
  std::vector<uint16_t> histogram(HistogramCells, 0);
  // Cells (0,0,0) and (3,4,0): weighted extents R 48 = G 48, so G is cut
  // at (0 + 4) div 2 = 2.
  histogram[0] = 1;
  histogram[3 * 2048 + 4 * 32] = 1;
  std::vector<TColorBox> boxes = CutBoxes(histogram.data(), 2);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].GHigh, 0);
  EXPECT_EQ(boxes[1].GLow, 4);
  EXPECT_EQ(boxes[1].RLow, 3);

  // Cells (3,0,0) and (0,0,3): R 48 = B 48 beats G 0, so R is cut at 1.
  std::fill(histogram.begin(), histogram.end(), 0);
  histogram[3 * 2048] = 1;
  histogram[3] = 1;
  boxes = CutBoxes(histogram.data(), 2);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].RHigh, 0);
  EXPECT_EQ(boxes[0].BLow, 3);
  EXPECT_EQ(boxes[1].RLow, 3);
  EXPECT_EQ(boxes[1].BHigh, 0);

  // B wins only when strictly larger: (0,0,0) and (0,3,4): B 64 > G 36.
  std::fill(histogram.begin(), histogram.end(), 0);
  histogram[0] = 1;
  histogram[3 * 32 + 4] = 1;
  boxes = CutBoxes(histogram.data(), 2);
  EXPECT_EQ(boxes[0].BHigh, 0);
  EXPECT_EQ(boxes[1].BLow, 4);
}

TEST(MedianCut, BoxChoiceByVolumeThenSizeEarlierWinsTies) {
  std::vector<uint16_t> histogram(HistogramCells, 0);
  auto cell = [&](int r, int g, int b) { histogram[r * 2048 + g * 32 + b] = 1; };
  // Two clusters along G, each a 3x3x1 block of R x G (volume 9, size
  // 24^2 + 32^2 = 1600); cluster 0 at G 0..2, cluster 1 at G 60..62.
  for (int r = 0; r < 3; ++r)
    for (int g = 0; g < 3; ++g) {
      cell(r, g, 0);
      cell(r, 60 + g, 0);
    }
  // Wanted 3: first cut splits G (756 > R 32); then 2 * 2 > 3 chooses by size,
  // equal sizes, so box 0 (cluster 0) is cut: R 32 > G 24 -> R at 1.
  std::vector<TColorBox> boxes = CutBoxes(histogram.data(), 3);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ((std::vector<int32_t>{boxes[0].RLow, boxes[0].RHigh, boxes[0].GLow, boxes[0].GHigh}),
            (std::vector<int32_t>{0, 1, 0, 2}));
  EXPECT_EQ((std::vector<int32_t>{boxes[1].GLow, boxes[1].GHigh}), (std::vector<int32_t>{60, 62}));
  EXPECT_EQ(boxes[2].RLow, 2);
  EXPECT_EQ(boxes[2].Volume, 3);
  EXPECT_EQ(boxes[1].Size, 1600);
  EXPECT_EQ(boxes[0].Volume, 6);

  // Single cells cannot be cut: two occupied cells never give three boxes.
  std::fill(histogram.begin(), histogram.end(), 0);
  cell(0, 0, 0);
  cell(31, 63, 31);
  EXPECT_EQ(CutBoxes(histogram.data(), 256).size(), 2u);
}

TEST(MedianCut, CountersSaturate) {
  // 65,535 pixels of cell (1,0,0) and 100,465 of cell (0,0,0), one box: the
  // saturated counters weigh the two cells the same and
  // R = ((4 + 12) * 65535 + 65535) div 131070 = 8; unsaturated ones give 7.
  TPixelGraphic source, dest;
  FillTrueColor(source, 1000, 166, {{Rgb(8, 0, 0), 65535}, {Rgb(0, 0, 0), 100465}});
  CreateOptimizedPalette(&dest, &source, 17, true);
  ASSERT_EQ(dest.PaletteCount(), 17);
  EXPECT_EQ(dest.GetPaletteEntry(0), Rgb(8, 2, 4));
}

TEST(MedianCut, ThreadedCountEqualsCountInRowOrder) {
  // Above a million pixels the histogram is shared among threads unless a
  // progress handler asks for the rows in order; both give the same palette.
  TPixelGraphic source, a, b;
  source.NewImage(1200, 1000, pf24Bit);
  for (int32_t y = 0; y < 1000; ++y) {
    uint8_t* row = source.ScanLine(y);
    for (int32_t x = 0; x < 1200; ++x) {
      uint32_t h = uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u;
      h ^= h >> 13;
      row[3 * x] = uint8_t(h), row[3 * x + 1] = uint8_t(x / 5), row[3 * x + 2] = uint8_t(y / 4);
    }
  }
  CreateOptimizedPalette(&a, &source, 256, false);
  int32_t calls = 0;
  b.OnProgress = [&](TObject*, int32_t, int32_t, bool&) { ++calls; };
  CreateOptimizedPalette(&b, &source, 256, false);
  EXPECT_EQ(calls, 1000);
  EXPECT_EQ(a.PaletteCount(), 256);
  EXPECT_EQ(PaletteOf(a), PaletteOf(b));
}

TEST(MedianCut, AbortAtFirstRowKeepsTopRow) {
  TPixelGraphic source, dest;
  FillTrueColor(source, 2, 3, {{Rgb(255, 255, 255), 2}, {Rgb(0, 0, 0), 4}});
  std::vector<std::pair<int32_t, int32_t>> steps;
  dest.OnProgress = [&](TObject* Sender, int32_t Step, int32_t Max, bool& Abort) {
    EXPECT_EQ(Sender, &dest);
    steps.emplace_back(Step, Max);
    Abort = true;
  };
  CreateOptimizedPalette(&dest, &source, 16, false);
  EXPECT_EQ(steps, (std::vector<std::pair<int32_t, int32_t>>{{0, 2}}));
  EXPECT_EQ(PaletteOf(dest), std::vector<TColor>{Rgb(255, 255, 255)});
}

TEST(OptimizedPalette, SystemColours) {
  TPixelGraphic source, dest;
  FillTrueColor(source, 5, 1,
                {{Rgb(0, 0, 0), 1}, {Rgb(255, 0, 0), 1}, {Rgb(0, 255, 0), 1},
                 {Rgb(0, 0, 255), 1}, {Rgb(255, 255, 255), 1}});
  CreateOptimizedPalette(&dest, &source, 252, true);
  std::vector<TColor> colors = PaletteOf(dest);
  ASSERT_EQ(colors.size(), 21u);
  for (int32_t i = 0; i < 16; ++i) EXPECT_EQ(colors[5 + i], StandardPaletteEntry(pSys16, i));
  EXPECT_EQ(dest.PaletteIdent(), pUnknown);

  // No room for optimised colours: the system colours alone.
  CreateOptimizedPalette(&dest, &source, 16, true);
  EXPECT_EQ(dest.PaletteIdent(), pSys16);
  EXPECT_EQ(PaletteOf(dest), StandardPalette(pSys16));

  // An empty Source with Count 2: the first two system colours.
  TPixelGraphic empty;
  CreateOptimizedPalette(&dest, &empty, 2, false);
  EXPECT_EQ(PaletteOf(dest), (std::vector<TColor>{Rgb(0, 0, 0), Rgb(128, 0, 0)}));
  EXPECT_EQ(dest.PaletteIdent(), pUnknown);

  // So is an image whose pixel memory was refused: it keeps its size but has
  // no pixels to count.
  TPixelGraphic refused;
  const uint32_t cap = PGMaxImageSize;
  PGMaxImageSize = 1000;
  EXPECT_THROW(refused.NewImage(100, 100, pf24Bit), EPGInvalidSize);
  PGMaxImageSize = cap;
  ASSERT_EQ(refused.GetWidth(), 100);
  CreateOptimizedPalette(&dest, &refused, 3, false);
  EXPECT_EQ(PaletteOf(dest), (std::vector<TColor>{Rgb(0, 0, 0), Rgb(128, 0, 0), Rgb(0, 128, 0)}));
}

TEST(OptimizedPalette, CountBelowTwoAndAbove256) {
  TPixelGraphic source, dest;
  FillTrueColor(source, 4, 1,
                {{Rgb(0, 0, 0), 1}, {Rgb(255, 0, 0), 1}, {Rgb(0, 255, 0), 1}, {Rgb(0, 0, 255), 1}});
  CreateOptimizedPalette(&dest, &source, 1000, true);  // as 256: 240 optimised + 16 system
  EXPECT_EQ(dest.PaletteCount(), 20);
  // Count 1 cuts to one box: the mean of the four cell centres.
  CreateOptimizedPalette(&dest, &source, 1, false);
  EXPECT_EQ(PaletteOf(dest), std::vector<TColor>{Rgb(66, 65, 66)});
  // Below 1: the first Count system colours, none at all for 0 or less.
  CreateOptimizedPalette(&dest, &source, 0, false);
  EXPECT_EQ(dest.PaletteCount(), 0);
  EXPECT_EQ(dest.PaletteIdent(), pNone);
  CreateOptimizedPalette(&dest, &source, -5, false);
  EXPECT_EQ(dest.PaletteCount(), 0);
  // Count 1 with the system colours leaves no optimised place: black alone.
  CreateOptimizedPalette(&dest, &source, 1, true);
  EXPECT_EQ(PaletteOf(dest), std::vector<TColor>{Rgb(0, 0, 0)});
}

TEST(PaletteMerge, UsedColoursKeptInOrder) {
  // 256 colours in, all used: the same 256 out, in palette order.
  std::vector<TColor> palette;
  std::vector<uint32_t> indexes;
  for (uint32_t i = 0; i < 256; ++i) {
    palette.push_back(Rgb(uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)));
    indexes.push_back(255 - i);
  }
  TPixelGraphic source, dest;
  FillIndexed(source, 16, 16, palette, indexes);
  CreateOptimizedPalette(&dest, &source, 256, false);
  EXPECT_EQ(PaletteOf(dest), palette);

  // Unused entries drop out; the others keep their order.
  FillIndexed(source, 3, 1, {Rgb(1, 1, 1), Rgb(2, 2, 2), Rgb(3, 3, 3), Rgb(4, 4, 4)}, {3, 1, 3});
  CreateOptimizedPalette(&dest, &source, 16, false);
  EXPECT_EQ(PaletteOf(dest), (std::vector<TColor>{Rgb(2, 2, 2), Rgb(4, 4, 4)}));
}

TEST(PaletteMerge, CheapestPairMergesAtLowerPosition) {
  // Colours 0 (x5), 200 (x1), 201 (x1) in red: merging 200 and 201 costs
  // 1 * 0 + 1 * 1 = 1 (mean 401 div 2 = 200); the pair lands at position 1.
  TPixelGraphic source, dest;
  FillIndexed(source, 7, 1, {Rgb(0, 0, 0), Rgb(200, 0, 0), Rgb(201, 0, 0)}, {0, 0, 0, 0, 0, 1, 2});
  CreateOptimizedPalette(&dest, &source, 2, false);
  EXPECT_EQ(PaletteOf(dest), (std::vector<TColor>{Rgb(0, 0, 0), Rgb(200, 0, 0)}));

  // Merging (0, 2, 0) x1 with (0, 10, 0) x3: mean (2 + 30) div 4 = 8, cost
  // 6 + 3 * 2 = 12, the cheapest of the three pairs (a 4-bit source).
  TPixelGraphic bits;
  bits.NewImage(4, 2, pf4Bit);
  bits.SetPaletteCount(3);
  bits.SetPaletteEntry(0, Rgb(0, 2, 0));
  bits.SetPaletteEntry(1, Rgb(0, 10, 0));
  bits.SetPaletteEntry(2, Rgb(0, 60, 0));
  const uint32_t pixels[8] = {0, 1, 1, 1, 2, 2, 2, 2};
  for (int32_t i = 0; i < 8; ++i) bits.SetPixel(i % 4, i / 4, pixels[i]);
  CreateOptimizedPalette(&dest, &bits, 2, false);
  EXPECT_EQ(PaletteOf(dest), (std::vector<TColor>{Rgb(0, 8, 0), Rgb(0, 60, 0)}));
}

TEST(PaletteMerge, MergeOrderAndTiesByHand) {
  // Reds 0, 2, 4, 100, one pixel each, down to 2 colours.
  // Costs: (1,0) = 2, (2,0) = 4, (2,1) = 2, (3,x) large: the tie goes to (1,0),
  // found first -> [1 x2, 4, 100]. Then (1,0): mean (2 + 4) div 3 = 2, cost
  // 2 * 1 + 2 = 4; (2,0) = 132; (2,1) = 96 -> [2 x3, 100].
  std::vector<TMergeEntry> table{{0, 0, 0, 1}, {2, 0, 0, 1}, {4, 0, 0, 1}, {100, 0, 0, 1}};
  EXPECT_EQ(MergeCost(table, 1, 0), 2);
  EXPECT_EQ(MergeCost(table, 2, 1), 2);
  std::vector<TMergeEntry> merged = MergeColors(table, 3);
  ASSERT_EQ(merged.size(), 3u);
  EXPECT_EQ(merged[0].R, 1);
  EXPECT_EQ(merged[0].Count, 2u);
  merged = MergeColors(table, 2);
  ASSERT_EQ(merged.size(), 2u);
  EXPECT_EQ(merged[0].R, 2);
  EXPECT_EQ(merged[0].Count, 3u);
  EXPECT_EQ(merged[1].R, 100);

  // Costs are Euclidean distances, rounded: (0,0,0) x1 and (3,4,0) x1 have
  // mean (1,2,0): sqrt 5 + sqrt 8 = 5.06 -> 5.
  EXPECT_EQ(MergeCost({{0, 0, 0, 1}, {3, 4, 0, 1}}, 1, 0), 5);
  EXPECT_THROW(MergeCost(table, 0, 1), EPixelGraphic);
  EXPECT_THROW(MergeCost(table, 2, 2), EPixelGraphic);
}

TEST(PaletteMerge, CountsHold64Bits) {
  // Two entries of 9 million pixels each: 255 * 9,000,000 overflows 32 bits.
  std::vector<TMergeEntry> merged = MergeColors({{255, 0, 0, 9000000}, {0, 0, 0, 9000000}}, 1);
  ASSERT_EQ(merged.size(), 1u);
  EXPECT_EQ(merged[0].R, 127);
  EXPECT_EQ(merged[0].Count, 18000000u);
  // Costs beyond 32 bits stop at 2,147,483,647 and still order the pairs.
  std::vector<TMergeEntry> table{{255, 0, 0, 9000000}, {0, 0, 0, 9000000}, {0, 0, 255, 1}};
  EXPECT_EQ(MergeCost(table, 1, 0), 2147483647);
  merged = MergeColors(table, 2);
  ASSERT_EQ(merged.size(), 2u);
  EXPECT_EQ(merged[1].R, 0);
  EXPECT_EQ(merged[1].B, 0);
  EXPECT_EQ(merged[1].Count, 9000001u);
}

TEST(PaletteMerge, IndexesPastThePaletteCountForEntryZero) {
  // Pixels of index 5 in a 2-entry palette show entry 0 and count for it:
  // merged to one colour, (10 * 4 + 20 * 2) div 6 = 13.
  TPixelGraphic source, dest;
  FillIndexed(source, 6, 1, {Rgb(10, 0, 0), Rgb(20, 0, 0)}, {5, 5, 5, 1, 5, 1});
  CreateOptimizedPalette(&dest, &source, 17, true);
  ASSERT_EQ(dest.PaletteCount(), 17);
  EXPECT_EQ(dest.GetPaletteEntry(0), Rgb(13, 0, 0));
  CreateOptimizedPalette(&dest, &source, 2, false);
  EXPECT_EQ(PaletteOf(dest), (std::vector<TColor>{Rgb(10, 0, 0), Rgb(20, 0, 0)}));

  // 1- and 4-bit rows are counted whole bytes at a time, their padding not:
  // here all set. (0, 0, 0) 25 times and (52, 0, 0) once merge to (2, 0, 0).
  TPixelGraphic bits;
  bits.NewImage(13, 2, pf1Bit);
  bits.SetPaletteCount(2);
  bits.SetPaletteEntry(1, Rgb(52, 0, 0));
  for (int32_t y = 0; y < 2; ++y) {
    uint8_t* row = bits.ScanLine(y);
    row[1] = 0x07;
    row[2] = row[3] = 0xFF;
  }
  bits.SetPixel(12, 0, 1);
  CreateOptimizedPalette(&dest, &bits, 1, false);
  EXPECT_EQ(PaletteOf(dest), (std::vector<TColor>{Rgb(2, 0, 0)}));
  TPixelGraphic nibbles;
  nibbles.NewImage(601, 1, pf4Bit);  // 300 whole bytes, a high nibble, 3 bytes of padding
  nibbles.SetPaletteIdent(pSys16);
  std::memset(nibbles.ScanLine(0), 0x35, 300);
  std::memcpy(nibbles.ScanLine(0) + 300, "\x39\x99\x99\x99", 4);
  CreateOptimizedPalette(&dest, &nibbles, 16, false);
  EXPECT_EQ(PaletteOf(dest), (std::vector<TColor>{Rgb(128, 128, 0), Rgb(128, 0, 128)}));

  // A palette image without palette entries has nothing to count.
  TPixelGraphic bare;
  bare.NewImage(2, 2, pf8Bit);
  bare.SetPixel(0, 0, 7);
  CreateOptimizedPalette(&dest, &bare, 16, false);
  EXPECT_EQ(dest.PaletteCount(), 0);
}

}  // namespace
