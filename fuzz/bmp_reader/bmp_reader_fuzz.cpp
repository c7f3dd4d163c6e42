// Feeds arbitrary bytes to the BMP, DIB and RLE reader through the reader
// registry, as a file and as a stream embedded behind other bytes, and asks
// for its information: every input must load, fail with one of our
// exceptions, or be refused, never crash, overrun or hang.
#include <cstddef>
#include <cstdint>

#include "imaging/core/file_formats.h"
#include "imaging/core/options.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = [] {
    PGraphicInitialization();
    return true;
  }();
  (void)started;
  // Keep images small enough that a hostile size cannot exhaust memory.
  PGMaxImageSize = 64u << 20;

  TMemoryStream stream;
  stream.WriteBuffer("xyz", 3);
  stream.WriteBuffer(data, static_cast<int64_t>(size));
  stream.SetPosition(3);
  std::string description;
  TPGGraphicInfo info;
  GetGraphicStreamInfo(stream, "rle", 0, description, info);
  try {
    TPixelGraphic graphic;
    graphic.LoadImageFromStream(stream, "bmp", 0);
    volatile uint32_t sum = 0;
    for (int32_t y = 0; y < graphic.GetHeight(); y += 7)
      for (int32_t x = 0; x < graphic.GetWidth(); x += 7) sum = sum + graphic.GetPixelColor(x, y);
  } catch (const Exception&) {
  }
  return 0;
}
