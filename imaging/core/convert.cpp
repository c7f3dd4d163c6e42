// Unscaled copy between images of any pixel format, through the pixel store
// rule (and so through the ditherer when the destination dithers).
#include <algorithm>
#include <cstring>
#include <typeinfo>
#include <vector>

#include "imaging/core/dither.h"
#include "imaging/core/row_gate.h"

namespace {

// One row through the ditherer, pixel for pixel what DitherPixel does, with
// the error passed to the pixel ahead kept in registers instead of a round
// trip through the current error row: that hand-over is the chain every
// pixel waits on, so the clamp is two comparisons here rather than a load,
// and one table (Limit16) gives the limited error of an accumulated value in
// sixteenths directly: Limit16[e] = t[RoundSixteenths(e)], |e| <= 16 * 255.
// The next error row is written once per position: slot x collects 1/16 of
// the error of x - Step, 5/16 of x and 3/16 of x + Step. Grey palettes carry
// the green error only. Pixel x reads the blue, green and red bytes of source
// column x + Shift and writes its palette index to Indexes[x].
template <bool Grey, typename NearestFn>
void DitherRow(const uint8_t* Source, int64_t Shift, uint8_t* Indexes, const int32_t* Current,
               int32_t* Next,
               int64_t Start, int64_t Stop, int64_t Step, const int16_t* Limit16,
               const TColor* Palette, bool Weighted, NearestFn Nearest) {
  constexpr int32_t first = Grey ? 1 : 0, last = Grey ? 1 : 2;
  int32_t carry[3] = {0, 0, 0}, pending[3] = {0, 0, 0}, ahead[3] = {0, 0, 0};
  int64_t x = Start;
  for (; x != Stop; x += Step) {
    const uint8_t* pixel = Source + (x + Shift) * 3;
    const int32_t* current = Current + (x + 1) * 3;
    int32_t wanted[3] = {0, 0, 0};
    if (Grey) {
      const TColor rgb = TColor(pixel[2]) | TColor(pixel[1]) << 8 | TColor(pixel[0]) << 16;
      wanted[1] = std::clamp(
          Limit16[current[1] + carry[1]] + Brightness(rgb, Weighted) / 3, 0, 255);
    } else {
      for (int32_t c = 0; c < 3; ++c)
        wanted[c] = std::clamp(Limit16[current[c] + carry[c]] + pixel[2 - c], 0, 255);
    }
    const TColor color = Grey ? TColor(wanted[1]) * 0x010101u
                              : TColor(wanted[0]) | TColor(wanted[1]) << 8 | TColor(wanted[2]) << 16;
    const uint32_t index = Nearest(color);
    Indexes[x] = uint8_t(index);
    const TColor entry = Palette[index < 256 ? index : 0];
    int32_t* behind = Next + (x + 1 - Step) * 3;
    for (int32_t c = first; c <= last; ++c) {
      const int32_t error = wanted[c] - int32_t((entry >> (8 * c)) & 0xFF);
      behind[c] = pending[c] + 3 * error;
      pending[c] = ahead[c] + 5 * error;
      ahead[c] = error;
      carry[c] = 7 * error;
    }
  }
  if (x != Start) {
    int32_t* below = Next + (x - Step + 1) * 3;
    int32_t* beyond = Next + (x + 1) * 3;
    for (int32_t c = first; c <= last; ++c) {
      below[c] = pending[c];
      beyond[c] = ahead[c];
    }
  }
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

    // The row ditherer above stands in for DitherPixel when neither the
    // nearest-colour search nor the pixel store can be overridden and the
    // image does not read its own pixels. A palette source row is converted
    // to bytes first, at the destination columns; a 1- or 4-bit destination
    // row is collected and then stored pixel by pixel.
    const bool fastDither = dither.Dithering() && Source != this &&
                            FPaletteIdent != pTrueColor && typeid(*this) == typeid(TPixelGraphic);
    const bool cached = FPaletteIdent == pUnknown && FUseColorCache && FPaletteCount > 0;
    constexpr int32_t MaxSixteenths = 16 * 255;
    TColor palette[256];
    std::vector<int16_t> limit16;
    std::vector<uint8_t> sourceRow, indexRow;
    if (fastDither) {
      for (uint32_t i = 0; i < 256; ++i) palette[i] = IndexColor(i);
      const int32_t* limit = FErrorLimitTable.data() + ErrorLimitTableCentre;
      limit16.resize(2 * MaxSixteenths + 1);
      for (int32_t e = -MaxSixteenths; e <= MaxSixteenths; ++e)
        limit16[e + MaxSixteenths] = int16_t(limit[RoundSixteenths(e)]);
      if (Source->PixelFormat() != pf24Bit) sourceRow.resize(size_t(FWidth) * 3);
      if (FPixelFormat != pf8Bit) indexRow.resize(size_t(FWidth));
      if (cached && (FColorCacheRebuild || !FColorCacheMap)) BuildColorCache();
    }
    auto ditherFastRow = [&](int32_t Y, int32_t SY, int64_t Start, int64_t Stop, int64_t Step) {
      const uint8_t* from = Source->ScanLine(SY);
      int64_t fromShift = shift;
      if (!sourceRow.empty()) {
        for (int64_t x = firstCol; x <= lastCol; ++x) {
          const TColor c = Source->GetPixelColor(int32_t(x + shift), SY);
          sourceRow[3 * x] = uint8_t(c >> 16), sourceRow[3 * x + 1] = uint8_t(c >> 8);
          sourceRow[3 * x + 2] = uint8_t(c);
        }
        from = sourceRow.data();
        fromShift = 0;
      }
      uint8_t* to = indexRow.empty() ? ScanLine(Y) : indexRow.data();
      auto run = [&](auto Nearest) {
        const int16_t* limit = limit16.data() + MaxSixteenths;
        if (FIsGrayPalette)
          DitherRow<true>(from, fromShift, to, FCurrentErrors.data(), FNextErrors.data(), Start,
                          Stop, Step, limit, palette, FRGBWeighting, Nearest);
        else
          DitherRow<false>(from, fromShift, to, FCurrentErrors.data(), FNextErrors.data(), Start,
                           Stop, Step, limit, palette, FRGBWeighting, Nearest);
      };
      if (cached) {
        // The colour cache's own lookup: a palette colour's own entry, else
        // the cell's map entry, with the exhaustive search for a cell that is
        // not set yet.
        const uint8_t* map = FColorCacheMap.get();
        const uint8_t* valid = FColorCacheValid.get();
        const TPaletteColorIndex* exact = FColorCacheExact.get();
        run([&](TColor C) -> uint32_t {
          const int32_t cell = ColorCell(C);
          if (const int32_t own = exact->Find(C, cell); own >= 0) return uint32_t(own);
          if (valid[cell >> 3] & (1 << (cell & 7))) return map[cell];
          return NearestCached(C);
        });
      } else {
        run([&](TColor C) -> uint32_t { return TPixelGraphic::GetNearestIndex(C); });
      }
      if (!indexRow.empty())
        for (int64_t x = firstCol; x <= lastCol; ++x) SetPixel(int32_t(x), Y, indexRow[x]);
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
    if (Source->PixelFormat() != pf24Bit && FPixelFormat != pf24Bit && Source != this &&
        typeid(*this) == typeid(TPixelGraphic)) {
      int16_t map[256];
      std::fill(std::begin(map), std::end(map), int16_t(-1));
      const bool bytes = Source->PixelFormat() == pf8Bit;
      auto indexAt = [&](const uint8_t* Row, int64_t X, int64_t SY) -> uint32_t {
        return bytes ? Row[X + shift] : Source->GetPixel(int32_t(X + shift), int32_t(SY)) & 0xFF;
      };
      bool exact = true;
      for (int64_t y = firstRow; y <= lastRow && exact; ++y) {
        const int64_t sy = y - DestY + SrcY;
        if (sy < 0 || sy >= srcHeight) continue;
        const uint8_t* row = bytes ? Source->ScanLine(int32_t(sy)) : nullptr;
        const bool leftToRight = (y & 1) == 0;
        const int64_t step = leftToRight ? 1 : -1;
        const int64_t end = (leftToRight ? lastCol : firstCol) + step;
        for (int64_t x = leftToRight ? firstCol : lastCol; x != end; x += step) {
          const uint32_t v = indexAt(row, x, sy);
          if (map[v] >= 0) continue;
          const TColor color = Source->IndexColor(v) & 0xFFFFFF;
          const uint32_t index = GetNearestIndex(color);
          if (dither.Dithering() && (IndexColor(index) & 0xFFFFFF) != color) {
            exact = false;
            break;
          }
          map[v] = int16_t(index);
        }
      }
      if (exact) {
        mapped = true;
        for (int64_t y = firstRow; y <= lastRow; ++y) {
          const int64_t sy = y - DestY + SrcY;
          if (sy < 0 || sy >= srcHeight) continue;
          const uint8_t* row = bytes ? Source->ScanLine(int32_t(sy)) : nullptr;
          if (bytes && FPixelFormat == pf8Bit) {
            uint8_t* to = ScanLine(int32_t(y));
            for (int64_t x = firstCol; x <= lastCol; ++x) to[x] = uint8_t(map[row[x + shift]]);
          } else {
            for (int64_t x = firstCol; x <= lastCol; ++x)
              SetPixel(int32_t(x), int32_t(y), uint32_t(map[indexAt(row, x, sy)]));
          }
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
      dither.NextRow();
      const bool leftToRight = (y & 1) == 0;
      const int64_t step = leftToRight ? 1 : -1;
      const int64_t start = leftToRight ? firstCol : lastCol;
      const int64_t end = (leftToRight ? lastCol : firstCol) + step;
      if (fastDither) {
        ditherFastRow(int32_t(y), int32_t(sy), start, end, step);
      } else if (Source->PixelFormat() == pf24Bit) {
        const uint8_t* row = Source->ScanLine(int32_t(sy));
        for (int64_t x = start; x != end; x += step) {
          const uint8_t* p = row + (x + shift) * 3;
          dither.Store(int32_t(x), int32_t(y), p[2], p[1], p[0]);
        }
      } else {
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
