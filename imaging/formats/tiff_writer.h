// Writer of Tagged Image File Format files, one page per image: uncompressed,
// PackBits or Modified Huffman (one-dimensional fax, black and white only).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/file_formats.h"

class TStream;

// PackBits coding of one row of Count bytes into Dest (room for 2 * Count
// bytes); RunTable has room for Count entries. Returns the coded length.
int32_t PackBitsEncodeRow(const uint8_t* Source, int32_t Count, uint8_t* Dest,
                          int32_t* RunTable);

// Modified Huffman coding of the first Width pixels of a bilevel row (a 1 bit
// is black), most significant bit first. The row starts white and ends on a
// byte boundary; no end-of-line code is written.
std::vector<uint8_t> ModifiedHuffmanEncodeRow(const uint8_t* Row, int32_t Width);

class TTIFFileFormatWriter : public TFileFormatWriter {
public:
  TTIFFileFormatWriter();

  uint8_t GetCanWriteResolutions() override;
  std::string GetSubFormat() override;
  void Write(TStream& Stream, TPixelGraphic& Graphic) override;
  void BeginFile(TStream& Stream) override;
  void WritePage(TStream& Stream, TPixelGraphic& Graphic) override;
  void EndFile(TStream& Stream) override;
  // The file's positions live in the instance from BeginFile to EndFile, so
  // every save through the registry writes through a fresh instance.
  std::unique_ptr<TFileFormatWriter> CreatePerCallInstance() const override;

private:
  int64_t FBase = 0;          // stream position of the file header
  int64_t FLinkPosition = 4;  // field (from FBase) that takes the next directory's offset
};

class TTIFFFileFormatWriter : public TTIFFileFormatWriter {
public:
  TTIFFFileFormatWriter();
  std::unique_ptr<TFileFormatWriter> CreatePerCallInstance() const override;
};
