// JPEG (JFIF) files through libjpeg: readers for the extensions jpg, jpeg and
// jif, and the matching writers.
#pragma once

#include <cstdint>

#include "imaging/core/file_formats.h"


class TJPGFileFormatReader : public TFileFormatReader {
public:
  TJPGFileFormatReader();
  // Bytes 0xFF 0xD8.
  bool Identify(const TPGFileHeader& Header) override;
  void Read(TStream& Stream, TPixelGraphic& Graphic, int32_t Index) override;
  void GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) override;
};

class TJPEGFileFormatReader : public TJPGFileFormatReader {
public:
  TJPEGFileFormatReader() { FExtension = "jpeg"; }
};

class TJIFFileFormatReader : public TJPGFileFormatReader {
public:
  TJIFFileFormatReader() { FExtension = "jif"; }
};

// Stores 24-bit images and 8-bit images with the 256-grey palette.
class TJPGFileFormatWriter : public TFileFormatWriter {
public:
  TJPGFileFormatWriter();
  void Write(TStream& Stream, TPixelGraphic& Graphic) override;
};

class TJPEGFileFormatWriter : public TJPGFileFormatWriter {
public:
  TJPEGFileFormatWriter() {
    FExtension = "jpeg";
    FListed = false;
  }
};

class TJIFFileFormatWriter : public TJPGFileFormatWriter {
public:
  TJIFFileFormatWriter() {
    FExtension = "jif";
    FListed = false;
  }
};
