// Feeds arbitrary bytes to the GIF reader of the registries (reader_fuzz.h).
#include <cstddef>
#include <cstdint>

#include "fuzz/reader_fuzz.h"
#include "gif/gif_read_write.h"
#include "imaging/formats/pg_startup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!PGraphicInitialized()) PGraphicInitialization();
  TGIFFileFormatReader reader;
  FuzzFileFormatReader(reader, data, size);
  return 0;
}
