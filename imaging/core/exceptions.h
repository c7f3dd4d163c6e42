// The EPixelGraphic family: every failure of the imaging library is raised as
// one of these, with its message already formatted in the library language.
#pragma once

#include "platform/base/exception.h"

class EPixelGraphic : public Exception { using Exception::Exception; };

#define QUILLON_PG_EXCEPTION(Name) \
  class Name : public EPixelGraphic { using EPixelGraphic::EPixelGraphic; }

QUILLON_PG_EXCEPTION(EPGXYIndexOutOfRange);
QUILLON_PG_EXCEPTION(EPGNoPalette);
QUILLON_PG_EXCEPTION(EPGInvalidPaletteIndex);
QUILLON_PG_EXCEPTION(EPGEmpty);
QUILLON_PG_EXCEPTION(EPGCanWriteResolutionsEmpty);
QUILLON_PG_EXCEPTION(EPGCannotWriteColorRes);
QUILLON_PG_EXCEPTION(EPGFileFormatWritersEmpty);
QUILLON_PG_EXCEPTION(EPGUnknownExtension);
QUILLON_PG_EXCEPTION(EPGUnknownFileFormat);
QUILLON_PG_EXCEPTION(EPGUnknownClipboardFormat);
QUILLON_PG_EXCEPTION(EPGInvalidBitCountNum);
QUILLON_PG_EXCEPTION(EPGInvalidSize);
// The formats' own classes; their messages begin with the format's tag.
QUILLON_PG_EXCEPTION(EPGBMPFileFormatReader);
QUILLON_PG_EXCEPTION(EPGJPGFileFormatReaderWriter);
QUILLON_PG_EXCEPTION(EPGPNGFileFormatReaderWriter);
QUILLON_PG_EXCEPTION(EPGPCXFileFormatReader);
QUILLON_PG_EXCEPTION(EPGPxMFileFormatReader);
QUILLON_PG_EXCEPTION(EPGPxMFileFormatWriter);
QUILLON_PG_EXCEPTION(EPGTGAFileFormatReader);
QUILLON_PG_EXCEPTION(EPGTIFFileFormatReader);
QUILLON_PG_EXCEPTION(EPGTIFFileFormatWriter);

#undef QUILLON_PG_EXCEPTION
