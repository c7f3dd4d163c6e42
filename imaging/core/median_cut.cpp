// Median cut over a 5-6-5 histogram and pairwise merging of palette colours.
#include "imaging/core/median_cut.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "imaging/core/exceptions.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/core/pixel_rows.h"
#include "platform/base/numeric.h"

namespace median_cut {

namespace {

constexpr int32_t RStride = 2048;  // cells per R plane
constexpr int32_t GStride = 32;    // cells per G row

void UpdateBoxStatistics(TColorBox& Box) {
  const int32_t db = 16 * (Box.BHigh - Box.BLow);
  const int32_t dg = 12 * (Box.GHigh - Box.GLow);
  const int32_t dr = 16 * (Box.RHigh - Box.RLow);
  Box.Size = db * db + dg * dg + dr * dr;
  Box.Volume = (Box.RHigh - Box.RLow + 1) * (Box.GHigh - Box.GLow + 1) *
               (Box.BHigh - Box.BLow + 1);
}

}  // namespace

void CountRow(uint32_t* Counts, uint16_t* Exact, const uint8_t* Row, int32_t Width) {
  for (int32_t x = 0; x < Width; ++x, Row += 3) {
    const int32_t cell = CellIndex(Row[2], Row[1], Row[0]);
    ++Counts[cell];
    const uint16_t code = CellColorCode(Row[2], Row[1], Row[0]);
    const uint16_t seen = Exact[cell];
    Exact[cell] = seen == 0 || seen == code ? code : MixedCell;
  }
}

void MergeCellColors(uint16_t* Into, const uint16_t* From) {
  for (int32_t i = 0; i < HistogramCells; ++i) {
    const uint16_t a = Into[i], b = From[i];
    Into[i] = a == 0 || a == b ? b : (b == 0 ? a : MixedCell);
  }
}

void SaturateCounts(const uint32_t* Counts, uint16_t* Histogram) {
  for (int32_t i = 0; i < HistogramCells; ++i)
    Histogram[i] = static_cast<uint16_t>(std::min<uint32_t>(Counts[i], HistogramLimit));
}

// Moving each low bound up to the first occupied plane and each high bound
// down to the last one, B first, then G, then R, each within the bounds
// already narrowed, ends at the bounding block of the occupied cells.
void ShrinkBox(const uint16_t* Histogram, TColorBox& Box) {
  int32_t rLo = Box.RHigh + 1, rHi = Box.RLow - 1;
  int32_t gLo = Box.GHigh + 1, gHi = Box.GLow - 1;
  int32_t bLo = Box.BHigh + 1, bHi = Box.BLow - 1;
  for (int32_t r = Box.RLow; r <= Box.RHigh; ++r) {
    bool planeUsed = false;
    for (int32_t g = Box.GLow; g <= Box.GHigh; ++g) {
      const uint16_t* cells = Histogram + r * RStride + g * GStride;
      int32_t first = Box.BLow;
      while (first <= Box.BHigh && cells[first] == 0) ++first;
      if (first > Box.BHigh) continue;
      int32_t last = Box.BHigh;
      while (cells[last] == 0) --last;
      planeUsed = true;
      bLo = std::min(bLo, first);
      bHi = std::max(bHi, last);
      gLo = std::min(gLo, g);
      gHi = std::max(gHi, g);
    }
    if (planeUsed) {
      rLo = std::min(rLo, r);
      rHi = std::max(rHi, r);
    }
  }
  if (rLo <= rHi) {  // an empty box keeps its bounds
    Box.RLow = rLo, Box.RHigh = rHi;
    Box.GLow = gLo, Box.GHigh = gHi;
    Box.BLow = bLo, Box.BHigh = bHi;
  }
  UpdateBoxStatistics(Box);
}

std::vector<TColorBox> CutBoxes(const uint16_t* Histogram, int32_t Wanted) {
  std::vector<TColorBox> boxes;
  boxes.reserve(static_cast<size_t>(std::max(Wanted, 1)));
  TColorBox first{0, 31, 0, 63, 0, 31, 0, 0};
  ShrinkBox(Histogram, first);
  boxes.push_back(first);
  while (static_cast<int32_t>(boxes.size()) < Wanted) {
    // By volume while fewer than half the boxes exist, then by size; the
    // earlier box wins a tie. A box of one cell (size 0) cannot be cut.
    const bool byVolume = 2 * static_cast<int32_t>(boxes.size()) <= Wanted;
    int32_t chosen = -1;
    int32_t best = 0;
    for (int32_t i = 0; i < static_cast<int32_t>(boxes.size()); ++i) {
      const TColorBox& box = boxes[i];
      if (box.Size <= 0) continue;
      const int32_t value = byVolume ? box.Volume : box.Size;
      if (chosen < 0 || value > best) {
        chosen = i;
        best = value;
      }
    }
    if (chosen < 0) break;

    TColorBox& box = boxes[chosen];
    const int32_t eb = 16 * (box.BHigh - box.BLow);
    const int32_t eg = 12 * (box.GHigh - box.GLow);
    const int32_t er = 16 * (box.RHigh - box.RLow);
    TColorBox added = box;
    if (eb > std::max(er, eg)) {
      const int32_t mid = (box.BLow + box.BHigh) / 2;
      box.BHigh = mid;
      added.BLow = mid + 1;
    } else if (er > eg) {
      const int32_t mid = (box.RLow + box.RHigh) / 2;
      box.RHigh = mid;
      added.RLow = mid + 1;
    } else {
      const int32_t mid = (box.GLow + box.GHigh) / 2;
      box.GHigh = mid;
      added.GLow = mid + 1;
    }
    ShrinkBox(Histogram, box);
    ShrinkBox(Histogram, added);
    boxes.push_back(added);
  }
  return boxes;
}

TColor BoxColor(const uint16_t* Histogram, const TColorBox& Box, const uint16_t* Exact) {
  uint64_t total = 0, sumR = 0, sumG = 0, sumB = 0;
  int32_t occupied = 0, lastCell = 0;
  for (int32_t r = Box.RLow; r <= Box.RHigh; ++r) {
    for (int32_t g = Box.GLow; g <= Box.GHigh; ++g) {
      const uint16_t* cells = Histogram + r * RStride + g * GStride;
      uint64_t rowTotal = 0, rowB = 0;
      for (int32_t b = Box.BLow; b <= Box.BHigh; ++b) {
        if (cells[b] != 0) {
          ++occupied;
          lastCell = r * RStride + g * GStride + b;
        }
        rowTotal += cells[b];
        rowB += uint64_t(cells[b]) * uint64_t(b * 8 + 4);
      }
      total += rowTotal;
      sumB += rowB;
      sumG += rowTotal * uint64_t(g * 4 + 2);
      sumR += rowTotal * uint64_t(r * 8 + 4);
    }
  }
  // A box whose pixels all have one colour is given that colour; the boxes
  // and their order stay those of the cut.
  if (Exact && occupied == 1 && Exact[lastCell] != 0 && Exact[lastCell] != MixedCell) {
    const int32_t low = Exact[lastCell] - 1;  // R 3, G 2, B 3 bits
    const int32_t r = (lastCell >> 11) << 3 | low >> 5;
    const int32_t g = ((lastCell >> 5) & 63) << 2 | (low >> 3 & 3);
    const int32_t b = (lastCell & 31) << 3 | (low & 7);
    return TColor(r) | TColor(g) << 8 | TColor(b) << 16;
  }
  if (total == 0)  // not reached: every shrunk box holds pixels
    return TColor(Box.RLow * 8 + 4) | TColor(Box.GLow * 4 + 2) << 8 |
           TColor(Box.BLow * 8 + 4) << 16;
  const uint64_t half = total / 2;
  return TColor((sumR + half) / total) | TColor((sumG + half) / total) << 8 |
         TColor((sumB + half) / total) << 16;
}

std::vector<TColor> MedianCutColors(const uint16_t* Histogram, int32_t Wanted, const uint16_t* Exact) {
  std::vector<TColor> colors;
  for (const TColorBox& box : CutBoxes(Histogram, Wanted))
    colors.push_back(BoxColor(Histogram, box, Exact));
  return colors;
}

}  // namespace median_cut

