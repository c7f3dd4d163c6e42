// Feeds arbitrary bytes to the PBM, PGM and PPM reader.
#include <cstddef>
#include <cstdint>

#include "fuzz/reader_fuzz.h"
#include "imaging/formats/pnm_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TPPMFileFormatReader reader;
  FuzzFileFormatReader(reader, data, size);
  return 0;
}
