// Surfaces, DCs, raster operations and block transfers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/gdi/dc.h"
#include "platform/gdi/surface.h"

namespace {

// A DIB section with its own memory DC, for the tests.
struct Surface {
  HDC DC = nullptr;
  HBITMAP Bmp = nullptr;
  HGDIOBJ Old = nullptr;
  uint8_t* Bits = nullptr;
  Surface(int32_t W, int32_t H, int Bits_, const std::vector<TColor>& Table = {}) {
    TBitmapInfo256 bi{};
    bi.bmiHeader.biWidth = W;
    bi.bmiHeader.biHeight = H;
    bi.bmiHeader.biBitCount = static_cast<uint16_t>(Bits_);
    bi.bmiHeader.biClrUsed = static_cast<uint32_t>(Table.size());
    for (size_t i = 0; i < Table.size(); ++i)
      bi.bmiColors[i] = RGBQUAD{GetBValue(Table[i]), GetGValue(Table[i]), GetRValue(Table[i]), 0};
    void* p = nullptr;
    Bmp = CreateDIBSection(nullptr, bi.Info(), DIB_RGB_COLORS, &p, nullptr, 0);
    Bits = static_cast<uint8_t*>(p);
    DC = CreateCompatibleDC(nullptr);
    Old = SelectObject(DC, Bmp);
  }
  ~Surface() {
    SelectObject(DC, Old);
    DeleteObject(Bmp);
    DeleteDC(DC);
  }
  TColor At(int32_t X, int32_t Y) { return GetPixel(DC, X, Y); }
};

const std::vector<TColor> kGreys4 = {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF};

}  // namespace

TEST(Surface, DibSectionLayoutIsBottomUpWithPaddedRows) {
  Surface s(3, 2, 24);
  SetPixel(s.DC, 0, 0, RGB(1, 2, 3));  // top row lies last in memory
  EXPECT_EQ(s.Bits[12 + 0], 3);
  EXPECT_EQ(s.Bits[12 + 1], 2);
  EXPECT_EQ(s.Bits[12 + 2], 1);
  TSurfaceInfo info;
  ASSERT_TRUE(GetSurfaceInfo(s.Bmp, info));
  EXPECT_EQ(info.BytesPerLine, 12);
  EXPECT_EQ(info.ScanLine(0), s.Bits + 12);
}

TEST(Surface, SectionOverCallerMemoryDrawsIntoIt) {
  std::vector<uint8_t> mem(4 * 2, 0);  // 2 x 2 at 8 bits: rows padded to 4 bytes
  TBitmapInfo256 bi{};
  bi.bmiHeader.biWidth = 2;
  bi.bmiHeader.biHeight = 2;
  bi.bmiHeader.biBitCount = 8;
  bi.bmiHeader.biClrUsed = 2;
  bi.bmiColors[1] = RGBQUAD{0, 0, 255, 0};
  HBITMAP b = CreateDIBSectionOver(bi.Info(), mem.data());
  ASSERT_NE(b, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, b);
  SetPixel(dc, 1, 0, clRed);
  EXPECT_EQ(mem[4 + 1], 1);  // top row, second pixel, takes the red entry
  // Entries past the colours used repeat black: a far colour maps to the nearest listed one.
  EXPECT_EQ(SetPixel(dc, 0, 1, RGB(200, 10, 10)), clRed);
  SelectObject(dc, old);
  DeleteObject(b);
  DeleteDC(dc);
}

TEST(Surface, RefusesBadHeaders) {
  TBitmapInfo256 bi{};
  bi.bmiHeader.biWidth = 10;
  bi.bmiHeader.biHeight = 10;
  bi.bmiHeader.biBitCount = 16;
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(CreateDIBSection(nullptr, bi.Info(), DIB_RGB_COLORS, &p, nullptr, 0), nullptr);
  EXPECT_EQ(p, nullptr);
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biWidth = 70000;
  bi.bmiHeader.biHeight = 70000;  // 18 GiB
  EXPECT_EQ(CreateDIBSection(nullptr, bi.Info(), DIB_RGB_COLORS, &p, nullptr, 0), nullptr);
}

