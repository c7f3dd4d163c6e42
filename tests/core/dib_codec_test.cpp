// The DIB codec: headers, pixel forms, RLE, progress, the mended faults,
// clipboard formats and a cross-check against ImageMagick's RLE files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "imaging/core/exceptions.h"
#include "imaging/core/file_formats.h"
#include "imaging/core/options.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/base/stream.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/clipboard_formats.h"
#include "platform/gdi/colors.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/surface.h"

namespace {

struct Dib {
  std::vector<uint8_t> B;
  void U8(uint32_t v) { B.push_back(static_cast<uint8_t>(v)); }
  void U16(uint32_t v) { U8(v); U8(v >> 8); }
  void U32(uint32_t v) { U16(v); U16(v >> 16); }
  // An info header.
  Dib& Info(int32_t W, int32_t H, int Bits, uint32_t Compression = 0, uint32_t Used = 0, uint32_t ImageSize = 0) {
    U32(40); U32(static_cast<uint32_t>(W)); U32(static_cast<uint32_t>(H)); U16(1); U16(Bits);
    U32(Compression); U32(ImageSize); U32(2835); U32(2835); U32(Used); U32(0);
    return *this;
  }
  Dib& Bytes(std::initializer_list<uint8_t> L) { B.insert(B.end(), L); return *this; }
  Dib& Grey(int N) { for (int i = 0; i < N; ++i) { U8(i); U8(i); U8(i); U8(0); } return *this; }
};

void Read(TPixelGraphic& G, const std::vector<uint8_t>& Bytes, bool Core = false, int32_t Offset = 0) {
  TMemoryStream m;
  m.Bytes() = Bytes;
  G.ReadDIB(m, Core, Offset);
}

std::string ReadError(const std::vector<uint8_t>& Bytes, bool Core = false) {
  TPixelGraphic g;
  try {
    Read(g, Bytes, Core);
  } catch (const EPGBMPFileFormatReader& e) {
    return e.Message();
  } catch (const Exception& e) {
    return "other: " + e.Message();
  }
  return "";
}

struct ExpandSetting {
  bool Saved = BMPExpand16Bit;
  ~ExpandSetting() { BMPExpand16Bit = Saved; }
};

}  // namespace

TEST(DIBCodec, RoundTripsEveryFormat) {
  for (uint8_t f : {pf1Bit, pf4Bit, pf8Bit, pf24Bit}) {
    TPixelGraphic a;
    a.NewImage(5, 3, f);
    if (f != pf24Bit) {
      a.SetPaletteCount(a.GetMaxColors());
      for (int i = 0; i < a.GetMaxColors(); ++i) a.SetPaletteEntry(i, RGB(uint8_t(i * 7), uint8_t(255 - i), uint8_t(i)));
    }
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) a.SetPixel(x, y, f == pf24Bit ? RGB(uint8_t(x * 40), uint8_t(y * 80), 7) : (x + y) % (a.GetMaxColors()));
    a.SetXResolution(3780);
    TMemoryStream m;
    a.WriteDIB(m);
    EXPECT_EQ(static_cast<uint32_t>(m.Size()), a.GetDIBSize());
    m.SetPosition(0);
    TPixelGraphic b;
    b.ReadDIB(m, false, 0);
    ASSERT_EQ(b.PixelFormat(), f);
    EXPECT_EQ(b.XResolution(), 3780);
    EXPECT_EQ(b.PaletteCount(), a.PaletteCount());
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) EXPECT_EQ(b.GetPixelColor(x, y), a.GetPixelColor(x, y)) << int(f);
  }
}

TEST(DIBCodec, CoreHeaderAndTopDownRows) {
  Dib d;
  d.U32(12); d.U16(2); d.U16(2); d.U16(1); d.U16(8);
  for (int i = 0; i < 256; ++i) { d.U8(i); d.U8(0); d.U8(255 - i); }
  d.Bytes({1, 2, 0, 0, 3, 4, 0, 0});  // bottom row 1 2, top row 3 4
  TPixelGraphic g;
  Read(g, d.B, true);
  EXPECT_EQ(g.GetPixel(0, 1), 1u);
  EXPECT_EQ(g.GetPixel(1, 0), 4u);
  EXPECT_EQ(g.GetPixelColor(0, 0), RGB(252, 0, 3));
  // The same rows stored top-down come out upright.
  Dib t;
  t.Info(2, -2, 8, 0, 2).Grey(2).Bytes({1, 0, 0, 0, 0, 1, 0, 0});
  Read(g, t.B);
  EXPECT_EQ(g.GetPixel(0, 0), 1u);
  EXPECT_EQ(g.GetPixel(1, 1), 1u);
  EXPECT_EQ(g.GetPixel(1, 0), 0u);
  EXPECT_EQ(g.PaletteCount(), 2);
}

