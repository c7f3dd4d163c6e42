#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <zlib.h>

#include "codec_test_util.h"
#include "imaging/core/chunks.h"
#include "imaging/core/exceptions.h"
#include "imaging/core/options.h"
#include "imaging/formats/pg_startup.h"
#include "imaging/formats/png_format.h"

namespace {

using PNGFormat = TCodecTest<TPNGFileFormatReader, TPNGFileFormatWriter, EPGPNGFileFormatReaderWriter>;

TPNGMaker Maker(int ColorType, int BitDepth, bool Interlaced = false) {
  TPNGMaker m;
  m.Width = 9;
  m.Height = 5;
  m.ColorType = ColorType;
  m.BitDepth = BitDepth;
  m.Interlaced = Interlaced;
  const uint32_t top = BitDepth == 16 ? 0xFFFF : (1u << BitDepth) - 1;
  m.Sample = [top](int32_t X, int32_t Y, int32_t S) { return static_cast<uint32_t>(X * 7 + Y * 3 + S * 5) % (top + 1); };
  if (ColorType == 3)
    for (uint32_t i = 0; i <= top; ++i)
      m.Palette.push_back({uint8_t(i * 40), uint8_t(255 - i * 17), uint8_t(i * 3)});
  return m;
}

TEST_F(PNGFormat, FieldsAndIdentify) {
  EXPECT_EQ(FReader.Extension(), "png");
  EXPECT_EQ(FReader.Description(), "Portable Network Graphics");
  EXPECT_EQ(FWriter.GetCanWriteResolutions(), 0xFF);
  TPGFileHeader h{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  EXPECT_TRUE(FReader.Identify(h));
  h[7] = 0;
  EXPECT_FALSE(FReader.Identify(h));
}

TEST_F(PNGFormat, EveryGreyAndPaletteDepth) {
  struct Case {
    int Type, Depth;
    int Bits;
    TPaletteIdent Kind;
  };
  for (bool interlaced : {false, true}) {
    for (const Case& c : {Case{0, 1, 1, pBlackWhite}, Case{0, 2, 4, pGray4}, Case{0, 4, 4, pGray16},
                          Case{0, 8, 8, pGray256}, Case{0, 16, 8, pGray256}, Case{3, 1, 1, pUnknown},
                          Case{3, 2, 4, pUnknown}, Case{3, 4, 4, pUnknown}, Case{3, 8, 8, pUnknown}}) {
      SCOPED_TRACE(std::to_string(c.Type) + "/" + std::to_string(c.Depth) + (interlaced ? " interlaced" : ""));
      TPNGMaker m = Maker(c.Type, c.Depth, interlaced);
      TPixelGraphic g;
      Read(MakePNG(m), g);
      ASSERT_EQ(g.GetBitCount(), c.Bits);
      ASSERT_EQ(g.GetWidth(), 9);
      if (c.Type == 0) {
        EXPECT_EQ(g.PaletteIdent(), c.Kind);
      } else {
        EXPECT_EQ(g.PaletteCount(), int32_t(m.Palette.size()));
      }
      for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 9; ++x) {
          const uint32_t v = m.Sample(x, y, 0);
          EXPECT_EQ(g.GetPixel(x, y), c.Depth == 16 ? v >> 8 : v) << x << "," << y;
        }
    }
  }
}

TEST_F(PNGFormat, ColourTypesWithAlphaAndSixteenBits) {
  for (bool interlaced : {false, true}) {
    TPNGMaker rgb16 = Maker(2, 16, interlaced);
    TPixelGraphic g;
    Read(MakePNG(rgb16), g);
    ASSERT_EQ(g.GetBitCount(), 24);
    EXPECT_EQ(g.GetPixelColor(4, 3), (rgb16.Sample(4, 3, 0) >> 8) | (rgb16.Sample(4, 3, 1) >> 8) << 8 |
                                         (rgb16.Sample(4, 3, 2) >> 8) << 16);

    // Opaque alpha: the colours come through unchanged.
    TPNGMaker rgba = Maker(6, 8, interlaced);
    rgba.Sample = [](int32_t X, int32_t Y, int32_t S) { return S == 3 ? 255u : uint32_t(X * 20 + Y + S * 50); };
    Read(MakePNG(rgba), g);
    ASSERT_EQ(g.GetBitCount(), 24);
    EXPECT_EQ(g.GetPixelColor(2, 1), uint32_t(41 | 91 << 8 | 141 << 16));

    TPNGMaker ga = Maker(4, 8, interlaced);
    ga.Sample = [](int32_t X, int32_t, int32_t S) { return S == 1 ? 0u : uint32_t(X * 10); };  // all transparent
    TPixelGraphic grey;
    grey.SetTransparentColor(0x404040);
    Read(MakePNG(ga), grey);
    ASSERT_EQ(grey.GetBitCount(), 8);
    EXPECT_EQ(grey.PaletteIdent(), pGray256);
    EXPECT_EQ(grey.GetPixel(3, 2), 0x40u);  // flattened onto the transparent colour the graphic had
  }
}

TEST_F(PNGFormat, FlattensOntoTheFileBackground) {
  TPNGMaker m = Maker(6, 8);
  m.Sample = [](int32_t X, int32_t, int32_t S) {
    if (S == 3) return X == 0 ? 0u : X == 1 ? 128u : 255u;
    return S == 0 ? 200u : 0u;  // red
  };
  m.Bkgd = true;
  m.BkgdR = 0;
  m.BkgdG = 0;
  m.BkgdB = 250;
  TPixelGraphic g;
  Read(MakePNG(m), g);
  EXPECT_EQ(g.GetPixelColor(0, 0), 0xFA0000u);  // the background
  EXPECT_EQ(g.GetPixelColor(2, 0), 0x0000C8u);  // opaque red
  const TColor half = g.GetPixelColor(1, 0);
  EXPECT_NEAR(int(half & 0xFF), 100, 1);
  EXPECT_NEAR(int(half >> 16), 125, 1);
  EXPECT_EQ(g.GetTransparentColor(), 0xFA0000u);

  // Without the option: onto the transparent colour the graphic had.
  PNGUseFileBackground = false;
  TPixelGraphic other;
  other.SetTransparentColor(0x00FF00);
  Read(MakePNG(m), other);
  EXPECT_EQ(other.GetPixelColor(0, 0), 0x00FF00u);
  EXPECT_EQ(other.GetTransparentColor(), 0x00FF00u);
}

TEST_F(PNGFormat, TransparentColourFromBackgroundByDepth) {
  PNGUseFileBackground = true;
  // 2-bit grey with tRNS 1 and bKGD 2: the background grey at the file's depth.
  TPNGMaker g2 = Maker(0, 2);
  g2.TransGray = 1;
  g2.Bkgd = true;
  g2.BkgdGray = 2;
  TPixelGraphic g;
  Read(MakePNG(g2), g);
  EXPECT_EQ(g.GetBitCount(), 4);
  EXPECT_EQ(g.GetTransparentColor(), 0xAAAAAAu);  // 2 x 255 / 3
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 9; ++x) {
      const uint32_t v = g2.Sample(x, y, 0);
      EXPECT_EQ(g.GetPixel(x, y), v == 1 ? 2u : v) << x << "," << y;
    }

