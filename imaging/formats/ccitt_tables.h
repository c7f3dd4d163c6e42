// The white and black run-length codes of one-dimensional fax coding
// (Modified Huffman): terminating codes for runs 0..63, make-up codes for
// 64..1728 and the extended make-up codes for 1792..2560 shared by both
// colours. The decoder walks tables ordered by code length; the encoder looks
// codes up by run.
#pragma once

#include <array>
#include <cstdint>

struct TCCITTCode {
  uint8_t Length;  // bits of the code
  uint16_t Code;   // the code, right-aligned
  int16_t Run;     // run length; -1 for the end-of-line code
};

constexpr int CCITTDecodeTableSize = 105;  // 64 + 27 + 13 + end-of-line
constexpr int CCITTEncodeTableSize = 104;  // 64 terminating + 40 make-up (64..2560)
constexpr int CCITTMaxMakeUp = 2560;

using TCCITTDecodeTable = std::array<TCCITTCode, CCITTDecodeTableSize>;
using TCCITTEncodeTable = std::array<TCCITTCode, CCITTEncodeTableSize>;

// Ordered by code length (ties in run order), end-of-line among them.
extern const TCCITTDecodeTable CCITTWhiteDecodeTable;
extern const TCCITTDecodeTable CCITTBlackDecodeTable;

// Entry i: run i for i < 64, run (i - 63) * 64 for the make-up codes.
extern const TCCITTEncodeTable CCITTWhiteEncodeTable;
extern const TCCITTEncodeTable CCITTBlackEncodeTable;

// Index into an encode table of a terminating run (0..63) or a make-up run
// (a multiple of 64 up to 2560).
constexpr int CCITTEncodeIndex(int Run) { return Run < 64 ? Run : 63 + Run / 64; }
