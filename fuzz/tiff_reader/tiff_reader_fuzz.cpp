// Feeds arbitrary bytes to the TIFF reader (pages counted or not, texts
// turned into chunks, the second page, and information reads): every input
// must decode or raise one of our exceptions, never crash, overrun or hang.
#include <cstddef>
#include <cstdint>

#include "imaging/core/options.h"
#include "imaging/formats/tiff_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Keep images small enough that a hostile size cannot exhaust memory.
  PGMaxImageSize = 64u << 20;
  PGReadChunks = true;
  TIFFMaxPages = 100;
  TTIFFileFormatReader reader;
  for (int round = 0; round < 4; ++round) {
    TIFFCountPages = round != 0;
    TMemoryStream stream;
    stream.WriteBuffer(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
    TPixelGraphic graphic;
    graphic.SetReadWarningAction(pgwaIgnore);
    try {
      if (round == 3) {
        TPGGraphicInfo info;
        reader.GetInfo(stream, 0, info);
      } else {
        reader.Read(stream, graphic, round == 2 ? 1 : 0);
      }
    } catch (const Exception&) {
    }
  }
  return 0;
}
