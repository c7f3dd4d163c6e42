// Clipboard data formats as data: global memory blocks and the conversion
// between CF_BITMAP (a bitmap handle) and CF_DIB (a packed DIB: info
// header, colour table, rows). The system clipboard itself belongs to the
// window layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/gdi/dib_reader.h"
#include "platform/gdi/types.h"

constexpr uint16_t CF_TEXT = 1;
constexpr uint16_t CF_BITMAP = 2;
constexpr uint16_t CF_DIB = 8;
constexpr uint16_t CF_PALETTE = 9;

// Global memory: a handle to a block of bytes (0 is none).
using HGLOBAL = uintptr_t;
constexpr uint32_t GMEM_FIXED = 0x0000;
constexpr uint32_t GMEM_MOVEABLE = 0x0002;
constexpr uint32_t GMEM_ZEROINIT = 0x0040;
constexpr uint32_t GMEM_DDESHARE = 0x2000;
constexpr uint32_t GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
// A zeroed block of Size bytes; 0 when Size is above 1 GiB.
HGLOBAL GlobalAlloc(uint32_t Flags, size_t Size);
// The block's bytes (nullptr for handle 0 or an unknown handle); GlobalUnlock balances it.
void* GlobalLock(HGLOBAL Mem);
bool GlobalUnlock(HGLOBAL Mem);
size_t GlobalSize(HGLOBAL Mem);
// Frees the block; returns 0.
HGLOBAL GlobalFree(HGLOBAL Mem);
// True for a live handle made by GlobalAlloc.
bool IsGlobalHandle(HGLOBAL Mem);
// A block holding a copy of Bytes.
HGLOBAL GlobalFromBytes(const std::vector<uint8_t>& Bytes);

// The packed-DIB bytes of a bitmap: a 40-byte info header, the colour table
// of 1/4/8-bit bitmaps (a monochrome device bitmap as black and white) and
// bottom-up rows; 32-bit device bitmaps become 24-bit DIBs.
std::vector<uint8_t> PackedDIBFromBitmap(HBITMAP Bitmap);
// CF_BITMAP -> CF_DIB: a new global block with the packed DIB (0 for no bitmap).
HGLOBAL BitmapToPackedDIB(HBITMAP Bitmap);
// CF_DIB -> a new DIB section: BitmapFromPackedDIB (dib_reader.h).