TEST(Surface, PaletteSurfaceMapsColoursToNearestEntry) {
  Surface s(4, 1, 4, kGreys4);
  SetPixel(s.DC, 0, 0, RGB(0x50, 0x50, 0x50));
  SetPixel(s.DC, 1, 0, RGB(0xB0, 0xA0, 0xA0));
  SetPixel(s.DC, 2, 0, RGB(250, 255, 240));
  HBRUSH br = CreateSolidBrush(RGB(0x20, 0x20, 0x20));
  FillRect(s.DC, Rect(3, 0, 4, 1), br);
  DeleteObject(br);
  EXPECT_EQ(s.At(0, 0), 0x555555u);
  EXPECT_EQ(s.At(1, 0), 0xAAAAAAu);
  EXPECT_EQ(s.At(2, 0), 0xFFFFFFu);
  EXPECT_EQ(s.At(3, 0), 0x000000u);
  EXPECT_EQ(s.Bits[0], 0x12);  // indexes 1 and 2, high nibble first
}

// A solid fill covers its span at any depth, a run at a time, starting and
// ending inside a byte of 1- and 4-bit rows, around a clipped hole; the
// fourth byte of a 32-bit pixel keeps its value.
TEST(Surface, SolidFillsCoverTheirSpansAtEveryDepth) {
  for (int bits : {1, 4, 8, 24, 32}) {
    SCOPED_TRACE(bits);
    Surface s(21, 3, bits, bits <= 8 ? std::vector<TColor>{clBlack, clWhite, clRed} : std::vector<TColor>{});
    HBRUSH white = CreateSolidBrush(clWhite), black = CreateSolidBrush(clBlack);
    FillRect(s.DC, Rect(0, 0, 21, 3), white);
    if (bits == 32) s.Bits[4 * 21 + 4 * 19 + 3] = 0x77;  // middle row, column 19
    ExcludeClipRect(s.DC, 9, 0, 12, 3);
    FillRect(s.DC, Rect(3, 1, 20, 2), black);
    DeleteObject(white);
    DeleteObject(black);
    SelectClipRgn(s.DC, nullptr);
    for (int32_t y = 0; y < 3; ++y) {
      for (int32_t x = 0; x < 21; ++x) {
        const bool filled = y == 1 && x >= 3 && x < 20 && (x < 9 || x >= 12);
        ASSERT_EQ(s.At(x, y), filled ? clBlack : clWhite) << x << ", " << y;
      }
    }
    if (bits == 32) {
      EXPECT_EQ(s.Bits[4 * 21 + 4 * 19 + 3], 0x77);
    }
  }
}

TEST(Surface, ColorTableChangeRecoloursExistingPixels) {
  Surface s(2, 1, 8, {clBlack, clWhite});
  SetPixel(s.DC, 0, 0, clWhite);
  RGBQUAD red{0, 0, 255, 0};
  EXPECT_EQ(SetDIBColorTable(s.DC, 1, 1, &red), 1u);
  EXPECT_EQ(s.At(0, 0), clRed);
}

TEST(Lines, EndPointIsExcludedAndPositionMoves) {
  Surface s(10, 3, 24);
  PatBlt(s.DC, 0, 0, 10, 3, WHITENESS);
  MoveToEx(s.DC, 1, 1, nullptr);
  LineTo(s.DC, 5, 1);
  EXPECT_EQ(s.At(0, 1), clWhite);
  for (int x = 1; x < 5; ++x) EXPECT_EQ(s.At(x, 1), clBlack) << x;
  EXPECT_EQ(s.At(5, 1), clWhite);
  TPoint p;
  GetCurrentPositionEx(s.DC, &p);
  EXPECT_EQ(p, Point(5, 1));
}

TEST(Lines, DashedPenAlternatesAndUsesBackgroundWhenOpaque) {
  Surface s(30, 2, 24);
  PatBlt(s.DC, 0, 0, 30, 2, WHITENESS);
  HPEN pen = CreatePen(PS_DOT, 1, clBlack);
  HGDIOBJ old = SelectObject(s.DC, pen);
  SetBkMode(s.DC, TRANSPARENT);
  MoveToEx(s.DC, 0, 0, nullptr);
  LineTo(s.DC, 12, 0);
  SetBkMode(s.DC, OPAQUE);
  SetBkColor(s.DC, clRed);
  MoveToEx(s.DC, 0, 1, nullptr);
  LineTo(s.DC, 12, 1);
  for (int x = 0; x < 12; ++x) {
    bool on = (x / 3) % 2 == 0;
    EXPECT_EQ(s.At(x, 0), on ? clBlack : clWhite) << x;
    EXPECT_EQ(s.At(x, 1), on ? clBlack : clRed) << x;
  }
  SelectObject(s.DC, old);
  DeleteObject(pen);
}

