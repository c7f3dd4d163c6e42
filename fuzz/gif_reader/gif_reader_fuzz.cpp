// Feeds arbitrary bytes to the GIF reader of the registries. The reader
// hands the first frame to the image as a BMP, read by the registry's BMP
// reader, so the library is started once.
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
