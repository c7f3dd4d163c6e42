// Unscaled copy between images of any pixel format, through the pixel store
// rule (and so through the ditherer when the destination dithers).
#include <algorithm>
#include <cstring>

#include "imaging/core/dither.h"

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
  for (int64_t y = firstRow; y <= lastRow; ++y) {
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
    const int64_t end = (leftToRight ? lastCol : firstCol) + step;
    if (Source->PixelFormat() == pf24Bit) {
      const uint8_t* row = Source->ScanLine(int32_t(sy));
      for (int64_t x = leftToRight ? firstCol : lastCol; x != end; x += step) {
        const uint8_t* p = row + (x + shift) * 3;
        dither.Store(int32_t(x), int32_t(y), p[2], p[1], p[0]);
      }
    } else {
      for (int64_t x = leftToRight ? firstCol : lastCol; x != end; x += step) {
        const TColor c = Source->GetPixelColor(int32_t(x + shift), int32_t(sy));
        dither.Store(int32_t(x), int32_t(y), uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16));
      }
    }
    if (Progress(int32_t(y - firstRow), int32_t(lastRow - firstRow))) break;
  }
  ProgressEnd();
  }  // the ditherer's buffers go before Changed, and also on an exception
  Changed(this);
}
