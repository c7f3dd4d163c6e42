// TGradientFill: bands whose bounds and colours are MulDiv steps between
// the two colours.
#include "controls/gradient_fill.h"

#include <vector>

#include "platform/base/numeric.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/objects.h"

TGradientFill::TGradientFill(TComponent* AOwner) : TGraphicControl(AOwner), FBitmap(std::make_unique<TBitmap>()) {
  SetBounds(0, 0, 105, 105);
}

TGradientFill::~TGradientFill() {
  if (FPalette && !(ComponentState() & csDesigning)) DeleteObject(FPalette);
}

void TGradientFill::Changed() {
  PaintGradient();
  Invalidate();
}

void TGradientFill::SetFillDirection(TFillDirection Value) {
  if (Value == FFillDirection) return;
  FFillDirection = Value;
  Changed();
}

void TGradientFill::SetBeginColor(TColor Value) {
  if (Value == FBeginColor) return;
  FBeginColor = Value;
  Changed();
}

void TGradientFill::SetEndColor(TColor Value) {
  if (Value == FEndColor) return;
  FEndColor = Value;
  Changed();
}

void TGradientFill::SetRealize(bool Value) {
  if (Value == FRealize) return;
  FRealize = Value;
  Changed();
}

void TGradientFill::SetAutoSize(bool Value) {
  if (Value == FAutoSize) return;
  FAutoSize = Value;
  Invalidate();
}

void TGradientFill::SetNumberOfColors(TNumberOfColors Value) {
  if (Value < 1) Value = 1;
  if (Value > 256) Value = 256;
  if (Value == FNumberOfColors) return;
  FNumberOfColors = Value;
  // A palette of 256 entries holds the begin colour and 255 bands.
  FBandCount = static_cast<uint16_t>(FRealize && Value == 256 ? 255 : Value);
  Changed();
}

void TGradientFill::PaintGradient() {
  const int32_t W = Width(), H = Height(), N = FBandCount;
  FBitmap->SetSize(W, H);
  TColor begin = ColorToRGB(FBeginColor), end = ColorToRGB(FEndColor);
  int32_t r1 = GetRValue(begin), g1 = GetGValue(begin), b1 = GetBValue(begin);
  int32_t dr = GetRValue(end) - r1, dg = GetGValue(end) - g1, db = GetBValue(end) - b1;
  TCanvas* c = FBitmap->Canvas();
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetMode(pmCopy);
  if (FRealize) {
    if (FPalette) DeleteObject(FPalette);
    FPalette = nullptr;
    size_t size = static_cast<size_t>(N + 1) * 4 + 4;
    std::vector<uint8_t> record(size);
    auto* lp = reinterpret_cast<LOGPALETTE*>(record.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = static_cast<uint16_t>(N + 1);
    for (int32_t k = 0; k <= N; ++k) {
      PALETTEENTRY& e = lp->palPalEntry[k];
      int32_t step = k == 0 ? 0 : k - 1;
      e.peRed = static_cast<uint8_t>(N > 1 && k > 0 ? r1 + MulDiv(step, dr, N - 1) : r1);
      e.peGreen = static_cast<uint8_t>(N > 1 && k > 0 ? g1 + MulDiv(step, dg, N - 1) : g1);
      e.peBlue = static_cast<uint8_t>(N > 1 && k > 0 ? b1 + MulDiv(step, db, N - 1) : b1);
      e.peFlags = 0;
    }
    FPalette = CreatePalette(lp);
    SelectPalette(c->Handle(), FPalette, false);
    RealizePalette(c->Handle());
  }
  auto bandColor = [&](int32_t i) {
    uint8_t r = static_cast<uint8_t>(N > 1 ? r1 + MulDiv(i, dr, N) : r1);
    uint8_t g = static_cast<uint8_t>(N > 1 ? g1 + MulDiv(i, dg, N) : g1);
    uint8_t b = static_cast<uint8_t>(N > 1 ? b1 + MulDiv(i, db, N) : b1);
    return FRealize ? PALETTERGB(r, g, b) : RGB(r, g, b);
  };
  auto fill = [&](int32_t from, int32_t to, int32_t colorIndex, bool vertical) {
    c->Brush()->SetColor(bandColor(colorIndex));
    if (vertical) c->FillRect(TRect{0, from, W, to});
    else c->FillRect(TRect{from, 0, to, H});
  };
  switch (FFillDirection) {
    case fdTopToBottom:
    case fdLeftToRight: {
      bool vertical = FFillDirection == fdTopToBottom;
      int32_t extent = vertical ? H : W;
      for (int32_t i = 0; i <= N; ++i) fill(MulDiv(i, extent, N), MulDiv(i + 1, extent, N), i, vertical);
      break;
    }
    case fdBottomToTop:
    case fdRightToLeft: {
      bool vertical = FFillDirection == fdBottomToTop;
      int32_t extent = vertical ? H : W;
      for (int32_t i = N, j = 0; i >= 0; --i, ++j) fill(MulDiv(i - 1, extent, N), MulDiv(i, extent, N), j, vertical);
      break;
    }
  }
}

void TGradientFill::Paint() {
  PaintGradient();
  if (FPalette) {
    SelectPalette(Canvas()->Handle(), FPalette, false);
    RealizePalette(Canvas()->Handle());
  }
  Canvas()->Draw(0, 0, FBitmap.get());
}