namespace median_cut {

namespace {

constexpr int32_t MaxCost = std::numeric_limits<int32_t>::max();

inline size_t PairIndex(int32_t I, int32_t J) {
  return static_cast<size_t>(I) * static_cast<size_t>(I - 1) / 2 + static_cast<size_t>(J);
}

inline uint8_t MeanChannel(uint64_t NA, uint8_t CA, uint64_t NB, uint8_t CB) {
  return static_cast<uint8_t>((NA * CA + NB * CB) / (NA + NB));
}

}  // namespace

int32_t MergeCost(const std::vector<TMergeEntry>& Table, int32_t I, int32_t J) {
  if (I <= J || J < 0 || I >= static_cast<int32_t>(Table.size()))
    throw EPixelGraphic("Internal Error");
  const TMergeEntry& a = Table[I];
  const TMergeEntry& b = Table[J];
  const uint8_t mr = MeanChannel(a.Count, a.R, b.Count, b.R);
  const uint8_t mg = MeanChannel(a.Count, a.G, b.Count, b.G);
  const uint8_t mb = MeanChannel(a.Count, a.B, b.Count, b.B);
  auto distance = [&](const TMergeEntry& e) {
    const long double dr = int32_t(e.R) - int32_t(mr);
    const long double dg = int32_t(e.G) - int32_t(mg);
    const long double db = int32_t(e.B) - int32_t(mb);
    return std::sqrt(dr * dr + dg * dg + db * db);
  };
  long double cost = static_cast<long double>(a.Count) * distance(a) +
                     static_cast<long double>(b.Count) * distance(b);
  if (cost > static_cast<long double>(MaxCost)) cost = MaxCost;
  return static_cast<int32_t>(Round(cost));
}

std::vector<TMergeEntry> MergeColors(std::vector<TMergeEntry> Table, int32_t Wanted) {
  std::erase_if(Table, [](const TMergeEntry& e) { return e.Count == 0; });
  int32_t n = static_cast<int32_t>(Table.size());
  if (n <= Wanted) return Table;

  std::vector<int32_t> costs(PairIndex(n, 0));
  for (int32_t i = 1; i < n; ++i)
    for (int32_t j = 0; j < i; ++j) costs[PairIndex(i, j)] = MergeCost(Table, i, j);

  while (n > Wanted) {
    int32_t best = MaxCost, a = 0, b = 1;
    for (int32_t i = 1; i < n; ++i) {
      const int32_t* row = costs.data() + PairIndex(i, 0);
      for (int32_t j = 0; j < i; ++j)
        if (row[j] < best) {
          best = row[j];
          b = i;
          a = j;
        }
    }

    TMergeEntry& ea = Table[a];
    const TMergeEntry& eb = Table[b];
    ea = TMergeEntry{MeanChannel(ea.Count, ea.R, eb.Count, eb.R),
                     MeanChannel(ea.Count, ea.G, eb.Count, eb.G),
                     MeanChannel(ea.Count, ea.B, eb.Count, eb.B), ea.Count + eb.Count};
    Table.erase(Table.begin() + b);

    // Drop row b and column b; every other pair keeps its cost. New indexes
    // never exceed old ones, so the triangle compacts in place.
    size_t to = 0;
    for (int32_t i = 1; i < n - 1; ++i) {
      const int32_t oi = i >= b ? i + 1 : i;
      for (int32_t j = 0; j < i; ++j) costs[to++] = costs[PairIndex(oi, j >= b ? j + 1 : j)];
    }
    --n;
    costs.resize(to);

    for (int32_t k = a + 1; k < n; ++k) costs[PairIndex(k, a)] = MergeCost(Table, k, a);
    for (int32_t k = 0; k < a; ++k) costs[PairIndex(a, k)] = MergeCost(Table, a, k);
  }
  return Table;
}

}  // namespace median_cut

