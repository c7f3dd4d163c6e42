// The device-independent bitmap header and colour table that describe an
// image's pixel memory; the DIB codec writes them out as they are.
#pragma once

#include "platform/gdi/surface.h"

// The header followed by the colour table. The table has room for 256
// entries; an image uses the first 2, 16 or 256 by its pixel format (none
// for 24 bit).
using TPGBitmapInfo = TBitmapInfo256;
static_assert(sizeof(TPGBitmapInfo) == 40 + 256 * 4, "DIB info block must be contiguous");
