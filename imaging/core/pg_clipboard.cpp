// Copying an image to the system clipboard.
#include "imaging/core/pixel_graphic.h"

#include "platform/gdi/clipboard_formats.h"
#include "platform/gdi/objects.h"
#include "platform/ui/clipboard.h"

void TPixelGraphic::CopyToClipboard() {
  uint16_t format = 0;
  uintptr_t data = 0;
  HPALETTE palette = nullptr;
  SaveToClipboardFormat(format, data, palette);
  // The packed DIB carries its own colour table; a logical palette is not
  // needed on the clipboard.
  if (palette) DeleteObject(palette);
  try {
    Clipboard()->SetAsHandle(format, data);
  } catch (...) {
    // The clipboard did not take the block, so it is still ours.
    GlobalFree(static_cast<HGLOBAL>(data));
    throw;
  }
}
