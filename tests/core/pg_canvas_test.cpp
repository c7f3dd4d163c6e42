// The image canvas: drawing into the pixel memory, the live-canvas list and
// drawing an image onto a DC by both paths.
#include <gtest/gtest.h>

#include <algorithm>

#include "imaging/core/options.h"
#include "imaging/core/pg_canvas.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/dc.h"

namespace {

bool Live(TPGCanvas* C) {
  const auto& l = PGCanvases();
  return std::find(l.begin(), l.end(), C) != l.end();
}

struct KeepStretchBlt {
  bool Saved = PGUseStretchBlt;
  ~KeepStretchBlt() {
    PGUseStretchBlt = Saved;
    FreeAllPGCanvases();
  }
};

}  // namespace

TEST(PGCanvas, TextOnAFourBitImageIsReadBack) {
  TPixelGraphic g;
  g.NewImage(40, 16, pf4Bit);
  g.SetPaletteIdent(pSys16);
  TPGCanvas* c = g.GetCanvas();
  c->Brush()->SetColor(clWhite);
  c->FillRect(Rect(0, 0, 40, 16));
  c->Font()->SetColor(clRed);
  c->Font()->SetHeight(-13);
  c->TextOut(1, 1, "Ab");
  int red = 0, white = 0, other = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 40; ++x) {
      TColor col = g.GetPixelColor(x, y);
      if (col == clRed) ++red;
      else if (col == clWhite) ++white;
      else ++other;
    }
  EXPECT_GT(red, 15);
  EXPECT_EQ(other, 0);  // no antialiasing on palette images
  EXPECT_FALSE(g.GdiDirty());
  FreeAllPGCanvases();
}

TEST(PGCanvas, DrawingFiresOnChangeAndPaletteChangesTakeEffect) {
  TPixelGraphic g;
  g.NewImage(4, 1, pf8Bit);
  g.SetPaletteCount(2);
  g.SetPaletteEntry(0, clBlack);
  g.SetPaletteEntry(1, clRed);
  int changes = 0;
  g.OnChange = [&](TObject*) { ++changes; };
  g.GetCanvas()->SetPixels(0, 0, clRed);
  EXPECT_EQ(g.GetPixel(0, 0), 1u);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(Live(g.GetCanvas()));
  // The palette change releases the DC; the next drawing uses the new table.
  g.SetPaletteEntry(1, clBlue);
  EXPECT_FALSE(Live(g.GetCanvas()));
  g.GetCanvas()->SetPixels(1, 0, clBlue);
  EXPECT_EQ(g.GetPixel(1, 0), 1u);
  g.GetCanvas()->SetPixels(2, 0, clRed);  // now nearest to black
  EXPECT_EQ(g.GetPixel(2, 0), 0u);
  // Entries past the palette repeat entry 0: a colour near white still maps within the palette.
  g.GetCanvas()->SetPixels(3, 0, clWhite);
  EXPECT_LE(g.GetPixel(3, 0), 1u);
  FreeAllPGCanvases();
}

TEST(PGCanvas, TwoImagesHoldTheirDCsAtOnceAndReleaseByBitmap) {
  TPixelGraphic a, b;
  a.NewImage(2, 2, pf24Bit);
  b.NewImage(2, 2, pf24Bit);
  HDC da = a.GetCanvas()->Handle();
  HDC db = b.GetCanvas()->Handle();
  EXPECT_NE(da, db);
  EXPECT_TRUE(Live(a.GetCanvas()));
  EXPECT_TRUE(Live(b.GetCanvas()));
  EXPECT_EQ(PGCanvases().size(), 2u);
  FreeCanvasesOfBitmap(a.BitmapHandle());
  EXPECT_FALSE(Live(a.GetCanvas()));
  EXPECT_TRUE(Live(b.GetCanvas()));
  // Resizing releases the DC too; drawing afterwards gets a fresh one on the new pixels.
  b.NewImage(3, 3, pf24Bit);
  EXPECT_FALSE(Live(b.GetCanvas()));
  b.GetCanvas()->SetPixels(2, 2, clLime);
  EXPECT_EQ(b.GetPixel(2, 2), clLime);
  FreeAllPGCanvases();
  EXPECT_TRUE(PGCanvases().empty());
}

TEST(PGCanvas, DrawToDCOfAnEmptyImageDrawsNothing) {
  TPixelGraphic g;
  TBitmap dst;
  dst.SetPixelFormat(pf24bit);
  dst.SetSize(4, 4);
  HDC dc = dst.Canvas()->Handle();
  HGDIOBJ pal = GetCurrentObject(dc, OBJ_PAL);
  g.DrawToDC(dc, Rect(0, 0, 4, 4), true, SRCCOPY);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PAL), pal);
  EXPECT_EQ(GetPixel(dc, 1, 1), clWhite);
}

TEST(PGCanvas, DrawToDCStretchesByBothPaths) {
  KeepStretchBlt keep;
  TPixelGraphic g;
  g.NewImage(2, 1, pf8Bit);
  g.SetPaletteCount(2);
  g.SetPaletteEntry(0, clNavy);
  g.SetPaletteEntry(1, clYellow);
  g.SetPixel(1, 0, 1);
  for (bool printer : {false, true}) {
    TBitmap dst;
    dst.SetPixelFormat(pf24bit);
    dst.SetSize(4, 2);
    HDC dc = dst.Canvas()->Handle();
    if (printer) SetDeviceRasterCaps(dc, RC_BITBLT | RC_STRETCHBLT);  // no RC_STRETCHDIB
    g.DrawToDC(dc, Rect(0, 0, 4, 2), true, SRCCOPY);
    EXPECT_EQ(GetPixel(dc, 0, 0), clNavy) << printer;
    EXPECT_EQ(GetPixel(dc, 1, 1), clNavy) << printer;
    EXPECT_EQ(GetPixel(dc, 2, 0), clYellow) << printer;
    EXPECT_EQ(GetPixel(dc, 3, 1), clYellow) << printer;
    EXPECT_TRUE(PGCanvases().empty()) << printer;  // the StretchBlt path releases its canvas
  }
  // The canvas's Draw goes through the same routine with the copy mode.
  TBitmap dst;
  dst.SetPixelFormat(pf24bit);
  dst.SetSize(2, 1);
  dst.Canvas()->Draw(0, 0, &g);
  EXPECT_EQ(dst.Canvas()->Pixels(1, 0), clYellow);
  PGUseStretchBlt = true;
  dst.Canvas()->Brush()->SetColor(clWhite);
  dst.Canvas()->FillRect(Rect(0, 0, 2, 1));
  dst.Canvas()->Draw(0, 0, &g);
  EXPECT_EQ(dst.Canvas()->Pixels(0, 0), clNavy);
  EXPECT_TRUE(PGCanvases().empty());
}
