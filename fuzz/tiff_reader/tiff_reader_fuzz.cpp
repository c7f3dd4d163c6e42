// Feeds arbitrary bytes to the TIFF reader, with pages counted and not, and
// reads the second page of files that have one.
#include <cstddef>
#include <cstdint>

#include "fuzz/reader_fuzz.h"
#include "imaging/formats/tiff_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TIFFMaxPages = 100;
  TTIFFileFormatReader reader;
  for (bool count : {false, true}) {
    TIFFCountPages = count;
    FuzzFileFormatReader(reader, data, size);
  }
  CheckedRead("second page", [&]() -> int64_t { return FuzzReadPage(reader, data, size, 1, false); });
  return 0;
}
