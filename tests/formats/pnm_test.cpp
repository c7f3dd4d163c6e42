// Portable bitmap, graymap and pixmap reading and writing.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/chunks.h"
#include "imaging/core/exceptions.h"
#include "imaging/formats/pnm_format.h"
#include "raster_test_util.h"

using namespace rastertest;

namespace {

Bytes Text(const std::string& S) { return Bytes(S.begin(), S.end()); }

std::unique_ptr<TPixelGraphic> ReadText(const std::string& S) {
  TPPMFileFormatReader Reader;  // every subclass reads every variant
  return Read(Reader, Text(S));
}

std::string ReadError(const std::string& S) {
  try {
    ReadText(S);
  } catch (const EPGPxMFileFormatReader& E) {
    return E.what();
  }
  return "";
}

std::string WriteText(TFileFormatWriter& Writer, TPixelGraphic& G) {
  Bytes B = Write(Writer, G);
  return std::string(B.begin(), B.end());
}

}  // namespace

TEST(PNMReader, EachClassIdentifiesItsTwoVariants) {
  TPBMFileFormatReader Pbm;
  TPGMFileFormatReader Pgm;
  TPPMFileFormatReader Ppm;
  auto H = [](const char* S) {
    TPGFileHeader Header{};
    Header[0] = static_cast<uint8_t>(S[0]);
    Header[1] = static_cast<uint8_t>(S[1]);
    return Header;
  };
  EXPECT_TRUE(Pbm.Identify(H("P1")) && Pbm.Identify(H("P4")));
  EXPECT_TRUE(Pgm.Identify(H("P2")) && Pgm.Identify(H("P5")));
  EXPECT_TRUE(Ppm.Identify(H("P3")) && Ppm.Identify(H("P6")));
  EXPECT_FALSE(Pbm.Identify(H("P2")) || Pgm.Identify(H("P6")) || Ppm.Identify(H("p3")));
}

TEST(PNMReader, BitmapSamplesNeedSeparators) {
  auto G = ReadText("P1\n3 1\n1 0 1\n");
  ASSERT_EQ(G->PixelFormat(), pf1Bit);
  EXPECT_EQ(G->PaletteIdent(), pBlackWhite);
  EXPECT_EQ(G->GetPixel(0, 0), 0u);  // black
  EXPECT_EQ(G->GetPixel(1, 0), 1u);
  EXPECT_EQ(G->GetPixel(2, 0), 0u);
  // "101" is one sample (black); the next two are missing.
  EXPECT_EQ(ReadError("P1\n3 1\n101\n"), "PBM, PGM, PPM: Unexpected end of file");
  G = ReadText("P1\n1 1\n101\n");
  EXPECT_EQ(G->GetPixel(0, 0), 0u);
}

TEST(PNMReader, GraymapsScaleByTheirMaximum) {
  auto G = ReadText("P2\n3 1\n15\n15 7 0\n");
  ASSERT_EQ(G->PaletteIdent(), pGray256);
  EXPECT_EQ(G->GetPixel(0, 0), 255u);
  EXPECT_EQ(G->GetPixel(1, 0), 119u);
  EXPECT_EQ(G->GetPixel(2, 0), 0u);
  // Samples above the maximum count as the maximum.
  G = ReadText("P2\n2 1\n15\n16 300");
  EXPECT_EQ(G->GetPixel(0, 0), 255u);
  EXPECT_EQ(G->GetPixel(1, 0), 255u);
  // An ASCII graymap may have a maximum of 65535.
  G = ReadText("P2\n1 1\n65535\n32768\n");
  EXPECT_EQ(G->GetPixel(0, 0), 127u);
  EXPECT_EQ(ReadError("P5\n1 1\n65535\n\x01\x02"), "PBM, PGM, PPM: Not supported subformat");
  Bytes Binary = Text("P5 2 1 3\n");
  Binary.push_back(3);
  Binary.push_back(9);
  TPGMFileFormatReader Reader;
  G = Read(Reader, Binary);
  EXPECT_EQ(G->GetPixel(0, 0), 255u);
  EXPECT_EQ(G->GetPixel(1, 0), 255u);
}

