// Feeds arbitrary bytes to TBitmap's bitmap-file reader and, without the
// file header, to the packed-DIB conversion of the clipboard formats, under
// the fuzz targets' image-size cap: every input must load or raise, never
// crash or overrun, and cost no more than a small multiple of its picture;
// what loads is drawn, written back and changed to 8 bits.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_cost.h"
#include "platform/base/stream.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/clipboard_formats.h"
#include "platform/gdi/dc.h"

namespace {

// The bytes of the bitmap in 32 bits a pixel, its largest form.
int64_t PictureBytes(TBitmap& B) { return int64_t(B.Width()) * B.Height() * 4; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MaxImageBytes = FuzzImageBytes;
  CheckedRead("bitmap file", [&]() -> int64_t {
    TBitmap b;
    try {
      TMemoryStream m;
      m.WriteBuffer(data, static_cast<int64_t>(size));
      m.SetPosition(0);
      b.LoadFromStream(m);
      TBitmap d;
      d.SetPixelFormat(pf24bit);
      d.SetSize(16, 16);
      d.Canvas()->StretchDraw(Rect(0, 0, 16, 16), &b);
      TMemoryStream out;
      b.SaveToStream(out);
    } catch (const Exception&) {
    }
    return PictureBytes(b);
  });
  CheckedRead("packed DIB", [&]() -> int64_t {
    TBitmap b;
    if (HBITMAP h = BitmapFromPackedDIB(data, size)) {
      b.SetHandle(h);
      b.SetPixelFormat(pf8bit);
    }
    return PictureBytes(b);
  });
  return 0;
}
