#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/exceptions.h"
#include "imaging/core/options.h"
#include "imaging/core/pixel_graphic.h"

namespace {

// Counts OnChange notifications of an image.
struct ChangeCounter {
  int count = 0;
  explicit ChangeCounter(TPixelGraphic& g) {
    g.OnChange = [this](TObject*) { ++count; };
  }
};

class NotAPixelGraphic : public TPersistent {};

}  // namespace

TEST(PixelGraphic, ConstructionDefaults) {
  TPixelGraphic g;
  EXPECT_TRUE(g.GetEmpty());
  EXPECT_EQ(g.PixelFormat(), pf24Bit);
  EXPECT_EQ(g.PaletteIdent(), pTrueColor);
  EXPECT_EQ(g.Gamma(), 2.2L);
  EXPECT_TRUE(g.Dither());
  EXPECT_EQ(g.DitherErrorLimit(), 32);
  EXPECT_TRUE(g.UseColorCache());
  EXPECT_TRUE(g.RGBWeighting());
  EXPECT_EQ(g.StretchMode(), smPrecise);
  EXPECT_EQ(g.ReadWarningAction(), pgwaOKCancelBox);
  EXPECT_EQ(g.SaveColorResWarningAction(), pgwaOKCancelBox);
  EXPECT_EQ(g.BitmapInfo(), nullptr);
  EXPECT_EQ(g.ScanLine(0), nullptr);
}

TEST(PixelGraphic, LayoutArithmetic) {
  struct Case { int32_t w, h; uint8_t fmt; uint32_t bpl; };
  const Case cases[] = {
      {3, 2, pf1Bit, 4},  {33, 1, pf1Bit, 8},  {5, 1, pf4Bit, 4},   {9, 1, pf4Bit, 8},
      {3, 2, pf8Bit, 4},  {5, 3, pf8Bit, 8},   {3, 2, pf24Bit, 12}, {1, 1, pf24Bit, 4},
      {5, 2, pf24Bit, 16}, {32, 1, pf1Bit, 4},
  };
  for (const Case& c : cases) {
    TPixelGraphic g;
    g.NewImage(c.w, c.h, c.fmt);
    EXPECT_EQ(g.BytesPerLine(), c.bpl) << c.w << " " << int(c.fmt);
    EXPECT_EQ(g.ImageSize(), c.bpl * c.h);
    // Rows are stored bottom-up.
    EXPECT_EQ(g.ScanLine(0), g.GetBits() + (c.h - 1) * c.bpl);
    EXPECT_EQ(g.ScanLine(c.h - 1), g.GetBits());
    const BITMAPINFOHEADER& h = g.BitmapInfo()->bmiHeader;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, c.w);
    EXPECT_EQ(h.biHeight, c.h);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, g.GetBitCount());
    EXPECT_EQ(h.biSizeImage, g.ImageSize());
    EXPECT_EQ(h.biClrUsed, static_cast<uint32_t>(g.GetMaxColors()));
  }
}

TEST(PixelGraphic, PixelBitsLieWhereTheLayoutSays) {
  TPixelGraphic g;
  g.NewImage(3, 2, pf24Bit);
  g.SetPixel(0, 0, 0x00332211);  // red 0x11, green 0x22, blue 0x33
  const uint8_t* last = g.GetBits() + g.BytesPerLine();  // last memory row = image row 0
  EXPECT_EQ(last[0], 0x33);
  EXPECT_EQ(last[1], 0x22);
  EXPECT_EQ(last[2], 0x11);
  EXPECT_EQ(g.GetPixel(0, 0), 0x00332211u);

  g.NewImage(10, 1, pf1Bit);
  g.SetPixel(0, 0, 1);
  g.SetPixel(9, 0, 1);
  EXPECT_EQ(g.GetBits()[0], 0x80);
  EXPECT_EQ(g.GetBits()[1], 0x40);

  g.NewImage(3, 1, pf4Bit);
  g.SetPixel(0, 0, 0xA);
  g.SetPixel(1, 0, 0x5);
  g.SetPixel(2, 0, 0x1F);  // only the low nibble counts
  EXPECT_EQ(g.GetBits()[0], 0xA5);
  EXPECT_EQ(g.GetBits()[1], 0xF0);
}

