// CopyFrom: the whole of another image onto the whole image, scaled to the
// image's size and converted to its pixel format and palette.
#include "imaging/core/pixel_graphic.h"

void TPixelGraphic::CopyFrom(TPixelGraphic* Source) {
  CopyFromRect(0, 0, FWidth, FHeight, 0, 0, Source->GetWidth(), Source->GetHeight(), Source);
}
