// Unscaled copy between images of any pixel format, through the pixel store
// rule (and so through the ditherer when the destination dithers).
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <typeinfo>
#include <vector>

#include "imaging/core/dither.h"
#include "imaging/core/pixel_rows.h"
#include "imaging/core/row_gate.h"

namespace {

// What the row loops read besides the pixels, for one operation: the limited
// error of an accumulated error in sixteenths, Limit16[e] =
// t[RoundSixteenths(e)] for |e| <= 16 * 255, and the palette's channels,
// also times 7 (the share of an error passed to the pixel ahead).
struct TRowTables {
  const int16_t* Limit16 = nullptr;
  int32_t R[256], G[256], B[256];
  int64_t R7[256], G7[256], B7[256];
};

inline int32_t Clamp255(int32_t V) { return V < 0 ? 0 : V > 255 ? 255 : V; }

// The nearest-colour search as the row loops ask it. Find gives the palette
// index of a colour, or false when the search must first do work that the
// loop leaves to its caller (the colour cache setting a cell).
//
// Through the colour cache: a cell's map entry where it answers every
// colour of the cell (a bit per cell), a palette colour's own entry in a
// cell that holds two or more palette colours, and no answer in a cell not
// set yet.
struct TCachedSearch {
  const uint8_t* Map;
  const uint8_t* Direct;
  const uint8_t* Valid;
  const TPaletteColorIndex* Exact;
  bool Find(int32_t R, int32_t G, int32_t B, uint32_t& Index) const {
    // Unsigned, so that the cell indexes the tables without a widening step.
    const uint32_t cell = (uint32_t(R) & 0xF8) << 8 | (uint32_t(G) & 0xFC) << 3 | uint32_t(B) >> 3;
    const uint8_t bit = uint8_t(1 << (cell & 7));
    if (Direct[cell >> 3] & bit) {
      Index = Map[cell];
      return true;
    }
    if (!(Valid[cell >> 3] & bit)) return false;
    Index = Shared(TColor(R) | TColor(G) << 8 | TColor(B) << 16, cell);
    return true;
  }
  // Out of line: its probe would take registers from the row loops.
  [[gnu::noinline, gnu::cold]] uint32_t Shared(TColor C, uint32_t Cell) const {
    const int32_t own = Exact->Find(C, int32_t(Cell));
    return own >= 0 ? uint32_t(own) : Map[Cell];
  }
};

// Any other search answers at once.
template <typename NearestFn>
struct TPlainSearch {
  NearestFn Nearest;
  bool Find(int32_t R, int32_t G, int32_t B, uint32_t& Index) const {
    Index = Nearest(TColor(R) | TColor(G) << 8 | TColor(B) << 16);
    return true;
  }
};

// Where a row loop stands: the next pixel (blue, green, red), its place in
// the accumulated error row (red, green, blue) and in this row's errors, its
// index, the pixels left, and the errors passed ahead (64 bits, so that
// they index the limit table as they are).
struct TRowCursor {
  const uint8_t* Pixel;
  const int16_t* Current;
  int16_t* Errors;
  uint8_t* Index;
  int64_t Count;
  int64_t CarryR = 0, CarryG = 0, CarryB = 0;
};

// Runs a row through the ditherer, pixel for pixel what DitherPixel does, in
// direction Step. Each pixel's wanted colour waits on the error of the pixel
// before it, and that hand-over bounds the speed, so it is kept short: the
// error passed ahead stays in a register and indexes the limit table as it
// is, the clamp waits behind a branch that is nearly always predicted, the
// palette colour times 7 comes from a table, and nothing in the loop calls
// out, so that its state stays in registers. The pixel's own errors go to
// this row's errors, from which SpreadErrors makes the next row's. Grey
// palettes carry the green error only. Returns false, with the cursor at
// the pixel and its wanted colour in Wanted, when Search cannot answer it
// yet.
// Not inlined, so that its registers are allocated for it alone.
template <bool Grey, int Step, typename SearchT>
[[gnu::noinline]] bool DitherRow(TRowCursor& At, const TRowTables& Tables, bool Weighted, const SearchT& SearchIn,
                                 TColor& Wanted) {
  // A copy, so that the loop's byte stores cannot be taken to change it.
  const SearchT Search = SearchIn;
  const int16_t* const limit = Tables.Limit16;
  const uint8_t* pixel = At.Pixel;
  const int16_t* current = At.Current;
  int16_t* errors = At.Errors;
  uint8_t* index = At.Index;
  int64_t count = At.Count, carryR = At.CarryR, carryG = At.CarryG, carryB = At.CarryB;
  bool done = true;
  for (; count > 0; --count, pixel += 3 * Step, current += 3 * Step, errors += 3 * Step, index += Step) {
    uint32_t found;
    if (Grey) {
      const int32_t level =
          Brightness(TColor(pixel[2]) | TColor(pixel[1]) << 8 | TColor(pixel[0]) << 16, Weighted) / 3;
      const int32_t g = Clamp255((limit + current[1])[carryG] + level);
      if (!Search.Find(g, g, g, found)) {
        Wanted = TColor(g) * 0x010101u;
        done = false;
        break;
      }
      *index = uint8_t(found);
      errors[1] = int16_t(g - Tables.G[found & 0xFF]);
      carryG = 7 * int64_t(g) - Tables.G7[found & 0xFF];
    } else {
      // The limit table moved by the row's accumulated errors, which are
      // known ahead; the empty asm keeps the compiler from adding the error
      // passed ahead to them first, which would put an addition on the chain.
      const int16_t* lr = limit + current[0];
      const int16_t* lg = limit + current[1];
      const int16_t* lb = limit + current[2];
      asm("" : "+r"(lr), "+r"(lg), "+r"(lb));
      int32_t r = lr[carryR] + pixel[2];
      int32_t g = lg[carryG] + pixel[1];
      int32_t b = lb[carryB] + pixel[0];
      // Most wanted levels lie within 0..255 already: a branch, which the
      // processor predicts, keeps the clamp off the chain.
      if (__builtin_expect((uint32_t(r) | uint32_t(g) | uint32_t(b)) > 255, 0))
        r = Clamp255(r), g = Clamp255(g), b = Clamp255(b);
      if (!Search.Find(r, g, b, found)) {
        Wanted = TColor(r) | TColor(g) << 8 | TColor(b) << 16;
        done = false;
        break;
      }
      const uint8_t i = uint8_t(found);
      *index = i;
      const int32_t er = r - Tables.R[i], eg = g - Tables.G[i], eb = b - Tables.B[i];
      errors[0] = int16_t(er);
      errors[1] = int16_t(eg);
      errors[2] = int16_t(eb);
      if (__builtin_expect((er | eg | eb) != 0, 1)) {
        carryR = 7 * int64_t(r) - Tables.R7[i];
        carryG = 7 * int64_t(g) - Tables.G7[i];
        carryB = 7 * int64_t(b) - Tables.B7[i];
      } else {
        // A colour of the palette passes nothing on. Where that is the rule
        // (a picture whose colours the palette holds) the branch is
        // predicted, and the next pixel need not wait for this one.
        carryR = carryG = carryB = 0;
      }
    }
  }
  At = TRowCursor{pixel, current, errors, index, count, carryR, carryG, carryB};
  return done;
}

// The next error row at positions First to Last (three values each) from a
// row's errors: a pixel sends 3/16 of its error to the pixel behind it below,
// 5/16 straight below and 1/16 ahead below, Step telling which way is ahead.
// Errors is zero at every position whose pixel was not visited, so the sum
// over the three neighbours is what spreading pixel by pixel adds up.
void SpreadErrors(const int16_t* Errors, int16_t* Next, int64_t First, int64_t Last, int64_t Step) {
  const int64_t ahead = 3 * Step;
  for (int64_t i = 3 * First; i < 3 * (Last + 1); ++i)
    Next[i] = int16_t(5 * Errors[i] + 3 * Errors[i + ahead] + Errors[i - ahead]);
}

// A row mapped to the nearest palette colours without dithering, in
// direction Step, for the nearest-colour search's sake; a run of one colour
// is looked up once. Stops like DitherRow.
template <int Step, typename SearchT>
bool MapRow(TRowCursor& At, const SearchT& SearchIn, TColor& Wanted) {
  const SearchT Search = SearchIn;
  const uint8_t* pixel = At.Pixel;
  uint8_t* index = At.Index;
  int64_t count = At.Count;
  uint32_t last = 0xFFFFFFFFu, found = 0;
  bool done = true;
  for (; count > 0; --count, pixel += 3 * Step, index += Step) {
    const uint32_t color = uint32_t(pixel[2]) | uint32_t(pixel[1]) << 8 | uint32_t(pixel[0]) << 16;
    if (color != last) {
      if (!Search.Find(pixel[2], pixel[1], pixel[0], found)) {
        Wanted = color;
        done = false;
        break;
      }
      last = color;
    }
    *index = uint8_t(found);
  }
  At.Pixel = pixel, At.Index = index, At.Count = count;
  return done;
}

// Why MapExactRow stopped: at the row's end, at a colour whose cell the
// colour cache has not set yet, or at a pixel the ditherer would not give
// its own colour.
enum class TExactStop { Done, Lookup, Inexact };

// The ditherer's own result while nothing is left to pass on: a pixel whose
// colour is a palette colour takes that entry and leaves no error, so the
// row is mapped straight, in direction Step, a run of one colour looked up
// once. Stops at the first pixel whose colour the palette does not hold, or
// (grey palettes, which dither a pixel's brightness) that is not grey, with
// the cursor at that pixel and every error still zero; the colours looked
// up are those the ditherer asks for, in its order.
template <bool Grey, int Step, typename SearchT>
TExactStop MapExactRow(TRowCursor& At, const TRowTables& Tables, const SearchT& SearchIn, TColor& Wanted) {
  const SearchT Search = SearchIn;
  const uint8_t* pixel = At.Pixel;
  uint8_t* index = At.Index;
  int64_t count = At.Count;
  uint32_t last = 0xFFFFFFFFu, found = 0;
  TExactStop stop = TExactStop::Done;
  for (; count > 0; --count, pixel += 3 * Step, index += Step) {
    const uint32_t color = uint32_t(pixel[2]) | uint32_t(pixel[1]) << 8 | uint32_t(pixel[0]) << 16;
    if (color != last) {
      if (Grey && (pixel[0] != pixel[1] || pixel[1] != pixel[2])) {
        stop = TExactStop::Inexact;
        break;
      }
      if (!Search.Find(pixel[2], pixel[1], pixel[0], found)) {
        Wanted = color;
        stop = TExactStop::Lookup;
        break;
      }
      const uint32_t i = found & 0xFF;
      if (Tables.R[i] != pixel[2] || Tables.G[i] != pixel[1] || Tables.B[i] != pixel[0]) {
        stop = TExactStop::Inexact;
        break;
      }
      last = color;
    }
    *index = uint8_t(found);
  }
  const int64_t advanced = At.Count - count;
  At.Pixel = pixel, At.Index = index, At.Count = count;
  At.Current += 3 * Step * advanced, At.Errors += 3 * Step * advanced;
  return stop;
}

}  // namespace