TEST(PixelGraphic, PixelRoundTripsInEveryFormat) {
  const uint32_t masks[4] = {1, 0xF, 0xFF, 0xFFFFFF};
  for (uint8_t fmt = 0; fmt < 4; ++fmt) {
    TPixelGraphic g;
    g.NewImage(13, 7, fmt);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 13; ++x) g.SetPixel(x, y, static_cast<uint32_t>(x * 7919 + y * 104729) & masks[fmt]);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 13; ++x)
        EXPECT_EQ(g.GetPixel(x, y), static_cast<uint32_t>(x * 7919 + y * 104729) & masks[fmt])
            << int(fmt) << " " << x << "," << y;
    // Padding bytes stay zero.
    const uint32_t used = (13 * g.GetBitCount() + 7) / 8;
    for (int y = 0; y < 7; ++y)
      for (uint32_t b = used; b < g.BytesPerLine(); ++b) EXPECT_EQ(g.ScanLine(y)[b], 0) << int(fmt);
  }
}

TEST(PixelGraphic, OutsideAccessIsNoError) {
  TPixelGraphic g;
  g.SetPaletteIdent(pGray16);
  g.NewImage(4, 4, pf4Bit);
  g.SetTransparentColor(0x00444444);
  EXPECT_EQ(g.GetPixel(-1, 0), 4u);  // the stored index
  EXPECT_EQ(g.GetPixel(0, 4), 4u);
  g.SetPixel(4, 0, 7);
  g.SetPixel(0, -1, 7);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(g.GetPixel(x, y), 0u);

  g.NewImage(4, 1, pf1Bit);
  g.SetPixel(0, 0, 1);
  g.SetPixel(0, 0, 2);  // any value but 1 clears the bit
  EXPECT_EQ(g.GetPixel(0, 0), 0u);
}

TEST(PixelGraphic, ColoursThroughThePalette) {
  TPixelGraphic g;
  g.NewImage(2, 1, pf8Bit);
  g.SetPaletteCount(3);
  g.SetPaletteEntry(0, 0x000000FF);
  g.SetPaletteEntry(1, 0x0000FF00);
  g.SetPaletteEntry(2, 0x00FF0000);
  g.SetPixelColor(0, 0, 0x0000F000);
  EXPECT_EQ(g.GetPixel(0, 0), 1u);
  EXPECT_EQ(g.GetPixelColor(0, 0), 0x0000FF00u);
  // An index past the palette (legal in files) reads as entry 0.
  g.SetPixel(1, 0, 200);
  EXPECT_EQ(g.GetPixelColor(1, 0), 0x000000FFu);
  g.SetPaletteCount(0);
  EXPECT_EQ(g.GetPixelColor(1, 0), 0u);

  TPixelGraphic t;
  t.NewImage(1, 1, pf24Bit);
  t.SetPixelColor(0, 0, 0x00123456);
  EXPECT_EQ(t.GetPixelColor(0, 0), 0x00123456u);
  t.SetTransparentColor(0x00ABCDEF);
  EXPECT_EQ(t.GetTransparentColor(), 0x00ABCDEFu);
}

TEST(PixelGraphic, ClearFillsWithTheTransparentColour) {
  TPixelGraphic g;
  g.NewImage(11, 3, pf1Bit);
  g.SetPaletteIdent(pBlackWhite);
  g.SetPixel(0, 0, 1);
  g.Clear();
  EXPECT_EQ(g.GetPixel(0, 0), 0u);

  g.SetTransparentColor(0x00FFFFFF);  // index 1
  g.Clear();
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 11; ++x) EXPECT_EQ(g.GetPixel(x, y), 1u);
    EXPECT_EQ(g.ScanLine(y)[1], 0xE0);  // padding bits stay 0
    EXPECT_EQ(g.ScanLine(y)[2], 0);
  }

  for (uint8_t fmt : {pf4Bit, pf8Bit, pf24Bit}) {
    TPixelGraphic h;
    h.NewImage(5, 2, fmt);
    if (fmt != pf24Bit) h.SetPaletteIdent(pGray16);
    h.SetTransparentColor(fmt == pf24Bit ? 0x00102030 : 0x00888888);
    h.Clear();
    const uint32_t want = fmt == pf24Bit ? 0x00102030u : 8u;
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 5; ++x) EXPECT_EQ(h.GetPixel(x, y), want) << int(fmt);
    EXPECT_EQ(h.ScanLine(0)[h.BytesPerLine() - 1], 0) << int(fmt);
  }
}

