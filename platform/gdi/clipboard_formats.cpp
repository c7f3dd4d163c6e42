// Global memory blocks and packed-DIB conversion of clipboard bitmaps.
#include "platform/gdi/clipboard_formats.h"

#include <cstring>
#include <mutex>
#include <set>

#include "platform/gdi/internal.h"

namespace {

struct GlobalBlock {
  std::vector<uint8_t> Bytes;
  int32_t Locks = 0;
};

std::mutex gBlocksLock;
std::set<HGLOBAL>* gBlocks = nullptr;  // the live handles

// The block of a live handle, nullptr otherwise.
GlobalBlock* Block(HGLOBAL Mem) {
  std::lock_guard<std::mutex> lock(gBlocksLock);
  if (!Mem || !gBlocks || !gBlocks->count(Mem)) return nullptr;
  return reinterpret_cast<GlobalBlock*>(Mem);
}

}  // namespace

HGLOBAL GlobalAlloc(uint32_t, size_t Size) {
  if (Size > (size_t(1) << 30)) return 0;
  auto* b = new GlobalBlock;
  b->Bytes.assign(Size, 0);
  HGLOBAL h = reinterpret_cast<HGLOBAL>(b);
  std::lock_guard<std::mutex> lock(gBlocksLock);
  if (!gBlocks) gBlocks = new std::set<HGLOBAL>;
  gBlocks->insert(h);
  return h;
}

bool IsGlobalHandle(HGLOBAL Mem) { return Block(Mem) != nullptr; }

void* GlobalLock(HGLOBAL Mem) {
  GlobalBlock* b = Block(Mem);
  if (!b) return nullptr;
  ++b->Locks;
  return b->Bytes.data();
}

bool GlobalUnlock(HGLOBAL Mem) {
  GlobalBlock* b = Block(Mem);
  if (!b || b->Locks == 0) return false;
  return --b->Locks > 0;
}

size_t GlobalSize(HGLOBAL Mem) {
  GlobalBlock* b = Block(Mem);
  return b ? b->Bytes.size() : 0;
}

HGLOBAL GlobalFree(HGLOBAL Mem) {
  GlobalBlock* b = Block(Mem);
  if (!b) return Mem;
  {
    std::lock_guard<std::mutex> lock(gBlocksLock);
    gBlocks->erase(Mem);
  }
  delete b;
  return 0;
}

HGLOBAL GlobalFromBytes(const std::vector<uint8_t>& Bytes) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, Bytes.size());
  if (h && !Bytes.empty()) std::memcpy(Block(h)->Bytes.data(), Bytes.data(), Bytes.size());
  return h;
}

std::vector<uint8_t> PackedDIBFromBitmap(HBITMAP Bitmap) {
  std::vector<uint8_t> out;
  if (!Bitmap || Bitmap->Type != OBJ_BITMAP) return out;
  auto* b = static_cast<GdiBitmap*>(Bitmap);
  int32_t bits = b->BitCount == 32 && !b->IsDIB ? 24 : b->BitCount;
  int32_t colors = bits <= 8 ? 1 << bits : 0;
  int64_t stride = DIBBytesPerLine(b->Width, bits);
  BITMAPINFOHEADER h;
  h.biWidth = b->Width;
  h.biHeight = b->Height;
  h.biBitCount = static_cast<uint16_t>(bits);
  h.biSizeImage = static_cast<uint32_t>(stride * b->Height);
  h.biClrUsed = static_cast<uint32_t>(colors);
  h.biXPelsPerMeter = b->XPelsPerMeter;
  h.biYPelsPerMeter = b->YPelsPerMeter;
  out.resize(40 + 4 * colors + h.biSizeImage);
  std::memcpy(out.data(), &h, 40);
  for (int32_t i = 0; i < colors; ++i) {
    TColor c = b->ValueColor(static_cast<uint32_t>(i));
    RGBQUAD q{GetBValue(c), GetGValue(c), GetRValue(c), 0};
    std::memcpy(out.data() + 40 + 4 * i, &q, 4);
  }
  uint8_t* px = out.data() + 40 + 4 * colors;
  for (int32_t y = 0; y < b->Height; ++y) {
    uint8_t* row = px + (b->Height - 1 - y) * stride;
    if (bits == b->BitCount) {
      std::memcpy(row, b->Row(y), static_cast<size_t>(std::min<int64_t>(stride, b->Stride)));
    } else {
      for (int32_t x = 0; x < b->Width; ++x) {
        TColor c = b->ValueColor(b->Get(x, y));
        row[x * 3] = GetBValue(c);
        row[x * 3 + 1] = GetGValue(c);
        row[x * 3 + 2] = GetRValue(c);
      }
    }
  }
  return out;
}

HGLOBAL BitmapToPackedDIB(HBITMAP Bitmap) {
  std::vector<uint8_t> bytes = PackedDIBFromBitmap(Bitmap);
  return bytes.empty() ? 0 : GlobalFromBytes(bytes);
}
