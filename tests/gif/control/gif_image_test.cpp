// The lite edition's GIF control: loading by name with its status, the
// first bitmap on the logical screen, and its file-level GIF writer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gif/control/gif_image.h"
#include "platform/base/files.h"
#include "platform/gdi/dc.h"
#include "platform/ui/forms.h"
#include "platform/ui/test_driver.h"
#include "tests/gif/control/gif_anim_util.h"
#include "tests/gif/gif_bitmap_util.h"

using namespace std::string_literals;

namespace {

TColor Pixel(TBitmap* B, int32_t x, int32_t y) { return GetPixel(B->Canvas()->Handle(), x, y) & 0xFFFFFF; }

TEST(GIFImage, LoadsFilesByNameAndTellsWhyALoadFailed) {
  const std::string good = BuildPath("lite_good.gif"), bad = BuildPath("lite_bad.gif"),
                    missing = BuildPath("lite_missing.gif");
  WriteFile(good, MakeGIF({SolidFrame(kRed, 6, 5), SolidFrame(kGreen, 6, 5)}));
  WriteFile(bad, {'G', 'I', 'F', '8', '9', 'a', 6, 0});
  std::remove(missing.c_str());

  TGIFImage gif(nullptr);
  EXPECT_FALSE(gif.LoadFromFile(missing));
  EXPECT_EQ(GIFImageStatus, 7);
  EXPECT_EQ(gif.FileName(), "");
  EXPECT_EQ(gif.StatusText(), "\"" + missing + "\" does not exist.");

  gif.SetFileName(good);
  EXPECT_EQ(GIFImageStatus, 0);
  EXPECT_EQ(gif.FileName(), good);
  EXPECT_EQ(gif.FrameCount(), 2);
  EXPECT_EQ(gif.StatusText(), "");
  // A missing file changes nothing but the status.
  EXPECT_FALSE(gif.LoadFromFile(missing));
  EXPECT_EQ(gif.FrameCount(), 2);
  EXPECT_EQ(gif.FileName(), good);

  EXPECT_FALSE(gif.LoadFromFile(bad));
  EXPECT_EQ(GIFImageStatus, 3);
  EXPECT_TRUE(gif.Empty());
  EXPECT_EQ(gif.GetBitmap(), nullptr);
  EXPECT_EQ(gif.FileName(), bad);
  EXPECT_EQ(gif.StatusText(), "\"" + bad + "\" is not a readable GIF file.");
  // A screen too large for the canvas is told apart from a damaged file.
  WriteFile(bad, {'G', 'I', 'F', '8', '9', 'a', 0x20, 0x4E, 0x20, 0x4E, 0, 0, 0, 0x3B});
  EXPECT_FALSE(gif.LoadFromFile(bad));
  EXPECT_EQ(GIFImageStatus, 3);
  EXPECT_EQ(gif.StatusText(), "\"" + bad + "\" is too large to open: Invalid size of 20000 x 20000.");
  std::remove(good.c_str());
  std::remove(bad.c_str());
}

TEST(GIFImage, FirstBitmapPutsFrameOneAtItsPlaceInItsTransparentColour) {
  // Frame 1 is 3 x 2 at (2, 1) on a 6 x 4 screen; its top-left pixel has
  // the transparent colour.
  TTestFrame first;
  first.Width = 3;
  first.Height = 2;
  first.Left = 2;
  first.Top = 1;
  first.Transparent = true;
  first.TransparentColor = kYellow;
  first.Color = [](int32_t x, int32_t y) { return x == 0 && y == 0 ? kYellow : kRed; };
  TTestFrame second = SolidFrame(kBlue, 6, 4);
  TGIFImage gif(nullptr);
  TMemoryStream s;
  s.Bytes() = MakeGIF({first, second});
  ASSERT_TRUE(gif.LoadFromStream(s));
  TBitmap* b = gif.GetBitmap();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Width(), 6);
  EXPECT_EQ(b->Height(), 4);
  EXPECT_EQ(Pixel(b, 0, 0), kYellow);
  EXPECT_EQ(Pixel(b, 2, 1), kYellow);
  EXPECT_EQ(Pixel(b, 3, 1), kRed);
  EXPECT_EQ(Pixel(b, 4, 2), kRed);
  EXPECT_EQ(Pixel(b, 5, 3), kYellow);

