// Row-at-a-time access to packed palette indices (1 bit: most significant
// bit first; 4 bits: high nibble first).
#include "imaging/core/pixel_rows.h"

#include <array>
#include <bit>
#include <cstring>

#include "imaging/core/pixel_graphic.h"

namespace {

// The eight pixels of each byte of a 1-bit row.
constexpr std::array<std::array<uint8_t, 8>, 256> BitPixels = [] {
  std::array<std::array<uint8_t, 8>, 256> t{};
  for (int b = 0; b < 256; ++b)
    for (int k = 0; k < 8; ++k) t[b][k] = uint8_t((b >> (7 - k)) & 1);
  return t;
}();

inline uint8_t BitAt(const uint8_t* Row, int64_t X) { return (Row[X >> 3] >> (7 - (X & 7))) & 1; }
inline uint8_t NibbleAt(const uint8_t* Row, int64_t X) { return (X & 1) ? Row[X >> 1] & 0x0F : Row[X >> 1] >> 4; }

inline void SetBit(uint8_t* Row, int64_t X, uint8_t V) {
  const uint8_t mask = uint8_t(0x80 >> (X & 7));
  Row[X >> 3] = V == 1 ? Row[X >> 3] | mask : Row[X >> 3] & uint8_t(~mask);
}
inline void SetNibble(uint8_t* Row, int64_t X, uint8_t V) {
  uint8_t& b = Row[X >> 1];
  b = (X & 1) ? uint8_t((b & 0xF0) | (V & 0x0F)) : uint8_t((b & 0x0F) | (V & 0x0F) << 4);
}

}  // namespace

void UnpackRowIndices(const uint8_t* Row, uint8_t PixelFormat, int64_t First, int64_t Count, uint8_t* To) {
  int64_t x = First;
  const int64_t end = First + Count;
  switch (PixelFormat) {
    case pf1Bit:
      for (; x < end && (x & 7); ++x) *To++ = BitAt(Row, x);
      for (; x + 8 <= end; x += 8, To += 8) std::memcpy(To, BitPixels[Row[x >> 3]].data(), 8);
      for (; x < end; ++x) *To++ = BitAt(Row, x);
      break;
    case pf4Bit:
      if (x < end && (x & 1)) *To++ = NibbleAt(Row, x++);
      for (; x + 2 <= end; x += 2) {
        const uint8_t b = Row[x >> 1];
        *To++ = b >> 4;
        *To++ = b & 0x0F;
      }
      if (x < end) *To = NibbleAt(Row, x);
      break;
    default:
      std::memcpy(To, Row + First, size_t(Count));
  }
}

void PackRowIndices(const uint8_t* From, uint8_t PixelFormat, int64_t First, int64_t Count, uint8_t* Row) {
  int64_t x = First;
  const int64_t end = First + Count;
  switch (PixelFormat) {
    case pf1Bit:
      for (; x < end && (x & 7); ++x) SetBit(Row, x, *From++);
      for (; x + 8 <= end; x += 8, From += 8) {
        uint8_t b = 0;
        for (int k = 0; k < 8; ++k) b = uint8_t(b << 1 | (From[k] == 1));
        Row[x >> 3] = b;
      }
      for (; x < end; ++x) SetBit(Row, x, *From++);
      break;
    case pf4Bit:
      if (x < end && (x & 1)) SetNibble(Row, x++, *From++);
      for (; x + 2 <= end; x += 2, From += 2) Row[x >> 1] = uint8_t((From[0] & 0x0F) << 4 | (From[1] & 0x0F));
      if (x < end) SetNibble(Row, x, *From);
      break;
    default:
      std::memcpy(Row + First, From, size_t(Count));
  }
}

void CountRowIndices(const uint8_t* Row, uint8_t PixelFormat, int64_t Width, uint64_t* Counts) {
  switch (PixelFormat) {
    case pf1Bit: {
      const int64_t bytes = Width >> 3;
      uint64_t ones = 0;
      int64_t i = 0;
      for (; i + 8 <= bytes; i += 8) {
        uint64_t w;
        std::memcpy(&w, Row + i, 8);
        ones += uint64_t(std::popcount(w));
      }
      for (; i < bytes; ++i) ones += uint64_t(std::popcount(unsigned(Row[i])));
      if (Width & 7) ones += uint64_t(std::popcount(unsigned(Row[bytes] & uint8_t(0xFF00 >> (Width & 7)))));
      Counts[1] += ones;
      Counts[0] += uint64_t(Width) - ones;
      break;
    }
    case pf4Bit: {
      const int64_t bytes = Width >> 1;
      if (bytes < 256) {
        for (int64_t x = 0; x < Width; ++x) ++Counts[NibbleAt(Row, x)];
        break;
      }
      // Whole bytes by value, then each value's two nibbles.
      uint64_t byValue[256] = {};
      for (int64_t i = 0; i < bytes; ++i) ++byValue[Row[i]];
      for (int v = 0; v < 256; ++v)
        if (byValue[v]) {
          Counts[v >> 4] += byValue[v];
          Counts[v & 0x0F] += byValue[v];
        }
      if (Width & 1) ++Counts[Row[bytes] >> 4];
      break;
    }
    default:
      for (int64_t x = 0; x < Width; ++x) ++Counts[Row[x]];
  }
}
