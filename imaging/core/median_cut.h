// The optimal palette of an image: the exact colours of a true-colour image
// that has no more of them than asked, else median cut over a 5-6-5
// histogram; pairwise merging of the used colours for palette images.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi/types.h"

class TPixelGraphic;

// Gives Dest a palette of at most Count (up to 256) colours that represents the
// colours Source uses; with AddSys16 the last 16 places go to the 16 system
// colours. A 24-bit Source of no more distinct colours than there are places
// for keeps exactly those, in the order they first appear (rows from the
// top, each left to right), as a palette Source keeps the colours it uses.
// A Count below 1 (or below 17 with AddSys16) gives the first Count system
// colours. Only Dest's palette changes; CopyFrom maps pixels onto it.
void CreateOptimizedPalette(TPixelGraphic* Dest, TPixelGraphic* Source, int32_t Count,
                            bool AddSys16);

namespace median_cut {

// The histogram: one saturating counter per 5-6-5 colour cell.
constexpr int32_t HistogramCells = 65536;
constexpr uint16_t HistogramLimit = 65535;

inline int32_t CellIndex(uint8_t R, uint8_t G, uint8_t B) {
  return ((R >> 3) << 11) | ((G >> 2) << 5) | (B >> 3);
}

// A block of cells with inclusive bounds in cell units; Size is the weighted
// squared diagonal and Volume the number of cells the bounds enclose.
struct TColorBox {
  int32_t RLow, RHigh, GLow, GHigh, BLow, BHigh;
  int32_t Size;
  int32_t Volume;
};

// Shrinks Box to the occupied planes of Histogram and updates Size and Volume.
void ShrinkBox(const uint16_t* Histogram, TColorBox& Box);

// The boxes of the median cut of Histogram into at most Wanted (>= 1) boxes,
// in list order. Histogram must hold at least one non-zero counter.
std::vector<TColorBox> CutBoxes(const uint16_t* Histogram, int32_t Wanted);

// What the pixels of each cell hold, noted beside the histogram: 0 for a
// cell without pixels; while all its pixels have one colour, 1 + that
// colour's low bits within the cell (R 3, G 2, B 3 bits); MixedCell once
// two colours have met in it.
constexpr uint16_t MixedCell = 0xFFFF;

inline uint16_t CellColorCode(uint8_t R, uint8_t G, uint8_t B) {
  return static_cast<uint16_t>(1 + (((R & 7) << 5) | ((G & 3) << 3) | (B & 7)));
}

// The colour of a box: the exact colour of its pixels when its only
// occupied cell holds one colour (Exact may be null: no colour is known),
// else the count-weighted mean of its cell centres.
TColor BoxColor(const uint16_t* Histogram, const TColorBox& Box, const uint16_t* Exact = nullptr);

// The colours of the median cut of Histogram, at most Wanted of them.
std::vector<TColor> MedianCutColors(const uint16_t* Histogram, int32_t Wanted,
                                    const uint16_t* Exact = nullptr);

// Adds the pixels of one row of 24-bit bytes (blue, green, red) to Counts,
// one unsaturated counter per cell, and notes their colours in Exact.
void CountRow(uint32_t* Counts, uint16_t* Exact, const uint8_t* Row, int32_t Width);

// Folds the colour notes of another part of the picture into Into.
void MergeCellColors(uint16_t* Into, const uint16_t* From);

// The saturated 16-bit histogram of Counts.
void SaturateCounts(const uint32_t* Counts, uint16_t* Histogram);

// One colour of a palette image with the number of pixels that use it.
struct TMergeEntry {
  uint8_t R, G, B;
  uint64_t Count;
};

// The merge cost of entries I and J (I > J): the count-weighted distance of
// both colours to their mean, rounded, at most 2,147,483,647. Raises
// EPixelGraphic ("Internal Error") when I is not above J.
int32_t MergeCost(const std::vector<TMergeEntry>& Table, int32_t I, int32_t J);

// Drops the unused entries of Table and merges the cheapest pairs until at
// most Wanted (>= 1) remain; the survivors keep their order.
std::vector<TMergeEntry> MergeColors(std::vector<TMergeEntry> Table, int32_t Wanted);

}  // namespace median_cut
