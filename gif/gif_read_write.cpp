#include "gif/gif_read_write.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "gif/gif_decoder.h"
#include "gif/gif_encoder.h"
#include "imaging/core/exceptions.h"
#include "imaging/core/messages.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/base/strings.h"
#include "platform/gdi/bitmap.h"

bool GIFInterlaced = false;
bool GIFTransparent = false;
TColor GIFTransparentColor = 0xFFFFFF;
int32_t GIFWrittenSize = 0;

namespace {

int RegistrationCount = 0;

// Parses the GIF that starts at the stream's position. A stream that does
// not parse raises EPixelGraphic with the GIF tag, so that a damaged file is
// reported rather than loaded as an empty image; a frame over the image-size
// cap keeps its EPGInvalidSize.
void ParseGIFStream(TGIFDecoder& Decoder, TStream& Stream) {
  TMemoryStream& parse = Decoder.ParseStream();
  const int64_t left = std::max<int64_t>(0, Stream.Size() - Stream.Position());
  parse.SetSize(left);
  if (left > 0) Stream.ReadBuffer(parse.Memory(), left);
  parse.SetPosition(0);
  bool parsed = false;
  try {
    parsed = Decoder.ParseGIF();
  } catch (const EPixelGraphic&) {
    throw;
  } catch (const EReadError&) {
    throw EPixelGraphic("GIF: " + PGMessage(32));
  }
  if (!parsed) throw EPixelGraphic("GIF: " + (Decoder.Status() == 2 ? PGMessage(32) : PGMessage(34, "GIF")));
  // A file that ends before its first image has nothing to show.
  if (Decoder.FrameCount() == 0) throw EPixelGraphic("GIF: " + PGMessage(32));
}

}  // namespace

// ---- reader

TGIFFileFormatReader::TGIFFileFormatReader() {
  FListed = true;
  FExtension = "gif";
  FDescription = "GIF-Format";
  FIdentifiedByContent = true;
}

bool TGIFFileFormatReader::Identify(const TPGFileHeader& Header) {
  return std::memcmp(Header.data(), "GIF8", 4) == 0 && (Header[4] == '7' || Header[4] == '9');
}

void TGIFFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int32_t) {
  TGIFDecoder decoder;
  ParseGIFStream(decoder, Stream);
  const std::vector<uint8_t> image = decoder.Frame(1).BitmapFileImage();
  TMemoryStream bmp;
  bmp.WriteBuffer(image.data(), static_cast<int64_t>(image.size()));
  bmp.SetPosition(0);
  TBitmap bitmap;
  bitmap.LoadFromStream(bmp);
  Graphic.AssignFromGraphic(&bitmap);
}

void TGIFFileFormatReader::GetInfo(TStream& Stream, int32_t, TPGGraphicInfo& Info) {
  TGIFDecoder decoder;
  ParseGIFStream(decoder, Stream);
  Info.ImageCount = decoder.FrameCount();
  Info.BitsPerPixel = decoder.GlobalBits();
  Info.ColorsText = IntToStr(decoder.ColorDepth());
  Info.Width = decoder.Width();
  Info.Height = decoder.Height();
  if (decoder.FrameCount() > 1) Info.FormatText = "Animated (" + IntToStr(decoder.LoopCount()) + " iterations)";
  if (decoder.AnyFrameInterlaced()) Info.ExtraText = "Interlaced";
}

// ---- writer

TGIFFileFormatWriter::TGIFFileFormatWriter() {
  FListed = true;
  FExtension = "gif";
  FDescription = "GIF-Format";
  FCanWriteResolutions = 1u << cr256Colors;
  FMultiPage = false;
}

void TGIFFileFormatWriter::Write(TStream& Stream, TPixelGraphic& Graphic) {
  // The encoder reads the image's own rows: palette indices with the colours
  // a bitmap of the image would show (black past the palette), or colours.
  TGIFRows rows;
  rows.Width = Graphic.GetWidth();
  rows.Height = Graphic.GetHeight();
  rows.BitCount = Graphic.GetPixelFormat() == pf24Bit ? 24 : 8;
  std::vector<uint8_t> expanded;
  if (Graphic.GetPixelFormat() == pf24Bit || Graphic.GetPixelFormat() == pf8Bit) {
    rows.Row = [&Graphic](int32_t y) { return static_cast<const uint8_t*>(Graphic.ScanLine(y)); };
  } else {
    // 1 and 4 bits: one byte per pixel, a row at a time.
    expanded.resize(static_cast<size_t>(std::max(rows.Width, 0)));
    rows.Row = [&Graphic, &expanded](int32_t y) {
      for (int32_t x = 0; x < static_cast<int32_t>(expanded.size()); ++x)
        expanded[static_cast<size_t>(x)] = static_cast<uint8_t>(Graphic.GetPixel(x, y));
      return static_cast<const uint8_t*>(expanded.data());
    };
  }
  if (rows.BitCount == 8) {
    const int32_t colors = std::min(Graphic.PaletteCount(), Graphic.GetMaxColors());
    for (int32_t i = 0; i < colors; ++i) rows.Colors[static_cast<size_t>(i)] = Graphic.GetPaletteEntry(i);
  }
  if (!SaveRowsAsGIF(Stream, rows, GIFInterlaced, GIFTransparent, GIFTransparentColor))
    throw EPixelGraphic("GIF: " + PGMessage(36));
  GIFWrittenSize = static_cast<int32_t>(std::min<int64_t>(Stream.Size(), 0x7FFFFFFF));
}

// ---- start-up

void GIFReadWriteInitialization() {
  if (RegistrationCount++ > 0) return;
  try {
    RegisterFileFormatReader(std::make_unique<TGIFFileFormatReader>());
    RegisterFileFormatWriter(std::make_unique<TGIFFileFormatWriter>());
  } catch (...) {
    RegistrationCount = 0;
    throw;
  }
}

void GIFReadWriteFinalization() {
  if (RegistrationCount > 0) --RegistrationCount;
}
