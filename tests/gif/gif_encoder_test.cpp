// The LZW compressor's code stream: the dictionary's probing, resets at a
// full table, sub-block framing; comment blocks and the bits-per-pixel table.
#include <gtest/gtest.h>

#include "gif/gif_encoder.h"
#include "tests/gif/gif_test_util.h"

namespace {

// The image data of an index sequence, as CompressGIFLZW writes it.
std::vector<uint8_t> Compress(const std::vector<uint8_t>& indices, int32_t colors) {
  TMemoryStream s;
  CompressGIFLZW(s, indices.data(), static_cast<int64_t>(indices.size()), colors);
  return s.Bytes();
}

// The compressor's rule written plainly: keys and codes in two tables of
// 5119 slots, the probe step 5119 - i, a key-0 slot ending the probe, the
// width growing after the code that fills it and a clear at 4096 codes.
std::vector<uint8_t> CompressByTheRule(const std::vector<uint8_t>& indices, int32_t colors) {
  const int32_t bits = GIFBitsPerPixel(colors), m = bits == 1 ? 2 : bits;
  const int32_t clear = 1 << m;
  int32_t width = m + 1, largest = (1 << width) - 1, next = clear + 2;
  bool clearPending = false;
  std::vector<int32_t> keys(5120, -1), codes(5120, 0);
  std::vector<TCode> out;
  auto emit = [&](int32_t code) {
    out.push_back({code, width});
    if (clearPending) {
      width = m + 1, largest = (1 << width) - 1, clearPending = false;
    } else if (next > largest) {
      ++width;
      largest = width == 12 ? 4096 : (1 << width) - 1;
    }
  };
  emit(clear);
  int32_t prefix = indices.empty() ? 0 : indices[0];
  for (size_t p = 1; p < indices.size(); ++p) {
    const int32_t c = indices[p], key = (c << 12) + prefix;
    int32_t i = (c << 4) ^ prefix;
    bool found = keys[i] == key;
    if (!found && keys[i] >= 0) {
      const int32_t step = i == 0 ? 1 : 5119 - i;
      do {
        i -= step;
        if (i < 0) i += 5119;
        found = keys[i] == key;
      } while (!found && keys[i] > 0);
    }
    if (found) {
      prefix = codes[i];
      continue;
    }
    emit(prefix);
    prefix = c;
    if (next < 4096) {
      codes[i] = next++;
      keys[i] = key;
    } else {
      std::fill(keys.begin(), keys.end(), -1);
      next = clear + 2;
      clearPending = true;
      emit(clear);
    }
  }
  if (!indices.empty()) emit(prefix);
  emit(clear + 1);
  return PackLZWCodes(m, out);
}

}  // namespace

TEST_F(GIFEncoderTest, CodesAsTheRuleForEveryCodeSize) {
  // Noise, runs and gradients over 2 to 256 colours: strings of every
  // length, probes, full dictionaries and clears at each code size, and the
  // rows given one at a time through a map of indices.
  uint32_t s = 99;
  for (int32_t colors : {2, 3, 5, 16, 17, 100, 256}) {
    for (int kind = 0; kind < 3; ++kind) {
      const int32_t width = 331, height = 97;
      std::vector<uint8_t> indices(size_t(width) * height);
      for (size_t i = 0; i < indices.size(); ++i) {
        s = s * 1103515245u + 12345u;
        const uint32_t noise = s >> 16;
        const uint32_t v = kind == 0 ? noise : kind == 1 ? (noise % 7 == 0 ? noise : uint32_t(i / 23))
                                                         : uint32_t(i % width / 3 + i / width + noise % 3);
        indices[i] = uint8_t(v % uint32_t(colors));
      }
      const std::vector<uint8_t> expected = CompressByTheRule(indices, colors);
      ASSERT_EQ(Compress(indices, colors), expected) << colors << " colours, kind " << kind;

      // The same pixels as rows of indices reversed, mapped back.
      // Even indices are mapped from the start; odd ones are placed as
      // they come.
      std::vector<uint8_t> rows(indices.size());
      std::vector<uint16_t> map(256);
      for (size_t i = 0; i < rows.size(); ++i) rows[i] = uint8_t(255 - indices[i]);
      for (int32_t v = 0; v < 256; ++v) map[size_t(v)] = v % 2 ? 0x100 : uint16_t(255 - v);
      TMemoryStream byRows;
      CompressGIFLZW(
          byRows, width, height, false, [&](int32_t y) { return &rows[size_t(y) * width]; }, map.data(), colors,
          [](uint8_t v) { return uint8_t(255 - v); });
      EXPECT_EQ(byRows.Bytes(), expected) << colors << " colours by rows, kind " << kind;
    }
  }
}

