// Feeds arbitrary bytes to the DIB decoder: the first byte chooses the
// header kind (bit 0: core header), a bits offset (bit 1: the second byte)
// and the clipboard path (bit 2); every input must decode, fail or raise one
// of our exceptions, never crash, overrun or hang, and cost no more than a
// small multiple of the picture it declares.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_cost.h"
#include "fuzz/reader_fuzz.h"
#include "imaging/core/options.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/base/stream.h"
#include "platform/gdi/clipboard_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  PGMaxImageSize = FuzzImageBytes;
  const uint8_t flags = data[0];
  const int32_t offset = (flags & 2) ? data[1] : 0;
  CheckedRead("DIB", [&]() -> int64_t {
    TPixelGraphic g;
    try {
      if (flags & 4) {
        HGLOBAL block = GlobalFromBytes(std::vector<uint8_t>(data + 2, data + size));
        try {
          g.LoadFromClipboardFormat(CF_DIB, block, nullptr);
        } catch (...) {
          GlobalFree(block);
          throw;
        }
        GlobalFree(block);
      } else {
        TMemoryStream m;
        m.WriteBuffer(data + 2, static_cast<int64_t>(size - 2));
        m.SetPosition(0);
        g.ReadDIB(m, flags & 1, offset);
      }
      // Whatever was read must write back and read again.
      TMemoryStream out;
      g.WriteDIB(out);
      out.SetPosition(0);
      TPixelGraphic h;
      h.ReadDIB(out, false, 0);
    } catch (const Exception&) {
    }
    // The image, its written copy and the copy read back.
    return 2 * DeclaredPictureBytes(g.GetWidth(), g.GetHeight());
  });
  return 0;
}
