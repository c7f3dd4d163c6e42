// Targa reading (maps, run-length packets, origins, pixel depths) and writing.
#include <gtest/gtest.h>

#include "imaging/core/exceptions.h"
#include "imaging/formats/tga_format.h"
#include "raster_test_util.h"

using namespace rastertest;

namespace {

struct TTGAFile {
  uint8_t IDLength = 0;
  uint8_t MapType = 0;
  uint8_t ImageType = 2;
  uint16_t MapFirst = 0, MapLength = 0;
  uint8_t MapEntrySize = 0;
  uint16_t Width = 0, Height = 0;
  uint8_t Depth = 24;
  uint8_t Descriptor = 0;
  Bytes Map;   // as stored
  Bytes Data;  // as stored

  Bytes Build() const {
    Bytes F = {IDLength, MapType, ImageType,
               static_cast<uint8_t>(MapFirst), static_cast<uint8_t>(MapFirst >> 8),
               static_cast<uint8_t>(MapLength), static_cast<uint8_t>(MapLength >> 8),
               MapEntrySize, 0, 0, 0, 0,
               static_cast<uint8_t>(Width), static_cast<uint8_t>(Width >> 8),
               static_cast<uint8_t>(Height), static_cast<uint8_t>(Height >> 8), Depth, Descriptor};
    F.insert(F.end(), IDLength, 'i');
    F.insert(F.end(), Map.begin(), Map.end());
    F.insert(F.end(), Data.begin(), Data.end());
    return F;
  }
};

std::string ErrorOf(const Bytes& Data, int32_t Index = 0) {
  TTGAFileFormatReader Reader;
  try {
    Read(Reader, Data, Index);
  } catch (const EPGTGAFileFormatReader& E) {
    return E.what();
  }
  return "";
}

// A 2 x 2 true-colour picture, as red, green, blue rows from the top.
const Bytes Picture = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

// Its rows in file order for a descriptor, as blue, green, red.
Bytes Stored(uint8_t Descriptor) {
  Bytes Out;
  for (int r = 0; r < 2; ++r) {
    int y = Descriptor & 0x20 ? r : 1 - r;
    for (int c = 0; c < 2; ++c) {
      int x = Descriptor & 0x10 ? 1 - c : c;
      const uint8_t* P = &Picture[static_cast<size_t>(6 * y + 3 * x)];
      Out.insert(Out.end(), {P[2], P[1], P[0]});
    }
  }
  return Out;
}

}  // namespace

TEST(TGAReader, IsFoundByExtensionOnly) {
  TTGAFileFormatReader Reader;
  EXPECT_FALSE(Reader.IdentifiedByContent());
  TPGFileHeader H{};
  EXPECT_FALSE(Reader.Identify(H));
  EXPECT_EQ(Reader.Extension(), "tga");
}

TEST(TGAReader, AllFourOriginsGiveTheUprightImage) {
  for (uint8_t Descriptor : {0x00, 0x10, 0x20, 0x30}) {
    for (bool RunLength : {false, true}) {
      TTGAFile F;
      F.Width = F.Height = 2;
      F.Descriptor = Descriptor;
      F.ImageType = RunLength ? 10 : 2;
      F.Data = Stored(Descriptor);
      if (RunLength) {
        // One raw packet of all four pixels: it runs across the row end.
        F.Data.insert(F.Data.begin(), 0x03);
      }
      TTGAFileFormatReader Reader;
      auto G = Read(Reader, F.Build());
      EXPECT_EQ(RGB(*G), Picture) << int(Descriptor) << " " << RunLength;
    }
  }
}

TEST(TGAReader, RunLengthPacketsContinueOnTheNextRowAndStopAfterTheLast) {
  TTGAFile F;
  F.ImageType = 11;
  F.Depth = 8;
  F.Width = 3;
  F.Height = 2;
  F.Descriptor = 0x20;
  // A run of four 9s (row 0 and the first pixel of row 1), then a raw
  // packet of three whose last byte lies past the image.
  F.Data = {0x83, 9, 0x02, 5, 6, 7};
  TTGAFileFormatReader Reader;
  auto G = Read(Reader, F.Build());
  EXPECT_EQ(G->PaletteIdent(), pGray256);
  EXPECT_EQ(G->GetPixel(2, 0), 9u);
  EXPECT_EQ(G->GetPixel(0, 1), 9u);
  EXPECT_EQ(G->GetPixel(1, 1), 5u);
  EXPECT_EQ(G->GetPixel(2, 1), 6u);
  // Cut short inside the packets.
  F.Data = {0x83, 9, 0x02, 5};
  EXPECT_EQ(ErrorOf(F.Build()), "TGA: Unexpected end of file");
}