  // 8-bit grey.
  TPNGMaker g8 = Maker(0, 8);
  g8.TransGray = 10;
  g8.Bkgd = true;
  g8.BkgdGray = 77;
  Read(MakePNG(g8), g);
  EXPECT_EQ(g.GetTransparentColor(), 0x4D4D4Du);

  // 16-bit RGB with tRNS: the high bytes.
  TPNGMaker c16 = Maker(2, 16);
  c16.TransRGB = {0, 5, 10};
  c16.Bkgd = true;
  c16.BkgdR = 0x1234;
  c16.BkgdG = 0x5678;
  c16.BkgdB = 0x9ABC;
  Read(MakePNG(c16), g);
  EXPECT_EQ(g.GetTransparentColor(), 0x9A5612u);
  EXPECT_EQ(g.GetPixelColor(0, 0), 0x9A5612u);  // samples 0, 5, 10 are the tRNS colour

  // Palette with tRNS: the palette is the flattened one, and the transparent
  // colour is PLTE[bKGD index].
  TPNGMaker p = Maker(3, 4);
  p.TransAlpha = {0, 128};
  p.Bkgd = true;
  p.BkgdIndex = 5;
  Read(MakePNG(p), g);
  const TColor five = 200 | (255 - 85) << 8 | 15 << 16;
  EXPECT_EQ(g.GetTransparentColor(), five);
  EXPECT_EQ(g.GetPaletteEntry(0), five);  // fully transparent entry 0 became the background
  const TColor one = g.GetPaletteEntry(1);  // half of entry 1 (40, 238, 3) and half of entry 5
  EXPECT_NEAR(int(one & 0xFF), 120, 1);
  EXPECT_NEAR(int((one >> 8) & 0xFF), 204, 1);
  EXPECT_EQ(g.GetPaletteEntry(2), uint32_t(80 | 221 << 8 | 6 << 16));
}