TEST_F(GIFEncoderTest, BitsPerPixelTable) {
  const int32_t expected[][2] = {{0, 1},   {1, 1},   {2, 1},   {3, 2},   {4, 2},   {5, 3},  {8, 3},
                                 {9, 4},   {16, 4},  {17, 5},  {32, 5},  {33, 6},  {64, 6}, {65, 7},
                                 {128, 7}, {129, 8}, {256, 8}, {257, 0}, {-1, 0}};
  for (auto& e : expected) EXPECT_EQ(GIFBitsPerPixel(e[0]), e[1]) << e[0];
}

TEST_F(GIFEncoderTest, CommentSubBlocks) {
  EXPECT_TRUE(CommentBlock("").empty());
  EXPECT_EQ(CommentBlock("ab"), Bytes({0x21, 0xFE, 2, 'a', 'b', 0}));
  std::vector<uint8_t> b = CommentBlock(std::string(510, 'x'));
  ASSERT_EQ(b.size(), 2u + 256u + 256u + 1u);
  EXPECT_EQ(b[2], 255);
  EXPECT_EQ(b[258], 255);
  EXPECT_EQ(b.back(), 0);
}

TEST_F(GIFEncoderTest, EmptyFrameCodesOnlyClearAndEnd) {
  EXPECT_EQ(Compress({}, 0), Bytes({2, 1, 0x2C, 0}));  // 4 and 5 in 3 bits each
}

TEST_F(GIFEncoderTest, HashSlotHoldingKeyZeroEndsTheProbe) {
  // (16,1) takes slot 0, so (0,0) goes to slot 5118; (32,2) also starts at
  // slot 0, stops its probe at the key-0 slot and takes it over, so the
  // second (0,0) is not found and is coded again as 0 0.
  std::vector<uint8_t> data = Compress({16, 1, 0, 0, 32, 2, 0, 0}, 256);
  auto codes = ReadLZWCodes(data.data(), data.size());
  EXPECT_EQ(CodeValues(codes), (std::vector<int32_t>{256, 16, 1, 0, 0, 32, 2, 0, 0, 257}));
  for (const TCode& c : codes) EXPECT_EQ(c.Width, 9);
}

TEST_F(GIFEncoderTest, FullDictionaryEmitsClearAtTwelveBitsAndRestarts) {
  // Pseudo-random indices of 4 colours fill the dictionary several times.
  std::vector<uint8_t> indices(60000);
  uint32_t s = 12345;
  for (auto& v : indices) {
    s = s * 1103515245u + 12345u;
    v = static_cast<uint8_t>((s >> 16) & 3);
  }
  std::vector<uint8_t> data = Compress(indices, 4);
  auto codes = ReadLZWCodes(data.data(), data.size());
  ASSERT_GT(codes.size(), 4096u);
  int clears = 0;
  for (size_t i = 1; i < codes.size(); ++i) {
    if (codes[i].Code != 4) continue;
    ++clears;
    EXPECT_EQ(codes[i].Width, 12);
    EXPECT_EQ(codes[i + 1].Width, 3);
    // Between clears the dictionary grew from 6 to exactly 4096 entries.
    size_t prev = i - 1;
    while (prev > 0 && codes[prev].Code != 4) --prev;
    EXPECT_EQ(i - prev - 1, 4096u - 6u + 1u);
  }
  EXPECT_GE(clears, 2);
  EXPECT_EQ(codes.back().Code, 5);

  TMemoryStream gif;
  gif.WriteBuffer("GIF89a\x10\x27\x06\x00\x81\x00\x00", 13);
  gif.WriteBuffer("\x00\x00\x00\x55\x55\x55\xAA\xAA\xAA\xFF\xFF\xFF", 12);
  gif.WriteBuffer("\x2C\x00\x00\x00\x00\x10\x27\x06\x00\x00", 10);
  gif.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  gif.WriteBuffer("\x3B", 1);
  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, gif.Bytes()));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 10000; ++x) ASSERT_EQ(d.Frame(1).PixelAt(x, y), indices[y * 10000 + x]);
}

TEST_F(GIFEncoderTest, DataSubBlocksHoldOneTo255BytesThenZero) {
  for (int n : {1, 2, 300, 700, 2000, 5000}) {
    std::vector<uint8_t> indices(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) indices[i] = static_cast<uint8_t>((i * 7 + i / 13) & 15);
    std::vector<uint8_t> data = Compress(indices, 16);
    std::vector<int32_t> blocks;
    size_t consumed = 0;
    ReadLZWCodes(data.data(), data.size(), &blocks, &consumed);
    ASSERT_FALSE(blocks.empty());
    for (size_t i = 0; i + 1 < blocks.size(); ++i) EXPECT_EQ(blocks[i], 255);
    EXPECT_GE(blocks.back(), 1);
    EXPECT_EQ(consumed, data.size());  // the zero-length block is the last byte
    EXPECT_EQ(data.back(), 0);
  }
}


TEST_F(GIFEncoderTest, PaletteTooLargeToCodeWritesNothing) {
  const uint8_t index = 0;
  TMemoryStream s;
  CompressGIFLZW(s, &index, 1, 257);
  EXPECT_EQ(GIFWriteStatus, 2);
  EXPECT_EQ(s.Size(), 0);
}
