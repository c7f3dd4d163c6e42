// PNG files through libpng: the png reader and writer.
#pragma once

#include <cstdint>

#include "imaging/core/file_formats.h"


class TPNGFileFormatReader : public TFileFormatReader {
public:
  TPNGFileFormatReader();
  // The 8-byte PNG signature.
  bool Identify(const TPGFileHeader& Header) override;
  void Read(TStream& Stream, TPixelGraphic& Graphic, int32_t Index) override;
  void GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) override;
};

// Stores every colour resolution: 1, 4 and 8-bit palettes, 8-bit grey, RGB.
class TPNGFileFormatWriter : public TFileFormatWriter {
public:
  TPNGFileFormatWriter();
  void Write(TStream& Stream, TPixelGraphic& Graphic) override;
};