TEST_F(PNGFormat, GammaResolutionAndOffsets) {
  TPNGMaker m = Maker(2, 8);
  m.Gamma = 0.5;
  m.Phys = true;
  m.PhysX = m.PhysY = 2835;
  TPixelGraphic g;
  Read(MakePNG(m), g);
  EXPECT_NEAR(double(g.Gamma()), 2.0, 1e-4);
  EXPECT_EQ(g.XResolution(), 2835);
  EXPECT_EQ(g.YResolution(), 2835);

  m = Maker(2, 8);
  m.Width = m.Height = 100;
  m.Phys = true;
  m.PhysUnit = 0;
  m.PhysX = 1;
  m.PhysY = 2;
  TPixelGraphic aspect;
  aspect.SetGamma(3);
  Read(MakePNG(m), aspect);
  EXPECT_EQ(aspect.Gamma(), 2.2L);
  EXPECT_EQ(aspect.XResolution(), 1000);
  EXPECT_EQ(aspect.YResolution(), 2000);

  // Written: pHYs in metres and gAMA 1 / gamma; none for a gamma of 0.
  g.SetGamma(2.2L);
  TPixelGraphic back;
  Read(Write(g), back);
  EXPECT_NEAR(double(back.Gamma()), 2.2, 1e-4);
  EXPECT_EQ(back.XResolution(), 2835);
  g.SetGamma(0);
  const auto types = PNGChunkTypes(Write(g));
  EXPECT_EQ(std::count(types.begin(), types.end(), "gAMA"), 0);
  g.SetGamma(-1);
  EXPECT_NO_THROW(Write(g));
}

// Opened through the registry: a PNG that declares the desktop's gamma
// (gAMA 0.45455, as most programs write) keeps its pixels, one that declares
// 1.8 is corrected to 2.2; a new picture is written with gAMA 0.45455.
TEST(PNGGamma, TheDesktopsGammaLoadsAsItIsAnotherIsCorrected) {
  PGraphicInitialization();
  TPNGMaker m = Maker(2, 8);
  m.Sample = [](int32_t, int32_t, int32_t S) { return S == 1 ? 170u : 0u; };  // flat green 170
  for (auto [gamma, green] : {std::pair{0.45455, 170}, std::pair{1 / 1.8, 183}}) {
    m.Gamma = gamma;
    TMemoryStream s = StreamOf(MakePNG(m));
    TPixelGraphic g;
    g.LoadFromStream(s);
    EXPECT_EQ(g.GetPixelColor(4, 2), RGB(0, green, 0)) << gamma;
  }
  TPixelGraphic fresh, back;
  fresh.NewImage(2, 2, pf24Bit);
  TMemoryStream written;
  fresh.SaveToStreamAs(written, "png");
  written.SetPosition(0);
  TPNGFileFormatReader().Read(written, back, 0);
  EXPECT_NEAR(double(1 / back.Gamma()), 0.45455, 1e-6);
  PGraphicFinalization();
}

