// Shared set-up of the file dialog tests: the window system on a virtual
// clock, the imaging library started, and a folder of image files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "imaging/core/file_formats.h"
#include "imaging/core/messages.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"
#include "platform/base/files.h"
#include "platform/gdi/dc.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/test_driver.h"

namespace pgdialog_test {

// A true-colour BMP of one colour, or with a second colour on its left half.
inline void WriteBmp(const std::string& Path, int32_t W, int32_t H, TColor Color, TColor Left = 0xFFFFFFFF) {
  TPixelGraphic g;
  g.NewImage(W, H, pf24Bit);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) g.SetPixelColor(x, y, Left != 0xFFFFFFFF && x < W / 2 ? Left : Color);
  g.SaveToFile(Path);
}

inline void WriteText(const std::string& Path, const std::string& Text) {
  std::ofstream(Path, std::ios::binary) << Text;
}

class DialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeStdControls();
    PGraphicInitialization();
    char tmpl[] = "/tmp/quillon_pgdialog_XXXXXX";
    Dir = IncludeTrailingPathDelimiter(mkdtemp(tmpl));
  }
  void TearDown() override {
    SetScreenBitsPerPixel(32);
    PGLanguage = 0;
    PGraphicFinalization();
    FinalizeStdControls();
    std::string cmd = "rm -rf '" + Dir + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  static std::string BuildDir() {
    const char* b = std::getenv("QUILLON_BUILD_DIR");
    return b ? b : ".";
  }
  TUiTestDriver Driver;
  std::string Dir;
};

}  // namespace pgdialog_test
