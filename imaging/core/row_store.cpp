// The row loops of the pixel store rule: mapping and Floyd-Steinberg
// dithering of whole rows into a palette image.
#include "imaging/core/row_store.h"

#include <typeinfo>

#include "imaging/core/dither.h"
#include "imaging/core/pixel_rows.h"

// What the row loops read besides the pixels, for one operation: the limited
// error of an accumulated error in sixteenths, Limit16[e] =
// t[RoundSixteenths(e)] for |e| <= 16 * 255, and the palette's channels,
// also times 7 (the share of an error passed to the pixel ahead).
struct TRowTables {
  const int16_t* Limit16 = nullptr;
  int32_t R[256], G[256], B[256];
  int64_t R7[256], G7[256], B7[256];
};

namespace {

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

bool TColorRowStore::Applies(TPixelGraphic& Image) {
  return Image.FPaletteIdent != pTrueColor && Image.FPaletteIdent != pNone && Image.FPixelFormat != pf24Bit &&
         typeid(Image) == typeid(TPixelGraphic);
}

TColorRowStore::TColorRowStore(TPixelGraphic& Image, bool Dithering, int64_t FirstCol, int64_t LastCol)
    : FImage(Image),
      FDithering(Dithering),
      FExactSoFar(Dithering),
      FCached(Image.FPaletteIdent == pUnknown && Image.FUseColorCache && Image.FPaletteCount > 0),
      FFirstCol(FirstCol),
      FLastCol(LastCol),
      FTables(std::make_unique<TRowTables>()) {
  for (uint32_t i = 0; i < 256; ++i) {
    const TColor c = Image.IndexColor(i);
    FTables->R[i] = int32_t(c & 0xFF), FTables->G[i] = int32_t((c >> 8) & 0xFF);
    FTables->B[i] = int32_t((c >> 16) & 0xFF);
    FTables->R7[i] = 7 * FTables->R[i], FTables->G7[i] = 7 * FTables->G[i], FTables->B7[i] = 7 * FTables->B[i];
  }
  if (FDithering) {
    constexpr int32_t MaxSixteenths = 16 * 255;
    const int32_t* limit = Image.FErrorLimitTable.data() + ErrorLimitTableCentre;
    FLimit16.resize(2 * MaxSixteenths + 1);
    for (int32_t e = -MaxSixteenths; e <= MaxSixteenths; ++e)
      FLimit16[e + MaxSixteenths] = int16_t(limit[RoundSixteenths(e)]);
    FTables->Limit16 = FLimit16.data() + MaxSixteenths;
    const size_t rowSize = (size_t(Image.FWidth) + 4) * 3;
    FCurrentErrors.assign(rowSize, 0), FNextErrors.assign(rowSize, 0), FRowErrors.assign(rowSize, 0);
  }
  if (Image.FPixelFormat != pf8Bit) FIndexRow.resize(size_t(Image.FWidth));
  if (FCached) {
    if (Image.FColorCacheRebuild || !Image.FColorCacheMap) Image.BuildColorCache();
    const uint8_t* map = Image.FColorCacheMap.get();
    FDirect.assign(Image.FColorCacheValid.get(), Image.FColorCacheValid.get() + 8192);
    for (int32_t i = 0; i < Image.FPaletteCount; ++i) {
      const int32_t cell = ColorCell(Image.FPalette[size_t(i)]);
      if ((Image.FPalette[size_t(i)] & 0xFFFFFF) != (Image.FPalette[map[cell]] & 0xFFFFFF))
        FDirect[size_t(cell >> 3)] &= uint8_t(~(1 << (cell & 7)));
    }
  }
}

TColorRowStore::~TColorRowStore() = default;

void TColorRowStore::Store(int32_t Y, const uint8_t* Colors, bool LeftToRight) {
  TPixelGraphic& image = FImage;
  const int64_t start = LeftToRight ? FFirstCol : FLastCol;
  uint8_t* to = FIndexRow.empty() ? image.ScanLine(Y) : FIndexRow.data();
  // Position start + 1 of the error rows, after the extra guard.
  const size_t at = size_t(start + 2) * 3;
  if (FDithering) {
    // This row's errors are made into the next error row, which is written
    // wherever this row's pixels are read, so it needs no clearing first.
    FCurrentErrors.swap(FNextErrors);
  }
  TRowCursor cursor{Colors + (start - FFirstCol) * 3, FCurrentErrors.data() + at, FRowErrors.data() + at, to + start,
                    FLastCol - FFirstCol + 1};
  auto run = [&](const auto& Search) {
    TColor wanted = 0;
    for (;;) {
      bool done;
      if (FExactSoFar) {
        TExactStop stop;
        if (image.FIsGrayPalette)
          stop = LeftToRight ? MapExactRow<true, 1>(cursor, *FTables, Search, wanted)
                             : MapExactRow<true, -1>(cursor, *FTables, Search, wanted);
        else
          stop = LeftToRight ? MapExactRow<false, 1>(cursor, *FTables, Search, wanted)
                             : MapExactRow<false, -1>(cursor, *FTables, Search, wanted);
        if (stop == TExactStop::Inexact) {
          FExactSoFar = false;
          continue;
        }
        done = stop == TExactStop::Done;
      } else if (!FDithering)
        done = LeftToRight ? MapRow<1>(cursor, Search, wanted) : MapRow<-1>(cursor, Search, wanted);
      else if (image.FIsGrayPalette)
        done = LeftToRight ? DitherRow<true, 1>(cursor, *FTables, image.FRGBWeighting, Search, wanted)
                           : DitherRow<true, -1>(cursor, *FTables, image.FRGBWeighting, Search, wanted);
      else
        done = LeftToRight ? DitherRow<false, 1>(cursor, *FTables, image.FRGBWeighting, Search, wanted)
                           : DitherRow<false, -1>(cursor, *FTables, image.FRGBWeighting, Search, wanted);
      if (done) break;
      // A cell not set yet: the full rule sets it (the first colour asked
      // in a cell decides its entry), and the loop goes on from the same
      // pixel, which now finds it.
      const int32_t cell = ColorCell(wanted);
      image.NearestCached(wanted);
      FDirect[size_t(cell >> 3)] |= uint8_t(1 << (cell & 7));
    }
  };
  if (FCached) {
    run(TCachedSearch{image.FColorCacheMap.get(), FDirect.data(), image.FColorCacheValid.get(),
                      image.FColorCacheExact.get()});
  } else {
    auto nearest = [&image](TColor C) -> uint32_t { return image.TPixelGraphic::GetNearestIndex(C); };
    run(TPlainSearch<decltype(nearest)>{nearest});
  }
  // Rows mapped straight leave every error row zero.
  if (FDithering && !FExactSoFar)
    SpreadErrors(FRowErrors.data() + 3, FNextErrors.data() + 3, FFirstCol + 1, FLastCol + 1, LeftToRight ? 1 : -1);
  if (!FIndexRow.empty())
    PackRowIndices(FIndexRow.data() + FFirstCol, image.FPixelFormat, FFirstCol, FLastCol - FFirstCol + 1,
                   image.ScanLine(Y));
}