TEST_F(PNGFormat, InfoTexts) {
  TPNGMaker m = Maker(6, 8, true);
  m.Gamma = 0.45455;
  m.Phys = true;
  m.PhysX = m.PhysY = 10;
  m.Time = true;
  TPGGraphicInfo i = Info(MakePNG(m));
  EXPECT_EQ(i.FormatText, "RGB, alpha, interlaced");
  EXPECT_EQ(i.ExtraText, "(gama, phys, time)");
  EXPECT_EQ(i.ColorsText, "16.7M?");
  EXPECT_EQ(i.BitsPerPixel, 32);
  EXPECT_EQ(i.Width, 9);
  EXPECT_EQ(i.ImageCount, 1);

  m = Maker(3, 2);
  m.Offs = true;
  i = Info(MakePNG(m));
  EXPECT_EQ(i.FormatText, "palette");
  EXPECT_EQ(i.ExtraText, "(plte, offs)");
  EXPECT_EQ(i.ColorsText, "4");
  m = Maker(0, 16);
  m.Offs = true;
  i = Info(MakePNG(m));
  EXPECT_EQ(i.FormatText, "GrayScale");
  EXPECT_EQ(i.ExtraText, "");  // oFFs alone is not listed
  EXPECT_EQ(i.ColorsText, "64K?");
  EXPECT_EQ(Info(MakePNG(Maker(4, 8))).FormatText, "GrayScale, alpha");
  EXPECT_EQ(Info(MakePNG(Maker(2, 8))).ColorsText, "16.7M");
  TMemoryStream s = StreamOf(MakePNG(m));
  EXPECT_THROW(FReader.GetInfo(s, 1, i), EPGPNGFileFormatReaderWriter);
}

TEST_F(PNGFormat, ProgressAndAbort) {
  TPNGMaker m = Maker(0, 2, true);
  TPixelGraphic g;
  int calls = 0, max = 0, lastStep = -1;
  g.OnProgress = [&](TObject* Sender, int32_t Step, int32_t Max, bool&) {
    EXPECT_EQ(Sender, &FReader);
    ++calls;
    max = Max;
    lastStep = Step;
  };
  Read(MakePNG(m), g);
  EXPECT_EQ(max, 35);  // 7 passes of 5 rows
  EXPECT_EQ(calls, 35);
  EXPECT_EQ(lastStep, 34);

  // An abort returns quietly; every row read so far is already 4-bit.
  m.Interlaced = false;
  g.OnProgress = [&](TObject*, int32_t Step, int32_t, bool& Abort) { Abort = Step == 1; };
  g.SetTransparentColor(0);
  Read(MakePNG(m), g);
  for (int32_t x = 0; x < 9; ++x) {
    EXPECT_EQ(g.GetPixel(x, 1), m.Sample(x, 1, 0));
    EXPECT_EQ(g.GetPixel(x, 2), 0u);
  }
}

