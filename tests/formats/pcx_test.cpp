// PCX reading: versions and palettes, run-length scan lines, and the checks
// that keep hostile headers from reading past a scan line.
#include <gtest/gtest.h>

#include "imaging/core/exceptions.h"
#include "imaging/formats/pcx_format.h"
#include "raster_test_util.h"

using namespace rastertest;

namespace {

struct TPCXFile {
  uint8_t Version = 5;
  uint8_t BitsPerPlane = 8;
  uint8_t Planes = 1;
  int16_t XMin = 0, YMin = 0, XMax = 0, YMax = 0;
  uint16_t BytesPerLine = 0;
  uint8_t PaletteInfo = 1;
  Bytes HeaderPalette = Bytes(48, 0);
  std::vector<Bytes> Lines;  // decoded scan lines (all planes)
  bool EndPalette = false;
  uint8_t EndMarker = 12;
  Bytes Raw;  // extra coded bytes after the lines

  Bytes Build() const {
    Bytes F(128, 0);
    F[0] = 10;
    F[1] = Version;
    F[2] = 1;
    F[3] = BitsPerPlane;
    auto Put16 = [&](int At, int V) {
      F[At] = static_cast<uint8_t>(V);
      F[At + 1] = static_cast<uint8_t>(V >> 8);
    };
    Put16(4, XMin);
    Put16(6, YMin);
    Put16(8, XMax);
    Put16(10, YMax);
    std::copy(HeaderPalette.begin(), HeaderPalette.end(), F.begin() + 16);
    F[65] = Planes;
    Put16(66, BytesPerLine);
    F[68] = PaletteInfo;
    for (const Bytes& L : Lines)
      for (uint8_t b : L) {
        if (b >= 0xC0) F.push_back(0xC1);
        F.push_back(b);
      }
    F.insert(F.end(), Raw.begin(), Raw.end());
    if (EndPalette) {
      F.push_back(EndMarker);
      for (int i = 0; i < 256; ++i) {
        F.push_back(static_cast<uint8_t>(i));
        F.push_back(static_cast<uint8_t>(255 - i));
        F.push_back(static_cast<uint8_t>(i / 2));
      }
    }
    return F;
  }
};

std::string ErrorOf(const Bytes& Data) {
  TPCXFileFormatReader Reader;
  try {
    Read(Reader, Data);
  } catch (const EPGPCXFileFormatReader& E) {
    return E.what();
  }
  return "";
}

}  // namespace

TEST(PCXReader, IdentifiesManufacturerVersionAndEncoding) {
  TPCXFileFormatReader Reader;
  TPGFileHeader H{};
  H[0] = 10;
  H[2] = 1;
  for (int v : {0, 2, 3, 5}) {
    H[1] = static_cast<uint8_t>(v);
    EXPECT_TRUE(Reader.Identify(H)) << v;
  }
  H[1] = 4;
  EXPECT_FALSE(Reader.Identify(H));
  H[1] = 5;
  H[2] = 0;
  EXPECT_FALSE(Reader.Identify(H));
}

TEST(PCXReader, FourPlaneFilesTakeTheirPaletteByVersion) {
  TPCXFile F;
  F.BitsPerPlane = 1;
  F.Planes = 4;
  F.XMax = 7;
  F.YMax = 0;
  F.BytesPerLine = 1;
  for (int i = 0; i < 48; ++i) F.HeaderPalette[i] = static_cast<uint8_t>(i * 5);
  // Pixel x has value x: plane p holds bit p of each pixel.
  Bytes Line(4);
  for (int p = 0; p < 4; ++p)
    for (int x = 0; x < 8; ++x)
      if (x >> p & 1) Line[p] |= static_cast<uint8_t>(0x80 >> x);
  F.Lines = {Line};
  TPCXFileFormatReader Reader;

  F.Version = 5;
  auto G = Read(Reader, F.Build());
  ASSERT_EQ(G->PixelFormat(), pf4Bit);
  EXPECT_EQ(G->PaletteCount(), 16);
  EXPECT_EQ(G->GetPaletteEntry(3), TColor(45 | 50 << 8 | 55 << 16));
  for (int x = 0; x < 8; ++x) EXPECT_EQ(G->GetPixel(x, 0), uint32_t(x));

  F.Version = 3;
  G = Read(Reader, F.Build());
  EXPECT_EQ(G->PaletteIdent(), pSys16);
  F.PaletteInfo = 2;
  G = Read(Reader, F.Build());
  EXPECT_EQ(G->PaletteIdent(), pGray16);

  TPGGraphicInfo I = Info(Reader, F.Build());
  EXPECT_EQ(I.BitsPerPixel, 4);
  EXPECT_EQ(I.ColorsText, "16");
  EXPECT_EQ(I.FormatText, "Version 2.8 (3) without Palette");
  EXPECT_EQ(I.Width, 8);
  EXPECT_EQ(I.Height, 1);
}

