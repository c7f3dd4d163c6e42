// The fax code tables, the Modified Huffman row coder and decoder, and the
// PackBits coder, checked on their own.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "imaging/core/exceptions.h"
#include "imaging/formats/ccitt_tables.h"
#include "imaging/formats/tiff_reader.h"
#include "imaging/formats/tiff_writer.h"
#include "platform/base/stream.h"

namespace {

std::string Bits(const std::vector<uint8_t>& Bytes, size_t Count) {
  std::string S;
  for (size_t i = 0; i < Count; ++i) S += (Bytes[i / 8] >> (7 - i % 8)) & 1 ? '1' : '0';
  return S;
}

std::string CodeBits(const TCCITTCode& C) {
  std::string S;
  for (int i = C.Length - 1; i >= 0; --i) S += (C.Code >> i) & 1 ? '1' : '0';
  return S;
}

// Decodes one Modified Huffman row from Data through the reader's row decoder.
std::vector<uint8_t> DecodeRow(const std::vector<uint8_t>& Data, int32_t Width) {
  TMemoryStream Stream;
  Stream.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
  TTIFFDecodeState State;
  State.Stream = &Stream;
  State.StreamSize = Stream.Size();
  State.PixelsPerRow = Width;
  State.Row.assign(static_cast<size_t>((Width + 7) / 8), 0xAA);
  TTIFFileFormatReader Reader;
  Reader.StartStrip(State, TIFFCompressionCCITT1D);
  Reader.DecodeRow(State, 0, TIFFCompressionCCITT1D);
  return State.Row;
}

std::vector<uint8_t> PackBits(const std::vector<uint8_t>& Row) {
  std::vector<uint8_t> Out(2 * Row.size() + 2);
  std::vector<int32_t> Runs(Row.size() + 1);
  int32_t n = PackBitsEncodeRow(Row.data(), static_cast<int32_t>(Row.size()), Out.data(), Runs.data());
  Out.resize(static_cast<size_t>(n));
  return Out;
}

std::vector<uint8_t> UnpackBits(const std::vector<uint8_t>& Data, size_t Length, int32_t Row = 0) {
  TMemoryStream Stream;
  Stream.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
  TTIFFDecodeState State;
  State.Stream = &Stream;
  State.StreamSize = Stream.Size();
  State.Row.assign(Length, 0);
  TTIFFileFormatReader Reader;
  Reader.DecodeRow(State, Row, TIFFCompressionPackBits);
  return State.Row;
}

}  // namespace

TEST(CCITTTables, EachColourIsAPrefixFreeCodeOrderedByLength) {
  for (const TCCITTDecodeTable* Table : {&CCITTWhiteDecodeTable, &CCITTBlackDecodeTable}) {
    std::set<int> Runs;
    for (size_t i = 0; i < Table->size(); ++i) {
      const TCCITTCode& A = (*Table)[i];
      Runs.insert(A.Run);
      if (i > 0) {
        EXPECT_LE((*Table)[i - 1].Length, A.Length);
      }
      for (size_t j = 0; j < Table->size(); ++j) {
        if (i == j) continue;
        const std::string a = CodeBits(A), b = CodeBits((*Table)[j]);
        EXPECT_NE(b.compare(0, a.size(), a), 0) << a << " is a prefix of " << b;
      }
    }
    EXPECT_EQ(Runs.size(), 105u);  // 0..63, 64..2560 by 64, end-of-line
    EXPECT_TRUE(Runs.count(-1));
    EXPECT_TRUE(Runs.count(2560));
  }
}

TEST(CCITTTables, EncodeTablesAreIndexedByRun) {
  for (int i = 0; i < CCITTEncodeTableSize; ++i) {
    int Run = i < 64 ? i : (i - 63) * 64;
    EXPECT_EQ(CCITTWhiteEncodeTable[i].Run, Run);
    EXPECT_EQ(CCITTBlackEncodeTable[i].Run, Run);
    EXPECT_EQ(CCITTEncodeIndex(Run), i);
  }
  // A few well-known codes.
  EXPECT_EQ(CodeBits(CCITTWhiteEncodeTable[0]), "00110101");
  EXPECT_EQ(CodeBits(CCITTBlackEncodeTable[0]), "0000110111");
  EXPECT_EQ(CodeBits(CCITTBlackEncodeTable[2]), "11");
  EXPECT_EQ(CodeBits(CCITTWhiteEncodeTable[CCITTEncodeIndex(1664)]), "011000");
  EXPECT_EQ(CodeBits(CCITTBlackEncodeTable[CCITTEncodeIndex(2560)]), "000000011111");
}