TEST(DIBCodec, SixteenAndThirtyTwoBitChannels) {
  ExpandSetting keep;
  Dib d;
  d.Info(1, 1, 16).Bytes({0x01, 0x7C, 0, 0});  // red 31, green 0, blue 1
  TPixelGraphic g;
  BMPExpand16Bit = true;
  Read(g, d.B);
  EXPECT_EQ(g.GetPixel(0, 0), RGB(255, 0, 16));
  BMPExpand16Bit = false;
  Read(g, d.B);
  EXPECT_EQ(g.GetPixel(0, 0), RGB(248, 0, 8));
  BMPExpand16Bit = true;
  Dib f;
  f.Info(2, 1, 16, 3).Bytes({0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0});
  f.Bytes({0xE0, 0x07, 0x20, 0x00});  // green 63, green 1
  Read(g, f.B);
  EXPECT_EQ(GetGValue(g.GetPixel(0, 0)), 255);
  EXPECT_EQ(GetGValue(g.GetPixel(1, 0)), 8);
  Dib t;
  t.Info(1, 1, 32).Bytes({0x33, 0x22, 0x11, 0x00});
  Read(g, t.B);
  EXPECT_EQ(g.GetPixel(0, 0), RGB(0x11, 0x22, 0x33));
  // Masks wider than 8 bits keep their top 8 bits instead of saturating.
  Dib w;
  w.Info(1, 1, 32, 3).Bytes({0x00, 0x00, 0xF0, 0x3F, 0x00, 0xFC, 0x0F, 0x00, 0xFF, 0x03, 0x00, 0x00});
  w.U32((512u << 20) | (256u << 10) | 128u);  // 10-bit channels at half, quarter, eighth
  Read(g, w.B);
  EXPECT_EQ(g.GetPixel(0, 0), RGB(128, 64, 32));
}

TEST(DIBCodec, ColourCountsAndTheirLimit) {
  TPixelGraphic g;
  Dib a;
  a.Info(1, 1, 8).Grey(256).Bytes({5, 0, 0, 0});
  Read(g, a.B);
  EXPECT_EQ(g.PaletteCount(), 256);
  Dib b;
  b.Info(1, 1, 8, 0, 17).Grey(17).Bytes({5, 0, 0, 0});
  Read(g, b.B);
  EXPECT_EQ(g.PaletteCount(), 17);
  // More colours than the format holds would overrun the colour table.
  Dib c;
  c.Info(1, 1, 4, 0, 17).Grey(17).Bytes({5, 0, 0, 0});
  EXPECT_EQ(ReadError(c.B), "BMP: BitmapInfoHeader.biClrUsed invalid");
  Dib d;
  d.Info(1, 1, 8, 0, 0x40000000).Grey(4);
  EXPECT_EQ(ReadError(d.B), "BMP: BitmapInfoHeader.biClrUsed invalid");
}

