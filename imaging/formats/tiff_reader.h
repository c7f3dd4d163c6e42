// Reader of Tagged Image File Format pages: uncompressed, PackBits and
// Modified Huffman (one-dimensional fax) strips, in either byte order.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/core/file_formats.h"

class TStream;

// Compression values the reader knows by name.
constexpr int32_t TIFFCompressionNone = 1;
constexpr int32_t TIFFCompressionCCITT1D = 2;
constexpr int32_t TIFFCompressionPackBits = 32773;

// The ten text tags, in the order the directory keeps them.
constexpr int TIFFTextTagCount = 10;
extern const std::array<uint16_t, TIFFTextTagCount> TIFFTextTags;
extern const std::array<const char*, TIFFTextTagCount> TIFFTextTagNames;

// One image file directory as the reader uses it. Arrays hold 32-bit signed
// numbers whatever their field type.
struct TTIFFDirectory {
  int32_t NewSubfileType = 0;
  int32_t ImageWidth = 0;
  int32_t ImageLength = 0;
  std::vector<int32_t> BitsPerSample;
  int32_t Compression = 0;
  int32_t PhotometricInterpretation = 0;
  int32_t FillOrder = 0;
  std::vector<int32_t> StripOffsets;
  int32_t SamplesPerPixel = 0;
  int32_t RowsPerStrip = 0;
  std::vector<int32_t> StripByteCounts;
  std::vector<int32_t> ColorMap;
  int32_t PlanarConfiguration = 0;
  int32_t ResolutionUnit = 0;
  uint32_t XResolutionNumerator = 0;
  uint32_t XResolutionDenominator = 0;
  uint32_t YResolutionNumerator = 0;
  uint32_t YResolutionDenominator = 0;
  std::array<std::optional<std::vector<std::string>>, TIFFTextTagCount> Texts;
  std::vector<int32_t> PageNumber;
};

// Reads the file header at the stream's position and the directory of page
// Index. PageCount is the number of pages (1 unless TIFFCountPages is on);
// Base is the position of the file header.
void ParseTIFFDirectory(TStream& Stream, int32_t Index, int32_t& PageCount, bool ReadTexts,
                        TTIFFDirectory& Directory, bool& IsIntel, int64_t& Base);

// Decoding state of one Read: the stream, the strip input buffer and the row
// being decoded. It lives in the call, so one reader object can serve several
// threads at once.
struct TTIFFDecodeState {
  TStream* Stream = nullptr;
  int64_t StreamSize = 0;
  int64_t Base = 0;
  int32_t BitPosition = 8;  // 8: the next bit starts a new byte
  uint8_t CurrentByte = 0;
  int64_t ReadPosition = 0;  // relative to Base
  std::vector<uint8_t> Row;
  int32_t PixelsPerRow = 0;
  bool ReverseBits = false;
  std::array<uint8_t, 4096> Buffer{};
  int64_t BufferStart = -1;  // -1: empty
  int64_t BufferCount = 0;

  // The byte at ReadPosition through the input buffer; advances. Raises
  // "TIFF: Unexpected end of file" when the stream has no more bytes.
  uint8_t NextByte();
  // The next bit, most significant first.
  int NextBit();
};

// Bit order reversal of a byte.
uint8_t ReverseBitsOf(uint8_t Value);

class TTIFFileFormatReader : public TFileFormatReader {
public:
  TTIFFileFormatReader();

  bool Identify(const TPGFileHeader& Header) override;
  void Read(TStream& Stream, TPixelGraphic& Graphic, int32_t Index) override;
  void GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) override;

  virtual void BeginDecode(TTIFFDecodeState& State, int32_t Compression);
  virtual void StartStrip(TTIFFDecodeState& State, int32_t Compression);
  virtual void DecodeRow(TTIFFDecodeState& State, int32_t Row, int32_t Compression);
  virtual void EndDecode(TTIFFDecodeState& State, int32_t Compression);
  virtual bool IsSupportedCompression(int32_t Compression);
};

class TTIFFFileFormatReader : public TTIFFileFormatReader {
public:
  TTIFFFileFormatReader();
};
