// A crafted JPEG shared by the reader tests and the readers' benchmark.
#pragma once

#include <cstdint>
#include <vector>

// A progressive grey JPEG of W x H whose scans carry four zero bytes each: a
// DC scan, then Scans - 1 AC scans of band 1..63. Huffman tables of one code
// each make every block decode from zero bits, which the library pads in.
inline std::vector<uint8_t> EmptyScansJPEG(int32_t W, int32_t H, int32_t Scans) {
  std::vector<uint8_t> b = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
  b.insert(b.end(), 64, 1);
  b.insert(b.end(), {0xFF, 0xC2, 0x00, 0x0B, 0x08, uint8_t(H >> 8), uint8_t(H), uint8_t(W >> 8), uint8_t(W), 0x01,
                     0x01, 0x11, 0x00});
  for (uint8_t table : {0x00, 0x10}) {
    b.insert(b.end(), {0xFF, 0xC4, 0x00, 0x14, table, 1});
    b.insert(b.end(), 15, 0);
    b.push_back(0);
  }
  for (int32_t s = 0; s < Scans; ++s)
    b.insert(b.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, uint8_t(s ? 1 : 0), uint8_t(s ? 63 : 0), 0x00, 0, 0,
                       0, 0});
  b.insert(b.end(), {0xFF, 0xD9});
  return b;
}