TEST(TGAReader, ColourMapsFromTheirFirstEntryAndAtMost256) {
  TTGAFile F;
  F.ImageType = 1;
  F.MapType = 1;
  F.Depth = 8;
  F.Width = 2;
  F.Height = 1;
  F.MapFirst = 2;
  F.MapLength = 300;
  F.MapEntrySize = 24;
  for (int i = 0; i < 300; ++i) F.Map.insert(F.Map.end(), {uint8_t(i), uint8_t(i / 2), uint8_t(7)});
  F.Data = {0, 255};
  F.IDLength = 3;
  TTGAFileFormatReader Reader;
  auto G = Read(Reader, F.Build());
  ASSERT_EQ(G->PaletteCount(), 256);
  EXPECT_EQ(G->GetPaletteEntry(0), TColor(7 | 1 << 8 | 2 << 16));  // file entry 2
  EXPECT_EQ(G->GetPixelColor(1, 0), TColor(7 | 128 << 8 | 257 % 256 << 16));

  // A first entry past the map's end is refused.
  F.MapFirst = 301;
  EXPECT_EQ(ErrorOf(F.Build()), "TGA: Invalid size of ColorMap");

  // 16-bit entries; no map at all gives greys.
  F.MapFirst = 0;
  F.MapLength = 2;
  F.MapEntrySize = 16;
  F.Map = {0xFF, 0x7F, 0x1F, 0x00};
  G = Read(Reader, F.Build());
  EXPECT_EQ(G->GetPaletteEntry(0), TColor(0xF8F8F8));
  EXPECT_EQ(G->GetPaletteEntry(1), TColor(0xF80000));
  F.MapType = 0;
  G = Read(Reader, F.Build());
  EXPECT_EQ(G->PaletteIdent(), pGray256);
  F.MapType = 1;
  F.MapEntrySize = 15;
  EXPECT_EQ(ErrorOf(F.Build()), "TGA: Not supported subformat");
}

TEST(TGAReader, SixteenAndThirtyTwoBitPixelsBecomeTrueColour) {
  TTGAFile F;
  F.Width = 2;
  F.Height = 1;
  F.Depth = 16;
  F.Data = {0xFF, 0xFF, 0x00, 0x7C};
  TTGAFileFormatReader Reader;
  auto G = Read(Reader, F.Build());
  ASSERT_EQ(G->PixelFormat(), pf24Bit);
  EXPECT_EQ(G->GetPixelColor(0, 0), TColor(0xF8F8F8));
  EXPECT_EQ(G->GetPixelColor(1, 0), TColor(0x0000F8));
  F.Depth = 32;
  F.Data = {1, 2, 3, 99, 4, 5, 6, 99};
  G = Read(Reader, F.Build());
  EXPECT_EQ(G->GetPixelColor(1, 0), TColor(6 | 5 << 8 | 4 << 16));
  F.Depth = 15;
  EXPECT_EQ(ErrorOf(F.Build()), "TGA: Not supported subformat");
  EXPECT_EQ(ErrorOf(F.Build(), 1), "TGA: Index invalid");
}

TEST(TGAReader, OneZeroSideIsRefusedAndZeroByZeroIsTheEmptyImage) {
  TTGAFile F;
  F.ImageType = 10;
  F.Width = 0;
  F.Height = 5;
  F.Data = {0x85, 1, 2, 3};
  EXPECT_EQ(ErrorOf(F.Build()), "TGA: Width invalid");
  TTGAFileFormatReader Reader;
  // Nor is it described.
  EXPECT_THROW(Info(Reader, F.Build()), EPGTGAFileFormatReader);
  F.Width = 5;
  F.Height = 0;
  EXPECT_EQ(ErrorOf(F.Build()), "TGA: Height invalid");
  F.Width = 0;
  EXPECT_TRUE(Read(Reader, F.Build())->GetEmpty());
}

