// Random palette indices written as a GIF by the registry's writer and
// decoded again: every pixel comes back with the colour of its index (each
// colour of the palette being distinct, so with the same index up to the
// palette's order), interlaced or not, with or without transparency.
// Pictures reach 320 x 320, their indices past the input's end noise or
// zeros, so that the LZW table fills and starts over.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "gif/gif_decoder.h"
#include "gif/gif_encoder.h"
#include "gif/gif_read_write.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!PGraphicInitialized()) {
    PGraphicInitialization();
    InitializeGIFEncoder();
  }
  TFuzzInput in(data, size);
  const int32_t width = 1 + in.PickWide(320);
  const int32_t height = 1 + in.PickWide(320);
  const int32_t colors = 1 + in.Byte();
  const uint8_t flags = in.Byte();
  const bool noise = (flags & 0x80) != 0;
  TPixelGraphic image;
  image.NewImage(width, height, pf8Bit);
  image.SetPaletteCount(colors);
  for (int32_t i = 0; i < colors; ++i)
    image.SetPaletteEntry(i, static_cast<TColor>(i | in.Byte() << 8 | in.Byte() << 16));
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = image.ScanLine(y);
    for (int32_t x = 0; x < width; ++x) row[x] = static_cast<uint8_t>(in.ByteOrNoise(noise) % colors);
  }
  GIFInterlaced = (flags & 1) != 0;
  GIFTransparent = (flags & 2) != 0;
  GIFTransparentColor = image.GetPaletteEntry(((flags >> 2) & 0x1F) % colors);

  TMemoryStream gif;
  TGIFFileFormatWriter writer;
  writer.Write(gif, image);

  TGIFDecoder decoder;
  decoder.ParseStream().Bytes() = gif.Bytes();
  if (!decoder.ParseGIF() || decoder.FrameCount() != 1) FuzzFailure("the written GIF does not parse");
  const TGIFFrame& frame = decoder.Frame(1);
  if (frame.Width != width || frame.Height != height) FuzzFailure("size");
  if (frame.Interlaced != GIFInterlaced) FuzzFailure("interlace flag");
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t* rgb = frame.Palette.data() + 3 * frame.PixelAt(x, y);
      const TColor back = static_cast<TColor>(rgb[0] | rgb[1] << 8 | rgb[2] << 16);
      if (back != image.GetPixelColor(x, y)) FuzzFailure("pixel colour");
    }
  return 0;
}