namespace {

using namespace median_cut;

// Below this many pixels the histogram is counted on the calling thread only.
constexpr int64_t ParallelHistogramPixels = 1 << 20;

// The distinct colours of a 24-bit picture in the order they first appear
// (rows from the top, each left to right), gathered only while they number
// no more than Limit: a photo spends this at its first few pixels.
class TExactColors {
public:
  explicit TExactColors(int32_t Limit) : FLimit(Limit) { std::fill(std::begin(FKeys), std::end(FKeys), 0u); }

  // Adds the pixels of one row of bytes (blue, green, red); false once the
  // picture has shown more than Limit colours.
  bool AddRow(const uint8_t* Row, int32_t Width) {
    for (int32_t x = 0; x < Width; ++x, Row += 3) {
      const uint32_t color = uint32_t(Row[2]) | uint32_t(Row[1]) << 8 | uint32_t(Row[0]) << 16;
      if (color == FLast) continue;
      FLast = color;
      const uint32_t key = color | 0x1000000u;  // 0 marks a free slot
      uint32_t slot = (key * 0x9E3779B1u) >> (32 - kBits);
      while (FKeys[slot] != 0 && FKeys[slot] != key) slot = (slot + 1) & (kSlots - 1);
      if (FKeys[slot] == key) continue;
      if (static_cast<int32_t>(FColors.size()) == FLimit) return false;
      FKeys[slot] = key;
      FColors.push_back(color);
    }
    return true;
  }
  const std::vector<TColor>& Colors() const { return FColors; }

private:
  static constexpr int kBits = 10;
  static constexpr uint32_t kSlots = 1u << kBits;  // at least four slots per colour kept
  int32_t FLimit;
  uint32_t FLast = 0xFFFFFFFFu;
  uint32_t FKeys[kSlots];
  std::vector<TColor> FColors;
};

// The optimal colours of a 24-bit Source. A picture of no more than Wanted
// distinct colours keeps exactly those, in the order they first appear;
// any other gets the median cut of its 5-6-5 histogram. With an OnProgress
// handler on Dest the rows are read once, in order, gathering the colours
// and counting the cells together, and an abort ends both after its row;
// without one the colours are gathered first (a photo stops within its first
// row) and the histogram is then shared among threads, which cannot change
// the result because the counters saturate only at the end and the colour
// notes merge in any order.
std::vector<TColor> TrueColorPaletteColors(TPixelGraphic* Dest, TPixelGraphic* Source, int32_t Wanted) {
  const int32_t width = Source->GetWidth(), height = Source->GetHeight();
  auto exact = std::make_unique<TExactColors>(Wanted);
  std::vector<uint32_t> counts(HistogramCells, 0);
  std::vector<uint16_t> histogram(HistogramCells), notes(HistogramCells, 0);
  const int64_t pixels = int64_t(width) * height;
  const int32_t threads =
      std::clamp<int32_t>(static_cast<int32_t>(std::thread::hardware_concurrency()), 1, 8);
  if (Dest->OnProgress) {
    bool fits = true;
    for (int32_t y = 0; y < height; ++y) {
      const uint8_t* row = Source->ScanLine(y);
      fits = fits && exact->AddRow(row, width);
      CountRow(counts.data(), notes.data(), row, width);
      if (Dest->Progress(y, height - 1)) break;
    }
    if (fits) return exact->Colors();
  } else {
    bool fits = true;
    for (int32_t y = 0; y < height && fits; ++y) fits = exact->AddRow(Source->ScanLine(y), width);
    if (fits) return exact->Colors();
    if (pixels < ParallelHistogramPixels || threads == 1) {
      for (int32_t y = 0; y < height; ++y) CountRow(counts.data(), notes.data(), Source->ScanLine(y), width);
    } else {
      // Rows are handed out in small runs as the threads ask for them, so
      // that a thread slowed by smooth parts of the picture (one cell many
      // times in a row) or by other work on the machine does not hold the
      // rest up; each thread counts into its own tables, made on that thread.
      std::vector<const uint8_t*> rows(height);
      for (int32_t y = 0; y < height; ++y) rows[y] = Source->ScanLine(y);
      constexpr int32_t RowsAtOnce = 32;
      std::atomic<int32_t> next{0};
      auto count = [&](uint32_t* Into, uint16_t* IntoNotes) {
        for (int32_t first; (first = next.fetch_add(RowsAtOnce)) < height;)
          for (int32_t y = first; y < std::min(first + RowsAtOnce, height); ++y)
            CountRow(Into, IntoNotes, rows[y], width);
      };
      std::vector<std::vector<uint32_t>> partial(threads - 1);
      std::vector<std::vector<uint16_t>> partialNotes(threads - 1);
      std::vector<std::thread> workers;
      for (int32_t part = 1; part < threads; ++part) {
        try {
          workers.emplace_back([&, part] {
            try {
              partial[part - 1].assign(HistogramCells, 0);
              partialNotes[part - 1].assign(HistogramCells, 0);
            } catch (const std::bad_alloc&) {  // no tables: the others count the rows
              return;
            }
            count(partial[part - 1].data(), partialNotes[part - 1].data());
          });
        } catch (const std::system_error&) {  // no thread to be had: the others count its rows
          break;
        }
      }
      count(counts.data(), notes.data());
      for (std::thread& worker : workers) worker.join();
      for (const std::vector<uint32_t>& p : partial)
        for (int32_t i = 0; i < static_cast<int32_t>(p.size()); ++i) counts[i] += p[i];
      for (const std::vector<uint16_t>& p : partialNotes)
        if (!p.empty()) MergeCellColors(notes.data(), p.data());
    }
  }
  SaturateCounts(counts.data(), histogram.data());
  return MedianCutColors(histogram.data(), Wanted, notes.data());
}

// The colours of a palette Source with the number of pixels of each. Pixel
// values past the palette show entry 0, so they count for entry 0; without a
// palette there is nothing to count.
std::vector<TMergeEntry> CountPaletteColors(TPixelGraphic* Dest, TPixelGraphic* Source) {
  const int32_t width = Source->GetWidth(), height = Source->GetHeight();
  const int32_t entries = Source->PaletteCount();
  std::vector<TMergeEntry> table(static_cast<size_t>(std::max(entries, 0)));
  for (int32_t i = 0; i < entries; ++i) {
    const TColor c = Source->GetPaletteEntry(i);
    table[i] = TMergeEntry{uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0};
  }
  if (entries <= 0) return table;
  std::vector<uint64_t> counts(256, 0);
  for (int32_t y = 0; y < height; ++y) {
    CountRowIndices(Source->ScanLine(y), Source->PixelFormat(), width, counts.data());
    if (Dest->OnProgress && Dest->Progress(y, height - 1)) break;
  }
  for (int32_t i = 0; i < 256; ++i) table[i < entries ? i : 0].Count += counts[i];
  return table;
}

}  // namespace

