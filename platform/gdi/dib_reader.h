// Decoding of packed DIBs (an info header, its masks and colour table, then
// the rows), as bitmap files and the CF_DIB clipboard format hold them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/gdi/types.h"

// A new DIB section holding the packed DIB at Data (Size bytes), or nullptr
// for data that is malformed, truncated, too large or of a kind not read.
//
// Read: core (12-byte) headers with 1, 4, 8 or 24 bits; info headers of 40,
// 108 and 124 bytes with 1, 4, 8, 16, 24 or 32 bits uncompressed, 8 bits
// RLE8, 4 bits RLE4, 16 or 32 bits with bit fields; rows bottom-up or (but
// for RLE) top-down. Palette formats and 24/32 bits keep their form; 16 bits
// and bit fields become 24 and 32 bits, each channel widened to 8 bits as
// the full edition's codec does (TPixelGraphic::ReadDIB): for the forms
// both read, both give the same pixels and refuse the same data cut short.
//
// BitsOffset is the distance from the header's start to the rows, or 0 when
// they follow the colour table; an offset inside the header, masks or
// colour table counts as 0. Used, when given, receives the bytes the DIB
// takes from Data: up to the end of its rows, or of its RLE data. Fault,
// when given, receives why nothing was made (dfNone when a bitmap was).
//
// A picture over the image-size cap (ImageBytesCap) is refused before any
// pixel memory is taken. Run-length rows are decoded into memory that
// starts zeroed and are not cleared again, so that rows the data never
// reaches cost no memory. Run-length data that stops before the picture is
// complete (no end-of-bitmap code, rows left) is refused as cut short when
// the file holds less than the header's data size says, or the header does
// not say.
enum TDIBFault : uint8_t {
  dfNone,
  dfInvalid,    // malformed, or of a kind not read
  dfTooLarge,   // over the image-size cap
  dfTruncated,  // the colour table, the rows or the run-length data cut short
};
HBITMAP BitmapFromPackedDIB(const uint8_t* Data, size_t Size, size_t BitsOffset = 0, size_t* Used = nullptr,
                            TDIBFault* Fault = nullptr);
