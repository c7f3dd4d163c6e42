// Feeds arbitrary bytes to the GIF decoder: every input must parse, fail or
// raise one of our exceptions, never crash, overrun or hang.
#include <cstddef>
#include <cstdint>

#include "gif/gif_decoder.h"
#include "imaging/core/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Keep frames small enough that a hostile size cannot exhaust memory.
  PGMaxImageSize = 64u << 20;
  TGIFDecoder decoder;
  decoder.ParseStream().WriteBuffer(data, static_cast<int64_t>(size));
  decoder.ParseStream().SetPosition(0);
  try {
    if (decoder.ParseGIF()) {
      for (int32_t i = 1; i <= decoder.FrameCount(); ++i) {
        const TGIFFrame& f = decoder.Frame(i);
        volatile size_t n = f.BitmapFileImage().size() + (f.Transparent ? f.MaskFileImage().size() : 0);
        (void)n;
      }
    }
  } catch (const Exception&) {
  }
  return 0;
}
