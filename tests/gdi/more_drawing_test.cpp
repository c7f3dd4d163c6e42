// Further drawing rules: binary raster operations, wide pens, rounded
// rectangles, hatches, DIB bit transfers, transparent blits, regions and
// monochrome bitmaps.
#include <gtest/gtest.h>

#include <vector>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/surface.h"

namespace {

TBitmap* Make(int32_t W, int32_t H, TPixelFormat F = pf24bit) {
  auto* b = new TBitmap;
  b->SetPixelFormat(F);
  b->SetSize(W, H);
  return b;
}

}  // namespace

TEST(MoreDrawing, XorPenTwiceRestoresAndFocusRectIsItsOwnInverse) {
  std::unique_ptr<TBitmap> b(Make(12, 12));
  HDC dc = b->Canvas()->Handle();
  SetPixel(dc, 3, 3, RGB(10, 20, 30));
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(0xF0, 0x0F, 0x55));
  HGDIOBJ old = SelectObject(dc, pen);
  SetROP2(dc, R2_XORPEN);
  MoveToEx(dc, 0, 3, nullptr);
  LineTo(dc, 10, 3);
  EXPECT_EQ(GetPixel(dc, 3, 3), RGB(10 ^ 0xF0, 20 ^ 0x0F, 30 ^ 0x55));
  MoveToEx(dc, 0, 3, nullptr);
  LineTo(dc, 10, 3);
  EXPECT_EQ(GetPixel(dc, 3, 3), RGB(10, 20, 30));
  EXPECT_EQ(GetPixel(dc, 0, 3), clWhite);
  SetROP2(dc, R2_COPYPEN);
  SelectObject(dc, old);
  DeleteObject(pen);
  DrawFocusRect(dc, Rect(1, 1, 9, 9));
  EXPECT_EQ(GetPixel(dc, 1, 1), clBlack);  // every other pixel of the frame inverted
  EXPECT_EQ(GetPixel(dc, 2, 1), clWhite);
  EXPECT_EQ(GetPixel(dc, 4, 4), clWhite);
  DrawFocusRect(dc, Rect(1, 1, 9, 9));
  EXPECT_EQ(GetPixel(dc, 1, 1), clWhite);
}

TEST(MoreDrawing, WidePensCoverTheirWidthOnce) {
  std::unique_ptr<TBitmap> b(Make(20, 20));
  TCanvas* c = b->Canvas();
  c->Pen()->SetWidth(4);
  c->Pen()->SetMode(pmNot);  // inverting twice would show overlapping stamps
  c->MoveTo(2, 10);
  c->LineTo(18, 10);
  for (int y = 0; y < 20; ++y) {
    bool in = y >= 8 && y < 12;
    EXPECT_EQ(c->Pixels(10, y), in ? clBlack : clWhite) << y;
  }
}

TEST(MoreDrawing, RoundRectCornersAreCut) {
  std::unique_ptr<TBitmap> b(Make(20, 20));
  TCanvas* c = b->Canvas();
  c->Brush()->SetColor(clRed);
  c->RoundRect(0, 0, 20, 20, 10, 10);
  EXPECT_EQ(c->Pixels(0, 0), clWhite);
  EXPECT_EQ(c->Pixels(10, 0), clBlack);
  EXPECT_EQ(c->Pixels(0, 10), clBlack);
  EXPECT_EQ(c->Pixels(10, 10), clRed);
  EXPECT_EQ(c->Pixels(19, 19), clWhite);
}

TEST(MoreDrawing, HatchBrushDrawsLinesOnTheBackground) {
  std::unique_ptr<TBitmap> b(Make(16, 16));
  HDC dc = b->Canvas()->Handle();
  HBRUSH h = CreateHatchBrush(HS_HORIZONTAL, clBlue);
  SetBkColor(dc, clYellow);
  FillRect(dc, Rect(0, 0, 16, 16), h);
  EXPECT_EQ(GetPixel(dc, 5, 4), clBlue);
  EXPECT_EQ(GetPixel(dc, 5, 12), clBlue);
  EXPECT_EQ(GetPixel(dc, 5, 5), clYellow);
  DeleteObject(h);
}

