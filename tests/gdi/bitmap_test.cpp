// TBitmap, its canvas and stream form; TCanvas drawing objects; text.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/base/stream.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/clipboard_formats.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/text.h"

TEST(Bitmap, PixelFormatsGiveRowLayoutsAndTables) {
  struct Case {
    TPixelFormat F;
    int32_t Bpl;
    size_t Table;
  } cases[] = {{pf1bit, 4, 2}, {pf4bit, 4, 16}, {pf8bit, 8, 256}, {pf24bit, 16, 0}, {pf32bit, 20, 0}};
  for (const Case& c : cases) {
    TBitmap b;
    b.SetPixelFormat(c.F);
    b.SetSize(5, 3);
    EXPECT_EQ(b.BytesPerLine(), c.Bpl) << int(c.F);
    EXPECT_EQ(b.ColorTable().size(), c.Table) << int(c.F);
    EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(0)) - static_cast<uint8_t*>(b.ScanLine(1)), c.Bpl);
  }
  TBitmap b;
  EXPECT_THROW(b.ScanLine(0), EInvalidGraphicOperation);
}

TEST(Bitmap, FormatChangeKeepsColours) {
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  b.SetSize(4, 2);
  b.Canvas()->SetPixels(0, 0, clRed);
  b.Canvas()->SetPixels(3, 1, clAqua);
  b.SetPixelFormat(pf24bit);
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(b.Canvas()->Pixels(3, 1), clAqua);
  auto* row = static_cast<uint8_t*>(b.ScanLine(0));
  EXPECT_EQ(row[2], 255);  // blue, green, red
  b.SetPixelFormat(pf1bit);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clBlack);
  EXPECT_EQ(b.Canvas()->Pixels(3, 1), clWhite);
}

// Format changes copy whole rows through a table of colours: every pixel
// ends as setting its colour one by one gives, blank rows (all index 0)
// included, whatever colour entry 0 has.
TEST(Bitmap, FormatChangeOfPaletteRowsMatchesPixelByPixel) {
  for (TPixelFormat from : {pf1bit, pf4bit, pf8bit})
    for (TColor first : {clBlack, clTeal})
      for (TPixelFormat to : {pf1bit, pf4bit, pf8bit, pf24bit, pf32bit}) {
        if (to == from) continue;
        TBitmap b;
        b.SetPixelFormat(from);
        b.SetSize(13, 5);
        std::vector<RGBQUAD> table = b.ColorTable();
        table[0] = RGBQUAD{GetBValue(first), GetGValue(first), GetRValue(first), 0};
        b.SetColorTable(table);
        for (int32_t y = 0; y < 5; ++y) {
          auto* row = static_cast<uint8_t*>(b.ScanLine(y));
          for (int32_t i = 0; i < b.BytesPerLine(); ++i) row[i] = y == 2 ? 0 : static_cast<uint8_t>(i * 37 + y * 11);
        }
        TBitmap expected;
        expected.SetPixelFormat(to);
        expected.SetSize(13, 5);
        for (int32_t y = 0; y < 5; ++y)
          for (int32_t x = 0; x < 13; ++x) expected.Canvas()->SetPixels(x, y, b.Canvas()->Pixels(x, y));
        b.SetPixelFormat(to);
        for (int32_t y = 0; y < 5; ++y)
          for (int32_t x = 0; x < 13; ++x)
            ASSERT_EQ(b.Canvas()->Pixels(x, y), expected.Canvas()->Pixels(x, y))
                << int(from) << " to " << int(to) << " entry 0 " << first << " at " << x << "," << y;
      }
  // Blits that start at an odd column of a 4-bit source, to odd places.
  TBitmap four, eight;
  four.SetPixelFormat(pf4bit);
  four.SetSize(13, 1);
  for (int32_t x = 0; x < 13; ++x) four.Canvas()->SetPixels(x, 0, VGAColors[x]);
  eight.SetPixelFormat(pf8bit);
  for (int32_t from = 0; from < 4; ++from)
    for (int32_t to = 0; to < 2; ++to) {
      eight.SetSize(16, 1);
      BitBlt(eight.Canvas()->Handle(), to, 0, 13 - from, 1, four.Canvas()->Handle(), from, 0, SRCCOPY);
      for (int32_t x = 0; x < 13 - from; ++x)
        ASSERT_EQ(eight.Canvas()->Pixels(to + x, 0), VGAColors[from + x]) << from << " " << to << " " << x;
    }
}