TEST(Shapes, RectangleOutlinesInsideAndFillsWithBrush) {
  Surface s(8, 8, 24);
  PatBlt(s.DC, 0, 0, 8, 8, WHITENESS);
  HBRUSH br = CreateSolidBrush(clBlue);
  HGDIOBJ ob = SelectObject(s.DC, br);
  Rectangle(s.DC, 1, 1, 6, 5);
  EXPECT_EQ(s.At(1, 1), clBlack);
  EXPECT_EQ(s.At(5, 4), clBlack);
  EXPECT_EQ(s.At(6, 4), clWhite);
  EXPECT_EQ(s.At(2, 2), clBlue);
  EXPECT_EQ(s.At(4, 3), clBlue);
  // Without a pen the fill loses the right column and bottom row.
  PatBlt(s.DC, 0, 0, 8, 8, WHITENESS);
  SelectObject(s.DC, GetStockObject(NULL_PEN));
  Rectangle(s.DC, 1, 1, 6, 5);
  EXPECT_EQ(s.At(1, 1), clBlue);
  EXPECT_EQ(s.At(4, 3), clBlue);
  EXPECT_EQ(s.At(5, 3), clWhite);
  EXPECT_EQ(s.At(4, 4), clWhite);
  SelectObject(s.DC, ob);
  DeleteObject(br);
}

TEST(Shapes, EllipseIsSymmetricAndInsideItsBox) {
  Surface s(21, 15, 24);
  PatBlt(s.DC, 0, 0, 21, 15, WHITENESS);
  SelectObject(s.DC, GetStockObject(BLACK_BRUSH));
  Ellipse(s.DC, 0, 0, 21, 15);
  for (int y = 0; y < 15; ++y)
    for (int x = 0; x < 21; ++x) {
      EXPECT_EQ(s.At(x, y), s.At(20 - x, y)) << x << "," << y;
      EXPECT_EQ(s.At(x, y), s.At(x, 14 - y)) << x << "," << y;
    }
  EXPECT_EQ(s.At(0, 0), clWhite);
  EXPECT_EQ(s.At(10, 7), clBlack);
  EXPECT_EQ(s.At(0, 7), clBlack);
  EXPECT_EQ(s.At(10, 0), clBlack);
}

TEST(Shapes, PolygonFillsPixelCentresInside) {
  Surface s(10, 10, 24);
  PatBlt(s.DC, 0, 0, 10, 10, WHITENESS);
  SelectObject(s.DC, GetStockObject(NULL_PEN));
  SelectObject(s.DC, GetStockObject(BLACK_BRUSH));
  TPoint tri[3] = {{0, 0}, {8, 0}, {0, 8}};
  Polygon(s.DC, tri, 3);
  EXPECT_EQ(s.At(0, 0), clBlack);
  EXPECT_EQ(s.At(6, 0), clBlack);
  EXPECT_EQ(s.At(7, 1), clWhite);
  EXPECT_EQ(s.At(3, 3), clBlack);
  EXPECT_EQ(s.At(4, 4), clWhite);
  SelectObject(s.DC, GetStockObject(BLACK_PEN));
}

// Every named raster operation against the bitwise formula on 24-bit surfaces.
TEST(Blt, RasterOperationsCombineBitsOfPatternSourceAndDest) {
  const TColor S = 0x3C5AF0, D = 0xA5C30F, P = 0x0FF0CC;
  struct Case {
    uint32_t Rop;
    TColor Want;
  } cases[] = {
      {SRCCOPY, S},        {SRCAND, S & D},       {SRCPAINT, S | D},       {SRCINVERT, S ^ D},
      {PATCOPY, P},        {PATINVERT, P ^ D},    {DSTINVERT, ~D & 0xFFFFFF},
      {0x00B8074A, ((D ^ P) & S) ^ P},  // PSDPxax: where S is set take D, else P
  };
  for (const Case& c : cases) {
    Surface src(2, 1, 24), dst(2, 1, 24);
    SetPixel(src.DC, 0, 0, S);
    SetPixel(dst.DC, 0, 0, D);
    HBRUSH br = CreateSolidBrush(P);
    HGDIOBJ old = SelectObject(dst.DC, br);
    BitBlt(dst.DC, 0, 0, 1, 1, src.DC, 0, 0, c.Rop);
    EXPECT_EQ(dst.At(0, 0), c.Want) << std::hex << c.Rop;
    SelectObject(dst.DC, old);
    DeleteObject(br);
  }
}