void TPixelGraphic::CopyRectUnscaled(int32_t DestX, int32_t DestY, int32_t Width,
                                     int32_t Height, int32_t SrcX, int32_t SrcY,
                                     TPixelGraphic* Source) {
  FlushGdi();
  const int32_t srcWidth = Source->GetWidth(), srcHeight = Source->GetHeight();
  if (FWidth < 1 || FHeight < 1 || srcWidth < 1 || srcHeight < 1) return;
  // Without pixel memory every pixel counts as outside the image.
  if (!ScanLine(0) || !Source->ScanLine(0)) return;

  // 64 bits: the rectangle may come from anywhere.
  const int64_t firstRow = std::max<int64_t>(DestY, 0);
  const int64_t lastRow = std::min<int64_t>(int64_t(DestY) + Height - 1, FHeight - 1);
  const int64_t shift = int64_t(SrcX) - DestX;  // source column minus destination column
  const int64_t firstCol = std::max<int64_t>({DestX, 0, -shift});
  const int64_t lastCol =
      std::min<int64_t>({int64_t(DestX) + Width - 1, FWidth - 1, srcWidth - 1 - shift});
  if (firstCol > lastCol) {
    Changed(this);
    return;
  }

  {
    TDitherScope dither(*this);
    ProgressStart();
    const bool trueColor = FPixelFormat == pf24Bit && Source->PixelFormat() == pf24Bit;

    // The row loops above stand in for DitherPixel and SetPixelColor when
    // neither the nearest-colour search nor the pixel store can be
    // overridden and the image does not read its own pixels. A palette
    // source row is converted to bytes first, at the destination columns; a
    // 1- or 4-bit destination row is collected and then stored whole.
    const bool fastRows = Source != this && FPaletteIdent != pTrueColor && FPaletteIdent != pNone &&
                          FPixelFormat != pf24Bit && typeid(*this) == typeid(TPixelGraphic);
    const bool fastDither = fastRows && dither.Dithering();
    const bool cached = FPaletteIdent == pUnknown && FUseColorCache && FPaletteCount > 0;
    constexpr int32_t MaxSixteenths = 16 * 255;
    auto tables = std::make_unique<TRowTables>();
    std::vector<int16_t> limit16;
    // The error rows as 16 bits (an accumulated value stays within 16 *
    // 255), with a position either side of the row's guards that stays 0.
    std::vector<int16_t> currentErrors, nextErrors, rowErrors;
    std::vector<uint8_t> sourceRow, indexRow;
    // Cells of the colour cache whose map entry answers every colour in
    // them, a bit each: set cells, but for those holding two or more
    // palette colours, where a colour equal to a later one is answered with
    // that entry.
    std::vector<uint8_t> direct;

    // A palette source is read a row at a time: its indices at the columns
    // copied, index i of row SY being that of destination column firstCol +
    // i, and their colours as bytes (blue, green, red) in the same places.
    // A 24-bit source gives its own bytes.
    const uint8_t sourceFormat = Source->PixelFormat();
    std::vector<uint8_t> sourceIndexRow;
    std::array<TColor, 256> sourcePalette{};
    if (sourceFormat != pf24Bit) {
      if (sourceFormat != pf8Bit) sourceIndexRow.resize(size_t(lastCol - firstCol + 1));
      sourceRow.resize(size_t(lastCol - firstCol + 1) * 3);
      for (uint32_t i = 0; i < 256; ++i) sourcePalette[i] = Source->IndexColor(i);
    }
    auto sourceIndices = [&](int64_t SY) -> const uint8_t* {
      const uint8_t* row = Source->ScanLine(int32_t(SY));
      if (sourceFormat == pf8Bit) return row + firstCol + shift;
      UnpackRowIndices(row, sourceFormat, firstCol + shift, lastCol - firstCol + 1, sourceIndexRow.data());
      return sourceIndexRow.data();
    };
    auto sourceColors = [&](int64_t SY) -> const uint8_t* {
      if (sourceFormat == pf24Bit) return Source->ScanLine(int32_t(SY)) + (firstCol + shift) * 3;
      const uint8_t* index = sourceIndices(SY);
      uint8_t* to = sourceRow.data();
      for (int64_t i = 0; i <= lastCol - firstCol; ++i, to += 3) {
        const TColor c = sourcePalette[index[i]];
        to[0] = uint8_t(c >> 16), to[1] = uint8_t(c >> 8), to[2] = uint8_t(c);
      }
      return sourceRow.data();
    };

    if (fastRows) {
      for (uint32_t i = 0; i < 256; ++i) {
        const TColor c = IndexColor(i);
        tables->R[i] = int32_t(c & 0xFF), tables->G[i] = int32_t((c >> 8) & 0xFF);
        tables->B[i] = int32_t((c >> 16) & 0xFF);
        tables->R7[i] = 7 * tables->R[i], tables->G7[i] = 7 * tables->G[i], tables->B7[i] = 7 * tables->B[i];
      }
      if (fastDither) {
        const int32_t* limit = FErrorLimitTable.data() + ErrorLimitTableCentre;
        limit16.resize(2 * MaxSixteenths + 1);
        for (int32_t e = -MaxSixteenths; e <= MaxSixteenths; ++e)
          limit16[e + MaxSixteenths] = int16_t(limit[RoundSixteenths(e)]);
        tables->Limit16 = limit16.data() + MaxSixteenths;
        const size_t rowSize = (size_t(FWidth) + 4) * 3;
        currentErrors.assign(rowSize, 0), nextErrors.assign(rowSize, 0), rowErrors.assign(rowSize, 0);
      }
      if (FPixelFormat != pf8Bit) indexRow.resize(size_t(FWidth));
      if (cached) {
        if (FColorCacheRebuild || !FColorCacheMap) BuildColorCache();
        const uint8_t* map = FColorCacheMap.get();
        direct.assign(FColorCacheValid.get(), FColorCacheValid.get() + 8192);
        for (int32_t i = 0; i < FPaletteCount; ++i) {
          const int32_t cell = ColorCell(FPalette[size_t(i)]);
          if ((FPalette[size_t(i)] & 0xFFFFFF) != (FPalette[map[cell]] & 0xFFFFFF))
            direct[size_t(cell >> 3)] &= uint8_t(~(1 << (cell & 7)));
        }
      }
    }
    // Dithering starts with the rows mapped straight while every pixel is a
    // palette colour; from the first pixel that is not, the ditherer takes
    // over with nothing spread yet.
    bool exactSoFar = fastDither;
    auto fastRow = [&](int32_t Y, int32_t SY, bool LeftToRight) {
      const int64_t start = LeftToRight ? firstCol : lastCol;
      const uint8_t* first = sourceColors(SY) + (start - firstCol) * 3;  // the bytes of the first pixel visited
      uint8_t* to = indexRow.empty() ? ScanLine(Y) : indexRow.data();
      // Position start + 1 of the error rows, after the extra guard.
      const size_t at = size_t(start + 2) * 3;
      if (fastDither) {
        // This row's errors are made into the next error row, which is
        // written wherever this row's pixels are read, so it needs no
        // clearing first.
        currentErrors.swap(nextErrors);
      }
      TRowCursor cursor{first, currentErrors.data() + at, rowErrors.data() + at, to + start,
                        lastCol - firstCol + 1};
      auto run = [&](const auto& Search) {
        TColor wanted = 0;
        for (;;) {
          bool done;
          if (exactSoFar) {
            TExactStop stop;
            if (FIsGrayPalette)
              stop = LeftToRight ? MapExactRow<true, 1>(cursor, *tables, Search, wanted)
                                 : MapExactRow<true, -1>(cursor, *tables, Search, wanted);
            else
              stop = LeftToRight ? MapExactRow<false, 1>(cursor, *tables, Search, wanted)
                                 : MapExactRow<false, -1>(cursor, *tables, Search, wanted);
            if (stop == TExactStop::Inexact) {
              exactSoFar = false;
              continue;
            }
            done = stop == TExactStop::Done;
          } else if (!fastDither)
            done = LeftToRight ? MapRow<1>(cursor, Search, wanted) : MapRow<-1>(cursor, Search, wanted);
          else if (FIsGrayPalette)
            done = LeftToRight ? DitherRow<true, 1>(cursor, *tables, FRGBWeighting, Search, wanted)
                               : DitherRow<true, -1>(cursor, *tables, FRGBWeighting, Search, wanted);
          else
            done = LeftToRight ? DitherRow<false, 1>(cursor, *tables, FRGBWeighting, Search, wanted)
                               : DitherRow<false, -1>(cursor, *tables, FRGBWeighting, Search, wanted);
          if (done) break;
          // A cell not set yet: the full rule sets it (the first colour asked
          // in a cell decides its entry), and the loop goes on from the same
          // pixel, which now finds it.
          const int32_t cell = ColorCell(wanted);
          NearestCached(wanted);
          direct[size_t(cell >> 3)] |= uint8_t(1 << (cell & 7));
        }
      };
      if (cached) {
        run(TCachedSearch{FColorCacheMap.get(), direct.data(), FColorCacheValid.get(), FColorCacheExact.get()});
      } else {
        auto nearest = [this](TColor C) -> uint32_t { return TPixelGraphic::GetNearestIndex(C); };
        run(TPlainSearch<decltype(nearest)>{nearest});
      }
      // Rows mapped straight leave every error row zero.
      if (fastDither && !exactSoFar)
        SpreadErrors(rowErrors.data() + 3, nextErrors.data() + 3, firstCol + 1, lastCol + 1, LeftToRight ? 1 : -1);
      if (!indexRow.empty())
        PackRowIndices(indexRow.data() + firstCol, FPixelFormat, firstCol, lastCol - firstCol + 1, ScanLine(Y));
    };

    // A palette source whose every colour used has its own colour in this
    // palette leaves nothing to diffuse: each pixel takes the entry its
    // colour maps to, as the ditherer would give it. The colours are looked
    // up in the order the pixels are visited, so the colour cache fills as
    // it would; at the first colour that lands elsewhere the copy below
    // starts from the first pixel with nothing spread yet and every answer
    // looked up still the same. A grey palette dithers the brightness of a
    // colour: only grey colours have their own entry there, and a grey
    // colour's brightness is its own level, so nothing is diffused either.
    bool mapped = false;
    if (sourceFormat != pf24Bit && FPixelFormat != pf24Bit && Source != this &&
        typeid(*this) == typeid(TPixelGraphic)) {
      int16_t map[256];
      std::fill(std::begin(map), std::end(map), int16_t(-1));
      // Once every value the source's pixels can hold has its entry, no
      // colour is left to look up.
      int32_t unmapped = sourceFormat == pf1Bit ? 2 : sourceFormat == pf4Bit ? 16 : 256;
      bool exact = true;
      for (int64_t y = firstRow; y <= lastRow && exact && unmapped > 0; ++y) {
        const int64_t sy = y - DestY + SrcY;
        if (sy < 0 || sy >= srcHeight) continue;
        const uint8_t* row = sourceIndices(sy);
        const bool leftToRight = (y & 1) == 0;
        const int64_t step = leftToRight ? 1 : -1;
        const int64_t end = (leftToRight ? lastCol : firstCol) + step;
        for (int64_t x = leftToRight ? firstCol : lastCol; x != end; x += step) {
          const uint32_t v = row[x - firstCol];
          if (map[v] >= 0) continue;
          const TColor color = sourcePalette[v] & 0xFFFFFF;
          const uint32_t index = GetNearestIndex(color);
          if (dither.Dithering() && (IndexColor(index) & 0xFFFFFF) != color) {
            exact = false;
            break;
          }
          map[v] = int16_t(index);
          --unmapped;
        }
      }
      if (exact) {
        mapped = true;
        std::vector<uint8_t> mappedRow(FPixelFormat == pf8Bit ? 0 : size_t(lastCol - firstCol + 1));
        for (int64_t y = firstRow; y <= lastRow; ++y) {
          const int64_t sy = y - DestY + SrcY;
          if (sy < 0 || sy >= srcHeight) continue;
          const uint8_t* row = sourceIndices(sy);
          uint8_t* to = mappedRow.empty() ? ScanLine(int32_t(y)) + firstCol : mappedRow.data();
          for (int64_t i = 0; i <= lastCol - firstCol; ++i) to[i] = uint8_t(map[row[i]]);
          if (!mappedRow.empty())
            PackRowIndices(mappedRow.data(), FPixelFormat, firstCol, lastCol - firstCol + 1, ScanLine(int32_t(y)));
          if (FRowGate) FRowGate->Finished(int32_t(y + 1));
          if (Progress(int32_t(y - firstRow), int32_t(lastRow - firstRow))) break;
        }
      }
    }

    for (int64_t y = firstRow; y <= lastRow && !mapped; ++y) {
      const int64_t sy = y - DestY + SrcY;
      if (sy < 0 || sy >= srcHeight) continue;
      if (trueColor) {  // 24 -> 24: whole spans of bytes, no progress per row
        std::memmove(ScanLine(int32_t(y)) + firstCol * 3,
                     Source->ScanLine(int32_t(sy)) + (firstCol + shift) * 3,
                     size_t(lastCol - firstCol + 1) * 3);
        continue;
      }
      const bool leftToRight = (y & 1) == 0;
      const int64_t step = leftToRight ? 1 : -1;
      const int64_t start = leftToRight ? firstCol : lastCol;
      const int64_t end = (leftToRight ? lastCol : firstCol) + step;
      if (fastRows) {
        fastRow(int32_t(y), int32_t(sy), leftToRight);
      } else if (sourceFormat == pf24Bit) {
        dither.NextRow();
        const uint8_t* row = Source->ScanLine(int32_t(sy));
        for (int64_t x = start; x != end; x += step) {
          const uint8_t* p = row + (x + shift) * 3;
          dither.Store(int32_t(x), int32_t(y), p[2], p[1], p[0]);
        }
      } else {
        dither.NextRow();
        for (int64_t x = start; x != end; x += step) {
          const TColor c = Source->GetPixelColor(int32_t(x + shift), int32_t(sy));
          dither.Store(int32_t(x), int32_t(y), uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16));
        }
      }
      // Rows above the rectangle keep their pixels, so every row down to
      // this one is final.
      if (FRowGate) FRowGate->Finished(int32_t(y + 1));
      if (Progress(int32_t(y - firstRow), int32_t(lastRow - firstRow))) break;
    }
    ProgressEnd();
  }  // the ditherer's buffers go before Changed, and also on an exception
  Changed(this);
}
