#include "tests/gif/gif_bitmap_util.h"

#include <gtest/gtest.h>

std::unique_ptr<TBitmap> MakeBitmap(int32_t Width, int32_t Height,
                                    const std::function<uint32_t(int32_t, int32_t)>& Color) {
  auto bmp = std::make_unique<TBitmap>();
  bmp->SetPixelFormat(pf24bit);
  bmp->SetWidth(Width);
  bmp->SetHeight(Height);
  for (int32_t y = 0; Width > 0 && y < Height; ++y) {
    auto* row = static_cast<uint8_t*>(bmp->ScanLine(y));
    for (int32_t x = 0; x < Width; ++x) {
      uint32_t c = Color(x, y);
      row[3 * x] = static_cast<uint8_t>(c >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(c);
    }
  }
  return bmp;
}

std::vector<uint8_t> EncodeGIF(TBitmap& Bitmap, bool Interlaced, bool Transparent, TColor TransparentColor) {
  TMemoryStream s;
  EXPECT_TRUE(SaveBitmapAsGIF(s, Bitmap, Interlaced, Transparent, TransparentColor));
  return s.Bytes();
}