TEST(MoreDrawing, GetAndSetDIBitsConvertBetweenFormats) {
  std::unique_ptr<TBitmap> b(Make(3, 2));
  b->Canvas()->SetPixels(0, 0, clRed);
  b->Canvas()->SetPixels(2, 1, clBlue);
  TBitmapInfo256 bi{};
  bi.bmiHeader.biBitCount = 8;
  ASSERT_EQ(GetDIBits(nullptr, b->Handle(), 0, 2, nullptr, bi.Info(), DIB_RGB_COLORS), 2);
  EXPECT_EQ(bi.bmiHeader.biWidth, 3);
  std::vector<uint8_t> bits(4 * 2);
  ASSERT_EQ(GetDIBits(nullptr, b->Handle(), 0, 2, bits.data(), bi.Info(), DIB_RGB_COLORS), 2);
  // Bottom-up rows of indexes into the table returned with them.
  const RGBQUAD& top0 = bi.bmiColors[bits[4]];
  EXPECT_EQ(RGB(top0.rgbRed, top0.rgbGreen, top0.rgbBlue), clRed);
  const RGBQUAD& bottom2 = bi.bmiColors[bits[2]];
  EXPECT_EQ(RGB(bottom2.rgbRed, bottom2.rgbGreen, bottom2.rgbBlue), clBlue);
  std::unique_ptr<TBitmap> c(Make(3, 2));
  ASSERT_EQ(SetDIBits(nullptr, c->Handle(), 0, 2, bits.data(), bi.Info(), DIB_RGB_COLORS), 2);
  EXPECT_EQ(c->Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(c->Canvas()->Pixels(2, 1), clBlue);
  EXPECT_EQ(c->Canvas()->Pixels(1, 1), clWhite);
}

TEST(MoreDrawing, StretchWithMirroredSourceAndTransparentKey) {
  std::unique_ptr<TBitmap> s(Make(3, 1));
  s->Canvas()->SetPixels(0, 0, clRed);
  s->Canvas()->SetPixels(1, 0, clLime);
  s->Canvas()->SetPixels(2, 0, clBlue);
  std::unique_ptr<TBitmap> d(Make(3, 1));
  HDC sdc = s->Canvas()->Handle();
  HDC ddc = d->Canvas()->Handle();
  StretchBlt(ddc, 0, 0, 3, 1, sdc, 2, 0, -3, 1, SRCCOPY);  // source covers 0..2 right to left
  EXPECT_EQ(GetPixel(ddc, 0, 0), clBlue);
  EXPECT_EQ(GetPixel(ddc, 2, 0), clRed);
  PatBlt(ddc, 0, 0, 3, 1, BLACKNESS);
  TransparentBlt(ddc, 0, 0, 3, 1, sdc, 0, 0, 3, 1, clLime);
  EXPECT_EQ(GetPixel(ddc, 0, 0), clRed);
  EXPECT_EQ(GetPixel(ddc, 1, 0), clBlack);
  EXPECT_EQ(GetPixel(ddc, 2, 0), clBlue);
}

TEST(MoreDrawing, RegionsOffsetCompareAndClipThroughViewport) {
  HRGN a = CreateRectRgn(0, 0, 4, 4), b = CreateRectRgn(2, 2, 6, 6), u = CreateRectRgn(0, 0, 0, 0);
  CombineRgn(u, a, b, RGN_OR);
  TRect box;
  EXPECT_EQ(GetRgnBox(u, box), COMPLEXREGION);
  EXPECT_EQ(box, Rect(0, 0, 6, 6));
  EXPECT_TRUE(RectInRegion(u, Rect(5, 5, 9, 9)));
  EXPECT_FALSE(RectInRegion(u, Rect(4, 0, 6, 2)));
  OffsetRgn(a, 2, 2);
  EXPECT_TRUE(EqualRgn(a, b));
  std::unique_ptr<TBitmap> bm(Make(10, 10));
  HDC dc = bm->Canvas()->Handle();
  SelectClipRgn(dc, u);  // device coordinates, copied
  DeleteObject(u);
  SetViewportOrgEx(dc, 1, 1, nullptr);
  EXPECT_TRUE(PtVisible(dc, 4, 4));    // device (5, 5)
  EXPECT_FALSE(PtVisible(dc, 4, 0));   // device (5, 1)
  TRect clip;
  EXPECT_EQ(GetClipBox(dc, clip), COMPLEXREGION);
  EXPECT_EQ(clip, Rect(-1, -1, 5, 5));
  SetViewportOrgEx(dc, 0, 0, nullptr);
  SelectClipRgn(dc, nullptr);
  DeleteObject(a);
  DeleteObject(b);
}

TEST(MoreDrawing, MonochromeBitmapsAndMasks) {
  const uint8_t rows[4] = {0x80, 0x00, 0x40, 0x00};  // 2 rows padded to 16 bits
  HBITMAP m = CreateBitmap(2, 2, 1, 1, rows);
  TSurfaceInfo info;
  ASSERT_TRUE(GetSurfaceInfo(m, info));
  EXPECT_TRUE(info.Monochrome);
  EXPECT_EQ(GetBitmapPixel(m, 0, 0), clWhite);
  EXPECT_EQ(GetBitmapPixel(m, 1, 0), clBlack);
  EXPECT_EQ(GetBitmapPixel(m, 1, 1), clWhite);
  BITMAP bm;
  EXPECT_EQ(GetObject(m, sizeof bm, &bm), static_cast<int32_t>(sizeof bm));
  EXPECT_EQ(bm.bmBitsPixel, 1);
  DeleteObject(m);

  std::unique_ptr<TBitmap> b(Make(2, 1));
  b->Canvas()->SetPixels(1, 0, clTeal);
  b->Mask(clTeal);
  EXPECT_TRUE(b->Monochrome());
  EXPECT_EQ(b->HandleType(), bmDDB);
  EXPECT_EQ(b->Canvas()->Pixels(0, 0), clBlack);
  EXPECT_EQ(b->Canvas()->Pixels(1, 0), clWhite);
}

TEST(MoreDrawing, BitmapPaletteAndColourTable) {
  std::unique_ptr<TBitmap> b(Make(2, 1, pf8bit));
  std::vector<uint8_t> block(4 + 4 * 2);
  auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = 2;
  auto* e = reinterpret_cast<PALETTEENTRY*>(block.data() + 4);
  e[0] = PALETTEENTRY{255, 0, 0, 0};
  e[1] = PALETTEENTRY{0, 0, 255, 0};
  b->SetPalette(CreatePalette(lp));
  std::vector<RGBQUAD> t = b->ColorTable();
  ASSERT_EQ(t.size(), 256u);
  EXPECT_EQ(t[1].rgbBlue, 255);
  EXPECT_EQ(b->Canvas()->Pixels(0, 0), clRed);  // pixels keep index 0, which is now red
  EXPECT_EQ(GetPaletteEntryCount(b->GetPalette()), 2u);
  b->Canvas()->SetPixels(1, 0, RGB(0, 0, 250));
  EXPECT_EQ(static_cast<uint8_t*>(b->ScanLine(0))[1], 1);
}

// Coordinates far outside the surface cost no more than the surface itself.
TEST(MoreDrawing, HugeShapesAndLinesAreCutToTheSurface) {
  std::unique_ptr<TBitmap> b(Make(8, 8));
  HDC dc = b->Canvas()->Handle();
  MoveToEx(dc, -2000000000, 4, nullptr);
  LineTo(dc, 2000000000, 4);
  EXPECT_EQ(GetPixel(dc, 0, 4), clBlack);
  EXPECT_EQ(GetPixel(dc, 7, 4), clBlack);
  EXPECT_EQ(GetPixel(dc, 7, 5), clWhite);
  HPEN wide = CreatePen(PS_SOLID, 3, clRed);
  HGDIOBJ old = SelectObject(dc, wide);
  MoveToEx(dc, 2, -1500000000, nullptr);
  LineTo(dc, 2, 1500000000);
  EXPECT_EQ(GetPixel(dc, 2, 0), clRed);
  EXPECT_EQ(GetPixel(dc, 3, 7), clRed);
  SelectObject(dc, old);
  DeleteObject(wide);
  HBRUSH br = CreateSolidBrush(clBlue);
  FillRect(dc, Rect(-2000000000, -2000000000, 2000000000, 2000000000), br);
  EXPECT_EQ(GetPixel(dc, 5, 5), clBlue);
  DeleteObject(br);
  SelectObject(dc, GetStockObject(WHITE_BRUSH));
  Rectangle(dc, -1000000000, -1000000000, 1000000000, 1000000000);
  EXPECT_EQ(GetPixel(dc, 5, 5), clWhite);
  EXPECT_TRUE(PatBlt(dc, -2000000000, -2000000000, 2100000000, 2100000000, BLACKNESS));
  EXPECT_EQ(GetPixel(dc, 7, 7), clBlack);
  std::unique_ptr<TBitmap> src(Make(2, 2));
  EXPECT_TRUE(StretchBlt(dc, 2000000000, 0, -2100000000, 8, src->Canvas()->Handle(), 0, 0, 2, 2, SRCCOPY));
  EXPECT_EQ(GetPixel(dc, 3, 3), clWhite);
}

// Objects deleted while a DC (or a saved state of it) holds them stay usable
// until the DC lets them go, and are freed then.
TEST(MoreDrawing, ObjectsDeletedWhileSelectedLiveUntilReleased) {
  std::unique_ptr<TBitmap> b(Make(4, 4));
  HDC dc = CreateCompatibleDC(nullptr);
  TBitmapInfo256 bi{};
  bi.bmiHeader.biWidth = 4;
  bi.bmiHeader.biHeight = 4;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, bi.Info(), DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ oldBmp = SelectObject(dc, section);
  HBRUSH red = CreateSolidBrush(clRed);
  HGDIOBJ oldBrush = SelectObject(dc, red);
  SaveDC(dc);
  HBRUSH blue = CreateSolidBrush(clBlue);
  SelectObject(dc, blue);
  DeleteObject(red);   // held by the saved state
  DeleteObject(blue);  // held by the current state
  PatBlt(dc, 0, 0, 4, 4, PATCOPY);
  EXPECT_EQ(GetPixel(dc, 1, 1), clBlue);
  RestoreDC(dc, -1);  // blue goes, red comes back
  PatBlt(dc, 0, 0, 2, 2, PATCOPY);
  EXPECT_EQ(GetPixel(dc, 1, 1), clRed);
  EXPECT_EQ(GetPixel(dc, 3, 3), clBlue);
  SelectObject(dc, oldBrush);  // red goes
  // The section can move to another DC only once this one lets it go.
  HDC other = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SelectObject(other, section), nullptr);
  SelectObject(dc, oldBmp);
  EXPECT_NE(SelectObject(other, section), nullptr);
  EXPECT_EQ(GetPixel(other, 3, 3), clBlue);
  DeleteObject(section);  // freed with the DC below
  DeleteDC(other);
  DeleteDC(dc);
}