TEST(ModifiedHuffman, WhiteRowOf3000PixelsUsesBothMakeUpCodes) {
  std::vector<uint8_t> Row(375, 0);
  std::vector<uint8_t> Coded = ModifiedHuffmanEncodeRow(Row.data(), 3000);
  // 2560 = 000000011111, 384 = 00110111, 56 = 01011001: 28 bits.
  ASSERT_EQ(Coded.size(), 4u);
  EXPECT_EQ(Bits(Coded, 32), "0000000111110011011101011001" "0000");
  EXPECT_EQ(DecodeRow(Coded, 3000), Row);
}

TEST(ModifiedHuffman, RowStartingBlackBeginsWithWhiteRunZero) {
  std::vector<uint8_t> Row = {0xC0};  // black, black, then 6 white
  std::vector<uint8_t> Coded = ModifiedHuffmanEncodeRow(Row.data(), 8);
  // white 0, black 2, white 6
  EXPECT_EQ(Bits(Coded, 8 + 2 + 4), "00110101" "11" "1110");
  EXPECT_EQ(DecodeRow(Coded, 8), Row);
}

TEST(ModifiedHuffman, RandomRowsSurviveARoundTrip) {
  std::mt19937 Random(7);
  for (int32_t Width : {1, 7, 8, 9, 63, 64, 65, 1728, 2623, 2624, 2625, 5200}) {
    for (int Density : {2, 16, 300}) {
      std::vector<uint8_t> Row(static_cast<size_t>((Width + 7) / 8), 0);
      bool Black = Random() % 2;
      for (int32_t x = 0; x < Width; ++x) {
        if (Random() % Density == 0) Black = !Black;
        if (Black) Row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
      std::vector<uint8_t> Coded = ModifiedHuffmanEncodeRow(Row.data(), Width);
      EXPECT_EQ(DecodeRow(Coded, Width), Row) << "width " << Width << " density " << Density;
    }
  }
}

TEST(ModifiedHuffman, BadCodesAndOverlongRowsAreRefused) {
  // End-of-line where a white code is expected.
  EXPECT_THROW(DecodeRow({0x00, 0x10}, 8), EPGTIFFileFormatReader);
  // Twelve zero bits match no white code.
  EXPECT_THROW(DecodeRow({0x00, 0x00}, 8), EPGTIFFileFormatReader);
  // White 9 ("10100") in a row of 8.
  try {
    DecodeRow({0xA0}, 8);
    FAIL();
  } catch (const EPGTIFFileFormatReader& E) {
    EXPECT_STREQ(E.what(), "TIFF: Invalid number of pixels per row");
  }
  // Data that ends inside the row.
  EXPECT_THROW(DecodeRow({0x70}, 100), EPGTIFFileFormatReader);  // white 2, then nothing
}

TEST(PackBits, TwoRunBesideSingleBytesJoinsTheLiteral) {
  std::vector<uint8_t> Row = {'A', 'A', 'B', 'C', 'C', 'C'};
  std::vector<uint8_t> Expected = {2, 'A', 'A', 'B', 0xFE, 'C'};
  EXPECT_EQ(PackBits(Row), Expected);
  EXPECT_EQ(UnpackBits(Expected, 6), Row);
}

TEST(PackBits, LongRunsAndLiteralsSplitAt128) {
  std::vector<uint8_t> Row(300, 9);
  std::vector<uint8_t> Coded = PackBits(Row);
  std::vector<uint8_t> Expected = {0x81, 9, 0x81, 9, static_cast<uint8_t>(1 - 44), 9};
  EXPECT_EQ(Coded, Expected);
  std::mt19937 Random(3);
  for (int n : {1, 2, 3, 127, 128, 129, 257, 1000}) {
    std::vector<uint8_t> Data(static_cast<size_t>(n));
    for (auto& b : Data) b = static_cast<uint8_t>(Random() % 3);
    EXPECT_EQ(UnpackBits(PackBits(Data), Data.size()), Data) << n;
    for (auto& b : Data) b = static_cast<uint8_t>(Random());
    std::vector<uint8_t> Coded2 = PackBits(Data);
    EXPECT_LE(Coded2.size(), Data.size() + (Data.size() + 127) / 128);
    EXPECT_EQ(UnpackBits(Coded2, Data.size()), Data) << n;
  }
}

TEST(PackBits, DecoderSkipsMinus128AndRefusesOverlongPackets) {
  EXPECT_EQ(UnpackBits({0x80, 0x01, 'x', 'y'}, 2), (std::vector<uint8_t>{'x', 'y'}));
  try {
    UnpackBits({0xFD, 'z'}, 2, 5);  // a run of 4 in a row of 2
    FAIL();
  } catch (const EPGTIFFileFormatReader& E) {
    EXPECT_STREQ(E.what(), "TIFF (PackBits): Invalid count of bytes in row 5");
  }
  // A stream of -128 bytes that ends stops with an error instead of looping.
  EXPECT_THROW(UnpackBits({0x80, 0x80, 0x80}, 2), EPGTIFFileFormatReader);
}