  // An opaque frame 1 lies on black.
  first.Transparent = false;
  s.Bytes() = MakeGIF({first, second});
  ASSERT_TRUE(gif.LoadFromStream(s));
  b = gif.GetBitmap();
  EXPECT_EQ(Pixel(b, 0, 0), kBlack);
  EXPECT_EQ(Pixel(b, 2, 1), kYellow);
  EXPECT_EQ(Pixel(b, 4, 2), kRed);
}

// A full table without black: the screen around frame 1 takes black in an
// entry that none of the frame's pixels use, so the picture keeps a byte a
// pixel; a frame that shows all 256 colours leaves it 24 bits.
TEST(GIFImage, FirstBitmapOnAFullTableWithoutBlackKeepsEightBitsWhenItCan) {
  auto colour = [](int32_t x, int32_t y) { return 0x010101u + static_cast<uint32_t>(y * 16 + x) * 0x000101u; };
  TTestFrame all;  // 256 colours, none black
  all.Width = all.Height = 16;
  all.Color = colour;
  TTestFrame one = SolidFrame(colour(5, 5), 2, 1);
  one.Left = 3;
  one.Top = 4;
  TGIFImage gif(nullptr);
  TMemoryStream s;
  s.Bytes() = MakeGIF({one, all});
  ASSERT_TRUE(gif.LoadFromStream(s));
  TBitmap* b = gif.GetBitmap();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->PixelFormat(), pf8bit);
  EXPECT_EQ(Pixel(b, 0, 0), kBlack);
  EXPECT_EQ(Pixel(b, 4, 4), colour(5, 5));
  EXPECT_EQ(Pixel(b, 5, 4), kBlack);
  EXPECT_EQ(Pixel(b, 15, 15), kBlack);

  all.Left = 1;
  s.Bytes() = MakeGIF({all});
  ASSERT_TRUE(gif.LoadFromStream(s));
  b = gif.GetBitmap();
  EXPECT_EQ(b->PixelFormat(), pf24bit);
  EXPECT_EQ(Pixel(b, 0, 15), kBlack);
  EXPECT_EQ(Pixel(b, 16, 15), colour(15, 15));
}

TEST(GIFImage, FileWriterLeavesTheBitmapAndClosesWithTheTitleAlone) {
  TUiTestDriver driver;  // the application object
  const std::string title = Application->Title();
  Application->SetTitle("Lite Title");
  TGIFImage gif(nullptr);
  Application->SetTitle(title);
  EXPECT_EQ(GIFImageComment(), "Created by Lite Title");

  auto bitmap = MakeBitmap(7, 3, [](int32_t x, int32_t y) { return x < 3 ? kRed : y == 1 ? kBlue : kWhite; });
  bitmap->SetPixelFormat(pf8bit);
  const std::string name = BuildPath("lite_written.gif");
  ASSERT_TRUE(SaveBitmapAsGIFFile(name, *bitmap, false, 0xFFFFFF, false));
  EXPECT_EQ(bitmap->PixelFormat(), pf8bit);
  EXPECT_EQ(GIFColorCount, 3);
  const std::vector<uint8_t> bytes = ReadFile(name);
  const std::string tail = "\x21\xFE\x15" "Created by Lite Title\x00\x3B"s;
  ASSERT_GT(bytes.size(), tail.size());
  EXPECT_EQ(std::string(bytes.end() - static_cast<std::ptrdiff_t>(tail.size()), bytes.end()), tail);
  ASSERT_TRUE(gif.LoadFromFile(name));
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(Pixel(gif.GetBitmap(), x, y), Pixel(bitmap.get(), x, y));

  // More than 256 colours: False, and the file keeps what it held.
  auto many = MakeBitmap(20, 20, [](int32_t x, int32_t y) { return static_cast<uint32_t>(x * 20 + y); });
  EXPECT_FALSE(SaveBitmapAsGIFFile(name, *many, false, 0xFFFFFF, false));
  EXPECT_EQ(GIFWriteStatus, 4);
  EXPECT_EQ(ReadFile(name), bytes);
  std::remove(name.c_str());
}

}  // namespace
