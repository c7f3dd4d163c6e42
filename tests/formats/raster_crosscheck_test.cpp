// Cross-checks with independent tools: files they write are read by ours,
// files ours writes are read by theirs, and the decoded pixels compared.
#include <gtest/gtest.h>

#include "imaging/formats/pcx_format.h"
#include "imaging/formats/pnm_format.h"
#include "imaging/formats/tga_format.h"
#include "imaging/formats/tiff_reader.h"
#include "imaging/formats/tiff_writer.h"
#include "raster_test_util.h"

using namespace rastertest;

namespace {

constexpr int32_t W = 29, H = 11;

// A P6 source picture written directly, with Colours distinct colours.
std::string SourcePPM(const std::string& Name, int Colours) {
  std::string Text = "P6\n" + std::to_string(W) + " " + std::to_string(H) + "\n255\n";
  Bytes Data(Text.begin(), Text.end());
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      int k = (x / 3 + y * 2 + x * y) % Colours;
      Data.push_back(static_cast<uint8_t>(k * 97));
      Data.push_back(static_cast<uint8_t>(k * 31 + k / 8));
      Data.push_back(static_cast<uint8_t>(255 - k * 13));
    }
  std::string File = TempFile(Name);
  SaveFile(File, Data);
  return File;
}

// A bilevel source as P4.
std::string SourcePBM(const std::string& Name) {
  std::string Text = "P4\n" + std::to_string(W) + " " + std::to_string(H) + "\n";
  Bytes Data(Text.begin(), Text.end());
  for (int y = 0; y < H; ++y)
    for (int k = 0; k < (W + 7) / 8; ++k) {
      uint8_t b = 0;
      for (int x = 8 * k; x < std::min(W, 8 * k + 8); ++x)
        if ((x * x + y * 3) % 7 < 3) b |= static_cast<uint8_t>(0x80 >> (x % 8));
      Data.push_back(b);
    }
  std::string File = TempFile(Name);
  SaveFile(File, Data);
  return File;
}

class RasterCrossCheck : public ::testing::Test {
protected:
  void SetUp() override {
    if (!HavePIL() || !HaveTool("ppmtopcx") || !HaveTool("tiffcp") || !HaveTool(ImageMagick))
      GTEST_SKIP() << "the independent tools are not installed (scripts/test.sh installs them)";
  }

  // Ours and the tools' own library agree on a file the tools wrote.
  void ExpectOursReadsLikePIL(TFileFormatReader& Reader, const std::string& File, int32_t Page = 0) {
    TDecoded Theirs = DecodeWithPIL(File, Page);
    ASSERT_GT(Theirs.Width, 0) << File;
    auto Ours = Read(Reader, LoadFile(File), Page);
    EXPECT_EQ(Ours->GetWidth(), Theirs.Width) << File;
    EXPECT_EQ(Ours->GetHeight(), Theirs.Height) << File;
    EXPECT_EQ(RGB(*Ours), Theirs.Pixels) << File;
  }

  // The tools' library reads what ours wrote as the image it was.
  void ExpectPILReads(TPixelGraphic& Graphic, const std::string& File, int32_t Page = 0) {
    TDecoded Theirs = DecodeWithPIL(File, Page);
    ASSERT_EQ(Theirs.Width, Graphic.GetWidth()) << File;
    ASSERT_EQ(Theirs.Height, Graphic.GetHeight()) << File;
    EXPECT_EQ(Theirs.Pixels, RGB(Graphic)) << File;
  }

  TOptionsGuard Options;
};

}  // namespace

