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
#include "imaging/core/row_store.h"

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

    // The row loops of TColorRowStore stand in for DitherPixel and
    // SetPixelColor when neither the nearest-colour search nor the pixel
    // store can be overridden and the image does not read its own pixels. A
    // palette source row is converted to bytes first, at the destination
    // columns.
    const bool fastRows = Source != this && TColorRowStore::Applies(*this);
    std::unique_ptr<TColorRowStore> rows;
    if (fastRows) rows = std::make_unique<TColorRowStore>(*this, dither.Dithering(), firstCol, lastCol);

    // A palette source is read a row at a time: its indices at the columns
    // copied, index i of row SY being that of destination column firstCol +
    // i, and their colours as bytes (blue, green, red) in the same places.
    // A 24-bit source gives its own bytes.
    const uint8_t sourceFormat = Source->PixelFormat();
    std::vector<uint8_t> sourceIndexRow, sourceRow;
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
        rows->Store(int32_t(y), sourceColors(sy), leftToRight);
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
