// Feeds arbitrary bytes to the PNG reader.
#include <cstddef>
#include <cstdint>

#include "fuzz/reader_fuzz.h"
#include "imaging/formats/png_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TPNGFileFormatReader reader;
  FuzzFileFormatReader(reader, data, size);
  return 0;
}
