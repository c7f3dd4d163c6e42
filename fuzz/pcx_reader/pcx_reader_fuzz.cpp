// Feeds arbitrary bytes to the PCX reader.
#include <cstddef>
#include <cstdint>

#include "fuzz/reader_fuzz.h"
#include "imaging/formats/pcx_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TPCXFileFormatReader reader;
  FuzzFileFormatReader(reader, data, size);
  return 0;
}