TEST(PNMReader, CommentsAreSkippedAndKeptAsOneChunk) {
  TOptionsGuard Options;
  PGReadChunks = true;
  auto G = ReadText("P3\n# one\n2 # two\n# three\n1\n255\n1 2 3 4 5 6\n");
  EXPECT_EQ(G->GetWidth(), 2);
  EXPECT_EQ(G->GetPixelColor(1, 0), TColor(4 | 5 << 8 | 6 << 16));
  ASSERT_EQ(G->GetChunkCount(), 1);
  auto* Chunk = dynamic_cast<TTextChunk*>(G->FindChunk("PBM PGM PPM Comment", 0));
  ASSERT_NE(Chunk, nullptr);
  ASSERT_EQ(Chunk->GetStrings().size(), 3u);
  EXPECT_EQ(Chunk->GetStrings()[0], " one");
  EXPECT_EQ(Chunk->GetStrings()[1], " two");
  EXPECT_EQ(Chunk->GetStrings()[2], " three");

  PGReadChunks = false;
  G = ReadText("P3\n# one\n1 1 255 1 2 3");
  EXPECT_EQ(G->GetChunkCount(), 0);
}

TEST(PNMReader, BinaryVariants) {
  Bytes Data = Text("P4\n10 2\n");
  Data.insert(Data.end(), {0x80, 0xFF, 0x01, 0x40});
  TPBMFileFormatReader Pbm;
  auto G = Read(Pbm, Data);
  EXPECT_EQ(G->GetPixel(0, 0), 0u);  // black
  EXPECT_EQ(G->GetPixel(1, 0), 1u);
  EXPECT_EQ(G->GetPixel(9, 0), 0u);
  EXPECT_EQ(G->GetPixel(9, 1), 0u);
  EXPECT_EQ(G->GetPixel(8, 1), 1u);
  EXPECT_EQ(G->ScanLine(1)[1] & 0x3F, 0);  // no bits after the last pixel

  Data = Text("P6\n1 1\n255\n");
  Data.insert(Data.end(), {10, 20, 30});
  G = Read(Pbm, Data);
  EXPECT_EQ(G->GetPixelColor(0, 0), TColor(10 | 20 << 8 | 30 << 16));
}

// Binary graymaps and pixmaps hold one byte a sample: a maximum of 255 is
// the largest read, 256 is refused; a binary bitmap has no maximum.
TEST(PNMReader, BinaryMaximaStopAt255) {
  for (const char* Magic : {"P5", "P6"}) {
    const int Samples = Magic[1] == '5' ? 1 : 3;
    Bytes Data = Text(std::string(Magic) + "\n1 1\n255\n");
    Data.insert(Data.end(), Samples, 255);
    EXPECT_EQ(ReadText(std::string(Data.begin(), Data.end()))->GetPixelColor(0, 0), 0xFFFFFFu) << Magic;
    Data = Text(std::string(Magic) + "\n1 1\n256\n");
    Data.insert(Data.end(), 2 * Samples, 1);
    EXPECT_EQ(ReadError(std::string(Data.begin(), Data.end())), "PBM, PGM, PPM: Not supported subformat") << Magic;
  }
  Bytes Bitmap = Text("P4\n8 1\n");
  Bitmap.push_back(0x0F);
  EXPECT_EQ(ReadText(std::string(Bitmap.begin(), Bitmap.end()))->GetPixel(0, 0), 1u);
}

