// Portable bitmap, graymap and pixmap files (P1 to P6): one shared reader and
// one shared writer, registered under three extensions each.
#pragma once

#include "imaging/core/file_formats.h"

class TPxMFileFormatReader : public TFileFormatReader {
public:
  TPxMFileFormatReader();

  void Read(TStream& Stream, TPixelGraphic& Graphic, int32_t Index) override;
  void GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) override;
};

class TPBMFileFormatReader : public TPxMFileFormatReader {
public:
  TPBMFileFormatReader();
  bool Identify(const TPGFileHeader& Header) override;
};

class TPGMFileFormatReader : public TPxMFileFormatReader {
public:
  TPGMFileFormatReader();
  bool Identify(const TPGFileHeader& Header) override;
};

class TPPMFileFormatReader : public TPxMFileFormatReader {
public:
  TPPMFileFormatReader();
  bool Identify(const TPGFileHeader& Header) override;
};

// Writes P1 to P3, or P4 to P6 while PxMWriteBinary is on; the kind follows
// the writer's extension.
class TPXMFileFormatWriter : public TFileFormatWriter {
public:
  TPXMFileFormatWriter();
  void Write(TStream& Stream, TPixelGraphic& Graphic) override;
};

class TPBMFileFormatWriter : public TPXMFileFormatWriter {
public:
  TPBMFileFormatWriter();
};

class TPGMFileFormatWriter : public TPXMFileFormatWriter {
public:
  TPGMFileFormatWriter();
};

class TPPMFileFormatWriter : public TPXMFileFormatWriter {
public:
  TPPMFileFormatWriter();
};
