// Reader of Paintbrush (PCX) files: 1-bit, 4-plane 16-colour, 8-bit and
// 3-plane 24-bit images with run-length coded scan lines.
#pragma once

#include "imaging/core/file_formats.h"

class TPCXFileFormatReader : public TFileFormatReader {
public:
  TPCXFileFormatReader();

  bool Identify(const TPGFileHeader& Header) override;
  void Read(TStream& Stream, TPixelGraphic& Graphic, int32_t Index) override;
  void GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) override;
};
