// The pixel store rule a row at a time, for a palette image whose
// nearest-colour search and pixel store are its own: rows of colours are
// mapped to their nearest palette entries, or run through the
// Floyd-Steinberg ditherer, pixel for pixel as DitherPixel and SetPixelColor
// would store them, through the colour cache where the palette has one.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/pixel_graphic.h"

struct TRowTables;

class TColorRowStore {
public:
  // Whether Image's rows can be stored this way: a palette image of the
  // library's own class (no overridden search or store).
  static bool Applies(TPixelGraphic& Image);
  // Stores into the columns FirstCol..LastCol of Image. Dithering is the
  // operation's TDitherScope's, which has set up the error-limit table.
  TColorRowStore(TPixelGraphic& Image, bool Dithering, int64_t FirstCol, int64_t LastCol);
  ~TColorRowStore();
  TColorRowStore(const TColorRowStore&) = delete;
  TColorRowStore& operator=(const TColorRowStore&) = delete;
  // Stores row Y (rows in the order the operation visits them, each once):
  // Colors holds the blue, green and red bytes of column FirstCol, the next
  // columns' after them; the pixels are visited left to right or right to
  // left, as the ditherer's serpentine order wants.
  void Store(int32_t Y, const uint8_t* Colors, bool LeftToRight);

private:
  TPixelGraphic& FImage;
  const bool FDithering;
  // Dithering maps rows straight while every pixel is a palette colour,
  // which leaves no error to spread; from the first pixel that is not, the
  // ditherer takes over with nothing spread yet.
  bool FExactSoFar;
  const bool FCached;
  const int64_t FFirstCol, FLastCol;
  std::unique_ptr<TRowTables> FTables;
  std::vector<int16_t> FLimit16;
  // The error rows as 16 bits (an accumulated value stays within 16 * 255),
  // with a position either side of the row's guards that stays 0.
  std::vector<int16_t> FCurrentErrors, FNextErrors, FRowErrors;
  // A 1- or 4-bit row is collected here, then stored whole.
  std::vector<uint8_t> FIndexRow;
  // Cells of the colour cache whose map entry answers every colour in
  // them, a bit each: set cells, but for those holding two or more palette
  // colours, where a colour equal to a later one is answered with that
  // entry.
  std::vector<uint8_t> FDirect;
};
