// Feeds arbitrary bytes to the GIF decoder, every frame decoded and kept:
// every input must parse, fail or raise one of our exceptions, never crash,
// overrun or hang, and cost no more than a small multiple of the canvas it
// declares and the frames it decodes. The same bytes read for a parse
// (ReadGIFForParse) must parse to the same frames, or fail alike.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_cost.h"
#include "gif/gif_decoder.h"
#include "imaging/core/options.h"

namespace {

// What a parse of Bytes (rasters walked, not decoded) makes of them.
std::string ParseOutcome(const uint8_t* Bytes, size_t Size) {
  TGIFDecoder d;
  d.SetKeepComments(false);
  d.SetDecodePixels(false);
  try {
    if (!d.ParseBytes(Bytes, static_cast<int64_t>(Size))) return "failed " + std::to_string(d.Failure());
  } catch (const Exception& E) {
    return std::string("raised ") + E.what();
  }
  std::string out = std::to_string(d.Width()) + "x" + std::to_string(d.Height()) + " " +
                    std::to_string(d.LoopCount()) + " " + std::to_string(d.ColorDepth());
  for (int32_t i = 1; i <= d.FrameCount(); ++i) {
    const TGIFFrame& f = d.Frame(i);
    for (int32_t v : {f.Left, f.Top, f.Width, f.Height, f.Delay, int32_t(f.DisposalMethod), int32_t(f.Transparent),
                      int32_t(f.TransparentIndex), int32_t(f.Interlaced), f.ColorsUsed})
      out += " " + std::to_string(v);
    out.append(f.Palette.begin(), f.Palette.end());
  }
  return out;
}

}  // namespace

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
  TMemoryStream stream;
  stream.WriteBuffer(data, static_cast<int64_t>(size));
  stream.SetPosition(0);
  std::vector<uint8_t> read;
  ReadGIFForParse(stream, read, false);
  if (ParseOutcome(read.data(), read.size()) != ParseOutcome(data, size)) {
    std::fprintf(stderr, "a GIF read for a parse parses otherwise than the file\n");
    std::abort();
  }
  return 0;
}