TEST(PixelGraphic, NewImageNotifiesAndKeepsThePalette) {
  TPixelGraphic g;
  ChangeCounter changes(g);
  g.NewImage(4, 4, pf8Bit);
  EXPECT_EQ(changes.count, 1);
  g.SetPixel(1, 1, 9);
  g.NewImage(4, 4, pf8Bit);  // same size and format: cleared, one notification
  EXPECT_EQ(changes.count, 2);
  EXPECT_EQ(g.GetPixel(1, 1), 0u);

  g.SetPaletteIdent(pGray256);
  g.NewImage(0, 0, pf8Bit);
  EXPECT_EQ(changes.count, 3);
  EXPECT_TRUE(g.GetEmpty());
  EXPECT_EQ(g.PaletteCount(), 256);
  EXPECT_EQ(g.ImageSize(), 0u);

  g.NewImage(2, 2, pf8Bit);
  EXPECT_EQ(g.BitmapInfo()->bmiColors[255].rgbRed, 255);
  g.NewImage(2, 2, pf1Bit);  // the palette is trimmed to the format
  EXPECT_EQ(g.PaletteCount(), 2);
  EXPECT_EQ(g.PaletteIdent(), pUnknown);
  g.NewImage(2, 2, pf24Bit);
  EXPECT_EQ(g.PaletteCount(), 0);
  EXPECT_EQ(g.PaletteIdent(), pTrueColor);
}

TEST(PixelGraphic, ColourTableRepeatsEntryZeroPastThePalette) {
  TPixelGraphic g;
  g.SetPaletteCount(2);
  g.SetPaletteEntry(0, 0x00030201);
  g.SetPaletteEntry(1, 0x00060504);
  g.NewImage(1, 1, pf4Bit);
  const RGBQUAD* t = g.BitmapInfo()->bmiColors;
  EXPECT_EQ((RGBQUAD{3, 2, 1, 0}.rgbBlue), t[0].rgbBlue);
  EXPECT_EQ(t[1].rgbBlue, 6);
  EXPECT_EQ(t[1].rgbRed, 4);
  for (int i = 2; i < 16; ++i) {
    EXPECT_EQ(t[i].rgbBlue, 3);
    EXPECT_EQ(t[i].rgbGreen, 2);
    EXPECT_EQ(t[i].rgbRed, 1);
  }
  TPixelGraphic e;
  e.NewImage(1, 1, pf1Bit);
  EXPECT_EQ(e.BitmapInfo()->bmiColors[1].rgbRed, 0);
}

TEST(PixelGraphic, SizeChangesGoThroughNewImage) {
  TPixelGraphic g;
  ChangeCounter changes(g);
  g.SetWidth(5);  // 5 x 0: still empty
  EXPECT_TRUE(g.GetEmpty());
  g.SetHeight(3);
  EXPECT_FALSE(g.GetEmpty());
  g.SetHeight(3);  // unchanged: nothing happens
  EXPECT_EQ(changes.count, 2);
  g.SetPixelFormat(pf4Bit);
  EXPECT_EQ(g.BytesPerLine(), 4u);
  EXPECT_EQ(changes.count, 3);
  EXPECT_EQ(TPixelGraphic::BitCountToPixelFormat(8), pf8Bit);
  try {
    TPixelGraphic::BitCountToPixelFormat(16);
    FAIL();
  } catch (const EPGInvalidBitCountNum& e) {
    EXPECT_EQ(e.Message(), "Invalid value for BitCountNum");
  }
}

TEST(PixelGraphic, NegativeSizesAreRefusedAndLeaveTheImage) {
  TPixelGraphic g;
  g.NewImage(3, 3, pf8Bit);
  try {
    g.NewImage(-1, -1, pf8Bit);
    FAIL();
  } catch (const EPGInvalidSize& e) {
    EXPECT_EQ(e.Message(), "Negative width");
  }
  try {
    g.NewImage(1, -1, pf8Bit);
    FAIL();
  } catch (const EPGInvalidSize& e) {
    EXPECT_EQ(e.Message(), "Negative height");
  }
  EXPECT_THROW(g.NewImage(1, 1, 4), EPixelGraphic);
  EXPECT_EQ(g.GetWidth(), 3);
  EXPECT_EQ(g.ImageSize(), 12u);
}

