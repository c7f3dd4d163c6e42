// The device-independent bitmap header and colour table that describe an
// image's pixel memory; the DIB codec writes them out as they are.
#pragma once

#include <cstdint>

// Field order and sizes of the DIB info header (40 bytes, little-endian).
struct TPGBitmapInfoHeader {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;  // positive: rows stored bottom-up
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};
static_assert(sizeof(TPGBitmapInfoHeader) == 40, "DIB info header must be 40 bytes");

// One colour-table entry: blue, green, red, reserved.
struct TPGRGBQuad {
  uint8_t rgbBlue;
  uint8_t rgbGreen;
  uint8_t rgbRed;
  uint8_t rgbReserved;
};
static_assert(sizeof(TPGRGBQuad) == 4, "DIB colour entry must be 4 bytes");

constexpr uint32_t PG_BI_RGB = 0;

// The header followed by the colour table. The table has room for 256
// entries; an image uses the first 2, 16 or 256 by its pixel format (none
// for 24 bit), as ColorTableCount says.
struct TPGBitmapInfo {
  TPGBitmapInfoHeader bmiHeader;
  TPGRGBQuad bmiColors[256];
};
static_assert(sizeof(TPGBitmapInfo) == 40 + 256 * 4, "DIB info block must be contiguous");