void CreateOptimizedPalette(TPixelGraphic* Dest, TPixelGraphic* Source, int32_t Count,
                            bool AddSys16) {
  Dest->FlushGdi();
  // A palette index is a byte: more than 256 colours cannot be stored.
  Count = std::min(Count, 256);
  const int32_t wanted = AddSys16 ? Count - 16 : Count;

  // An image left without pixel memory (its allocation was refused) is empty.
  const bool empty = Source->GetWidth() < 1 || Source->GetHeight() < 1 || !Source->ScanLine(0);
  if (empty || wanted < 1) {
    Dest->SetPaletteIdent(pSys16);
    Dest->SetPaletteCount(std::min(Count, 16));
    return;
  }
  Dest->SetPaletteCount(0);

  std::vector<TColor> colors;
  if (Source->PixelFormat() == pf24Bit) {
    colors = TrueColorPaletteColors(Dest, Source, wanted);
  } else {
    for (const TMergeEntry& e : MergeColors(CountPaletteColors(Dest, Source), wanted))
      colors.push_back(TColor(e.R) | TColor(e.G) << 8 | TColor(e.B) << 16);
  }
  Dest->SetPaletteCount(static_cast<int32_t>(colors.size()));
  for (int32_t i = 0; i < static_cast<int32_t>(colors.size()); ++i)
    Dest->SetPaletteEntry(i, colors[i]);

  if (AddSys16)
    for (int32_t added = 0; added < 16 && Dest->PaletteCount() < Count; ++added) {
      const int32_t index = Dest->PaletteCount();
      Dest->SetPaletteCount(index + 1);
      Dest->SetPaletteEntry(index, StandardPaletteEntry(pSys16, added));
    }
}
