// Frames, cursors, pictures, the window back buffer, and a sample sheet of
// every primitive written under the build folder for a person to look at.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/base/stream.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/cursors.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/edges.h"
#include "platform/gdi/picture.h"
#include "platform/gdi/text.h"

namespace {

std::string BuildDir() {
  const char* d = std::getenv("QUILLON_BUILD_DIR");
  return d ? d : QUILLON_BUILD_DIR;
}

}  // namespace

TEST(Edges, RaisedAndSunkenColoursAndAdjust) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(10, 10);
  HDC dc = b.Canvas()->Handle();
  TRect r = Rect(0, 0, 10, 10);
  DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_ADJUST);
  EXPECT_EQ(r, Rect(2, 2, 8, 8));
  EXPECT_EQ(GetPixel(dc, 0, 5), GetSysColor(COLOR_3DLIGHT));
  EXPECT_EQ(GetPixel(dc, 1, 5), clWhite);
  EXPECT_EQ(GetPixel(dc, 9, 5), clBlack);
  EXPECT_EQ(GetPixel(dc, 8, 5), 0x808080u);
  EXPECT_EQ(GetPixel(dc, 5, 5), 0xC0C0C0u);
  TRect s = Rect(0, 0, 10, 10);
  DrawEdge(dc, &s, EDGE_SUNKEN, BF_RECT);
  EXPECT_EQ(s, Rect(0, 0, 10, 10));
  EXPECT_EQ(GetPixel(dc, 0, 5), 0x808080u);
  EXPECT_EQ(GetPixel(dc, 9, 5), clWhite);
  EXPECT_EQ(GetPixel(dc, 1, 5), clBlack);
  TRect soft = Rect(0, 0, 10, 10);
  DrawEdge(dc, &soft, EDGE_RAISED, BF_RECT | BF_SOFT);
  EXPECT_EQ(GetPixel(dc, 0, 5), clWhite);
}

TEST(Edges, CloseButtonHasACross) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(16, 14);
  HDC dc = b.Canvas()->Handle();
  TRect r = Rect(0, 0, 16, 14);
  DrawFrameControl(dc, &r, DFC_CAPTION, DFCS_CAPTIONCLOSE);
  int black = 0;
  for (int y = 2; y < 12; ++y)
    for (int x = 2; x < 14; ++x) black += GetPixel(dc, x, y) == clBlack;
  EXPECT_GT(black, 8);
  // The cross is symmetric about the vertical axis of its square.
  EXPECT_EQ(GetPixel(dc, 0, 0), clWhite);
}

TEST(Cursors, MasksGivePixelsAndStockIdentities) {
  uint8_t andMask[128], xorMask[128];
  for (int i = 0; i < 128; ++i) {
    andMask[i] = 0xFF;
    xorMask[i] = 0;
  }
  andMask[0] = 0x3F;  // pixels 0 and 1 of the top row opaque
  xorMask[0] = 0x40;  // pixel 1 white
  xorMask[4] = 0x80;  // pixel 0 of row 1 inverts
  HCURSOR c = CreateCursor(nullptr, 3, 4, 32, 32, andMask, xorMask);
  TCursorInfo info;
  ASSERT_TRUE(GetCursorInfo(c, info));
  EXPECT_EQ(info.HotX, 3);
  EXPECT_EQ(info.HotY, 4);
  EXPECT_EQ(info.Pixel(0, 0), cpBlack);
  EXPECT_EQ(info.Pixel(1, 0), cpWhite);
  EXPECT_EQ(info.Pixel(2, 0), cpTransparent);
  EXPECT_EQ(info.Pixel(0, 1), cpInvert);
  EXPECT_TRUE(DestroyCursor(c));
  EXPECT_EQ(StockCursor(crHourGlass), LoadCursor(nullptr, IDC_WAIT));
  EXPECT_EQ(StockCursor(crNone), nullptr);
  EXPECT_FALSE(DestroyCursor(LoadCursor(nullptr, IDC_ARROW)));
}

TEST(Picture, LoadsBitmapsByExtension) {
  std::string path = BuildDir() + "/gdi_picture_test.bmp";
  TBitmap a;
  a.SetPixelFormat(pf24bit);
  a.SetSize(3, 2);
  a.Canvas()->SetPixels(1, 1, clGreen);
  a.SaveToFile(path);
  TPicture p;
  int changes = 0;
  p.OnChange = [&](TObject*) { ++changes; };
  p.LoadFromFile(path);
  EXPECT_EQ(p.Width(), 3);
  EXPECT_EQ(p.Bitmap()->Canvas()->Pixels(1, 1), clGreen);
  EXPECT_GT(changes, 0);
  EXPECT_THROW(p.LoadFromFile(BuildDir() + "/x.unknownext"), EInvalidGraphic);
}