// SRCAND, SRCINVERT and SRCPAINT of a 4-bit or monochrome source without
// scaling combine the source's values (its colours on a true-colour
// destination) with the destination's, bit by bit, at any column.
TEST(Bitmap, CombiningBlitsOfPaletteSourcesWorkOnValues) {
  TBitmap four;
  four.SetPixelFormat(pf4bit);
  four.SetSize(11, 2);
  for (int32_t x = 0; x < 11; ++x)
    for (int32_t y = 0; y < 2; ++y) four.Canvas()->SetPixels(x, y, VGAColors[(x * 3 + y) % 16]);
  for (uint32_t rop : {SRCAND, SRCINVERT, SRCPAINT})
    for (TPixelFormat to : {pf8bit, pf24bit, pf32bit}) {
      TBitmap dest;
      dest.SetPixelFormat(to);
      dest.SetSize(13, 2);
      for (int32_t x = 0; x < 13; ++x)
        for (int32_t y = 0; y < 2; ++y) dest.Canvas()->SetPixels(x, y, VGAColors[(x * 5 + y * 7 + 3) % 16]);
      TBitmap before;
      before.Assign(&dest);
      BitBlt(dest.Canvas()->Handle(), 2, 0, 10, 2, four.Canvas()->Handle(), 1, 0, rop);
      for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 2; x < 12; ++x) {
          const TColor s = four.Canvas()->Pixels(x - 1, y), d = before.Canvas()->Pixels(x, y);
          TColor want;
          if (to == pf8bit) {
            // On the values: the destination's table holds the VGA colours first.
            auto value = [](TColor C) { return uint32_t(std::find(VGAColors, VGAColors + 16, C) - VGAColors); };
            const uint32_t v = rop == SRCAND ? value(s) & value(d) : rop == SRCINVERT ? value(s) ^ value(d) : value(s) | value(d);
            want = VGAColors[v & 15];
          } else {
            want = rop == SRCAND ? s & d : rop == SRCINVERT ? s ^ d : s | d;
          }
          ASSERT_EQ(dest.Canvas()->Pixels(x, y), want) << std::hex << rop << " " << int(to) << " " << x << "," << y;
        }
    }
}

// WHITENESS and BLACKNESS fill whole bytes and the pixels at either end of
// a span, in the bit counts that hold several pixels a byte.
TEST(Bitmap, ConstantFillsStopAtTheSpanInsideBytes) {
  for (TPixelFormat f : {pf1bit, pf4bit})
    for (int32_t left : {0, 3, 8})
      for (int32_t width : {1, 5, 13, 16}) {
        TBitmap b;
        b.SetPixelFormat(f);
        b.SetSize(40, 2);
        PatBlt(b.Canvas()->Handle(), 0, 0, 40, 2, BLACKNESS);
        PatBlt(b.Canvas()->Handle(), left, 1, width, 1, WHITENESS);
        for (int32_t x = 0; x < 40; ++x) {
          ASSERT_EQ(b.Canvas()->Pixels(x, 0), clBlack) << int(f) << " " << x;
          ASSERT_EQ(b.Canvas()->Pixels(x, 1), x >= left && x < left + width ? clWhite : clBlack)
              << int(f) << " " << left << " " << width << " " << x;
        }
      }
}

TEST(Bitmap, StreamRoundTripInEveryFormat) {
  for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf24bit, pf32bit}) {
    TBitmap a;
    a.SetPixelFormat(f);
    a.SetSize(7, 5);
    a.Canvas()->Brush()->SetColor(clWhite);
    a.Canvas()->FillRect(Rect(0, 0, 7, 5));
    a.Canvas()->SetPixels(1, 1, clBlack);
    a.Canvas()->SetPixels(6, 4, f == pf1bit ? clBlack : clRed);
    TMemoryStream m;
    a.SaveToStream(m);
    m.SetPosition(0);
    TBitmap b;
    b.LoadFromStream(m);
    ASSERT_EQ(b.Width(), 7);
    ASSERT_EQ(b.Height(), 5);
    EXPECT_EQ(b.PixelFormat(), f);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) EXPECT_EQ(b.Canvas()->Pixels(x, y), a.Canvas()->Pixels(x, y)) << int(f);
  }
}