TEST(PixelGraphic, SizesPastTheCapAreRefusedWithoutOverflow) {
  EXPECT_EQ(CheckPGImageSize(3, 2, pf24Bit), 24);
  // 32-bit arithmetic would wrap these around to small sizes.
  EXPECT_THROW(CheckPGImageSize(0x7FFFFFFF, 0x7FFFFFFF, pf24Bit), EPGInvalidSize);
  EXPECT_THROW(CheckPGImageSize(65536, 65536, pf24Bit), EPGInvalidSize);
  EXPECT_THROW(CheckPGImageSize(0x7FFFFFFF, 1, pf24Bit), EPGInvalidSize);
  EXPECT_EQ(CheckPGImageSize(0x7FFFFFFF, 0, pf24Bit), 0);

  TPixelGraphic g;
  g.NewImage(2, 2, pf24Bit);
  try {
    g.NewImage(100000, 100000, pf24Bit);
    FAIL();
  } catch (const EPGInvalidSize& e) {
    EXPECT_EQ(e.Message(), "Invalid size of 100000 x 100000");
  }
  // The image keeps the asked size but has no pixel memory, and every
  // accessor treats it as having no pixels.
  EXPECT_EQ(g.GetWidth(), 100000);
  EXPECT_TRUE(g.GetEmpty());
  EXPECT_EQ(g.ImageSize(), 0u);
  EXPECT_EQ(g.BytesPerLine(), 0u);
  EXPECT_EQ(g.BitmapInfo(), nullptr);
  EXPECT_EQ(g.ScanLine(5), nullptr);
  EXPECT_EQ(g.GetPixel(5, 5), 0u);
  g.SetPixel(5, 5, 1);
  g.Clear();

  const uint32_t saved = PGMaxImageSize;
  PGMaxImageSize = 100;
  EXPECT_NO_THROW(CheckPGImageSize(5, 5, pf24Bit));  // 16 * 5 = 80
  EXPECT_THROW(CheckPGImageSize(10, 5, pf24Bit), EPGInvalidSize);
  // The cap never passes the largest surface the platform can draw into, so
  // an image the library accepts always gets one.
  PGMaxImageSize = 0xFFFFFFFF;
  EXPECT_EQ(CheckPGImageSize(32768, 32768, pf8Bit), MaxSurfaceBytes);
  EXPECT_THROW(CheckPGImageSize(32768, 32769, pf8Bit), EPGInvalidSize);
  EXPECT_THROW(CheckPGImageSize(20000, 20000, pf24Bit), EPGInvalidSize);
  PGMaxImageSize = saved;
}

TEST(PixelGraphic, UpdatesHoldBackOnChange) {
  TPixelGraphic g;
  ChangeCounter changes(g);
  g.BeginUpdate();
  g.NewImage(2, 2, pf24Bit);
  g.Clear();
  g.SetUseColorCache(false);
  EXPECT_EQ(changes.count, 0);
  g.EndUpdate();
  EXPECT_EQ(changes.count, 1);

  g.BeginUpdate();
  g.BeginUpdate();
  g.Clear();
  g.EndUpdate();
  EXPECT_EQ(changes.count, 1);
  g.EndUpdate();
  EXPECT_EQ(changes.count, 2);

  // Setters of options and pixels do not notify.
  g.SetPixel(0, 0, 5);
  g.SetGamma(2.2L);
  g.SetDither(false);
  g.SetRGBWeighting(false);
  g.SetTransparent(true);
  EXPECT_EQ(changes.count, 2);
}

