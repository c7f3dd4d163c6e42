// Every lossless writer round trip: an image made from the input in a
// colour resolution the writer stores, written by it through the save path
// and read back through the registry, keeps its size and every pixel's
// colour. The writers' options (binary PNM, TIFF byte order and
// compression) come from the input too. Pictures reach 256 x 256, their
// bytes past the input's end noise or zeros, so that TIFF pages split into
// strips and GIF's LZW table starts over.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "gif/gif_read_write.h"
#include "imaging/core/exceptions.h"
#include "imaging/core/file_formats.h"
#include "imaging/core/options.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"

namespace {

// An image of colour resolution Resolution (0..7), its palette and pixels
// taken from the input.
void MakeImage(TPixelGraphic& Image, uint8_t Resolution, TFuzzInput& In, bool Noise) {
  static constexpr uint8_t formats[8] = {pf1Bit, pf1Bit, pf4Bit, pf4Bit, pf4Bit, pf8Bit, pf8Bit, pf24Bit};
  const int32_t width = 1 + In.PickWide(256);
  const int32_t height = 1 + In.PickWide(256);
  Image.NewImage(width, height, formats[Resolution]);
  switch (Resolution) {
    case crBlackWhite: Image.SetPaletteIdent(pBlackWhite); break;
    case cr16Grays: Image.SetPaletteIdent(pGray16); break;
    case cr16SysColors: Image.SetPaletteIdent(pSys16); break;
    case cr256Grays: Image.SetPaletteIdent(pGray256); break;
    case cr16M: break;
    default: {
      const int32_t count = Image.GetMaxColors();
      Image.SetPaletteCount(count);
      for (int32_t i = 0; i < count; ++i)
        Image.SetPaletteEntry(i, static_cast<TColor>(In.Byte() | In.Byte() << 8 | In.Byte() << 16));
    }
  }
  const int32_t bytes = (width * Image.GetBitCount() + 7) / 8;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = Image.ScanLine(y);
    for (int32_t i = 0; i < bytes; ++i) row[i] = In.ByteOrNoise(Noise);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!PGraphicInitialized()) {
    PGraphicInitialization();
    GIFReadWriteInitialization();
  }
  static const char* const lossless[] = {"bmp", "dib", "png", "pbm", "pgm", "ppm", "tga", "tif", "gif"};
  TFuzzInput in(data, size);
  const std::string extension = lossless[in.Pick(9)];
  const uint8_t options = in.Byte();
  PxMWriteBinary = (options & 1) != 0;
  TIFFMotorolaOrder = (options & 2) != 0;
  TIFFCompression = (options & 4) ? 32773 : (options & 8) ? 2 : 1;
  TFileFormatWriter* writer = FindFileFormatWriter(extension);
  if (!writer) FuzzFailure("no writer");
  const TPGColorResolutions storable = writer->GetCanWriteResolutions();
  uint8_t resolution = static_cast<uint8_t>(in.Pick(8));
  while (!(storable & (1u << resolution))) resolution = (resolution + 1) & 7;

  TPixelGraphic image;
  MakeImage(image, resolution, in, (options & 0x80) != 0);
  // A palette that happens to be of a standard kind may be one the writer
  // cannot store as it is: such an image would be converted, not kept.
  image.SetSaveColorResWarningAction(pgwaRaise);
  TMemoryStream file;
  try {
    image.SaveToStreamAs(file, extension);
  } catch (const EPGCannotWriteColorRes&) {
    return 0;
  }
  file.SetPosition(0);
  TPixelGraphic back;
  back.SetReadWarningAction(pgwaRaise);
  back.LoadImageFromStream(file, extension, 0);
  if (back.GetWidth() != image.GetWidth() || back.GetHeight() != image.GetHeight()) FuzzFailure("size");
  for (int32_t y = 0; y < image.GetHeight(); ++y)
    for (int32_t x = 0; x < image.GetWidth(); ++x)
      if (back.GetPixelColor(x, y) != image.GetPixelColor(x, y)) FuzzFailure(("pixel colour, " + extension).c_str());
  TIFFCompression = 1;
  return 0;
}
