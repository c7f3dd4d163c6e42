// The lite edition's GIF load: arbitrary bytes loaded by its animated GIF
// control, its first bitmap taken as the window takes it, then every frame
// shown in turn and the first again. Every input must load or be refused,
// never crash, overrun or hang, and cost no more than a small multiple of
// the canvas it declares.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_cost.h"
#include "gif/control/gif_image.h"
#include "imaging/core/options.h"
#include "platform/base/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A quarter of the other targets' cap: every input that loads is shown
  // frame by frame on a canvas of 4 bytes a pixel.
  PGMaxImageSize = FuzzImageBytes / 4;
  // One control for every input, as the window keeps one: its frame timer
  // is made once.
  static TGIFImage* gif = new TGIFImage(nullptr);
  CheckedRead("GIF control", [&]() -> TFuzzPicture {
    TMemoryStream file;
    file.WriteBuffer(data, static_cast<int64_t>(size));
    file.SetPosition(0);
    int64_t frames = 0;
    if (gif->LoadFromStream(file)) {
      TBitmap first;
      first.Assign(gif->GetBitmap());
      for (int32_t i = 2; i <= gif->FrameCount(); ++i) gif->SetCurrentFrame(i);
      gif->SetCurrentFrame(1);
      // Each frame shown is decoded (a byte a pixel and its mask), drawn
      // (up to three passes over its area of the canvas, four bytes a pixel,
      // and one over the canvas's mask), and its area saved and restored
      // for disposal 3 (two more): about 25 bytes a pixel.
      for (int32_t i = 1; i <= gif->FrameCount(); ++i) frames += 25 * int64_t(gif->Frame(i).Width) * gif->Frame(i).Height;
    }
    // At once: the composed picture (4 bytes a pixel of the canvas), the
    // first bitmap and its copy (up to 3 bytes each when in 24 bits) and a
    // frame.
    const int64_t canvas = 6 * int64_t(gif->CanvasWidth()) * gif->CanvasHeight();
    gif->Clear();
    return TFuzzPicture{canvas, canvas + frames};
  });
  return 0;
}