// Uncompressed pixels not there for the most part are refused before the
// image is made; cut in their second half they give the rows there, by
// either path.
TEST(TGAReader, UncompressedPixelsCutShort) {
  for (uint8_t Depth : {24, 16}) {
    SCOPED_TRACE(int(Depth));
    TTGAFile F;
    F.Width = F.Height = 4;
    F.Depth = Depth;
    F.Descriptor = 0x20;
    F.Data.assign(size_t(Depth / 8) * 10, 0x7B);  // two rows and a half
    TTGAFileFormatReader Reader;
    TPixelGraphic G;
    TMemoryStream S;
    S.Bytes() = F.Build();
    EXPECT_THROW(Reader.Read(S, G, 0), EReadError);
    EXPECT_EQ(G.GetHeight(), 4);
    EXPECT_NE(G.GetPixel(3, 1), 0u);
    EXPECT_EQ(G.GetPixel(3, 2), 0u);
    F.Data.resize(size_t(Depth / 8) * 7);
    TPixelGraphic Empty;
    S.Bytes() = F.Build();
    S.SetPosition(0);
    EXPECT_THROW(Reader.Read(S, Empty, 0), EReadError);
    EXPECT_TRUE(Empty.GetEmpty());
  }
}

TEST(TGAReader, GetInfoNamesTypeAndDepth) {
  TTGAFileFormatReader Reader;
  TTGAFile F;
  F.Width = 640;
  F.Height = 480;
  F.Depth = 32;
  F.ImageType = 10;
  TPGGraphicInfo I = Info(Reader, F.Build());
  EXPECT_EQ(I.FormatText, "Run-length encoded");
  EXPECT_EQ(I.ExtraText, "True-color");
  EXPECT_EQ(I.ColorsText, "16.7M ?");
  EXPECT_EQ(I.Width, 640);
  F.Depth = 16;
  F.ImageType = 3;
  I = Info(Reader, F.Build());
  EXPECT_EQ(I.ExtraText, "\"Black-and-white\"");
  EXPECT_EQ(I.ColorsText, "65536");
  F.ImageType = 4;
  EXPECT_THROW(Info(Reader, F.Build()), EPGTGAFileFormatReader);
}

TEST(TGAWriter, WritesMappedAndTrueColourFilesThatReadBack) {
  TTGAFileFormatWriter Writer;
  TTGAFileFormatReader Reader;
  auto Mapped = PatternIndexed(5, 3, pf8Bit, pUnknown);
  Mapped->SetPaletteCount(16);
  Bytes File = Write(Writer, *Mapped);
  ASSERT_EQ(File.size(), 18u + 48u + 15u);
  EXPECT_EQ(File[1], 1);
  EXPECT_EQ(File[2], 1);
  EXPECT_EQ(File[5], 16);
  EXPECT_EQ(File[7], 24);
  EXPECT_EQ(File[16], 8);
  auto Back = Read(Reader, File);
  EXPECT_EQ(RGB(*Back), RGB(*Mapped));

  auto Colour = Pattern24(7, 4);
  File = Write(Writer, *Colour);
  ASSERT_EQ(File.size(), 18u + 7u * 4u * 3u);
  Back = Read(Reader, File);
  EXPECT_EQ(RGB(*Back), RGB(*Colour));

  // Narrower palette formats are written one index byte per pixel.
  auto Sixteen = PatternIndexed(5, 2, pf4Bit, pSys16);
  Back = Read(Reader, Write(Writer, *Sixteen));
  EXPECT_EQ(RGB(*Back), RGB(*Sixteen));
}

TEST(TGAWriter, SizesBeyondTheHeaderAreRefused) {
  TTGAFileFormatWriter Writer;
  TPixelGraphic G;
  G.NewImage(65536, 1, pf8Bit);
  EXPECT_THROW(Write(Writer, G), EPGInvalidSize);
  G.NewImage(1, 70000, pf8Bit);
  EXPECT_THROW(Write(Writer, G), EPGInvalidSize);
}