TEST(PixelGraphic, AssignCopiesEveryField) {
  TPixelGraphic src;
  src.NewImage(5, 3, pf8Bit);
  src.SetPaletteIdent(pGray16);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) src.SetPixel(x, y, static_cast<uint32_t>(x + 5 * y));
  src.SetTransparentColor(0x00FFFFFF);
  src.SetDither(false);
  src.SetDitherErrorLimit(7);
  src.SetDitherErrorLimitAuto(false);
  src.SetDitherErrorLimitSoft(false);
  src.SetUseColorCache(false);
  src.SetGamma(2.2L);
  src.SetXResolution(3780);
  src.SetYResolution(2835);
  src.SetRGBWeighting(false);
  src.SetSmoothRotate(false);
  src.SetStretchMode(smFast);
  src.SetReadWarningAction(pgwaRaise);
  src.SetTransparent(true);
  src.SetSaveColorResWarningAction(pgwaIgnore);
  src.SetPreviewRead(true);

  TPixelGraphic dst;
  ChangeCounter changes(dst);
  dst.Assign(&src);
  EXPECT_EQ(changes.count, 1);
  EXPECT_EQ(dst.GetWidth(), 5);
  EXPECT_EQ(dst.GetHeight(), 3);
  EXPECT_EQ(dst.PixelFormat(), pf8Bit);
  EXPECT_EQ(0, std::memcmp(dst.GetBits(), src.GetBits(), src.ImageSize()));
  EXPECT_EQ(dst.PaletteIdent(), pGray16);
  EXPECT_TRUE(dst.IsGrayPalette());
  EXPECT_TRUE(dst.SamePalette(&src));
  EXPECT_EQ(dst.GetPixel(-1, -1), 15u);
  EXPECT_FALSE(dst.Dither());
  EXPECT_EQ(dst.DitherErrorLimit(), 7);
  EXPECT_FALSE(dst.DitherErrorLimitAuto());
  EXPECT_FALSE(dst.DitherErrorLimitSoft());
  EXPECT_FALSE(dst.UseColorCache());
  EXPECT_EQ(dst.Gamma(), 2.2L);
  EXPECT_EQ(dst.XResolution(), 3780);
  EXPECT_EQ(dst.YResolution(), 2835);
  EXPECT_FALSE(dst.RGBWeighting());
  EXPECT_FALSE(dst.SmoothRotate());
  EXPECT_EQ(dst.StretchMode(), smFast);
  EXPECT_EQ(dst.ReadWarningAction(), pgwaRaise);
  EXPECT_TRUE(dst.GetTransparent());
  EXPECT_EQ(dst.SaveColorResWarningAction(), pgwaIgnore);
  EXPECT_FALSE(dst.PreviewRead());  // not copied
  EXPECT_EQ(dst.BitmapInfo()->bmiColors[15].rgbGreen, 255);

  dst.Assign(nullptr);
  EXPECT_TRUE(dst.GetEmpty());
  EXPECT_EQ(dst.PixelFormat(), pf24Bit);
  EXPECT_EQ(changes.count, 2);
  // New memory takes dst's transparent colour (white, from src) at first: a
  // blank picture's zeros are copied over it all the same.
  TPixelGraphic blank;
  blank.NewImage(64, 64, pf24Bit);
  dst.Assign(&blank);
  EXPECT_EQ(0, std::memcmp(dst.GetBits(), blank.GetBits(), blank.ImageSize()));

  NotAPixelGraphic other;
  EXPECT_THROW(dst.Assign(&other), EConvertError);
}

TEST(PixelGraphic, AssignFromItselfKeepsTheImage) {
  TPixelGraphic g;
  g.NewImage(4, 2, pf24Bit);
  g.SetPixel(3, 1, 0x00ABCDEF);
  ChangeCounter changes(g);
  g.Assign(&g);
  EXPECT_EQ(g.GetPixel(3, 1), 0x00ABCDEFu);
  EXPECT_EQ(changes.count, 0);
}

TEST(PixelGraphic, FailedAssignLeavesNotificationWorking) {
  TPixelGraphic src;
  src.NewImage(50, 50, pf24Bit);
  TPixelGraphic dst;
  ChangeCounter changes(dst);
  const uint32_t saved = PGMaxImageSize;
  PGMaxImageSize = 1000;
  EXPECT_THROW(dst.Assign(&src), EPGInvalidSize);
  PGMaxImageSize = saved;
  EXPECT_EQ(dst.UpdateCount(), 0);
  dst.NewImage(1, 1, pf24Bit);
  EXPECT_EQ(changes.count, 1);
}

TEST(PixelGraphic, ProgressProtocol) {
  TPixelGraphic g;
  EXPECT_FALSE(g.Progress(0, 1));  // unassigned: no abort
  std::string log;
  g.OnProgressStart = [&](TObject* s) { log += s == &g ? "S" : "?"; };
  g.OnProgress = [&](TObject*, int32_t step, int32_t max, bool& abort) {
    EXPECT_FALSE(abort);
    log += std::to_string(step) + "/" + std::to_string(max);
    abort = step == 1;
  };
  g.OnProgressEnd = [&](TObject*) { log += "E"; };
  g.ProgressStart();
  EXPECT_FALSE(g.Progress(0, 2));
  EXPECT_TRUE(g.Progress(1, 2));
  g.ProgressEnd();
  EXPECT_EQ(log, "S0/21/2E");
}
