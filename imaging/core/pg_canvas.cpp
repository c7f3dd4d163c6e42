// The image canvas, the live-canvas list and drawing an image onto a DC.
#include "imaging/core/pg_canvas.h"

#include <algorithm>

#include "imaging/core/options.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/gdi/dc.h"

namespace {

std::vector<TPGCanvas*> gPGCanvases;

}  // namespace

const std::vector<TPGCanvas*>& PGCanvases() { return gPGCanvases; }

void FreeAllPGCanvases() {
  while (!gPGCanvases.empty()) gPGCanvases.back()->ReleaseCanvasDC();
}

void FreeCanvasesOfBitmap(HBITMAP BitmapHandle) {
  for (size_t i = gPGCanvases.size(); i-- > 0;) {
    if (i >= gPGCanvases.size()) continue;
    TPGCanvas* c = gPGCanvases[i];
    if (c->PixelGraphic() && c->PixelGraphic()->BitmapHandle() == BitmapHandle) c->ReleaseCanvasDC();
  }
}

TPGCanvas::TPGCanvas(TPixelGraphic* PixelGraphic) : FPixelGraphic(PixelGraphic) {}

TPGCanvas::~TPGCanvas() { ReleaseCanvasDC(); }

void TPGCanvas::ReleaseCanvasDC() {
  if (!FDC) return;
  HDC dc = FDC;
  SetHandle(nullptr);  // selects the canvas's pen, brush and font out first
  if (FOldBitmap) SelectObject(dc, FOldBitmap);
  if (FOldPalette) SelectPalette(dc, FOldPalette, true);
  FOldBitmap = nullptr;
  FOldPalette = nullptr;
  DeleteDC(dc);
  FDC = nullptr;
  gPGCanvases.erase(std::remove(gPGCanvases.begin(), gPGCanvases.end(), this), gPGCanvases.end());
}

void TPGCanvas::CreateHandle() {
  if (!FPixelGraphic) return;
  TPixelGraphic* g = FPixelGraphic;
  // A DIB section can be selected into one DC only: other canvases on it give it up.
  if (g->BitmapHandle()) FreeCanvasesOfBitmap(g->BitmapHandle());
  HDC dc = CreateCompatibleDC(nullptr);
  if (g->BitmapHandle()) FOldBitmap = SelectObject(dc, g->BitmapHandle());
  FOldPalette = nullptr;
  if (HPALETTE pal = g->GetPalette()) {
    FOldPalette = SelectPalette(dc, pal, false);
    RealizePalette(dc);
  }
  // The DC's colour table: the palette, entries past it repeating entry 0.
  int32_t max = g->GetMaxColors();
  if (max > 0) {
    std::vector<RGBQUAD> table(static_cast<size_t>(max));
    int32_t count = g->PaletteCount();
    for (int32_t i = 0; i < max; ++i) {
      TColor c = count == 0 ? 0 : g->Palette()[i < count ? i : 0];
      table[static_cast<size_t>(i)] = RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0};
    }
    SetDIBColorTable(dc, 0, static_cast<uint32_t>(max), table.data());
  }
  FDC = dc;
  SetHandle(dc);
  gPGCanvases.push_back(this);
}

// ---- TPixelGraphic drawing

TPGCanvas* TPixelGraphic::GetCanvas() {
  if (!FCanvas) FCanvas = std::make_unique<TPGCanvas>(this);
  FCanvas->OnChange = [this](TObject*) { Changed(this); };
  FGdiDirty = true;
  return FCanvas.get();
}

void TPixelGraphic::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (!ACanvas) return;
  DrawToDC(ACanvas->Handle(), Rect, true, ACanvas->CopyMode());
}

void TPixelGraphic::DrawToDC(HDC DC, const TRect& Rect, bool ForceBackground, uint32_t RasterOp) {
  if (FWidth <= 0 || FHeight <= 0 || !DC) return;
  SetStretchBltMode(DC, COLORONCOLOR);
  HPALETTE pal = GetPalette();
  HPALETTE oldPal = nullptr;
  if (pal) {
    oldPal = SelectPalette(DC, pal, ForceBackground);
    if (!FDontRealizePalette) RealizePalette(DC);
  }
  FlushGdi();
  if (!PGUseStretchBlt && (GetDeviceCaps(DC, RASTERCAPS) & RC_STRETCHDIB)) {
    StretchDIBits(DC, Rect.Left, Rect.Top, Rect.Right - Rect.Left, Rect.Bottom - Rect.Top, 0, 0, FWidth, FHeight,
                  FBits.get(), reinterpret_cast<const BITMAPINFO*>(FBitmapInfo.get()), DIB_RGB_COLORS, RasterOp);
  } else {
    StretchBlt(DC, Rect.Left, Rect.Top, Rect.Right - Rect.Left, Rect.Bottom - Rect.Top, GetCanvas()->Handle(), 0, 0,
               FWidth, FHeight, RasterOp);
    FreeAllPGCanvases();
  }
  if (pal && oldPal) SelectPalette(DC, oldPal, ForceBackground);
}
