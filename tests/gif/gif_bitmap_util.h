// Bitmap helpers of the GIF writer tests.
#pragma once

#include "gif/gif_encoder.h"
#include "platform/gdi/bitmap.h"
#include "tests/gif/gif_test_util.h"

// A 24-bit bitmap whose pixel (x, y) has Color(x, y) (0x00BBGGRR).
std::unique_ptr<TBitmap> MakeBitmap(int32_t Width, int32_t Height,
                                    const std::function<uint32_t(int32_t, int32_t)>& Color);
// Encodes with SaveBitmapAsGIF into bytes.
std::vector<uint8_t> EncodeGIF(TBitmap& Bitmap, bool Interlaced = false, bool Transparent = false,
                               TColor TransparentColor = 0);