TEST(Blt, MonochromeSourceTakesTextAndBackgroundColours) {
  HDC mdc = CreateCompatibleDC(nullptr);
  HBITMAP mono = CreateCompatibleBitmap(mdc, 2, 1);  // the new DC holds a monochrome bitmap
  HGDIOBJ om = SelectObject(mdc, mono);
  SetPixel(mdc, 1, 0, clWhite);
  Surface dst(2, 1, 24);
  SetTextColor(dst.DC, clRed);
  SetBkColor(dst.DC, clBlue);
  BitBlt(dst.DC, 0, 0, 2, 1, mdc, 0, 0, SRCCOPY);
  EXPECT_EQ(dst.At(0, 0), clRed);
  EXPECT_EQ(dst.At(1, 0), clBlue);
  // Colour to monochrome: the source DC's background colour becomes 1.
  SetPixel(dst.DC, 0, 0, clLime);
  SetBkColor(dst.DC, clLime);
  BitBlt(mdc, 0, 0, 2, 1, dst.DC, 0, 0, SRCCOPY);
  EXPECT_EQ(GetPixel(mdc, 0, 0), clWhite);
  EXPECT_EQ(GetPixel(mdc, 1, 0), clBlack);
  SelectObject(mdc, om);
  DeleteObject(mono);
  DeleteDC(mdc);
}

// The stated nearest-neighbour rule, computed independently here.
static int32_t Nearest(int32_t i, int32_t dst, int32_t src) { return ((2 * i + 1) * std::abs(src)) / (2 * std::abs(dst)); }

TEST(Blt, StretchDIBitsFollowsNearestNeighbourRuleAndMirrors) {
  // A 5 x 3 bottom-up 8-bit DIB whose pixel values encode their position.
  const int W = 5, H = 3, stride = 8;
  std::vector<uint8_t> bits(stride * H);
  TBitmapInfo256 bi{};
  bi.bmiHeader.biWidth = W;
  bi.bmiHeader.biHeight = H;
  bi.bmiHeader.biBitCount = 8;
  for (int i = 0; i < 256; ++i) bi.bmiColors[i] = RGBQUAD{uint8_t(i), uint8_t(255 - i), uint8_t(i), 0};
  auto value = [](int x, int y) { return static_cast<uint8_t>(16 * y + x + 1); };
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) bits[(H - 1 - y) * stride + x] = value(x, y);
  auto colour = [&](int x, int y) { uint8_t v = value(x, y); return RGB(v, uint8_t(255 - v), v); };

  for (int dw : {7, 13, 3, -7, -13}) {
    for (int dh : {2, 5, -4}) {
      Surface d(20, 12, 24);
      PatBlt(d.DC, 0, 0, 20, 12, BLACKNESS);
      const int X = 15, Y = 6;
      StretchDIBits(d.DC, dw > 0 ? 1 : X, dh > 0 ? 1 : Y, dw, dh, 0, 0, W, H, bits.data(), bi.Info(),
                    DIB_RGB_COLORS, SRCCOPY);
      int x0 = dw > 0 ? 1 : X, y0 = dh > 0 ? 1 : Y;
      for (int i = 0; i < std::abs(dw); ++i)
        for (int j = 0; j < std::abs(dh); ++j) {
          int dx = dw > 0 ? x0 + i : x0 - i, dy = dh > 0 ? y0 + j : y0 - j;
          EXPECT_EQ(d.At(dx, dy), colour(Nearest(i, dw, W), Nearest(j, dh, H))) << dw << "x" << dh << " at " << i << "," << j;
        }
      // Nothing outside the destination extent.
      if (dw < 0) {
        EXPECT_EQ(d.At(X + 1, dh > 0 ? 1 : Y), clBlack);
        EXPECT_EQ(d.At(X + dw, dh > 0 ? 1 : Y), clBlack);
      }
    }
  }
}

