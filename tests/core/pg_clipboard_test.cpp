// An image copied to the system clipboard comes back as the same DIB.
#include <gtest/gtest.h>

#include "imaging/core/pixel_graphic.h"
#include "platform/gdi/clipboard_formats.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/test_driver.h"

TEST(PixelGraphicClipboard, CopyToClipboardPutsADibThatReadsBackToTheSamePixels) {
  TUiTestDriver driver;
  TPixelGraphic image;
  image.NewImage(7, 3, 1);  // 4 bits, odd width
  image.SetPaletteCount(16);
  for (int32_t i = 0; i < 16; ++i) image.SetPaletteEntry(i, static_cast<TColor>(i * 0x101010));
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 7; ++x) image.SetPixel(x, y, static_cast<uint32_t>((x + 3 * y) % 16));
  image.CopyToClipboard();
  EXPECT_TRUE(Clipboard()->HasFormat(CF_DIB));

  TPixelGraphic back;
  ASSERT_TRUE(OpenClipboard(nullptr));
  uintptr_t dib = GetClipboardData(CF_DIB);
  ASSERT_NE(dib, 0u);
  back.LoadFromClipboardFormat(CF_DIB, dib, nullptr);
  CloseClipboard();
  ASSERT_EQ(back.Width(), 7);
  ASSERT_EQ(back.Height(), 3);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(back.GetPixelColor(x, y), image.GetPixelColor(x, y)) << x << "," << y;
  FinalizeClipboard();
}