TEST_F(RasterCrossCheck, PCXFilesOfNetpbmAndImageMagick) {
  TPCXFileFormatReader Reader;
  std::string Many = SourcePPM("many.ppm", 91), Few = SourcePPM("few.ppm", 12), Bits = SourcePBM("bits.pbm");
  struct TCase {
    std::string Command, File;
  } Cases[] = {
      {"ppmtopcx -8bit " + Many, "eight.pcx"},
      {"ppmtopcx -24bit " + Many, "planes3.pcx"},
      {"ppmtopcx " + Few, "planes4.pcx"},
      {"ppmtopcx " + Bits, "mono.pcx"},
  };
  for (const TCase& C : Cases) {
    std::string File = TempFile(C.File);
    ASSERT_TRUE(RunTool(C.Command + " > " + File)) << C.Command;
    ExpectOursReadsLikePIL(Reader, File);
  }
  std::string Magick = TempFile("magick.pcx");
  ASSERT_TRUE(RunTool(std::string(ImageMagick) + " " + Many + " -type palette " + Magick));
  ExpectOursReadsLikePIL(Reader, Magick);
  ASSERT_TRUE(RunTool(std::string(ImageMagick) + " " + Many + " -type truecolor " + Magick));
  ExpectOursReadsLikePIL(Reader, Magick);
}

TEST_F(RasterCrossCheck, PortableMapsBothWays) {
  TPPMFileFormatReader Reader;
  std::string Many = SourcePPM("pnm.ppm", 91);
  std::string Grey = TempFile("grey.pgm"), Plain = TempFile("plain.ppm"), Mono = TempFile("mono.pbm");
  std::string Deep = TempFile("deep.pgm");
  ASSERT_TRUE(RunTool(std::string(ImageMagick) + " " + Many + " -colorspace gray " + Grey));
  ASSERT_TRUE(RunTool(std::string(ImageMagick) + " " + Many + " -compress none " + Plain));
  ASSERT_TRUE(RunTool(std::string(ImageMagick) + " " + Many + " -monochrome -compress none " + Mono));
  ASSERT_TRUE(RunTool("pgmramp -lr 40 3 -maxval 15 > " + Deep));
  for (const std::string& File : {Many, Grey, Plain, Mono, Deep}) ExpectOursReadsLikePIL(Reader, File);

  for (bool Binary : {false, true}) {
    PxMWriteBinary = Binary;
    TPBMFileFormatWriter Pbm;
    TPGMFileFormatWriter Pgm;
    TPPMFileFormatWriter Ppm;
    auto Bits = PatternIndexed(W, H, pf1Bit, pBlackWhite);
    auto Greys = PatternIndexed(W, H, pf8Bit, pGray256);
    auto Colours = Pattern24(W, H);
    std::string Name = Binary ? "binary" : "ascii";
    SaveFile(TempFile(Name + ".pbm"), Write(Pbm, *Bits));
    SaveFile(TempFile(Name + ".pgm"), Write(Pgm, *Greys));
    SaveFile(TempFile(Name + ".ppm"), Write(Ppm, *Colours));
    ExpectPILReads(*Bits, TempFile(Name + ".pbm"));
    ExpectPILReads(*Greys, TempFile(Name + ".pgm"));
    ExpectPILReads(*Colours, TempFile(Name + ".ppm"));
    // netpbm agrees too: its plain re-write reads back the same.
    std::string Again = TempFile(Name + "-again.ppm");
    ASSERT_TRUE(RunTool("pnmtopnm -plain " + TempFile(Name + ".ppm") + " > " + Again));
    EXPECT_EQ(RGB(*Read(Reader, LoadFile(Again))), RGB(*Colours));
  }
}