TEST(Blt, StretchDIBitsSourceRectangleCountsFromTheBottom) {
  std::vector<uint8_t> bits = {1, 0, 0, 0, 2, 0, 0, 0};  // 1 x 2 bottom-up: bottom row 1, top row 2
  TBitmapInfo256 bi{};
  bi.bmiHeader.biWidth = 1;
  bi.bmiHeader.biHeight = 2;
  bi.bmiHeader.biBitCount = 8;
  bi.bmiColors[1] = RGBQUAD{0, 0, 255, 0};
  bi.bmiColors[2] = RGBQUAD{255, 0, 0, 0};
  Surface d(1, 1, 24);
  StretchDIBits(d.DC, 0, 0, 1, 1, 0, 0, 1, 1, bits.data(), bi.Info(), DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(d.At(0, 0), clRed);  // the bottom row
  StretchDIBits(d.DC, 0, 0, 1, 1, 0, 1, 1, 1, bits.data(), bi.Info(), DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(d.At(0, 0), clBlue);
}

TEST(Brushes, PatternStripesFollowTheBrushOrigin) {
  // An 8 x 8 pattern with one black column (x = 0), white elsewhere.
  Surface pat(8, 8, 24);
  PatBlt(pat.DC, 0, 0, 8, 8, WHITENESS);
  for (int y = 0; y < 8; ++y) SetPixel(pat.DC, 0, y, clBlack);
  HBRUSH br = CreatePatternBrush(pat.Bmp);
  for (int org : {0, 3, -2, 11}) {
    Surface d(24, 4, 24);
    SetBrushOrgEx(d.DC, org, 0, nullptr);
    FillRect(d.DC, Rect(0, 0, 24, 4), br);
    for (int x = 0; x < 24; ++x) {
      bool stripe = ((x - org) % 8 + 8) % 8 == 0;
      EXPECT_EQ(d.At(x, 2), stripe ? clBlack : clWhite) << "origin " << org << " x " << x;
    }
  }
  // FrameRect with the pattern brush draws the same stripes on its frame only.
  Surface d(24, 4, 24);
  PatBlt(d.DC, 0, 0, 24, 4, BLACKNESS);
  FrameRect(d.DC, Rect(0, 0, 24, 4), br);
  EXPECT_EQ(d.At(0, 0), clBlack);
  EXPECT_EQ(d.At(1, 0), clWhite);
  EXPECT_EQ(d.At(5, 1), clBlack);  // inside untouched
  EXPECT_EQ(d.At(23, 2), clWhite);
  DeleteObject(br);
}

// FrameRect outlines its rectangle one pixel wide, right and bottom
// exclusive, whatever its size: a strip one pixel wide or high is filled,
// an empty or inverted rectangle draws nothing; the viewport origin moves it.
TEST(Brushes, FrameRectDrawsExactlyTheEdgeOfItsRectangle) {
  HBRUSH red = CreateSolidBrush(clRed);
  const TRect rects[] = {Rect(2, 1, 7, 5), Rect(3, 1, 5, 7), Rect(3, 2, 4, 6), Rect(1, 3, 8, 4),
                         Rect(4, 4, 5, 5), Rect(4, 4, 4, 7), Rect(6, 5, 3, 6), Rect(2, 6, 5, 3)};
  for (int32_t origin : {0, 1})
    for (const TRect& r : rects) {
      Surface d(10, 8, 24);
      PatBlt(d.DC, 0, 0, 10, 8, WHITENESS);
      SetViewportOrgEx(d.DC, origin, origin, nullptr);
      FrameRect(d.DC, r, red);
      SetViewportOrgEx(d.DC, 0, 0, nullptr);
      for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 10; ++x) {
          const int32_t u = x - origin, v = y - origin;
          const bool inside = u >= r.Left && u < r.Right && v >= r.Top && v < r.Bottom;
          const bool edge = inside && (u == r.Left || u == r.Right - 1 || v == r.Top || v == r.Bottom - 1);
          EXPECT_EQ(d.At(x, y), edge ? clRed : clWhite)
              << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom << " at " << x << "," << y;
        }
    }
  DeleteObject(red);
}

TEST(Clipping, RectanglesCombineAndReportRegionTypes) {
  Surface s(10, 10, 24);
  EXPECT_EQ(IntersectClipRect(s.DC, 2, 2, 8, 8), SIMPLEREGION);
  EXPECT_EQ(ExcludeClipRect(s.DC, 4, 4, 6, 6), COMPLEXREGION);
  PatBlt(s.DC, 0, 0, 10, 10, WHITENESS);
  EXPECT_EQ(GetPixel(s.DC, 1, 1), CLR_INVALID);
  EXPECT_EQ(s.At(2, 2), clWhite);
  EXPECT_EQ(GetPixel(s.DC, 4, 4), CLR_INVALID);
  TRect box;
  EXPECT_EQ(GetClipBox(s.DC, box), COMPLEXREGION);
  EXPECT_EQ(box, Rect(2, 2, 8, 8));
  EXPECT_EQ(ExcludeClipRect(s.DC, 0, 0, 10, 10), NULLREGION);
  EXPECT_EQ(SelectClipRgn(s.DC, nullptr), SIMPLEREGION);

  HRGN a = CreateRectRgn(0, 0, 4, 4), b = CreateRectRgn(2, 2, 6, 6), c = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(CombineRgn(c, a, b, RGN_AND), SIMPLEREGION);
  EXPECT_EQ(GetRgnBox(c, box), SIMPLEREGION);
  EXPECT_EQ(box, Rect(2, 2, 4, 4));
  EXPECT_EQ(CombineRgn(c, a, b, RGN_XOR), COMPLEXREGION);
  EXPECT_FALSE(PtInRegion(c, 3, 3));
  EXPECT_TRUE(PtInRegion(c, 5, 5));
  EXPECT_EQ(CombineRgn(c, a, a, RGN_DIFF), NULLREGION);
  EXPECT_EQ(SelectClipRgn(s.DC, b), SIMPLEREGION);
  EXPECT_EQ(GetPixel(s.DC, 1, 1), CLR_INVALID);
  DeleteObject(a);
  DeleteObject(b);
  DeleteObject(c);
}

TEST(Clipping, SaveAndRestoreBringBackStateAndObjects) {
  Surface s(10, 10, 24);
  HBRUSH red = CreateSolidBrush(clRed);
  int32_t level = SaveDC(s.DC);
  EXPECT_EQ(level, 1);
  HGDIOBJ old = SelectObject(s.DC, red);
  DeleteObject(red);  // still selected: freed once the DC lets it go
  SetViewportOrgEx(s.DC, 3, 3, nullptr);
  IntersectClipRect(s.DC, 0, 0, 2, 2);  // device 3..5
  SaveDC(s.DC);
  SetTextColor(s.DC, clBlue);
  EXPECT_TRUE(RestoreDC(s.DC, -1));
  EXPECT_EQ(GetTextColor(s.DC), clBlack);
  PatBlt(s.DC, -3, -3, 10, 10, PATCOPY);
  EXPECT_EQ(GetPixel(s.DC, 0, 0), clRed);  // device (3, 3)
  EXPECT_EQ(GetPixel(s.DC, 2, 2), CLR_INVALID);
  EXPECT_TRUE(RestoreDC(s.DC, level));
  EXPECT_EQ(GetCurrentObject(s.DC, OBJ_BRUSH), old);
  TPoint org;
  GetViewportOrgEx(s.DC, &org);
  EXPECT_EQ(org, Point(0, 0));
  EXPECT_EQ(s.At(3, 3), clRed);
  EXPECT_EQ(s.At(5, 5), clBlack);
  EXPECT_FALSE(RestoreDC(s.DC, -1));
}

TEST(Bitmaps, ABitmapCanBeSelectedIntoOneDCAtATime) {
  Surface s(2, 2, 24);
  HDC other = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SelectObject(other, s.Bmp), nullptr);
  DeleteDC(other);
}

TEST(Palettes, RealizeDependsOnScreenDepth) {
  LOGPALETTE lp;
  lp.palNumEntries = 1;
  lp.palPalEntry[0] = PALETTEENTRY{10, 20, 30, 0};
  HPALETTE pal = CreatePalette(&lp);
  HDC dc = CreateCompatibleDC(nullptr);
  HPALETTE old = SelectPalette(dc, pal, false);
  EXPECT_EQ(RealizePalette(dc), 0u);
  EXPECT_EQ(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE, 0);
  SetScreenBitsPerPixel(8);
  EXPECT_EQ(RealizePalette(dc), 1u);
  EXPECT_NE(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE, 0);
  EXPECT_EQ(GetDeviceCaps(dc, SIZEPALETTE), 256);
  SetScreenBitsPerPixel(32);
  SelectPalette(dc, old, false);
  EXPECT_EQ(GetNearestPaletteIndex(pal, RGB(9, 21, 30)), 0u);
  DeleteObject(pal);
  DeleteDC(dc);
}
