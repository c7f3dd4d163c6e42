// Drawing, streaming and clipboard entry points of TPixelGraphic that belong
// to the DIB codec, the registries and the image canvas. Until those layers
// are linked in, each raises a clear error instead of doing nothing.
#include "imaging/core/exceptions.h"
#include "imaging/core/pixel_graphic.h"

namespace {

[[noreturn]] void NotAvailable(const char* What) {
  throw EPixelGraphic(std::string("TPixelGraphic.") + What + " is not available in this build");
}

}  // namespace

void TPixelGraphic::Draw(TCanvas*, const TRect&) { NotAvailable("Draw"); }
void TPixelGraphic::LoadFromClipboardFormat(uint16_t, uintptr_t, HPALETTE) {
  NotAvailable("LoadFromClipboardFormat");
}
void TPixelGraphic::SaveToClipboardFormat(uint16_t&, uintptr_t&, HPALETTE&) {
  NotAvailable("SaveToClipboardFormat");
}