TEST(PCXReader, EightBitFilesNeedTheEndPaletteMarkerUnlessGrey) {
  TPCXFile F;
  F.XMax = 3;
  F.YMax = 1;
  F.BytesPerLine = 4;
  F.Lines = {{1, 2, 0xC5, 4}, {200, 100, 50, 0}};
  F.EndPalette = true;
  TPCXFileFormatReader Reader;
  auto G = Read(Reader, F.Build());
  ASSERT_EQ(G->PixelFormat(), pf8Bit);
  EXPECT_EQ(G->PaletteCount(), 256);
  EXPECT_EQ(G->GetPixel(2, 0), 0xC5u);
  EXPECT_EQ(G->GetPixel(0, 1), 200u);
  EXPECT_EQ(G->GetPaletteEntry(200), TColor(200 | 55 << 8 | 100 << 16));

  F.EndMarker = 11;
  EXPECT_EQ(ErrorOf(F.Build()), "PCX: Unknown subformat");

  F.PaletteInfo = 2;
  F.EndPalette = false;
  G = Read(Reader, F.Build());
  EXPECT_EQ(G->PaletteIdent(), pGray256);
  EXPECT_EQ(G->GetPixel(1, 1), 100u);
}

TEST(PCXReader, ShortFileSeekingItsEndPaletteIsRefused) {
  TPCXFile F;
  F.XMax = 1;
  F.YMax = 0;
  F.BytesPerLine = 2;
  F.Lines = {{1, 2}};
  Bytes Data = F.Build();  // 130 bytes: no room for a palette at the end
  EXPECT_EQ(ErrorOf(Data), "PCX: Unknown subformat");
}

TEST(PCXReader, RunsStopAtTheEndOfTheScanLine) {
  TPCXFile F;
  F.PaletteInfo = 2;
  F.XMax = 2;
  F.YMax = 1;
  F.BytesPerLine = 3;
  F.Raw = {0xC5, 7, 1, 2, 3};  // a run of five 7s, of which two are dropped
  TPCXFileFormatReader Reader;
  auto G = Read(Reader, F.Build());
  EXPECT_EQ(G->GetPixel(2, 0), 7u);
  EXPECT_EQ(G->GetPixel(0, 1), 1u);
  EXPECT_EQ(G->GetPixel(2, 1), 3u);
}

TEST(PCXReader, OneBitRowsKeepOnlyTheirPixels) {
  TPCXFile F;
  F.BitsPerPlane = 1;
  F.XMax = 9;  // 10 pixels
  F.YMax = 0;
  F.BytesPerLine = 2;
  F.Lines = {{0xFF, 0xFF}};
  TPCXFileFormatReader Reader;
  auto G = Read(Reader, F.Build());
  EXPECT_EQ(G->PaletteIdent(), pBlackWhite);
  EXPECT_EQ(G->ScanLine(0)[1], 0xC0);
  EXPECT_EQ(G->ScanLine(0)[2], 0x00);

  // A width that fills the padded row exactly (32 pixels) has no partial
  // byte; nothing beyond the row may be touched.
  F.XMax = 31;
  F.YMax = 2;
  F.BytesPerLine = 4;
  F.Lines = {{0xFF, 0x0F, 0xF0, 0x81}, {0x00, 0x00, 0x00, 0x00}, {0xAA, 0xAA, 0xAA, 0xAA}};
  G = Read(Reader, F.Build());
  EXPECT_EQ(G->ScanLine(0)[3], 0x81);
  EXPECT_EQ(G->ScanLine(1)[0], 0x00);
  EXPECT_EQ(G->ScanLine(2)[3], 0xAA);
  EXPECT_EQ(G->GetPixel(31, 0), 1u);
}