TEST_F(RasterCrossCheck, TargaBothWays) {
  TTGAFileFormatReader Reader;
  std::string Many = SourcePPM("tga.ppm", 91), Few = SourcePPM("tgafew.ppm", 12);
  struct TCase {
    std::string Command, File;
  } Cases[] = {
      {"ppmtotga -rgb -norle " + Many, "rgb.tga"},
      {"ppmtotga -rgb " + Many, "rgbrle.tga"},
      {"ppmtotga -cmap -norle " + Few, "cmap.tga"},
      {"ppmtotga -cmap " + Few, "cmaprle.tga"},
      {"ppmtotga -mono " + Many, "mono.tga"},
      {std::string(ImageMagick) + " " + Many + " tga:-", "magick.tga"},
      {std::string(ImageMagick) + " " + Many + " -compress RLE tga:-", "magickrle.tga"},
      {std::string(ImageMagick) + " " + Many + " -orient TopLeft tga:-", "topleft.tga"},
      {std::string(ImageMagick) + " " + Few + " -type palette -compress RLE tga:-", "magickmap.tga"},
      {std::string(ImageMagick) + " " + Many + " -alpha set -compress RLE tga:-", "alpha.tga"},
  };
  for (const TCase& C : Cases) {
    std::string File = TempFile(C.File);
    ASSERT_TRUE(RunTool(C.Command + " > " + File)) << C.Command;
    ExpectOursReadsLikePIL(Reader, File);
  }

  TTGAFileFormatWriter Writer;
  TPPMFileFormatReader PpmReader;
  auto Colours = Pattern24(W, H);
  auto Mapped = PatternIndexed(W, H, pf8Bit, pUnknown);
  for (TPixelGraphic* G : {Colours.get(), Mapped.get()}) {
    std::string File = TempFile("ours.tga"), Ppm = TempFile("ours-tga.ppm");
    SaveFile(File, Write(Writer, *G));
    ExpectPILReads(*G, File);
    ASSERT_TRUE(RunTool("tgatoppm " + File + " > " + Ppm));
    EXPECT_EQ(RGB(*Read(PpmReader, LoadFile(Ppm))), RGB(*G));
  }
}

TEST_F(RasterCrossCheck, TIFFFilesOfLibtiffNetpbmImageMagickAndPIL) {
  TTIFFileFormatReader Reader;
  std::string Many = SourcePPM("tif.ppm", 91), Few = SourcePPM("tiffew.ppm", 12), Bits = SourcePBM("tif.pbm");
  std::string Base = TempFile("base.tif"), Grey = TempFile("grey.tif"), Mono = TempFile("mono.tif");
  std::string Map = TempFile("map.tif");
  ASSERT_TRUE(RunTool("pnmtotiff " + Many + " > " + Base));
  ASSERT_TRUE(RunTool("ppmtopgm " + Many + " | pnmtotiff > " + Grey));
  ASSERT_TRUE(RunTool("pnmtotiff " + Bits + " > " + Mono));
  ASSERT_TRUE(RunTool("pnmtotiff " + Few + " > " + Map));
  std::vector<std::string> Files = {Base, Grey, Mono, Map};
  int n = 0;
  for (const std::string& Source : {Base, Grey, Mono, Map}) {
    for (const char* Options :
         {"-c none", "-c packbits", "-c none -B", "-c packbits -B -r 3", "-c none -f lsb2msb"}) {
      std::string File = TempFile("tiffcp" + std::to_string(n++) + ".tif");
      ASSERT_TRUE(RunTool(std::string("tiffcp ") + Options + " " + Source + " " + File)) << Options;
      Files.push_back(File);
    }
  }
  std::string Magick = TempFile("magick.tif"), Cmyk = TempFile("cmyk.tif");
  ASSERT_TRUE(RunTool(std::string(ImageMagick) + " " + Many + " -compress RLE " + Magick));
  ASSERT_TRUE(RunTool(std::string(ImageMagick) + " " + Many + " -colorspace CMYK -compress none " + Cmyk));
  Files.push_back(Magick);
  for (const std::string& File : Files) ExpectOursReadsLikePIL(Reader, File);

  // CMYK samples convert as red = 255 - C - K (and so on), clipped at 0.
  TDecoded Samples = DecodeWithPIL(Cmyk, 0, "CMYK");
  ASSERT_EQ(Samples.Pixels.size(), size_t{4} * W * H);
  Bytes Expected;
  for (size_t i = 0; i < Samples.Pixels.size(); i += 4)
    for (int c = 0; c < 3; ++c)
      Expected.push_back(static_cast<uint8_t>(std::max(0, 255 - Samples.Pixels[i + c] - Samples.Pixels[i + 3])));
  EXPECT_EQ(RGB(*Read(Reader, LoadFile(Cmyk))), Expected);

  // Modified Huffman (compression 2) as the tools' library writes it: the
  // bilevel picture, a white 3000-pixel row (both kinds of make-up codes)
  // and alternating pixels (the shortest runs).
  std::string White = TempFile("white.pbm"), Checks = TempFile("checks.pbm");
  ASSERT_TRUE(RunTool("pbmmake -white 3000 2 > " + White));
  ASSERT_TRUE(RunTool("pbmmake -gray 3001 3 > " + Checks));
  for (const std::string& Source : {Bits, White, Checks}) {
    std::string Fax = Source + ".tif";
    ASSERT_TRUE(RunTool(std::string(Python) +
                        " -c \"import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2], "
                        "compression='tiff_ccitt')\" " + Source + " " + Fax));
    ExpectOursReadsLikePIL(Reader, Fax);
  }
}

