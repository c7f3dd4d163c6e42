// Feeds arbitrary bytes to the TGA reader.
#include <cstddef>
#include <cstdint>

#include "fuzz/reader_fuzz.h"
#include "imaging/formats/tga_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TTGAFileFormatReader reader;
  FuzzFileFormatReader(reader, data, size);
  return 0;
}
