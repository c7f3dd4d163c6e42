// GIF in the reader and writer registries: the reader decodes the first
// frame of a GIF87a or GIF89a file; the writer encodes through the GIF89a
// encoder with the module's interlace and transparency options.
#pragma once

#include <cstdint>

#include "imaging/core/file_formats.h"
#include "platform/gdi/types.h"

class TStream;

// Options of the GIF writer, set by the application (typed constants with
// these initial values; start-up does not reset them).
extern bool GIFInterlaced;          // False: saved GIFs are not interlaced
extern bool GIFTransparent;         // False: saved GIFs carry no transparency
extern TColor GIFTransparentColor;  // 0xFFFFFF: the colour made transparent
// The size of the stream after the last GIF write.
extern int32_t GIFWrittenSize;

// Listed, extension "gif", "GIF-Format", identified by content. Read gives
// the graphic the first frame (its own size and palette; pixels under
// transparent areas as stored); the image index is not consulted. A stream
// that does not parse as GIF raises EPixelGraphic ("GIF: ..."); a frame over
// the image-size cap raises EPGInvalidSize.
class TGIFFileFormatReader : public TFileFormatReader {
public:
  TGIFFileFormatReader();
  // "GIF8" followed by '7' or '9'.
  bool Identify(const TPGFileHeader& Header) override;
  void Read(TStream& Stream, TPixelGraphic& Graphic, int32_t Index) override;
  // ImageCount (frames, at most 256), BitsPerPixel (the largest colour
  // table), ColorsText (8 with a global table, else the largest local
  // table's bits), Width and Height (the canvas); FormatText "Animated (N
  // iterations)" for more than one frame ("Animated (loops for ever)" for a
  // loop count of 0) and ExtraText "Interlaced" when a frame is; otherwise
  // both texts stay as passed.
  void GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) override;
};

// Writes Graphic as a one-frame GIF89a straight from its rows, with the
// bytes SaveBitmapAsGIF writes for a bitmap of the image (which it does not
// make). False, and nothing written, past 256 colours.
bool SavePixelGraphicAsGIF(TStream& Stream, TPixelGraphic& Graphic, bool Interlaced, bool Transparent,
                           TColor TransparentColor);

// A 64-bit key of the GIF that SavePixelGraphicAsGIF writes for Graphic with
// this interlace flag, whatever the transparency options (they change no
// byte count): images with the same colour in every pixel, in whatever
// palette order, have the same key. Costs one pass over the pixels instead
// of an encoding.
uint64_t GIFPictureKey(TPixelGraphic& Graphic, bool Interlaced);

// Listed, extension "gif", "GIF-Format", 256 colours only, one page.
class TGIFFileFormatWriter : public TFileFormatWriter {
public:
  TGIFFileFormatWriter();
  // Encodes with GIFInterlaced, GIFTransparent and GIFTransparentColor and
  // sets GIFWrittenSize. An image of more than 256 colours (which the save
  // path never hands over) raises EPixelGraphic and writes nothing.
  void Write(TStream& Stream, TPixelGraphic& Graphic) override;
  bool WritesRowsAsFinished() const override { return true; }
};

// The module's start-up: on its first run appends one GIF reader to
// FileFormatReaders and one GIF writer to FileFormatWriters. It runs after
// the imaging library's start-up (PGraphicInitialization), which made the
// registries; they own the two objects and free them when the library shuts
// down. Further runs only count; the finalization only counts back.
void GIFReadWriteInitialization();
void GIFReadWriteFinalization();