TEST_F(PNGFormat, WriterFormats) {
  TPixelGraphic bw;
  bw.SetPaletteIdent(pBlackWhite);
  bw.NewImage(10, 3, pf1Bit);
  bw.SetPixel(3, 1, 1);
  TBytes file = Write(bw);
  TPGGraphicInfo i = Info(file);
  EXPECT_EQ(i.FormatText, "palette");
  EXPECT_EQ(i.BitsPerPixel, 1);
  const auto types = PNGChunkTypes(file);
  EXPECT_EQ(std::count(types.begin(), types.end(), "PLTE"), 1);
  TPixelGraphic back;
  Read(file, back);
  EXPECT_EQ(back.GetBitCount(), 1);
  EXPECT_EQ(back.PaletteCount(), 2);
  EXPECT_EQ(back.GetPixel(3, 1), 1u);
  EXPECT_EQ(back.GetPixel(4, 1), 0u);

  TPixelGraphic grey;
  grey.SetPaletteIdent(pGray256);
  grey.NewImage(4, 4, pf8Bit);
  grey.SetPixel(1, 2, 99);
  file = Write(grey);
  EXPECT_EQ(Info(file).FormatText, "GrayScale");
  const auto greyTypes = PNGChunkTypes(file);
  EXPECT_EQ(std::count(greyTypes.begin(), greyTypes.end(), "PLTE"), 0);
  Read(file, back);
  EXPECT_EQ(back.GetPixel(1, 2), 99u);

  TPixelGraphic colour;
  colour.NewImage(5, 2, pf24Bit);
  colour.SetPixel(4, 1, 0x123456);
  colour.SetXResolution(100);
  colour.SetYResolution(0);  // no pHYs unless both are known
  int steps = 0, max = -1;
  colour.OnProgress = [&](TObject*, int32_t, int32_t Max, bool& Abort) {
    ++steps;
    max = Max;
    Abort = true;
  };
  file = Write(colour);
  EXPECT_EQ(steps, 2);
  EXPECT_EQ(max, 1);
  const auto colourTypes = PNGChunkTypes(file);
  EXPECT_EQ(std::count(colourTypes.begin(), colourTypes.end(), "pHYs"), 0);
  Read(file, back);
  EXPECT_EQ(back.GetPixel(4, 1), 0x123456u);

  TPixelGraphic empty;
  EXPECT_THROW(Write(empty), EPGPNGFileFormatReaderWriter);
}

// Files whose oddities are only library warnings load, so the open dialog
// describes them too: 200,000 tEXt chunks (past the library's cache), a
// zTXt that inflates past the library's allocation limit, a tRNS longer
// than the palette.
TEST_F(PNGFormat, GetInfoDescribesFilesThatLoadWithWarnings) {
  const TBytes plain = MakePNG(Maker(3, 8));
  // 200,000 chunks go in before the first chunk after IHDR.
  const TBytes one = InsertPNGChunk(TBytes(8, 0), "tEXt", TBytes{'k', 0, 'v'}, "IEND");
  TBytes many(plain.begin(), plain.begin() + 33);
  for (int i = 0; i < 200000; ++i) many.insert(many.end(), one.begin() + 8, one.end());
  many.insert(many.end(), plain.begin() + 33, plain.end());
  std::vector<uint8_t> zeros(16u << 20, 0), packed(compressBound(uLong(zeros.size())));
  uLongf packedSize = uLongf(packed.size());
  ASSERT_EQ(compress2(packed.data(), &packedSize, zeros.data(), uLong(zeros.size()), 9), Z_OK);
  packed.resize(packedSize);
  packed.insert(packed.begin(), {'k', 0, 0});  // keyword, its end, the method
  const TBytes& ztxt = packed;
  for (const TBytes& file : {many, InsertPNGChunk(plain, "zTXt", ztxt, "IDAT"),
                             InsertPNGChunk(plain, "tRNS", TBytes(300, 7), "IDAT")}) {
    EXPECT_EQ(ReadError(file, pgwaIgnore), "");
    TPGGraphicInfo info;
    EXPECT_NO_THROW(info = Info(file));
    EXPECT_EQ(info.Width, 9);
    EXPECT_EQ(info.FormatText, "palette");
  }
}

// Text chunks are read only when kept, and kept ones stay within a budget:
// a zTXt whose data is damaged warns only when text is read; of twenty zTXt
// chunks inflating to 1.5 MB each the first few are kept; a text of a
// million line ends, 32 MB as lines, is dropped.
TEST_F(PNGFormat, TextIsReadOnlyWhenKeptAndThenWithinABudget) {
  const TBytes plain = MakePNG(Maker(3, 8));
  const TBytes damaged = InsertPNGChunk(plain, "zTXt", TBytes{'k', 0, 0, 1, 2, 3}, "IDAT");
  EXPECT_EQ(ReadError(damaged, pgwaRaise), "");
  PGReadChunks = true;
  EXPECT_NE(ReadError(damaged, pgwaRaise), "");

  const std::vector<uint8_t> text(1500000, 'a');
  TBytes packed(compressBound(uLong(text.size())) + 3);
  uLongf packedSize = uLongf(packed.size() - 3);
  ASSERT_EQ(compress2(packed.data() + 3, &packedSize, text.data(), uLong(text.size()), 9), Z_OK);
  packed.resize(packedSize + 3);
  packed[0] = 'k';  // keyword, its end, the method
  TBytes many = plain;
  for (int i = 0; i < 20; ++i) many = InsertPNGChunk(many, "zTXt", packed, "IDAT");
  TBytes lines = {'l', 0};
  lines.insert(lines.end(), 1 << 20, '\n');
  many = InsertPNGChunk(many, "tEXt", lines, "IEND");
  TPixelGraphic g;
  Read(many, g);
  int64_t kept = 0;
  for (int32_t i = 0; i < g.GetChunkCount(); ++i)
    for (const std::string& line : static_cast<TTextChunk*>(g.GetChunk(i))->GetStrings()) kept += int64_t(line.size());
  EXPECT_GE(kept, int64_t(text.size()));
  EXPECT_LE(kept, int64_t(16) << 20);
  EXPECT_EQ(g.FindChunk("PNG TEXT l", 0), nullptr);
}

