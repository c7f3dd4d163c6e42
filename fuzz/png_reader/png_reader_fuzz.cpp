// Feeds arbitrary bytes to the PNG reader (full and information reads,
// with tIME and text turned into chunks): every input must
// decode or raise one of our exceptions, never crash, overrun or hang.
#include <cstddef>
#include <cstdint>

#include "imaging/core/exceptions.h"
#include "imaging/core/options.h"
#include "imaging/formats/png_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Keep images small enough that a hostile size cannot exhaust memory.
  PGMaxImageSize = 64u << 20;
  PGReadChunks = true;
  TPNGFileFormatReader reader;
  for (int round = 0; round < 3; ++round) {
    TMemoryStream stream;
    stream.WriteBuffer(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
    TPixelGraphic graphic;
    graphic.SetReadWarningAction(pgwaIgnore);
    try {
      if (round == 2) {
        TPGGraphicInfo info;
        reader.GetInfo(stream, 0, info);
      } else {
        graphic.SetPreviewRead(round == 1);
        graphic.SetPreviewSize(64);
        reader.Read(stream, graphic, 0);
      }
    } catch (const Exception&) {
    }
  }
  return 0;
}
