// Random bytes through the registries' detection with every reader
// registered (GIF included): the reader search leaves the stream where it
// was, the information service never raises, and a load by content (or by
// a chosen extension) ends with an image or one of our exceptions, at no
// more than a small multiple of the picture the input declares.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "fuzz/reader_fuzz.h"
#include "gif/gif_read_write.h"
#include "imaging/core/file_formats.h"
#include "imaging/core/options.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"
#include "platform/base/exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!PGraphicInitialized()) {
    PGraphicInitialization();
    GIFReadWriteInitialization();
  }
  PGMaxImageSize = FuzzImageBytes;
  static const char* const extensions[] = {"", "tga", ".TGA", "bmp", "gif", "jpg", "png", "pcx", "pgm", "tif"};
  const std::string extension = extensions[size ? data[size - 1] % 10 : 0];
  TMemoryStream stream;
  stream.Bytes().assign(data, data + size);
  stream.SetPosition(size / 3);
  const int64_t start = stream.Position();
  FindFileFormatReader(stream, extension);
  if (stream.Position() != start) FuzzFailure("the reader search moved the stream");
  int64_t declared = 0;
  CheckedRead("information", [&]() -> int64_t {
    std::string description;
    TPGGraphicInfo info;
    GetGraphicStreamInfo(stream, extension, 0, description, info);
    declared = DeclaredPictureBytes(info.Width, info.Height);
    return declared;
  });
  if (stream.Position() != start) FuzzFailure("the information service moved the stream");
  CheckedRead("load", [&]() -> int64_t {
    TPixelGraphic image;
    image.SetReadWarningAction(pgwaIgnore);
    try {
      stream.SetPosition(0);
      image.LoadImageFromStream(stream, extension, 0);
    } catch (const Exception&) {
    }
    return std::max(declared, DeclaredPictureBytes(image.GetWidth(), image.GetHeight()));
  });
  return 0;
}
