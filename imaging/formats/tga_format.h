// Truevision Targa files: reading image types 1, 2, 3, 9, 10 and 11 (colour
// maps, run-length packets, either origin) and writing uncompressed 8-bit
// colour-mapped or 24-bit true-colour files.
#pragma once

#include "imaging/core/file_formats.h"

class TTGAFileFormatReader : public TFileFormatReader {
public:
  TTGAFileFormatReader();

  void Read(TStream& Stream, TPixelGraphic& Graphic, int32_t Index) override;
  void GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) override;
};

class TTGAFileFormatWriter : public TFileFormatWriter {
public:
  TTGAFileFormatWriter();

  void Write(TStream& Stream, TPixelGraphic& Graphic) override;
};
