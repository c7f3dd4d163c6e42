// Feeds arbitrary bytes to the PBM, PGM and PPM reader (full and information reads):
// every input must decode or raise one of our exceptions, never crash,
// overrun or hang.
#include <cstddef>
#include <cstdint>

#include "imaging/core/options.h"
#include "imaging/formats/pnm_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Keep images small enough that a hostile size cannot exhaust memory.
  PGMaxImageSize = 64u << 20;
  PGReadChunks = true;
  TPPMFileFormatReader reader;
  for (int round = 0; round < 2; ++round) {
    TMemoryStream stream;
    stream.WriteBuffer(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
    TPixelGraphic graphic;
    try {
      if (round == 1) {
        TPGGraphicInfo info;
        reader.GetInfo(stream, 0, info);
      } else {
        reader.Read(stream, graphic, 0);
      }
    } catch (const Exception&) {
    }
  }
  return 0;
}