TEST(DIBCodec, HeaderErrorsNameTheField) {
  Dib planes;
  planes.Info(1, 1, 8);
  planes.B[12] = 2;
  EXPECT_EQ(ReadError(planes.B), "BMP: BitmapInfoHeader.biPlanes invalid");
  EXPECT_EQ(ReadError(Dib().Info(1, 1, 7).B), "BMP: BitmapInfoHeader.biBitCount invalid");
  EXPECT_EQ(ReadError(Dib().Info(1, 1, 24, 1).B), "BMP: BitmapInfoHeader.biCompression invalid");
  EXPECT_EQ(ReadError(Dib().Info(4, -2, 8, 1).Grey(256).B), "BMP: BitmapInfoHeader.biCompression invalid");
  // A zero bit-field mask would never normalise.
  Dib zero;
  zero.Info(1, 1, 16, 3).Bytes({0, 0, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(ReadError(zero.B), "BMP: BitmapInfoHeader.biCompression invalid");
  Dib core;
  core.U32(12); core.U16(1); core.U16(1); core.U16(1); core.U16(16);
  TPixelGraphic g;
  TMemoryStream m;
  m.Bytes() = core.B;
  EXPECT_THROW(g.ReadDIB(m, true, 0), EPGBMPFileFormatReader);
  // Truncated pixel data is refused before the image is made.
  EXPECT_EQ(ReadError(Dib().Info(3000, 3000, 24).B), "other: Stream read error");
  EXPECT_EQ(ReadError(Dib().Info(100000, 100000, 24).B).substr(0, 5), "other");
}

TEST(DIBCodec, RLE8AndRLE4Decode) {
  TPixelGraphic g;
  Dib d;
  d.Info(4, 2, 8, 1, 0, 8).Grey(256).Bytes({0x03, 0x05, 0x00, 0x00, 0x02, 0x07, 0x00, 0x01});
  Read(g, d.B);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(g.GetPixel(x, 1), 5u);
  EXPECT_EQ(g.GetPixel(3, 1), 0u);
  EXPECT_EQ(g.GetPixel(0, 0), 7u);
  EXPECT_EQ(g.GetPixel(1, 0), 7u);
  // RLE4: a run alternates nibbles; an absolute run of 3 takes two bytes
  // and is padded to an even position; a delta moves right and up.
  Dib r;
  r.Info(6, 3, 4, 2, 16, 14).Grey(16).Bytes({0x04, 0x12, 0x00, 0x03, 0x34, 0x50, 0x00, 0x02, 0x01, 0x01, 0x02, 0x77, 0x00, 0x01});
  Read(g, r.B);
  EXPECT_EQ(g.GetPixel(0, 2), 1u);
  EXPECT_EQ(g.GetPixel(1, 2), 2u);
  EXPECT_EQ(g.GetPixel(3, 2), 2u);
  EXPECT_EQ(g.GetPixel(4, 2), 3u);
  EXPECT_EQ(g.GetPixel(5, 2), 4u);  // the run's fifth pixel passes the row end and is skipped
  EXPECT_EQ(g.GetPixel(0, 1), 0u);
  EXPECT_EQ(g.GetPixel(8 - 8, 0), 0u);
}

TEST(DIBCodec, RLEReadsStayInsideTheData) {
  TPixelGraphic g;
  // An absolute run of 200 pixels with only two bytes behind it.
  Dib a;
  a.Info(300, 1, 8, 1, 0, 4).Grey(256).Bytes({0x00, 0xC8, 0x09, 0x0A});
  Read(g, a.B);
  EXPECT_EQ(g.GetPixel(0, 0), 9u);
  EXPECT_EQ(g.GetPixel(1, 0), 10u);
  EXPECT_EQ(g.GetPixel(2, 0), 0u);
  // Tiny encoded data: no division by zero in the progress report.
  int reports = 0;
  g.OnProgress = [&](TObject*, int32_t, int32_t, bool&) { ++reports; };
  Dib b;
  b.Info(2, 1, 8, 1, 0, 2).Grey(256).Bytes({0x02, 0x03});
  Read(g, b.B);
  EXPECT_EQ(g.GetPixel(1, 0), 3u);
  EXPECT_EQ(reports, 0);
  // The encoded size is checked against the stream before it is read; data
  // that ends before the picture does is a file cut short.
  Dib c;
  c.Info(2, 1, 8, 1, 0, 0x7FFFFFFF).Grey(256).Bytes({0x01, 0x03});
  EXPECT_THROW(Read(g, c.B), EReadError);
}

TEST(DIBCodec, OneZeroSideIsRefusedAndZeroByZeroIsTheEmptyImage) {
  EXPECT_EQ(ReadError(Dib().Info(0, -2072444928, 16).B), "BMP: BitmapInfoHeader.biWidth invalid");
  EXPECT_EQ(ReadError(Dib().Info(5, 0, 24).B), "BMP: BitmapInfoHeader.biHeight invalid");
  Dib core;
  core.U32(12); core.U16(0); core.U16(7); core.U16(1); core.U16(24);
  EXPECT_EQ(ReadError(core.B, true), "BMP: BitmapCoreHeader.bcWidth invalid");
  TPixelGraphic g;
  Read(g, Dib().Info(0, 0, 24).B);
  EXPECT_TRUE(g.GetEmpty());
}

// A stream that ends inside the pixels: the rows there stay (upright) and
// the read error follows, with the progress end; less than half of the
// pixel bytes is refused before the image is made.
TEST(DIBCodec, TruncatedPixelsGiveTheRowsThereThenTheReadError) {
  for (int32_t h : {4, -4}) {
    SCOPED_TRACE(h);
    Dib d;
    d.Info(4, h, 8).Grey(256).Bytes({1, 1, 1, 1, 2, 2, 2, 2, 3, 3});  // two rows and a half
    TPixelGraphic g;
    int ends = 0;
    g.OnProgressEnd = [&](TObject*) { ++ends; };
    EXPECT_THROW(Read(g, d.B), EReadError);
    EXPECT_EQ(ends, 1);
    ASSERT_EQ(g.GetHeight(), 4);
    // Stored first: the bottom row of a bottom-up file, the top row of a top-down one.
    const int32_t first = h > 0 ? 3 : 0, second = h > 0 ? 2 : 1, third = h > 0 ? 1 : 2;
    EXPECT_EQ(g.GetPixel(0, first), 1u);
    EXPECT_EQ(g.GetPixel(3, second), 2u);
    EXPECT_EQ(g.GetPixel(1, third), 3u);
    EXPECT_EQ(g.GetPixel(3, third), 0u);
  }
  Dib wide;
  wide.Info(2, 2, 16).Bytes({0x00, 0x7C, 0x00, 0x7C, 0xFF});  // one 16-bit row and a byte
  TPixelGraphic w;
  EXPECT_THROW(Read(w, wide.B), EReadError);
  EXPECT_EQ(w.GetPixel(1, 1), RGB(255, 0, 0));
  TPixelGraphic few;
  EXPECT_THROW(Read(few, Dib().Info(4, 4, 8).Grey(256).Bytes({1, 1, 1, 1, 2, 2, 2}).B), EReadError);
  EXPECT_TRUE(few.GetEmpty());
  // Run-length data cut short is decoded as far as it goes.
  Dib rle;
  rle.Info(4, 2, 8, 1, 0, 10).Grey(256).Bytes({4, 9, 0, 0, 2, 8});
  TPixelGraphic r;
  EXPECT_THROW(Read(r, rle.B), EReadError);
  EXPECT_EQ(r.GetPixel(3, 1), 9u);
  EXPECT_EQ(r.GetPixel(1, 0), 8u);
}

// A literal run of odd length is padded to an even length; the pad byte is
// no code.
TEST(DIBCodec, OddLiteralRunsSkipTheirPadByte) {
  TPixelGraphic g;
  Dib e;
  e.Info(5, 2, 8, 1, 0, 20).Grey(256).Bytes({0, 3, 1, 2, 3, 0, 2, 7, 0, 0, 0, 5, 9, 8, 7, 6, 5, 0, 0, 1});
  Read(g, e.B);
  const uint32_t bottom[5] = {1, 2, 3, 7, 7}, top[5] = {9, 8, 7, 6, 5};
  for (int32_t x = 0; x < 5; ++x) {
    EXPECT_EQ(g.GetPixel(x, 1), bottom[x]) << x;
    EXPECT_EQ(g.GetPixel(x, 0), top[x]) << x;
  }
  // RLE4: five pixels take three bytes and a pad byte.
  Dib f;
  f.Info(7, 1, 4, 2, 16, 10).Grey(16).Bytes({0, 5, 0x12, 0x34, 0x50, 0, 2, 0x77, 0, 1});
  Read(g, f.B);
  const uint32_t row[7] = {1, 2, 3, 4, 5, 7, 7};
  for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(g.GetPixel(x, 0), row[x]) << x;
}

TEST(DIBCodec, ProgressInTenthsAndAbort) {
  for (int bytes : {100, 101}) {
    TPixelGraphic g;
    std::vector<int32_t> steps;
    g.OnProgress = [&](TObject*, int32_t s, int32_t m, bool&) { if (m == 10) steps.push_back(s); };
    Dib d;
    d.Info(bytes / 1, 1, 8).Grey(256);  // one row of `bytes` pixels padded to a multiple of 4
    int padded = (bytes + 3) / 4 * 4;
    d.B.resize(d.B.size() + padded, 1);
    Read(g, d.B);
    if (padded <= 100) EXPECT_TRUE(steps.empty());
    else EXPECT_EQ(steps, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  }
  TPixelGraphic g;
  g.OnProgress = [&](TObject*, int32_t s, int32_t, bool& abort) { abort = s == 2; };
  Dib d;
  d.Info(200, 1, 8).Grey(256);
  d.B.resize(d.B.size() + 200, 9);
  Read(g, d.B);
  EXPECT_EQ(g.GetPixel(0, 0), 9u);
  EXPECT_EQ(g.GetPixel(199, 0), 0u);  // reading stopped after the second tenth
}

TEST(DIBCodec, WritesFullTableForEmptyPaletteAndSizesMatch) {
  TPixelGraphic g;
  g.NewImage(2, 2, pf1Bit);
  g.SetPaletteCount(2);
  EXPECT_EQ(g.GetDIBSize(), 40u + 8 + 8);
  g.SetPaletteCount(0);
  TMemoryStream m;
  g.WriteDIB(m);
  EXPECT_EQ(m.Size(), 40 + 8 + 8);
  EXPECT_EQ(g.GetDIBSize(), 56u);
  EXPECT_EQ(g.GetBMPFileSize(), 70u);
  EXPECT_EQ(m.Bytes()[32], 2);  // colours used
  m.SetPosition(0);
  TPixelGraphic b;
  b.ReadDIB(m, false, 0);
  EXPECT_EQ(b.PaletteCount(), 2);
  TPixelGraphic big;
  big.NewImage(1, 1, pf4Bit);
  big.SetPaletteCount(256);  // more than the format holds
  TMemoryStream n;
  big.WriteDIB(n);
  EXPECT_EQ(n.Size(), 40 + 16 * 4 + 4);
  EXPECT_EQ(big.GetDIBSize(), 40u + 16 * 4 + 4);
}

TEST(DIBCodec, ClipboardRoundTripAndMalformedData) {
  TPixelGraphic a;
  a.NewImage(3, 2, pf24Bit);
  a.SetPixel(2, 1, clOlive);
  uint16_t fmt = 0;
  uintptr_t data = 0;
  HPALETTE pal = reinterpret_cast<HPALETTE>(1);
  a.SaveToClipboardFormat(fmt, data, pal);
  EXPECT_EQ(fmt, CF_DIB);
  EXPECT_EQ(pal, nullptr);
  EXPECT_EQ(GlobalSize(data), a.GetDIBSize());
  TPixelGraphic b;
  int changes = 0;
  b.OnChange = [&](TObject*) { ++changes; };
  b.LoadFromClipboardFormat(CF_DIB, data, nullptr);
  EXPECT_EQ(b.GetPixel(2, 1), clOlive);
  EXPECT_EQ(b.PaletteIdent(), pTrueColor);
  EXPECT_GE(changes, 1);
  GlobalFree(data);
  EXPECT_THROW(b.LoadFromClipboardFormat(CF_TEXT, data, nullptr), EPGUnknownClipboardFormat);
  EXPECT_THROW(b.LoadFromClipboardFormat(CF_DIB, 0, nullptr), EPGUnknownClipboardFormat);
  // A malformed block: the update level and the lock are back afterwards.
  HGLOBAL bad = GlobalFromBytes({40, 0, 0, 0, 1, 0, 0, 0});
  EXPECT_THROW(b.LoadFromClipboardFormat(CF_DIB, bad, nullptr), Exception);
  EXPECT_EQ(b.UpdateCount(), 0);
  EXPECT_FALSE(GlobalUnlock(bad));
  GlobalFree(bad);
  // CF_BITMAP given as a bitmap handle is converted to DIB bytes first.
  TBitmapInfo256 bi{};
  bi.bmiHeader.biWidth = 1;
  bi.bmiHeader.biHeight = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP hb = CreateDIBSection(nullptr, bi.Info(), DIB_RGB_COLORS, &bits, nullptr, 0);
  static_cast<uint8_t*>(bits)[2] = 200;
  b.LoadFromClipboardFormat(CF_BITMAP, reinterpret_cast<uintptr_t>(hb), nullptr);
  EXPECT_EQ(b.GetPixel(0, 0), RGB(200, 0, 0));
  DeleteObject(hb);
}

TEST(DIBCodec, FormStreamingKeepsTheStreamPosition) {
  TPixelGraphic a;
  a.NewImage(2, 2, pf8Bit);
  a.SetPaletteIdent(pGray256);
  a.SetPixel(1, 1, 200);
  TMemoryStream m;
  a.WriteData(m);
  m.WriteBuffer("tail", 4);
  uint32_t n;
  std::memcpy(&n, m.Memory(), 4);
  EXPECT_EQ(n, a.GetBMPFileSize());
  // Handing the image to a bitmap gives it the image's DIB.
  TBitmap bmp;
  a.AssignToGraphic(&bmp);
  EXPECT_EQ(bmp.Width(), 2);
  EXPECT_EQ(bmp.PixelFormat(), pf8bit);
  EXPECT_EQ(bmp.Canvas()->Pixels(1, 1), RGB(200, 200, 200));
}

// Handing an image to a bitmap and back copies DIB memory in place; the
// result is the one the bitmap-file route gives.
TEST(DIBCodec, HandOverToABitmapAndBackMatchesTheBitmapFileRoute) {
  uint32_t seed = 7;
  for (uint8_t format : {pf1Bit, pf4Bit, pf8Bit, pf24Bit}) {
    TPixelGraphic a;
    a.NewImage(13, 7, format);
    if (format != pf24Bit) {
      a.SetPaletteCount(2);  // fewer entries than the table holds
      a.SetPaletteEntry(0, RGB(10, 20, 30));
      a.SetPaletteEntry(1, RGB(200, 100, 50));
    }
    a.SetXResolution(3780);
    a.SetYResolution(2000);
    for (int32_t y = 0; y < 7; ++y)
      for (int32_t x = 0; x < 13; ++x) a.SetPixel(x, y, (seed = seed * 1664525u + 1013904223u) >> 8);
    TBitmap direct, viaFile;
    a.AssignToGraphic(&direct);
    TMemoryStream file;
    a.WriteData(file);  // the stored size, then a bitmap file
    file.SetPosition(4);
    viaFile.LoadFromStream(file);
    ASSERT_EQ(direct.PixelFormat(), viaFile.PixelFormat());
    EXPECT_EQ(PackedDIBFromBitmap(direct.Handle()), PackedDIBFromBitmap(viaFile.Handle())) << int(format);

    TPixelGraphic back, read;
    // The hand-over reports its progress as reading the bitmap file would.
    std::vector<int32_t> steps;
    int starts = 0, ends = 0;
    back.OnProgressStart = [&](TObject* Sender) { starts += Sender == &back; };
    back.OnProgressEnd = [&](TObject* Sender) { ends += Sender == &back; };
    back.OnProgress = [&](TObject*, int32_t Step, int32_t Max, bool&) { if (Max == 10) steps.push_back(Step); };
    back.AssignFromGraphic(&direct);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(steps.size(), back.ImageSize() > 100 ? 10u : 0u) << int(format);
    Read(read, PackedDIBFromBitmap(direct.Handle()));
    read.DetectPaletteIdent();
    ASSERT_EQ(back.PixelFormat(), read.PixelFormat());
    ASSERT_EQ(back.PaletteCount(), read.PaletteCount());
    for (int32_t i = 0; i < read.PaletteCount(); ++i) EXPECT_EQ(back.GetPaletteEntry(i), read.GetPaletteEntry(i));
    EXPECT_EQ(back.PaletteIdent(), read.PaletteIdent());
    EXPECT_EQ(back.XResolution(), 3780);
    EXPECT_EQ(back.YResolution(), 2000);
    ASSERT_EQ(back.ImageSize(), read.ImageSize());
    EXPECT_EQ(std::memcmp(back.GetBits(), read.GetBits(), read.ImageSize()), 0) << int(format);
  }
}

// ImageMagick writes RLE8 (and reads RLE4): our decoder must give its pixels.
TEST(DIBCodec, RLEFilesAgreeWithImageMagick) {
  std::string dir = std::getenv("QUILLON_BUILD_DIR") ? std::getenv("QUILLON_BUILD_DIR") : QUILLON_BUILD_DIR;
  if (std::system("convert -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick is not installed";
  auto decodeBMP = [](const std::string& path, TPixelGraphic& g) {
    TMemoryStream m;
    m.LoadFromFile(path);
    const uint8_t* p = m.Memory();
    uint32_t off = p[10] | (p[11] << 8) | (p[12] << 16) | (uint32_t(p[13]) << 24);
    m.SetPosition(14);
    g.ReadDIB(m, false, static_cast<int32_t>(off) - 14);
  };
  auto theirPixels = [](const std::string& path, int n) {
    std::string out = path + ".rgb";
    std::string cmd = "convert '" + path + "' -depth 8 rgb:'" + out + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    TMemoryStream m;
    m.LoadFromFile(out);
    EXPECT_EQ(m.Size(), 3 * n);
    return m.Bytes();
  };
  std::string rle8 = dir + "/core_im_rle8.bmp";
  ASSERT_EQ(std::system(("convert -seed 3 -size 37x23 plasma:fractal -colors 40 -type palette -compress RLE BMP3:'" + rle8 + "'").c_str()), 0);
  TPixelGraphic g;
  decodeBMP(rle8, g);
  TMemoryStream check;
  check.LoadFromFile(rle8);
  ASSERT_EQ(check.Memory()[30], 1);  // BI_RLE8
  std::vector<uint8_t> want = theirPixels(rle8, 37 * 23);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) {
      TColor c = g.GetPixelColor(x, y);
      size_t i = 3 * (y * 37 + x);
      ASSERT_EQ(c, RGB(want[i], want[i + 1], want[i + 2])) << x << "," << y;
    }
  // RLE4 made by us, decoded by both.
  Dib r;
  std::vector<uint8_t> enc = {0x05, 0x1F, 0x00, 0x04, 0xAB, 0xCD, 0x00, 0x00, 0x03, 0x22, 0x00, 0x02, 0x02, 0x01,
                              0x02, 0x9E, 0x00, 0x00, 0x00, 0x01};
  r.Info(8, 3, 4, 2, 16, static_cast<uint32_t>(enc.size()));
  for (int i = 0; i < 16; ++i) { r.U8(i * 16); r.U8(255 - i * 16); r.U8(i * 8); r.U8(0); }
  r.B.insert(r.B.end(), enc.begin(), enc.end());
  std::vector<uint8_t> file = {'B', 'M'};
  uint32_t total = static_cast<uint32_t>(14 + r.B.size());
  for (int k = 0; k < 4; ++k) file.push_back(static_cast<uint8_t>(total >> (8 * k)));
  file.insert(file.end(), {0, 0, 0, 0, 14 + 40 + 64, 0, 0, 0});
  file.insert(file.end(), r.B.begin(), r.B.end());
  std::string rle4 = dir + "/core_rle4.bmp";
  TMemoryStream f;
  f.Bytes() = file;
  f.SaveToFile(rle4);
  decodeBMP(rle4, g);
  std::vector<uint8_t> theirs = theirPixels(rle4, 8 * 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 8; ++x) {
      size_t i = 3 * (y * 8 + x);
      EXPECT_EQ(g.GetPixelColor(x, y), RGB(theirs[i], theirs[i + 1], theirs[i + 2])) << x << "," << y;
    }
}

namespace {

// A BMP reader over ReadDIB for the form-streaming test.
class TTestBMPReader : public TFileFormatReader {
public:
  TTestBMPReader() { SetExtension("bmp"); }
  void Read(TStream& Stream, TPixelGraphic& Graphic, int32_t) override {
    uint8_t fh[14];
    Stream.ReadBuffer(fh, 14);
    int32_t off = fh[10] | (fh[11] << 8) | (fh[12] << 16) | (fh[13] << 24);
    Graphic.ReadDIB(Stream, false, off - 14);
  }
};

}  // namespace

TEST(DIBCodec, FormStreamingReadsBackAndSkipsToTheStoredEnd) {
  InitFileFormatRegistries();
  RegisterFileFormatReader(std::make_unique<TTestBMPReader>());
  TPixelGraphic a;
  a.NewImage(3, 2, pf24Bit);
  a.SetPixel(2, 1, clPurple);
  TMemoryStream m;
  a.WriteData(m);
  // Stored size larger than the BMP: the reader stops early, the stream goes on after it.
  uint32_t stored;
  std::memcpy(&stored, m.Memory(), 4);
  stored += 5;
  std::memcpy(m.Memory(), &stored, 4);
  m.WriteBuffer("12345tail", 9);
  m.SetPosition(0);
  TPixelGraphic b;
  b.ReadData(m);
  EXPECT_EQ(b.GetPixel(2, 1), clPurple);
  char tail[4];
  m.ReadBuffer(tail, 4);
  EXPECT_EQ(std::string(tail, 4), "tail");
  FreeFileFormatRegistries();
}
