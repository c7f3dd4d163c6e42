// A crafted JPEG shared by the reader tests and the readers' benchmark.
#pragma once

#include <cstdint>
#include <vector>

// A grey progressive JPEG of W x H whose scans carry four zero bytes each: a
// DC scan, then Scans - 1 AC scans of band 1..63. Huffman tables of one code
// each make every block decode from zero bits, which the library pads in.
// With Components 3 it is a sequential colour JPEG whose scans each hold one
// component (non-interleaved), the components in turn.
inline std::vector<uint8_t> EmptyScansJPEG(int32_t W, int32_t H, int32_t Scans, uint8_t Components = 1) {
  const bool progressive = Components == 1;
  std::vector<uint8_t> b = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
  b.insert(b.end(), 64, 1);
  b.insert(b.end(), {0xFF, uint8_t(progressive ? 0xC2 : 0xC0), 0x00, uint8_t(8 + 3 * Components), 0x08, uint8_t(H >> 8),
                     uint8_t(H), uint8_t(W >> 8), uint8_t(W), Components});
  for (uint8_t c = 1; c <= Components; ++c) b.insert(b.end(), {c, 0x11, 0x00});
  for (uint8_t table : {0x00, 0x10}) {
    b.insert(b.end(), {0xFF, 0xC4, 0x00, 0x14, table, 1});
    b.insert(b.end(), 15, 0);
    b.push_back(0);
  }
  for (int32_t s = 0; s < Scans; ++s) {
    const uint8_t first = progressive ? (s ? 1 : 0) : 0, last = progressive ? (s ? 63 : 0) : 63;
    b.insert(b.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, uint8_t(1 + s % Components), 0x00, first, last, 0x00, 0, 0, 0, 0});
  }
  b.insert(b.end(), {0xFF, 0xD9});
  return b;
}
