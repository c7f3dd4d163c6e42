// PCX, PNM, TGA and TIFF through the registries: found by content or by
// extension, saved with the colour-resolution fallback and loaded back.
#include <gtest/gtest.h>

#include "imaging/core/file_formats.h"
#include "imaging/formats/tga_format.h"
#include "raster_test_util.h"

using namespace rastertest;

namespace {

using RasterRegistry = rastertest::TStartedLibraryTest;

std::string ReaderFor(const Bytes& Data, const std::string& Extension) {
  TMemoryStream Stream;
  Stream.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
  Stream.SetPosition(0);
  TFileFormatReader* Reader = FindFileFormatReader(Stream, Extension);
  return Reader ? Reader->Extension() : "";
}

}  // namespace

TEST_F(RasterRegistry, FormatsAreRegisteredInOrderAndFoundByContent) {
  std::vector<std::string> Readers, Writers;
  for (auto& R : *FileFormatReaders) Readers.push_back(R->Extension());
  for (auto& W : *FileFormatWriters) Writers.push_back(W->Extension());
  for (const char* E : {"pcx", "pbm", "pgm", "ppm", "tga", "tif", "tiff"})
    EXPECT_NE(std::find(Readers.begin(), Readers.end(), E), Readers.end()) << E;
  for (const char* E : {"pbm", "pgm", "ppm", "tga", "tif", "tiff"})
    EXPECT_NE(std::find(Writers.begin(), Writers.end(), E), Writers.end()) << E;
  EXPECT_EQ(std::find(Writers.begin(), Writers.end(), "pcx"), Writers.end());

  EXPECT_EQ(ReaderFor({10, 5, 1, 8}, "tga"), "pcx");
  EXPECT_EQ(ReaderFor({'P', '5', '\n'}, ""), "pgm");
  EXPECT_EQ(ReaderFor({'P', '4', '\n'}, "ppm"), "pbm");
  EXPECT_EQ(ReaderFor({'M', 'M', 0, 42}, "tiff"), "tif");
  // Targa has no signature: only its extension finds it.
  Bytes Targa(18, 0);
  Targa[2] = 2;
  EXPECT_EQ(ReaderFor(Targa, ".TGA"), "tga");
  EXPECT_EQ(ReaderFor(Targa, ""), "");
}

TEST_F(RasterRegistry, SavedFilesLoadBackThroughTheRegistries) {
  TOptionsGuard Options;
  auto Colour = Pattern24(23, 9);
  auto Mapped = PatternIndexed(23, 9, pf8Bit, pUnknown);
  auto Grey = PatternIndexed(23, 9, pf8Bit, pGray256);
  auto Mono = PatternIndexed(23, 9, pf1Bit, pBlackWhite);
  struct TCase {
    TPixelGraphic* Image;
    std::string Extension;
  } Cases[] = {{Colour.get(), "ppm"}, {Grey.get(), "pgm"}, {Mono.get(), "pbm"}, {Colour.get(), "tga"},
               {Mapped.get(), "tga"}, {Colour.get(), "tif"}, {Mapped.get(), "tiff"}, {Mono.get(), "tif"}};
  for (const TCase& C : Cases) {
    std::string File = TempFile("registry." + C.Extension);
    C.Image->SaveToFile(File);
    TPixelGraphic Back;
    Back.LoadFromFile(File);
    EXPECT_EQ(RGB(Back), RGB(*C.Image)) << C.Extension;
    std::string Description;
    TPGGraphicInfo Info;
    ASSERT_TRUE(GetGraphicFileInfo(File, 0, Description, Info)) << C.Extension;
    EXPECT_EQ(Info.Width, 23);
    EXPECT_EQ(Info.Height, 9);
  }
  // CCITT pages hold black and white only; the save path converts first.
  TIFFCompression = 2;
  std::string File = TempFile("fax.tif");
  Mono->SaveToFile(File);
  TPixelGraphic Back;
  Back.LoadFromFile(File);
  EXPECT_EQ(RGB(Back), RGB(*Mono));
  std::string Description;
  TPGGraphicInfo Info;
  ASSERT_TRUE(GetGraphicFileInfo(File, 0, Description, Info));
  EXPECT_EQ(Description, "Tagged Image File Format");
  EXPECT_EQ(Info.FormatText, "I, CCITT 1D, WhiteIsZero");
  EXPECT_EQ(Info.ColorsText, "2");
}

TEST_F(RasterRegistry, ReadersReportProgressAndStopOnAbort) {
  TOptionsGuard Options;
  auto Colour = Pattern24(5, 6);
  std::string File = TempFile("abort.tga");
  Colour->SaveToFile(File);
  TTGAFileFormatReader Reader;
  TMemoryStream Stream;
  Bytes Data = LoadFile(File);
  Stream.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
  Stream.SetPosition(0);
  TPixelGraphic G;
  int Starts = 0, Rows = 0, Ends = 0;
  G.OnProgressStart = [&](TObject* Sender) {
    EXPECT_EQ(Sender, &Reader);
    ++Starts;
  };
  G.OnProgress = [&](TObject*, int32_t Step, int32_t Max, bool& Abort) {
    EXPECT_EQ(Max, 6);
    EXPECT_EQ(Step, Rows++);
    Abort = Step == 2;
  };
  G.OnProgressEnd = [&](TObject*) { ++Ends; };
  Reader.Read(Stream, G, 0);
  EXPECT_EQ(Starts, 1);
  EXPECT_EQ(Rows, 3);
  EXPECT_EQ(Ends, 1);
  // The bottom rows came first and stay; the rest is as NewImage left it.
  EXPECT_EQ(G.GetPixelColor(0, 5), Colour->GetPixelColor(0, 5));
  EXPECT_EQ(G.GetPixelColor(0, 0), TColor(0));
}
