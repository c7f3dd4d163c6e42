// Windows and OS/2 bitmap files (bmp, dib, rle): the 14-byte file header
// around the DIB codec of the pixel image.
#pragma once

#include <cstdint>

#include "imaging/core/file_formats.h"

class TBMPFileFormatReader : public TFileFormatReader {
public:
  TBMPFileFormatReader();
  // Bytes 0 and 1 are "BM".
  bool Identify(const TPGFileHeader& Header) override;
  void Read(TStream& Stream, TPixelGraphic& Graphic, int32_t Index) override;
  void GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) override;
};

class TDIBFileFormatReader : public TBMPFileFormatReader {
public:
  TDIBFileFormatReader() { FExtension = "dib"; }
};

class TRLEFileFormatReader : public TBMPFileFormatReader {
public:
  TRLEFileFormatReader() { FExtension = "rle"; }
};

// Stores every colour resolution as an uncompressed BMP with an information
// header.
class TBMPFileFormatWriter : public TFileFormatWriter {
public:
  TBMPFileFormatWriter();
  void Write(TStream& Stream, TPixelGraphic& Graphic) override;
};

// The same complete BMP file (file header included) under the extension dib.
class TDIBFileFormatWriter : public TBMPFileFormatWriter {
public:
  TDIBFileFormatWriter() {
    FExtension = "dib";
    FListed = false;
  }
};