TEST_F(PNGFormat, DamagedFilesAndWarnings) {
  TBytes file = MakePNG(Maker(2, 8));
  EXPECT_EQ(ReadError(TBytes(file.begin(), file.end() - 30)), "PNG: Read Error");
  TBytes crc = file;
  crc[40] ^= 0x55;  // inside IDAT
  EXPECT_NE(ReadError(crc), "");
  EXPECT_NE(ReadError(TBytes{0x89, 'P', 'N', 'G', 1, 2, 3}), "");
  EXPECT_NE(ReadError(TBytes{}), "");

  // A pHYs chunk that is too short is a warning of the library.
  TBytes warned = InsertPNGChunk(file, "pHYs", TBytes{0, 0, 0, 0}, "IDAT");
  EXPECT_EQ(ReadError(warned, pgwaIgnore), "");
  EXPECT_EQ(ReadError(warned, pgwaRaise), "PNG: pHYs: invalid");
  auto previous = SetPGWarningBoxHook([](const std::string&, const std::string& Caption, TPGBoxButtons) {
    EXPECT_EQ(Caption, "PNG Warning");
    return false;
  });
  EXPECT_EQ(ReadError(warned, pgwaOKCancelBox), "PNG: Operation aborted on user request");
  SetPGWarningBoxHook(previous);

  // A chunk that claims nearly 2 GiB fails at once instead of being
  // allocated: skipped, it runs past the end of the file; kept, it is too
  // large to hold.
  TBytes huge = InsertPNGChunk(file, "iTXt", TBytes{'k', 0, 0, 0, 0, 'x'}, "IDAT");
  huge[33] = 0x74;  // the length of the chunk after the signature and IHDR
  huge[34] = 0x52;
  EXPECT_EQ(ReadError(huge, pgwaIgnore), "PNG: Read Error");

  // A colour profile a current library frowns upon does not reach the user.
  TBytes profile = InsertPNGChunk(file, "iCCP", TBytes{'x', 0, 0, 1, 2, 3}, "IDAT");
  EXPECT_EQ(ReadError(profile, pgwaRaise), "");

  // An impossible modification date does not fail the read.
  TPNGMaker m = Maker(2, 8);
  TBytes noTime = MakePNG(m);
  TBytes feb31 = InsertPNGChunk(noTime, "tIME", TBytes{0x07, 0xE4, 2, 31, 10, 0, 0}, "IDAT");
  PGReadChunks = true;
  EXPECT_EQ(ReadError(feb31, pgwaRaise), "");
  TBytes month13 = InsertPNGChunk(noTime, "tIME", TBytes{0x07, 0xE4, 13, 1, 10, 0, 0}, "IDAT");
  EXPECT_EQ(ReadError(month13, pgwaRaise), "");

  TMemoryStream s = StreamOf(file);
  TPixelGraphic g;
  try {
    FReader.Read(s, g, 2);
    FAIL();
  } catch (const EPGPNGFileFormatReaderWriter& e) {
    EXPECT_EQ(e.Message(), "PNG: Index invalid");
  }
}

}  // namespace