TEST(WindowSurface, KeepsContentAcrossResize) {
  TWindowSurface w;
  w.SetSize(4, 3);
  ASSERT_NE(w.Pixels(), nullptr);
  EXPECT_EQ(w.Pixels()[0], 0xFF);  // new area is white
  SetPixel(w.DC(), 1, 0, clRed);
  EXPECT_EQ(w.Pixels()[4 + 2], 0xFF);  // top-down: row 0 first, bytes blue, green, red
  EXPECT_EQ(w.Pixels()[4 + 0], 0x00);
  w.SetSize(6, 5);
  EXPECT_EQ(GetPixel(w.DC(), 1, 0), clRed);
  EXPECT_EQ(GetPixel(w.DC(), 5, 4), clWhite);
  EXPECT_EQ(w.Stride(), 24);
  w.SetSize(0, 0);
  EXPECT_EQ(w.Pixels(), nullptr);
}

// Renders every primitive on a 24-bit surface and saves it as a BMP.
TEST(Sample, RendersEveryPrimitive) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(360, 240);
  TCanvas* c = b.Canvas();
  c->Brush()->SetColor(clBtnFace);
  c->FillRect(Rect(0, 0, 360, 240));
  HDC dc = c->Handle();
  c->Pen()->SetColor(clNavy);
  c->Pen()->SetWidth(1);
  for (int i = 0; i < 8; ++i) {
    c->MoveTo(10, 10 + i * 3);
    c->LineTo(60 + i * 5, 10 + i * 9);
  }
  c->Pen()->SetStyle(psDash);
  c->MoveTo(10, 50);
  c->LineTo(110, 50);
  c->Pen()->SetStyle(psDot);
  c->MoveTo(10, 54);
  c->LineTo(110, 54);
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetWidth(3);
  c->MoveTo(10, 60);
  c->LineTo(110, 70);
  c->Pen()->SetWidth(1);
  c->Pen()->SetColor(clBlack);
  c->Brush()->SetColor(clYellow);
  c->Rectangle(120, 10, 170, 50);
  c->Brush()->SetColor(clAqua);
  c->Ellipse(180, 10, 240, 50);
  c->Brush()->SetColor(clLime);
  c->RoundRect(250, 10, 310, 50, 16, 16);
  c->Brush()->SetColor(clFuchsia);
  c->Polygon({{320, 50}, {340, 10}, {355, 50}});
  // A pattern brush from a checkerboard.
  TBitmap pat;
  pat.SetPixelFormat(pf24bit);
  pat.SetSize(8, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) pat.Canvas()->SetPixels(x, y, ((x / 2 + y / 2) & 1) ? clRed : clWhite);
  c->Brush()->SetBitmap(&pat);
  c->FillRect(Rect(10, 80, 70, 120));
  c->Brush()->SetBitmap(nullptr);
  // Raster operations on a gradient.
  for (int x = 0; x < 60; ++x) {
    c->Pen()->SetColor(RGB(uint8_t(x * 4), 0, uint8_t(255 - x * 4)));
    c->MoveTo(80 + x, 80);
    c->LineTo(80 + x, 120);
  }
  c->Brush()->SetColor(clLime);
  PatBlt(dc, 90, 85, 40, 10, PATINVERT);
  PatBlt(dc, 90, 100, 40, 10, DSTINVERT);
  // Edges and a caption button.
  TRect e = Rect(150, 80, 200, 120);
  DrawEdge(dc, &e, EDGE_RAISED, BF_RECT | BF_MIDDLE);
  e = Rect(210, 80, 260, 120);
  DrawEdge(dc, &e, EDGE_SUNKEN, BF_RECT);
  e = Rect(270, 85, 290, 103);
  DrawFrameControl(dc, &e, DFC_CAPTION, DFCS_CAPTIONCLOSE);
  e = Rect(300, 85, 320, 103);
  DrawFrameControl(dc, &e, DFC_CAPTION, DFCS_CAPTIONCLOSE | DFCS_PUSHED);
  // Text.
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetSize(12);
  c->Font()->SetColor(clBlack);
  c->TextOut(10, 130, "Quillon GDI sample");
  c->Font()->SetStyle(fsBold | fsItalic);
  c->TextOut(10, 155, "Bold italic");
  c->Font()->SetStyle(fsUnderline);
  c->TextOut(150, 155, "Underlined");
  c->Font()->SetStyle(0);
  c->Font()->SetSize(8);
  c->TextHeight("x");  // selects the changed font before the DC is used directly
  TRect t = Rect(10, 180, 170, 235);
  DrawText(dc, "&Word-wrapped text in a rectangle that is too narrow for it.", &t, DT_WORDBREAK);
  TRect ct = Rect(180, 180, 350, 235);
  c->Pen()->SetColor(clGray);
  c->Rectangle(ct);
  DrawText(dc, "Centred", &ct, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  DrawFocusRect(dc, Rect(182, 182, 348, 233));
  std::string path = BuildDir() + "/gdi_sample.bmp";
  b.SaveToFile(path);
  TBitmap back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.Width(), 360);
  EXPECT_EQ(back.Canvas()->Pixels(145, 30), clYellow);
}
