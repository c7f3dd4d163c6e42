// Feeds arbitrary bytes to the JPEG reader.
#include <cstddef>
#include <cstdint>

#include "fuzz/reader_fuzz.h"
#include "imaging/formats/jpeg_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TJPGFileFormatReader reader;
  FuzzFileFormatReader(reader, data, size);
  return 0;
}