TEST(Bitmap, RefusesMalformedStreams) {
  TBitmap a;
  a.SetPixelFormat(pf8bit);
  a.SetSize(16, 16);
  TMemoryStream m;
  a.SaveToStream(m);
  std::vector<uint8_t> good = m.Bytes();
  auto load = [](std::vector<uint8_t> bytes) {
    TMemoryStream s;
    s.Bytes() = bytes;
    TBitmap b;
    b.LoadFromStream(s);
  };
  EXPECT_NO_THROW(load(good));
  // A file cut short reads as a stream that ends early.
  std::vector<uint8_t> cut(good.begin(), good.end() - 10);
  EXPECT_THROW(load(cut), EReadError);
  std::vector<uint8_t> colours = good;
  colours[14 + 32] = 0x01;
  colours[14 + 33] = 0x01;  // 257 colours used
  EXPECT_THROW(load(colours), EInvalidGraphic);
  std::vector<uint8_t> huge = good;
  huge[14 + 7] = 0x7F;  // width 2^31 - ...
  EXPECT_THROW(load(huge), EInvalidGraphic);
  EXPECT_THROW(load({'B', 'M', 0}), EInvalidGraphic);
}

TEST(Bitmap, ClipboardFormatsConvertToPackedDIB) {
  TBitmap a;
  a.SetPixelFormat(pf4bit);
  a.SetSize(3, 2);
  a.Canvas()->SetPixels(2, 0, clYellow);
  uint16_t fmt;
  uintptr_t data;
  HPALETTE pal;
  a.SaveToClipboardFormat(fmt, data, pal);
  EXPECT_EQ(fmt, CF_BITMAP);
  HGLOBAL dib = BitmapToPackedDIB(reinterpret_cast<HBITMAP>(data));
  EXPECT_EQ(GlobalSize(dib), 40u + 16 * 4 + 8);
  TBitmap b;
  b.LoadFromClipboardFormat(CF_DIB, dib, nullptr);
  EXPECT_EQ(b.Canvas()->Pixels(2, 0), clYellow);
  EXPECT_EQ(b.PixelFormat(), pf4bit);
  GlobalFree(dib);
  DeleteObject(reinterpret_cast<HBITMAP>(data));
  DeleteObject(pal);
}

TEST(Bitmap, TransparentDrawLeavesKeyColour) {
  TBitmap src;
  src.SetPixelFormat(pf24bit);
  src.SetSize(2, 1);
  src.Canvas()->SetPixels(0, 0, clFuchsia);
  src.Canvas()->SetPixels(1, 0, clBlue);
  src.SetTransparent(true);
  EXPECT_EQ(src.TransparentColor(), clFuchsia);  // the bottom-left pixel
  TBitmap dst;
  dst.SetPixelFormat(pf24bit);
  dst.SetSize(2, 1);
  dst.Canvas()->Draw(0, 0, &src);
  EXPECT_EQ(dst.Canvas()->Pixels(0, 0), clWhite);
  EXPECT_EQ(dst.Canvas()->Pixels(1, 0), clBlue);
}

TEST(Canvas, BrushCopyReplacesAColourWithTheBrush) {
  TBitmap src;
  src.SetPixelFormat(pf24bit);
  src.SetSize(3, 1);
  src.Canvas()->SetPixels(0, 0, clOlive);
  src.Canvas()->SetPixels(1, 0, clNavy);
  TBitmap dst;
  dst.SetPixelFormat(pf24bit);
  dst.SetSize(3, 1);
  dst.Canvas()->Brush()->SetColor(clLime);
  dst.Canvas()->BrushCopy(Rect(0, 0, 3, 1), &src, Rect(0, 0, 3, 1), clOlive);
  EXPECT_EQ(dst.Canvas()->Pixels(0, 0), clLime);
  EXPECT_EQ(dst.Canvas()->Pixels(1, 0), clNavy);
  EXPECT_EQ(dst.Canvas()->Pixels(2, 0), clWhite);
}

TEST(Canvas, ChangeNotificationsAndObjects) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(10, 10);
  int changes = 0;
  b.OnChange = [&](TObject*) { ++changes; };
  TCanvas* c = b.Canvas();
  c->Pen()->SetColor(clBtnShadow);  // a system colour
  c->MoveTo(0, 0);
  c->LineTo(5, 0);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(c->Pixels(2, 0), 0x808080u);
  c->Brush()->SetStyle(bsClear);
  c->Rectangle(0, 2, 5, 6);
  EXPECT_EQ(c->Pixels(2, 4), clWhite);
  EXPECT_EQ(c->PenPos(), Point(5, 0));
  TCanvas bare;
  EXPECT_THROW(bare.LineTo(1, 1), EInvalidOperation);
}

