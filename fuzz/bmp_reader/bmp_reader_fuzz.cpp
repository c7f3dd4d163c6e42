// Feeds arbitrary bytes to the BMP, DIB and RLE reader through the reader
// registry, as a file and as a stream embedded behind other bytes, and asks
// for its information: every input must load, fail with one of our
// exceptions, or be refused, never crash, overrun or hang, and cost no more
// than a small multiple of the picture it declares.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz/reader_fuzz.h"
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
  PGMaxImageSize = FuzzImageBytes;

  TMemoryStream stream;
  stream.WriteBuffer("xyz", 3);
  stream.WriteBuffer(data, static_cast<int64_t>(size));
  int64_t declared = 0;
  CheckedRead("information", [&]() -> int64_t {
    stream.SetPosition(3);
    std::string description;
    TPGGraphicInfo info;
    GetGraphicStreamInfo(stream, "rle", 0, description, info);
    declared = DeclaredPictureBytes(info.Width, info.Height);
    return declared;
  });
  CheckedRead("read", [&]() -> int64_t {
    stream.SetPosition(3);
    TPixelGraphic graphic;
    try {
      graphic.LoadImageFromStream(stream, "bmp", 0);
      // At most 64 x 64 samples, whatever the size (a side of 0 has none).
      const int32_t w = graphic.GetWidth(), h = graphic.GetHeight();
      volatile uint32_t sum = 0;
      for (int32_t y = 0; w > 0 && y < h; y += std::max(1, h / 64))
        for (int32_t x = 0; x < w; x += std::max(1, w / 64)) sum = sum + graphic.GetPixelColor(x, y);
    } catch (const Exception&) {
    }
    return std::max(declared, DeclaredPictureBytes(graphic.GetWidth(), graphic.GetHeight()));
  });
  return 0;
}