TEST_F(RasterCrossCheck, TIFFFilesOfOursReadByTheTools) {
  TTIFFileFormatWriter Writer;
  std::vector<std::unique_ptr<TPixelGraphic>> Images;
  Images.push_back(PatternIndexed(W, H, pf1Bit, pBlackWhite));
  Images.push_back(PatternIndexed(W, H, pf4Bit, pGray16));
  Images.push_back(PatternIndexed(W, H, pf4Bit, pUnknown));
  Images.push_back(PatternIndexed(W, H, pf8Bit, pGray256));
  Images.push_back(PatternIndexed(W, H, pf8Bit, pUnknown));
  Images.push_back(Pattern24(W, H));
  auto Wide = PatternIndexed(3001, 3, pf1Bit, pBlackWhite);
  int n = 0;
  for (int32_t Compression : {1, 32773, 2}) {
    for (bool Motorola : {false, true}) {
      for (bool WhiteIsZero : {true, false}) {
        TIFFCompression = Compression;
        TIFFMotorolaOrder = Motorola;
        TIFFWhiteIsZero = WhiteIsZero;
        for (auto& G : Images) {
          if (Compression == 2 && G->PixelFormat() != pf1Bit) continue;
          std::string File = TempFile("ours" + std::to_string(n++) + ".tif");
          SaveFile(File, Write(Writer, *G));
          EXPECT_TRUE(RunTool("tiffinfo " + File)) << File;
          EXPECT_TRUE(RunTool("tiffdump " + File)) << File;
          ExpectPILReads(*G, File);
          std::string Pnm = File + ".pnm";
          ASSERT_TRUE(RunTool("tifftopnm " + File + " > " + Pnm)) << File;
          TDecoded Netpbm = DecodeWithPIL(Pnm);
          EXPECT_EQ(Netpbm.Pixels, RGB(*G)) << Pnm;
        }
        if (Compression == 2) {
          std::string File = TempFile("ourswide" + std::to_string(n++) + ".tif");
          SaveFile(File, Write(Writer, *Wide));
          ExpectPILReads(*Wide, File);
        }
      }
    }
  }

  // Three pages in one file.
  TIFFCompression = 32773;
  TIFFWhiteIsZero = true;
  TMemoryStream Stream;
  Writer.BeginFile(Stream);
  for (int i : {5, 3, 0}) Writer.WritePage(Stream, *Images[static_cast<size_t>(i)]);
  Writer.EndFile(Stream);
  std::string File = TempFile("pages.tif");
  SaveFile(File, Stream.Bytes());
  ExpectPILReads(*Images[5], File, 0);
  ExpectPILReads(*Images[3], File, 1);
  ExpectPILReads(*Images[0], File, 2);
  std::string Split = TempFile("page3.tif");
  ASSERT_TRUE(RunTool("tiffcp " + File + ",2 " + Split));
  ExpectPILReads(*Images[0], Split);
}
