// Palette indices of packed 1-, 4- and 8-bit rows, a whole row at a time:
// widened to a byte a pixel, stored back, and counted, at the cost of an
// 8-bit row rather than of a call per pixel.
#pragma once

#include <cstdint>

// Count indices of Row from pixel First on, a byte each, into To.
void UnpackRowIndices(const uint8_t* Row, uint8_t PixelFormat, int64_t First, int64_t Count, uint8_t* To);

// Stores Count indices from From at pixel First of Row, as SetPixel stores
// them (1 bit: index 1 sets the bit, any other clears it; 4 bits: the low
// four bits); the row's other pixels keep their values.
void PackRowIndices(const uint8_t* From, uint8_t PixelFormat, int64_t First, int64_t Count, uint8_t* Row);

// Adds the pixels of the Width first pixels of Row to Counts, one counter
// per index (2, 16 or 256 of them are touched).
void CountRowIndices(const uint8_t* Row, uint8_t PixelFormat, int64_t Width, uint64_t* Counts);