// Rasters not there for the most part are refused before the image is
// made; cut in their second half they give the rows there.
TEST(PNMReader, RastersCutShort) {
  TPGMFileFormatReader Reader;
  TPixelGraphic G;
  TMemoryStream S;
  const std::string Cut = "P5\n4 4\n255\n\x09\x09\x09\x09\x08\x08\x08\x08\x07\x07";
  S.WriteBuffer(Cut.data(), int64_t(Cut.size()));
  S.SetPosition(0);
  try {
    Reader.Read(S, G, 0);
    FAIL();
  } catch (const EPGPxMFileFormatReader& E) {
    EXPECT_EQ(E.Message(), "PBM, PGM, PPM: Unexpected end of file");
  }
  EXPECT_EQ(G.GetPixel(3, 1), 8u);
  EXPECT_EQ(G.GetHeight(), 4);
  for (const char* Short : {"P5\n4 4\n255\n1234567", "P6 4 4 255 12345678901234567890123", "P4 64 4 12345678901234",
                            "P2 4 4 255 1 2 3 4 5 6 7", "P1 1000 1000 1 0 1"}) {
    TPixelGraphic Empty;
    S.Clear();
    S.WriteBuffer(Short, int64_t(std::strlen(Short)));
    S.SetPosition(0);
    EXPECT_THROW(Reader.Read(S, Empty, 0), EPGPxMFileFormatReader) << Short;
    EXPECT_TRUE(Empty.GetEmpty()) << Short;
  }
}

TEST(PNMReader, BadHeadersAreRefused) {
  EXPECT_EQ(ReadError("Q1\n"), "PBM, PGM, PPM: Not a PBM, PGM, PPM file");
  EXPECT_EQ(ReadError("P7\n"), "PBM, PGM, PPM: Unknown subformat");
  EXPECT_EQ(ReadError("P2\n0 1\n255\n"), "PBM, PGM, PPM: Not supported subformat");
  EXPECT_EQ(ReadError("P2\n1 1\n0\n0\n"), "PBM, PGM, PPM: Not supported subformat");
  EXPECT_EQ(ReadError("P3\n1 1\n0\n0 0 0\n"), "PBM, PGM, PPM: Not supported subformat");
  EXPECT_EQ(ReadError("P2\n99999999999999999999 1\n255\n"),
            "PBM, PGM, PPM: Not supported subformat");
  EXPECT_EQ(ReadError("P2\n1 1\n255\n4294967296\n"), "PBM, PGM, PPM: Not supported subformat");
  EXPECT_THROW(ReadText("P2\n2147483647 1\n255\n"), EPGInvalidSize);
  EXPECT_EQ(ReadError("P6\n2 2\n255\n"), "PBM, PGM, PPM: Unexpected end of file");
  EXPECT_EQ(ReadError("P2 1 1 255 # no end"), "PBM, PGM, PPM: Unexpected end of file");
  TPBMFileFormatReader Reader;
  try {
    Read(Reader, Text("P1 1 1 1"), 1);
    FAIL();
  } catch (const EPGPxMFileFormatReader& E) {
    EXPECT_STREQ(E.what(), "PxM: Index invalid");
  }
}

TEST(PNMReader, GetInfoReadsTheHeaderOnly) {
  TPGMFileFormatReader Reader;
  TPGGraphicInfo I = Info(Reader, Text("P5\n# c\n640 480\n255\n"));
  EXPECT_EQ(I.FormatText, "Binary");
  EXPECT_EQ(I.BitsPerPixel, 8);
  EXPECT_EQ(I.Width, 640);
  EXPECT_EQ(I.Height, 480);
  EXPECT_EQ(I.ColorsText, "256");
  EXPECT_EQ(I.ImageCount, 1);
  I = Info(Reader, Text("P3 4 5 255"));
  EXPECT_EQ(I.FormatText, "ASCII");
  EXPECT_EQ(I.ColorsText, "16.7M");
  EXPECT_THROW(Info(Reader, Text("P3 4 5 255"), 1), EPGPxMFileFormatReader);
}

