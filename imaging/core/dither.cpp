// The Floyd-Steinberg ditherer of TPixelGraphic and its two lookup tables.
#include "imaging/core/dither.h"

#include <algorithm>

namespace {

int32_t ClampTableData[ClampTableMax - ClampTableMin + 1];

}  // namespace

void InitClampTable() {
  for (int32_t v = ClampTableMin; v <= ClampTableMax; ++v)
    ClampTableData[v - ClampTableMin] = std::clamp(v, 0, 255);
}

const int32_t* ClampTable() { return ClampTableData - ClampTableMin; }

int32_t AutoErrorLimitStep(TPaletteIdent Ident) {
  switch (Ident) {
    case pBlackWhite: return 255;
    case pSysGray4:
    case pSys16:
    case pGray4: return 128;
    case pGray236: return 3;
    case pGray256: return 2;
    case pSpecial125:
    case pSpecial252: return 104;
    case pSpecial216: return 86;
    case pOptimized252Sys16:
    case pSource: return 0;
    default: return 32;  // pNone, pTrueColor, pUnknown, pGray16
  }
}

void BuildErrorLimitTable(int32_t* Table, int32_t Step, bool Soft) {
  int32_t* t = Table + ErrorLimitTableCentre;
  for (int32_t i = 0; i <= 255; ++i) t[i] = i;
  if (Step < 255)
    for (int32_t i = Step; i <= 255; ++i) t[i] = Step;
  if (Soft)
    for (int32_t i = Step / 2; i <= (3 * Step) / 2 && i < 255; ++i) t[i] = i / 2 + Step / 4;
  for (int32_t i = 1; i <= 255; ++i) t[-i] = -t[i];
}

void TPixelGraphic::InitDither() {
  FreeDitherBuffers();
  const size_t rowSize = (static_cast<size_t>(std::max(FWidth, 0)) + 2) * 3;
  FCurrentErrors.assign(rowSize, 0);
  FNextErrors.assign(rowSize, 0);
  FErrorLimitTable.assign(ErrorLimitTableSize, 0);
  if (FDitherErrorLimitAuto)
    BuildErrorLimitTable(FErrorLimitTable.data(), AutoErrorLimitStep(FPaletteIdent), true);
  else
    BuildErrorLimitTable(FErrorLimitTable.data(), FDitherErrorLimit, FDitherErrorLimitSoft);
  FIsGrayPalette = true;
  for (int32_t i = 0; i < FPaletteCount && FIsGrayPalette; ++i) {
    const TColor c = FPalette[i];
    const uint8_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
    FIsGrayPalette = r == b && g == b;
  }
}

void TPixelGraphic::NextDitherRow() {
  FCurrentErrors.swap(FNextErrors);
  std::fill(FNextErrors.begin(), FNextErrors.end(), 0);
}

void TPixelGraphic::DitherPixel(int32_t X, int32_t Y, uint8_t R, uint8_t G, uint8_t B) {
  // Position X + 1 of an error row belongs to pixel X; positions 0 and
  // Width + 1 are guards that absorb what falls outside the row; a pixel
  // outside the row has no position of its own and spreads nothing.
  if (X < 0 || static_cast<size_t>(X) + 2 >= FCurrentErrors.size() / 3 ||
      FErrorLimitTable.size() != ErrorLimitTableSize) {
    SetPixelColor(X, Y, TColor(R) | TColor(G) << 8 | TColor(B) << 16);
    return;
  }
  const int32_t ahead = (Y & 1) == 0 ? 3 : -3;  // even rows run left to right
  int32_t* current = FCurrentErrors.data() + (X + 1) * 3;
  int32_t* next = FNextErrors.data() + (X + 1) * 3;
  const int32_t* limit = FErrorLimitTable.data() + ErrorLimitTableCentre;
  const int32_t* clamp = ClampTable();
  if (!FIsGrayPalette) {
    const int32_t r = clamp[limit[RoundSixteenths(current[0])] + R];
    const int32_t g = clamp[limit[RoundSixteenths(current[1])] + G];
    const int32_t b = clamp[limit[RoundSixteenths(current[2])] + B];
    const uint32_t index = GetNearestIndex(TColor(r) | TColor(g) << 8 | TColor(b) << 16);
    SetPixel(X, Y, index);
    const TColor entry = IndexColor(index);
    const int32_t error[3] = {r - int32_t(entry & 0xFF), g - int32_t((entry >> 8) & 0xFF),
                              b - int32_t((entry >> 16) & 0xFF)};
    for (int32_t c = 0; c < 3; ++c) {
      current[ahead + c] += 7 * error[c];
      next[-ahead + c] += 3 * error[c];
      next[c] += 5 * error[c];
      next[ahead + c] += error[c];
    }
  } else {
    // Grey palettes carry the error in the green value alone.
    const int32_t level =
        Brightness(TColor(R) | TColor(G) << 8 | TColor(B) << 16, FRGBWeighting) / 3;
    const int32_t g = clamp[limit[RoundSixteenths(current[1])] + level];
    const uint32_t index = GetNearestIndex(TColor(g) * 0x010101u);
    SetPixel(X, Y, index);
    const int32_t error = g - int32_t((IndexColor(index) >> 8) & 0xFF);
    current[ahead + 1] += 7 * error;
    next[-ahead + 1] += 3 * error;
    next[1] += 5 * error;
    next[ahead + 1] += error;
  }
}

TDitherScope::TDitherScope(TPixelGraphic& Image)
    : FImage(Image), FDithering(Image.Dither() && Image.PixelFormat() != pf24Bit) {
  if (FDithering)
    FImage.InitDither();
  else
    FImage.FreeDitherBuffers();
}

TDitherScope::~TDitherScope() { FImage.FreeDitherBuffers(); }
