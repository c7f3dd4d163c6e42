// The library's start-up and shut-down.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "imaging/core/file_formats.h"
#include "imaging/core/messages.h"
#include "imaging/core/options.h"
#include "imaging/core/pg_resources.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"

namespace {

// A library option: its name, its value after start-up, a reading of it and
// a way to give it another value.
struct TOption {
  const char* Name;
  long double Default;
  std::function<long double()> Value;
  std::function<void()> Spoil;
};

template <class T>
TOption Option(const char* Name, T& Var, T Default) {
  return {Name, static_cast<long double>(Default), [&Var] { return static_cast<long double>(Var); },
          [&Var, Default] { Var = Default == T{} ? T(1) : T{}; }};
}

}  // namespace

// Start-up gives every library option its value, whatever it held before;
// it runs once however often it is called, and cleans up on the last call.
TEST(StartUp, RunsOnceSetsEveryOptionAndCleansUpTwiceInOneProcess) {
  const std::vector<TOption> options = {
      Option("PGUseStretchBlt", PGUseStretchBlt, false),
      Option("library language", PGLanguage, uint8_t{0}),
      Option("PGReadChunks", PGReadChunks, false),
      Option("PGWriteChunks", PGWriteChunks, false),
      Option("BMPExpand16Bit", BMPExpand16Bit, true),
      Option("JPEGReadDCTMethod", JPEGReadDCTMethod, uint8_t{0}),
      Option("JPEGWriteDCTMethod", JPEGWriteDCTMethod, uint8_t{2}),
      Option("JPEGQuality", JPEGQuality, uint8_t{80}),
      Option("JPEGProgressive", JPEGProgressive, false),
      Option("JPEGDensityMetric", JPEGDensityMetric, true),
      Option("PGDefaultGamma", PGDefaultGamma, 2.2L),
      Option("PGGammaCorrectOnLoad", PGGammaCorrectOnLoad, true),
      Option("PNGUseFileBackground", PNGUseFileBackground, true),
      Option("PNGWriteGamma", PNGWriteGamma, true),
      Option("PxMWriteBinary", PxMWriteBinary, false),
      Option("TIFFMaxPages", TIFFMaxPages, int32_t{1000}),
      Option("TIFFCountPages", TIFFCountPages, false),
      Option("TIFFCompression", TIFFCompression, int32_t{1}),
      Option("TIFFWriteCMYK", TIFFWriteCMYK, false),
      Option("TIFFWhiteIsZero", TIFFWhiteIsZero, true),
      Option("TIFFMotorolaOrder", TIFFMotorolaOrder, false),
      Option("TIFFResolutionUnitCm", TIFFResolutionUnitCm, false),
      Option("PGMaxImageSize", PGMaxImageSize, uint32_t{1} << 30),
  };
  for (int round = 0; round < 2; ++round) {
    for (const TOption& o : options) o.Spoil();
    PGraphicInitialization();
    PGraphicInitialization();  // counted, not run again
    ASSERT_TRUE(FileFormatReaders);
    ASSERT_TRUE(FileFormatWriters);
    for (const TOption& o : options) EXPECT_EQ(o.Value(), o.Default) << o.Name;
    TPixelGraphic g;
    EXPECT_EQ(g.Gamma(), 2.2L);
    PGraphicFinalization();
    EXPECT_TRUE(PGraphicInitialized());
    PGraphicFinalization();
    EXPECT_FALSE(PGraphicInitialized());
    EXPECT_FALSE(FileFormatReaders);
    EXPECT_FALSE(FileFormatWriters);
  }
  PGraphicFinalization();  // one too many does nothing
}

TEST(StartUp, CursorsAndInformationFont) {
  PGraphicInitialization();
  const HCURSOR cursors[4] = {PGCursorHand, PGCursorHandGrab, PGCursorSelect, PGCursorMoveSelection};
  const int hot[4][2] = {{16, 12}, {16, 12}, {15, 15}, {16, 15}};
  for (int i = 0; i < 4; ++i) {
    TCursorInfo info;
    ASSERT_TRUE(GetCursorInfo(cursors[i], info)) << i;
    EXPECT_EQ(info.Width, 32);
    EXPECT_EQ(info.HotX, hot[i][0]);
    EXPECT_EQ(info.HotY, hot[i][1]);
  }
  EXPECT_EQ(PGInfoFont.lfHeight, 8);
  EXPECT_EQ(PGInfoFont.lfWeight, 400);
  EXPECT_EQ(PGInfoFont.lfCharSet, 1);
  PGraphicFinalization();
  EXPECT_EQ(PGCursorHand, nullptr);
}

TEST(StartUp, RegistriesHoldTheBuiltInFormatsInExtensionOrder) {
  PGraphicInitialization();
  std::string readers, writers;
  for (const auto& r : *FileFormatReaders) readers += r->Extension() + (r->IdentifiedByContent() ? " " : "* ");
  for (const auto& w : *FileFormatWriters) writers += w->Extension() + (w->Listed() ? " " : "- ");
  EXPECT_EQ(readers, "bmp dib jif jpeg jpg pbm pcx pgm png ppm rle tga* tif tiff ");
  EXPECT_EQ(writers, "bmp dib- jif- jpeg- jpg pbm pgm png ppm tga tif tiff- ");
  ASSERT_TRUE(PGDefaultBMPReader);
  ASSERT_TRUE(PGDefaultBMPWriter);
  EXPECT_EQ(PGDefaultBMPWriter->Extension(), "bmp");
  PGraphicFinalization();
  EXPECT_FALSE(PGDefaultBMPWriter);
}