TEST(PNMWriter, AsciiPixmapLayout) {
  TOptionsGuard Options;
  PxMWriteBinary = false;
  TPixelGraphic G;
  G.NewImage(2, 2, pf24Bit);
  G.SetPixel(0, 0, 0x030201);
  G.SetPixel(1, 0, 0x060504);
  G.SetPixel(0, 1, 0x0C0B0A);
  G.SetPixel(1, 1, 0xFFFFFF);
  TPPMFileFormatWriter Writer;
  EXPECT_EQ(WriteText(Writer, G), "P3\n2 2\n255\n1 2 3 4 5 6\n10 11 12 255 255 255\n");
  PxMWriteBinary = true;
  EXPECT_EQ(WriteText(Writer, G),
            std::string("P6\n2 2\n255\n\x01\x02\x03\x04\x05\x06\x0A\x0B\x0C\xFF\xFF\xFF", 23));
}

TEST(PNMWriter, BitmapsAndGraymapsRoundTrip) {
  TOptionsGuard Options;
  for (bool Binary : {false, true}) {
    PxMWriteBinary = Binary;
    auto Bits = PatternIndexed(13, 5, pf1Bit, pBlackWhite);
    TPBMFileFormatWriter PbmWriter;
    TPBMFileFormatReader PbmReader;
    auto Back = Read(PbmReader, Write(PbmWriter, *Bits));
    EXPECT_EQ(RGB(*Back), RGB(*Bits)) << Binary;

    auto Grey = PatternIndexed(7, 3, pf8Bit, pGray256);
    TPGMFileFormatWriter PgmWriter;
    TPGMFileFormatReader PgmReader;
    Back = Read(PgmReader, Write(PgmWriter, *Grey));
    EXPECT_EQ(RGB(*Back), RGB(*Grey)) << Binary;
  }
  PxMWriteBinary = false;
  // Any 8-bit image goes to a graymap, its indexes as grey levels.
  auto Colours = PatternIndexed(3, 1, pf8Bit, pUnknown);
  TPGMFileFormatWriter PgmWriter;
  Bytes Out = Write(PgmWriter, *Colours);
  EXPECT_EQ(std::string(Out.begin(), Out.end()), "P2\n3 1\n255\n0 1 2\n");
}

TEST(PNMWriter, UnsuitableImagesAndExtensionsAreRefused) {
  auto Colour = Pattern24(2, 2);
  TPGMFileFormatWriter Pgm;
  try {
    Write(Pgm, *Colour);
    FAIL();
  } catch (const EPGPxMFileFormatWriter& E) {
    EXPECT_STREQ(E.what(), "PGM: Invalid color resolution");
  }
  TPBMFileFormatWriter Pbm;
  EXPECT_THROW(Write(Pbm, *Colour), EPGPxMFileFormatWriter);
  auto Grey = PatternIndexed(2, 2, pf8Bit, pGray256);
  TPPMFileFormatWriter Ppm;
  EXPECT_THROW(Write(Ppm, *Grey), EPGPxMFileFormatWriter);
  TPixelGraphic Empty;
  try {
    Write(Ppm, Empty);
    FAIL();
  } catch (const EPGPxMFileFormatWriter& E) {
    EXPECT_STREQ(E.what(), "PBM, PGM, PPM: Width = 0 or Height = 0");
  }
  TPXMFileFormatWriter Plain;
  Plain.SetExtension("pnm");
  try {
    Write(Plain, *Colour);
    FAIL();
  } catch (const EPGPxMFileFormatWriter& E) {
    EXPECT_STREQ(E.what(), "PBM, PGM, PPM: Unknown file extension \"pnm\"");
  }
}

TEST(PNMWriter, CommentChunkIsWrittenWhenChunksAreOn) {
  TOptionsGuard Options;
  PGWriteChunks = true;
  PxMWriteBinary = false;
  auto G = PatternIndexed(1, 1, pf1Bit, pBlackWhite);
  auto Chunk = std::make_unique<TTextChunk>("PBM PGM PPM Comment");
  Chunk->GetStrings().push_back("made here");
  Chunk->GetStrings().push_back("");
  G->AddChunk(std::move(Chunk));
  TPBMFileFormatWriter Writer;
  Bytes Out = Write(Writer, *G);
  EXPECT_EQ(std::string(Out.begin(), Out.end()), "P1\n#made here\n#\n1 1\n1\n");
}
