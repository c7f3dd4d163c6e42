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

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

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

HBITMAP BitmapFromPackedDIB(const uint8_t* Data, size_t Size, size_t BitsOffset) {
  if (!Data || Size < 12) return nullptr;
  uint32_t hsize = Le32(Data);
  int64_t width, height;
  uint32_t bits, compression = BI_RGB, used = 0;
  size_t entry;
  if (hsize == 12) {
    width = Le16(Data + 4);
    height = Le16(Data + 6);
    if (Le16(Data + 8) != 1) return nullptr;
    bits = Le16(Data + 10);
    entry = 3;
  } else {
    if (hsize < 40 || hsize > Size) return nullptr;
    width = static_cast<int32_t>(Le32(Data + 4));
    height = static_cast<int32_t>(Le32(Data + 8));
    if (Le16(Data + 12) != 1) return nullptr;
    bits = Le16(Data + 14);
    compression = Le32(Data + 16);
    used = Le32(Data + 32);
    entry = 4;
  }
  bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0 || width > 65535 * 4 || height > 65535 * 4) return nullptr;
  bool fields = compression == BI_BITFIELDS && (bits == 16 || bits == 32);
  if (!(compression == BI_RGB || fields)) return nullptr;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return nullptr;
  size_t pos = hsize;
  uint32_t masks[3] = {0, 0, 0};
  if (bits == 16 && !fields) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  } else if (bits == 32 && !fields) {
    masks[0] = 0xFF0000;
    masks[1] = 0xFF00;
    masks[2] = 0xFF;
  }
  if (fields) {
    // The masks follow a 40-byte header or lie inside a larger one.
    if (Size < 52) return nullptr;
    if (pos < 52) pos = 52;
    for (int k = 0; k < 3; ++k) masks[k] = Le32(Data + 40 + 4 * k);
    if (!masks[0] || !masks[1] || !masks[2]) return nullptr;
  }
  uint32_t colors = 0;
  if (bits <= 8) {
    uint32_t max = 1u << bits;
    colors = used == 0 ? max : used;
    if (colors > max) return nullptr;
  }
  size_t tablePos = pos;
  if (bits > 8 && used) {
    if (used > 256) return nullptr;
    pos += size_t(used) * 4;
  } else {
    pos += size_t(colors) * entry;
  }
  if (pos > Size) return nullptr;
  size_t bitsPos = BitsOffset ? BitsOffset : pos;
  int64_t stride = DIBBytesPerLine(width, bits);
  if (bitsPos > Size || stride * height > static_cast<int64_t>(Size - bitsPos)) return nullptr;
  // The new section: palette formats and 24/32 bits keep their form, 16 bits become 24.
  int32_t outBits = bits == 16 ? 24 : static_cast<int32_t>(bits);
  TBitmapInfo256 bi{};
  bi.bmiHeader.biWidth = static_cast<int32_t>(width);
  bi.bmiHeader.biHeight = static_cast<int32_t>(height);
  bi.bmiHeader.biBitCount = static_cast<uint16_t>(outBits);
  bi.bmiHeader.biClrUsed = colors;
  for (uint32_t i = 0; i < colors; ++i) {
    const uint8_t* e = Data + tablePos + i * entry;
    bi.bmiColors[i] = RGBQUAD{e[0], e[1], e[2], 0};
  }
  void* px = nullptr;
  HBITMAP hb = CreateDIBSection(nullptr, bi.Info(), DIB_RGB_COLORS, &px, nullptr, 0);
  if (!hb) return nullptr;
  auto* b = static_cast<GdiBitmap*>(hb);
  b->XPelsPerMeter = hsize >= 40 ? static_cast<int32_t>(Le32(Data + 24)) : 0;
  b->YPelsPerMeter = hsize >= 40 ? static_cast<int32_t>(Le32(Data + 28)) : 0;
  const uint8_t* src = Data + bitsPos;
  for (int64_t r = 0; r < height; ++r) {
    const uint8_t* row = src + r * stride;
    int32_t y = static_cast<int32_t>(topDown ? r : height - 1 - r);
    if (bits != 16 && !fields) {
      std::memcpy(b->Row(y), row, static_cast<size_t>(std::min<int64_t>(stride, b->Stride)));
      continue;
    }
    for (int64_t x = 0; x < width; ++x) {
      uint32_t p = bits == 16 ? Le16(row + x * 2) : Le32(row + x * 4);
      uint8_t ch[3];
      for (int k = 0; k < 3; ++k) {
        // Scale the channel so that its top bit lands on bit 7.
        uint32_t m = masks[k], v = p & m;
        while (!(m & 1)) { m >>= 1; v >>= 1; }
        while (m > 0xFF) { m >>= 1; v >>= 1; }
        while (!(m & 0x80)) { m <<= 1; v <<= 1; }
        ch[k] = static_cast<uint8_t>(v > 255 ? 255 : v);
      }
      b->Set(static_cast<int32_t>(x), y, RGB(ch[0], ch[1], ch[2]));
    }
  }
  return hb;
}