TEST(PCXReader, TwentyFourBitPlanesGoToBlueGreenRed) {
  TPCXFile F;
  F.Planes = 3;
  F.XMax = 1;
  F.YMax = 0;
  F.BytesPerLine = 2;
  F.Lines = {{10, 20, 30, 40, 50, 60}};
  TPCXFileFormatReader Reader;
  auto G = Read(Reader, F.Build());
  ASSERT_EQ(G->PixelFormat(), pf24Bit);
  EXPECT_EQ(G->GetPixelColor(0, 0), TColor(10 | 30 << 8 | 50 << 16));
  EXPECT_EQ(G->GetPixelColor(1, 0), TColor(20 | 40 << 8 | 60 << 16));
}

TEST(PCXReader, HostileHeadersAreRefused) {
  TPCXFile F;
  F.PaletteInfo = 2;
  F.XMax = 99;
  F.YMax = 0;
  F.BytesPerLine = 10;  // a line of 100 pixels needs 100 bytes
  F.Lines = {Bytes(10, 1)};
  EXPECT_EQ(ErrorOf(F.Build()), "PCX: Unknown subformat");

  F.Planes = 3;
  F.XMax = 10;
  F.BytesPerLine = 10;
  EXPECT_EQ(ErrorOf(F.Build()), "PCX: Unknown subformat");

  F = TPCXFile();
  F.PaletteInfo = 2;
  F.XMin = 5;
  F.XMax = 4;  // width 0
  F.BytesPerLine = 4;
  EXPECT_EQ(ErrorOf(F.Build()), "PCX: Unknown subformat");
  F.XMin = 0;
  F.YMin = 3;
  F.YMax = 1;
  EXPECT_EQ(ErrorOf(F.Build()), "PCX: Unknown subformat");

  F = TPCXFile();
  F.PaletteInfo = 3;
  EXPECT_EQ(ErrorOf(F.Build()), "PCX: Unknown subformat");
  F.PaletteInfo = 1;
  F.BitsPerPlane = 4;
  EXPECT_EQ(ErrorOf(F.Build()), "PCX: Unknown subformat");
  EXPECT_EQ(ErrorOf(Bytes{10, 5, 1}), "PCX: Unexpected end of file");

  TPCXFileFormatReader Reader;
  try {
    Read(Reader, Bytes(200, 0), 1);
    FAIL();
  } catch (const EPGPCXFileFormatReader& E) {
    EXPECT_STREQ(E.what(), "PCX: Index invalid");
  }
}

TEST(PCXReader, TruncatedPixelsFailAfterTheRowsRead) {
  TPCXFile F;
  F.PaletteInfo = 2;
  F.XMax = 1;
  F.YMax = 3;
  F.BytesPerLine = 2;
  F.Lines = {{9, 8}, {7, 6}};
  TPCXFileFormatReader Reader;
  TMemoryStream Stream;
  Bytes Data = F.Build();
  Stream.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
  Stream.SetPosition(0);
  TPixelGraphic G;
  int Rows = 0, Ends = 0;
  G.OnProgress = [&](TObject* Sender, int32_t Step, int32_t Max, bool&) {
    EXPECT_EQ(Sender, &Reader);
    EXPECT_EQ(Step, Rows++);
    EXPECT_EQ(Max, 4);
  };
  G.OnProgressEnd = [&](TObject*) { ++Ends; };
  try {
    Reader.Read(Stream, G, 0);
    FAIL();
  } catch (const EPGPCXFileFormatReader& E) {
    EXPECT_STREQ(E.what(), "PCX: Unexpected end of file");
  }
  EXPECT_EQ(Rows, 2);
  EXPECT_EQ(Ends, 1);
  EXPECT_EQ(G.GetPixel(0, 1), 7u);
}
