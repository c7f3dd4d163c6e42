// Feeds arbitrary bytes to TBitmap's bitmap-file reader and, without the
// file header, to the packed-DIB conversion of the clipboard formats: every
// input must load or raise, never crash or overrun; what loads is drawn.
#include <cstddef>
#include <cstdint>

#include "platform/base/stream.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/clipboard_formats.h"
#include "platform/gdi/dc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    TBitmap b;
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
  if (HBITMAP h = BitmapFromPackedDIB(data, size)) {
    TBitmap b;
    b.SetHandle(h);
    b.SetPixelFormat(pf8bit);
  }
  return 0;
}