TEST(Canvas, ChangingASelectedFontNeverLeavesAFreedHandleInTheDC) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(40, 20);
  TCanvas* c = b.Canvas();
  HDC dc = c->Handle();
  HGDIOBJ original = GetCurrentObject(dc, OBJ_FONT);
  c->TextOut(0, 0, "a");  // selects the canvas font
  c->Font()->SetHeight(-20);  // frees that font's handle
  // Code that borrows the DC (as caption drawing does) gets the DC's own font
  // back, not the freed one, and can select it again safely.
  HGDIOBJ old = SelectObject(dc, GetStockObject(SYSTEM_FONT));
  EXPECT_EQ(old, original);
  SelectObject(dc, old);
  c->Pen()->SetWidth(3);
  c->Brush()->SetColor(clRed);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), original);
  c->TextOut(0, 0, "b");
  c->FillRect(Rect(0, 0, 2, 2));
  EXPECT_EQ(c->Pixels(1, 1), clRed);
}

TEST(Text, DrawsOnFourBitSurfaceWithoutAntialiasing) {
  TBitmap b;
  b.SetPixelFormat(pf4bit);
  b.SetSize(60, 20);
  b.Canvas()->Brush()->SetColor(clWhite);
  b.Canvas()->FillRect(Rect(0, 0, 60, 20));
  b.Canvas()->Font()->SetColor(clBlack);
  b.Canvas()->Font()->SetHeight(-14);
  b.Canvas()->TextOut(2, 2, "Hi");
  int black = 0, other = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) {
      TColor c = b.Canvas()->Pixels(x, y);
      if (c == clBlack) ++black;
      else if (c != clWhite) ++other;
    }
  EXPECT_GT(black, 20);
  EXPECT_EQ(other, 0);
  TSize sz = b.Canvas()->TextExtent("Hi");
  EXPECT_GT(sz.cx, 10);
  EXPECT_GE(sz.cy, 14);
  EXPECT_LT(b.Canvas()->TextWidth("i"), b.Canvas()->TextWidth("W"));
}

TEST(Text, FaceMapsToDejaVuSans) {
  EXPECT_NE(ResolveFontFile("MS Sans Serif", false, false).find("DejaVuSans.ttf"), std::string::npos);
  EXPECT_NE(ResolveFontFile("", true, false).find("DejaVuSans-Bold"), std::string::npos);
}

TEST(Text, DrawTextFormats) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(200, 100);
  HDC dc = b.Canvas()->Handle();
  TEXTMETRIC tm;
  ASSERT_TRUE(GetTextMetrics(dc, &tm));
  TRect r = Rect(0, 0, 200, 0);
  int32_t h = DrawText(dc, "one\ntwo\nthree", &r, DT_CALCRECT);
  EXPECT_EQ(h, 3 * tm.tmHeight);
  EXPECT_EQ(r.Bottom, 3 * tm.tmHeight);
  EXPECT_EQ(r.Right, TextExtent(dc, "three").cx);
  // Word breaking splits at blanks to fit the width.
  TRect narrow = Rect(0, 0, TextExtent(dc, "word word").cx, 0);
  EXPECT_EQ(DrawText(dc, "word word word", &narrow, DT_CALCRECT | DT_WORDBREAK), 2 * tm.tmHeight);
  // "&&" shows one ampersand; DT_NOPREFIX keeps both.
  TRect a = Rect(0, 0, 200, 0), c = a;
  DrawText(dc, "a&&b", &a, DT_CALCRECT | DT_SINGLELINE);
  DrawText(dc, "a&&b", &c, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_EQ(a.Right, TextExtent(dc, "a&b").cx);
  EXPECT_EQ(c.Right, TextExtent(dc, "a&&b").cx);
  // A prefixed letter is underlined below the baseline; the plain one is not.
  SetBkMode(dc, TRANSPARENT);
  PatBlt(dc, 0, 0, 200, 100, WHITENESS);
  TRect p = Rect(0, 0, 100, 30);
  DrawText(dc, "&x", &p, DT_SINGLELINE);
  TRect q = Rect(100, 0, 200, 30);
  DrawText(dc, "x", &q, DT_SINGLELINE);
  int under1 = 0, under2 = 0;
  for (int y = tm.tmAscent + 1; y < tm.tmHeight; ++y)
    for (int x = 0; x < 10; ++x) {
      under1 += GetPixel(dc, x, y) != clWhite;
      under2 += GetPixel(dc, 100 + x, y) != clWhite;
    }
  EXPECT_GT(under1, 0);
  EXPECT_EQ(under2, 0);
  // Centred single line: as much space left as right.
  TRect box = Rect(0, 40, 200, 80);
  PatBlt(dc, 0, 0, 200, 100, WHITENESS);
  DrawText(dc, "II", &box, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  int minX = 200, maxX = -1, minY = 100, maxY = -1;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x)
      if (GetPixel(dc, x, y) != clWhite) {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
      }
  EXPECT_LE(std::abs(minX - (199 - maxX)), 3);
  EXPECT_GE(minY, 40);
  EXPECT_LT(maxY, 80);
}
