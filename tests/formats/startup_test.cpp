// The library's start-up and shut-down.
#include <gtest/gtest.h>

#include "imaging/core/file_formats.h"
#include "imaging/core/options.h"
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
