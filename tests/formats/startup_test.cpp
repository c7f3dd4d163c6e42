// The library's start-up and shut-down.
#include <gtest/gtest.h>

#include "imaging/core/file_formats.h"
#include "imaging/core/options.h"
#include "imaging/core/pg_resources.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"

TEST(StartUp, RunsOnceAndCleansUpTwiceInOneProcess) {
  for (int round = 0; round < 2; ++round) {
    PGraphicInitialization();
    PGraphicInitialization();  // counted, not run again
    ASSERT_TRUE(FileFormatReaders);
    ASSERT_TRUE(FileFormatWriters);
    EXPECT_EQ(JPEGQuality, 80);
    EXPECT_FALSE(PGReadChunks);
    EXPECT_EQ(TIFFMaxPages, 1000);
    TPixelGraphic g;
    EXPECT_EQ(g.Gamma(), 1.8L);
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
