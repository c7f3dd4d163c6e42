// Feeds arbitrary bytes to the GIF decoder, every frame decoded and kept:
// every input must parse, fail or raise one of our exceptions, never crash,
// overrun or hang, and cost no more than a small multiple of the canvas it
// declares and the frames it decodes.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_cost.h"
#include "gif/gif_decoder.h"
#include "imaging/core/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PGMaxImageSize = FuzzImageBytes;
  CheckedRead("decode", [&]() -> int64_t {
    TGIFDecoder decoder;
    decoder.ParseStream().WriteBuffer(data, static_cast<int64_t>(size));
    decoder.ParseStream().SetPosition(0);
    int64_t frames = 0;
    try {
      if (decoder.ParseGIF()) {
        for (int32_t i = 1; i <= decoder.FrameCount(); ++i) {
          const TGIFFrame& f = decoder.Frame(i);
          // The file images are copies of the frame: they count as it does.
          frames += 2 * (int64_t(f.PixelStride()) * f.Height + int64_t(f.MaskStride()) * f.Height);
          volatile size_t n = f.BitmapFileImage().size() + (f.Transparent ? f.MaskFileImage().size() : 0);
          (void)n;
        }
      }
    } catch (const Exception&) {
    }
    return std::max<int64_t>(frames, int64_t(decoder.Width()) * decoder.Height());
  });
  return 0;
}
