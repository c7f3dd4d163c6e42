// Floyd-Steinberg dithering: the clamp table, the error-limit table and the
// pixel store rule that every colour-writing operation follows.
#pragma once

#include <cstdint>

#include "imaging/core/pixel_graphic.h"

// The clamp table limits -510..510 to 0..255. The library's start-up builds it
// before any other thread runs; afterwards it is only read.
constexpr int32_t ClampTableMin = -510;
constexpr int32_t ClampTableMax = 510;
void InitClampTable();
// Entry v (-510 <= v <= 510) is v limited to 0..255.
const int32_t* ClampTable();

// The error-limit table: 511 entries for the errors -255..255.
constexpr int32_t ErrorLimitTableSize = 511;
constexpr int32_t ErrorLimitTableCentre = 255;

// The error-limit step that goes with a palette kind.
int32_t AutoErrorLimitStep(TPaletteIdent Ident);

// Fills Table (ErrorLimitTableSize entries, error 0 at ErrorLimitTableCentre):
// identity up to Step, Step beyond it, and with Soft a ramp of slope one half
// from Step div 2 to 3 * Step div 2 joining the two.
void BuildErrorLimitTable(int32_t* Table, int32_t Step, bool Soft);

// Error rounded from sixteenths to whole levels, halves away from zero.
inline int32_t RoundSixteenths(int32_t E) { return E >= 0 ? (E + 8) / 16 : -((-E + 8) / 16); }

// Sets up the ditherer of an image for one operation and frees its buffers
// when the operation ends, also by an exception. Dithering is on when the
// image's Dither is set and it has a palette format.
class TDitherScope {
public:
  explicit TDitherScope(TPixelGraphic& Image);
  ~TDitherScope();
  TDitherScope(const TDitherScope&) = delete;
  TDitherScope& operator=(const TDitherScope&) = delete;

  bool Dithering() const { return FDithering; }
  // Before the pixels of every row.
  void NextRow() {
    if (FDithering) FImage.NextDitherRow();
  }
  // The pixel store rule: the colour as bytes into a 24-bit image, the nearest
  // palette index into a palette image, or through the ditherer.
  void Store(int32_t X, int32_t Y, uint8_t R, uint8_t G, uint8_t B) {
    if (FDithering)
      FImage.DitherPixel(X, Y, R, G, B);
    else
      FImage.SetPixelColor(X, Y, TColor(R) | TColor(G) << 8 | TColor(B) << 16);
  }

private:
  TPixelGraphic& FImage;
  bool FDithering;
};
