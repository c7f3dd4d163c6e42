// Pixel surfaces: DIB sections, device bitmaps and window back buffers.
#include "platform/gdi/surface.h"

#include <cstring>
#include <mutex>

#include "platform/gdi/dc.h"
#include "platform/gdi/internal.h"

uint32_t MaxImageBytes = static_cast<uint32_t>(MaxSurfaceBytes);

namespace {

bool ValidDIBBitCount(int32_t b) { return b == 1 || b == 4 || b == 8 || b == 24 || b == 32; }

// Fills a bitmap's colour table from a DIB header and its table.
void TakeTable(GdiBitmap* b, const BITMAPINFO* Info) {
  if (!b->HasTable()) return;
  b->TableSize = 1 << b->BitCount;
  uint32_t n = DIBColorCount(Info->bmiHeader);
  if (n > static_cast<uint32_t>(b->TableSize)) n = b->TableSize;
  const RGBQUAD* t = DIBColorTable(Info);
  for (uint32_t i = 0; i < n; ++i) b->Table[i] = t[i];
  for (int32_t i = n; i < b->TableSize; ++i) b->Table[i] = RGBQUAD{};
  b->TableChanged();
}

GdiBitmap* MakeDIB(const BITMAPINFO* Info, void* External, void** BitsOut) {
  if (!Info || Info->bmiHeader.biSize < 40) return nullptr;
  const BITMAPINFOHEADER& h = Info->bmiHeader;
  if (h.biCompression != BI_RGB || !ValidDIBBitCount(h.biBitCount) || h.biWidth <= 0 || h.biHeight == 0 ||
      h.biHeight == INT32_MIN)
    return nullptr;
  int64_t height = h.biHeight < 0 ? -int64_t(h.biHeight) : h.biHeight;
  int64_t stride = DIBBytesPerLine(h.biWidth, h.biBitCount);
  if (stride * height > MaxSurfaceBytes) return nullptr;
  auto* b = new GdiBitmap;
  b->Width = h.biWidth;
  b->Height = static_cast<int32_t>(height);
  b->BitCount = h.biBitCount;
  b->Stride = static_cast<int32_t>(stride);
  b->TopDown = h.biHeight < 0;
  b->IsDIB = true;
  b->XPelsPerMeter = h.biXPelsPerMeter;
  b->YPelsPerMeter = h.biYPelsPerMeter;
  if (External) {
    b->Bits = static_cast<uint8_t*>(External);
  } else {
    b->Owned = TZeroedBlock(static_cast<size_t>(stride * height));
    if (!b->Owned) {
      delete b;
      return nullptr;
    }
    b->Bits = b->Owned.get();
  }
  TakeTable(b, Info);
  if (BitsOut) *BitsOut = b->Bits;
  return b;
}

}  // namespace

const RGBQUAD* DIBColorTable(const BITMAPINFO* bmi) {
  return reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const uint8_t*>(bmi) + bmi->bmiHeader.biSize);
}

uint32_t DIBColorCount(const BITMAPINFOHEADER& h) {
  if (h.biBitCount > 8) return h.biClrUsed;
  uint32_t max = 1u << h.biBitCount;
  return h.biClrUsed == 0 || h.biClrUsed > max ? max : h.biClrUsed;
}

uint32_t GdiBitmap::Get(int32_t X, int32_t Y) const {
  const uint8_t* r = Row(Y);
  switch (BitCount) {
    case 1: return (r[X >> 3] >> (7 - (X & 7))) & 1;
    case 4: return (X & 1) ? (r[X >> 1] & 0x0F) : (r[X >> 1] >> 4);
    case 8: return r[X];
    case 24: {
      const uint8_t* p = r + X * 3;
      return p[2] | (p[1] << 8) | (p[0] << 16);
    }
    default: {
      const uint8_t* p = r + X * 4;
      return p[2] | (p[1] << 8) | (p[0] << 16);
    }
  }
}

void GdiBitmap::Set(int32_t X, int32_t Y, uint32_t V) {
  uint8_t* r = Row(Y);
  switch (BitCount) {
    case 1: {
      uint8_t m = static_cast<uint8_t>(0x80 >> (X & 7));
      if (V & 1) r[X >> 3] |= m;
      else r[X >> 3] &= static_cast<uint8_t>(~m);
      break;
    }
    case 4:
      if (X & 1) r[X >> 1] = static_cast<uint8_t>((r[X >> 1] & 0xF0) | (V & 0x0F));
      else r[X >> 1] = static_cast<uint8_t>((r[X >> 1] & 0x0F) | ((V & 0x0F) << 4));
      break;
    case 8: r[X] = static_cast<uint8_t>(V); break;
    case 24: {
      uint8_t* p = r + X * 3;
      p[0] = static_cast<uint8_t>(V >> 16);
      p[1] = static_cast<uint8_t>(V >> 8);
      p[2] = static_cast<uint8_t>(V);
      break;
    }
    default: {
      uint8_t* p = r + X * 4;
      p[0] = static_cast<uint8_t>(V >> 16);
      p[1] = static_cast<uint8_t>(V >> 8);
      p[2] = static_cast<uint8_t>(V);
      p[3] = 0;
      break;
    }
  }
}

TColor GdiBitmap::ValueColor(uint32_t V) const {
  if (!HasTable()) return V & 0xFFFFFF;
  if (Monochrome) return (V & 1) ? 0xFFFFFF : 0;
  const RGBQUAD& q = Table[V & Mask()];
  return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

uint32_t GdiBitmap::Nearest(TColor C) {
  C &= 0xFFFFFF;
  if (!HasTable()) return C;
  if (Monochrome) {
    // Nearest of black and white by the sum of the channels.
    return GetRValue(C) + GetGValue(C) + GetBValue(C) >= 383 ? 1 : 0;
  }
  if (C == MemoColor) return MemoValue;
  constexpr uint32_t kCacheSize = 4096;
  uint32_t slot = ((C * 2654435761u) >> 20) & (kCacheSize - 1);
  if (!NearCache) NearCache.reset(new uint64_t[kCacheSize]());
  uint64_t hit = NearCache[slot];
  if ((hit >> 32) == (uint64_t(C) | 0x1000000u)) {
    MemoColor = C;
    MemoValue = static_cast<uint32_t>(hit & 0xFF);
    return MemoValue;
  }
  int32_t r = GetRValue(C), g = GetGValue(C), bl = GetBValue(C);
  int32_t n = TableSize > 0 ? TableSize : 1 << BitCount;
  int64_t best = INT64_MAX;
  uint32_t bi = 0;
  for (int32_t i = 0; i < n; ++i) {
    int32_t dr = Table[i].rgbRed - r, dg = Table[i].rgbGreen - g, db = Table[i].rgbBlue - bl;
    int64_t d = dr * dr + dg * dg + db * db;
    if (d < best) {
      best = d;
      bi = i;
      if (d == 0) break;
    }
  }
  MemoColor = C;
  MemoValue = bi;
  NearCache[slot] = ((uint64_t(C) | 0x1000000u) << 32) | bi;
  return bi;
}

namespace gdi {

GdiBitmap* NewBitmap(int32_t Width, int32_t Height, int32_t BitCount, bool TopDown) {
  if (Width <= 0 || Height <= 0) return nullptr;
  int64_t stride = DIBBytesPerLine(Width, BitCount);
  if (stride * Height > MaxSurfaceBytes) return nullptr;
  auto* b = new GdiBitmap;
  b->Width = Width;
  b->Height = Height;
  b->BitCount = BitCount;
  b->Stride = static_cast<int32_t>(stride);
  b->TopDown = TopDown;
  b->Owned = TZeroedBlock(static_cast<size_t>(stride * Height));
  if (!b->Owned) {
    delete b;
    return nullptr;
  }
  b->Bits = b->Owned.get();
  if (BitCount == 1) {
    b->TableSize = 2;
    b->Table[1] = RGBQUAD{255, 255, 255, 0};
  }
  return b;
}

GdiBitmap* StockMonoBitmap() {
  static GdiBitmap* stock = nullptr;
  static std::once_flag once;
  std::call_once(once, [] {
    stock = NewBitmap(1, 1, 1, false);
    stock->Monochrome = true;
    stock->Stock = true;
  });
  return stock;
}

}  // namespace gdi

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* Info, uint32_t Usage, void** Bits, void*, uint32_t) {
  if (Bits) *Bits = nullptr;
  if (Usage != DIB_RGB_COLORS) return nullptr;
  return MakeDIB(Info, nullptr, Bits);
}

HBITMAP CreateDIBSectionOver(const BITMAPINFO* Info, void* Bits) {
  if (!Bits) return nullptr;
  return MakeDIB(Info, Bits, nullptr);
}

HBITMAP CreateBitmap(int32_t Width, int32_t Height, uint32_t Planes, uint32_t BitCount, const void* Bits) {
  bool mono = Planes * BitCount == 1;
  GdiBitmap* b = gdi::NewBitmap(Width, Height, mono ? 1 : 32, true);
  if (!b) return nullptr;
  b->Monochrome = mono;
  if (Bits && mono) {
    // Device-bitmap rows are padded to 16 bits.
    int32_t src = ((Width + 15) / 16) * 2;
    const uint8_t* s = static_cast<const uint8_t*>(Bits);
    for (int32_t y = 0; y < Height; ++y) std::memcpy(b->Row(y), s + static_cast<int64_t>(y) * src, (Width + 7) / 8);
  } else if (Bits && BitCount == 32) {
    const uint8_t* s = static_cast<const uint8_t*>(Bits);
    for (int32_t y = 0; y < Height; ++y) std::memcpy(b->Row(y), s + static_cast<int64_t>(y) * Width * 4, Width * 4);
  }
  return b;
}

HBITMAP CreateCompatibleBitmap(HDC DC, int32_t Width, int32_t Height) {
  bool mono = DC && DC->S.Bitmap && DC->S.Bitmap->Monochrome;
  GdiBitmap* b = gdi::NewBitmap(Width, Height, mono ? 1 : 32, true);
  if (b) b->Monochrome = mono;
  return b;
}

int32_t GetObject(HGDIOBJ Obj, int32_t Size, void* Buffer) {
  if (!Obj || !Buffer) return 0;
  if (Obj->Type == OBJ_BITMAP) {
    auto* b = static_cast<GdiBitmap*>(Obj);
    BITMAP bm;
    bm.bmWidth = b->Width;
    bm.bmHeight = b->Height;
    bm.bmWidthBytes = b->Stride;
    bm.bmBitsPixel = static_cast<uint16_t>(b->BitCount);
    bm.bmBits = b->IsDIB ? b->Bits : nullptr;
    if (b->IsDIB && Size >= static_cast<int32_t>(sizeof(DIBSECTION))) {
      DIBSECTION ds;
      ds.dsBm = bm;
      ds.dsBmih.biWidth = b->Width;
      ds.dsBmih.biHeight = b->TopDown ? -b->Height : b->Height;
      ds.dsBmih.biBitCount = static_cast<uint16_t>(b->BitCount);
      ds.dsBmih.biSizeImage = static_cast<uint32_t>(b->Stride * b->Height);
      ds.dsBmih.biClrUsed = b->HasTable() ? b->TableSize : 0;
      ds.dsBmih.biXPelsPerMeter = b->XPelsPerMeter;
      ds.dsBmih.biYPelsPerMeter = b->YPelsPerMeter;
      std::memcpy(Buffer, &ds, sizeof ds);
      return sizeof ds;
    }
    if (Size < static_cast<int32_t>(sizeof(BITMAP))) return 0;
    std::memcpy(Buffer, &bm, sizeof bm);
    return sizeof bm;
  }
  if (Obj->Type == OBJ_PEN && Size >= static_cast<int32_t>(sizeof(LOGPEN))) {
    auto* p = static_cast<GdiPen*>(Obj);
    LOGPEN lp{p->Style, TPoint{p->Width, 0}, p->Color};
    std::memcpy(Buffer, &lp, sizeof lp);
    return sizeof lp;
  }
  if (Obj->Type == OBJ_BRUSH && Size >= static_cast<int32_t>(sizeof(LOGBRUSH))) {
    auto* p = static_cast<GdiBrush*>(Obj);
    LOGBRUSH lb{p->Style, p->Color, static_cast<uintptr_t>(p->Hatch)};
    std::memcpy(Buffer, &lb, sizeof lb);
    return sizeof lb;
  }
  if (Obj->Type == OBJ_FONT && Size == static_cast<int32_t>(sizeof(LOGFONT))) {
    *static_cast<LOGFONT*>(Buffer) = static_cast<GdiFont*>(Obj)->Log;
    return sizeof(LOGFONT);
  }
  if (Obj->Type == OBJ_PAL && Size >= 2) {
    uint16_t n = static_cast<uint16_t>(static_cast<GdiPalette*>(Obj)->Entries.size());
    std::memcpy(Buffer, &n, 2);
    return 2;
  }
  return 0;
}

uint32_t SetDIBColorTable(HDC DC, uint32_t Start, uint32_t Count, const RGBQUAD* Colors) {
  if (!DC || !Colors || !DC->S.Bitmap || !DC->S.Bitmap->IsDIB || !DC->S.Bitmap->HasTable()) return 0;
  GdiBitmap* b = DC->S.Bitmap;
  uint32_t n = 0;
  for (uint32_t i = Start; i < static_cast<uint32_t>(b->TableSize) && n < Count; ++i, ++n) b->Table[i] = Colors[n];
  b->TableChanged();
  return n;
}

namespace gdi {

// A non-owning view of DIB memory as a bitmap, for reading or writing rows.
bool ViewDIB(GdiBitmap& v, const BITMAPINFO* Info, const void* Bits) {
  const BITMAPINFOHEADER& h = Info->bmiHeader;
  if (h.biSize < 40 || h.biCompression != BI_RGB || !ValidDIBBitCount(h.biBitCount) || h.biWidth <= 0 ||
      h.biHeight == 0 || h.biHeight == INT32_MIN)
    return false;
  int64_t height = h.biHeight < 0 ? -int64_t(h.biHeight) : h.biHeight;
  int64_t stride = DIBBytesPerLine(h.biWidth, h.biBitCount);
  if (stride * height > MaxSurfaceBytes) return false;
  v.Width = h.biWidth;
  v.Height = static_cast<int32_t>(height);
  v.BitCount = h.biBitCount;
  v.Stride = static_cast<int32_t>(stride);
  v.TopDown = h.biHeight < 0;
  v.IsDIB = true;
  v.Bits = static_cast<uint8_t*>(const_cast<void*>(Bits));
  TakeTable(&v, Info);
  return true;
}

}  // namespace gdi

int32_t GetDIBits(HDC, HBITMAP Bitmap, uint32_t Start, uint32_t Lines, void* Bits, BITMAPINFO* Info, uint32_t) {
  if (!Bitmap || Bitmap->Type != OBJ_BITMAP || !Info) return 0;
  auto* b = static_cast<GdiBitmap*>(Bitmap);
  BITMAPINFOHEADER& h = Info->bmiHeader;
  if (h.biBitCount == 0) h.biBitCount = static_cast<uint16_t>(b->BitCount);
  if (!ValidDIBBitCount(h.biBitCount)) return 0;
  h.biSize = 40;
  h.biWidth = b->Width;
  if (h.biHeight >= 0 || !Bits) h.biHeight = b->Height;
  else h.biHeight = -b->Height;
  h.biPlanes = 1;
  h.biCompression = BI_RGB;
  h.biSizeImage = static_cast<uint32_t>(DIBBytesPerLine(b->Width, h.biBitCount) * b->Height);
  RGBQUAD* table = const_cast<RGBQUAD*>(DIBColorTable(Info));
  if (h.biBitCount <= 8) {
    uint32_t n = 1u << h.biBitCount;
    h.biClrUsed = 0;
    if (b->HasTable() && b->BitCount == h.biBitCount) {
      for (uint32_t i = 0; i < n; ++i) table[i] = b->Monochrome ? RGBQUAD{uint8_t(i ? 255 : 0), uint8_t(i ? 255 : 0), uint8_t(i ? 255 : 0), 0} : b->Table[i];
    } else if (!Bits) {
      // A default table: the VGA colours, then a grey ramp.
      for (uint32_t i = 0; i < n; ++i) {
        TColor c = n == 2 ? (i ? clWhite : clBlack) : i < 16 ? VGAColors[i] : RGB(uint8_t(i), uint8_t(i), uint8_t(i));
        table[i] = RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0};
      }
    }
  }
  if (!Bits) return b->Height;
  GdiBitmap v;
  if (!gdi::ViewDIB(v, Info, Bits)) return 0;
  uint32_t done = 0;
  for (uint32_t k = 0; k < Lines; ++k) {
    int64_t fromBottom = int64_t(Start) + k;
    if (fromBottom >= b->Height) break;
    int32_t y = static_cast<int32_t>(b->Height - 1 - fromBottom);
    for (int32_t x = 0; x < b->Width; ++x) {
      uint32_t raw = b->Get(x, y);
      uint32_t val = (b->BitCount == v.BitCount && b->HasTable()) ? raw : v.Nearest(b->ValueColor(raw));
      v.Set(x, y, val);
    }
    ++done;
  }
  v.Bits = nullptr;
  return static_cast<int32_t>(done);
}

int32_t SetDIBits(HDC, HBITMAP Bitmap, uint32_t Start, uint32_t Lines, const void* Bits, const BITMAPINFO* Info,
                  uint32_t) {
  if (!Bitmap || Bitmap->Type != OBJ_BITMAP || !Info || !Bits) return 0;
  auto* b = static_cast<GdiBitmap*>(Bitmap);
  GdiBitmap v;
  if (!gdi::ViewDIB(v, Info, Bits) || v.Width != b->Width) return 0;
  uint32_t done = 0;
  for (uint32_t k = 0; k < Lines; ++k) {
    int64_t fromBottom = int64_t(Start) + k;
    if (fromBottom >= b->Height || fromBottom >= v.Height) break;
    int32_t y = static_cast<int32_t>(b->Height - 1 - fromBottom);
    int32_t vy = static_cast<int32_t>(v.Height - 1 - fromBottom);
    for (int32_t x = 0; x < b->Width; ++x) {
      uint32_t raw = v.Get(x, vy);
      TColor c = v.ValueColor(raw);
      b->Set(x, y, (b->BitCount == v.BitCount && b->HasTable() && !b->Monochrome) ? raw : b->Nearest(c));
    }
    ++done;
  }
  v.Bits = nullptr;
  return static_cast<int32_t>(done);
}

bool GetSurfaceInfo(HBITMAP Bitmap, TSurfaceInfo& Info) {
  if (!Bitmap || Bitmap->Type != OBJ_BITMAP) return false;
  auto* b = static_cast<GdiBitmap*>(Bitmap);
  Info.Width = b->Width;
  Info.Height = b->Height;
  Info.BitCount = b->BitCount;
  Info.BytesPerLine = b->Stride;
  Info.TopDown = b->TopDown;
  Info.Monochrome = b->Monochrome;
  Info.Bits = b->Bits;
  return true;
}

TColor GetBitmapPixel(HBITMAP Bitmap, int32_t X, int32_t Y) {
  if (!Bitmap || Bitmap->Type != OBJ_BITMAP) return clNone;
  auto* b = static_cast<GdiBitmap*>(Bitmap);
  if (X < 0 || Y < 0 || X >= b->Width || Y >= b->Height) return clNone;
  return b->ValueColor(b->Get(X, Y));
}

// ---- TWindowSurface ----

TWindowSurface::TWindowSurface() { FDC = CreateCompatibleDC(nullptr); }

TWindowSurface::~TWindowSurface() {
  if (FOldBitmap) SelectObject(FDC, FOldBitmap);
  if (FBitmap) DeleteObject(FBitmap);
  DeleteDC(FDC);
}

void TWindowSurface::SetSize(int32_t Width, int32_t Height) {
  if (Width < 0) Width = 0;
  if (Height < 0) Height = 0;
  if (Width == FWidth && Height == FHeight) return;
  HBITMAP nb = nullptr;
  if (Width > 0 && Height > 0) {
    nb = gdi::NewBitmap(Width, Height, 32, true);
    if (!nb) {
      Width = Height = 0;
    } else {
      // White (alpha 0) where the old pixels are not kept, each pixel written once.
      auto* b = static_cast<GdiBitmap*>(nb);
      const int32_t keepW = FBitmap ? std::min(Width, FWidth) : 0, keepH = FBitmap ? std::min(Height, FHeight) : 0;
      auto* o = static_cast<GdiBitmap*>(FBitmap);
      constexpr uint32_t white = 0x00FFFFFFu;
      for (int32_t y = 0; y < Height; ++y) {
        uint8_t* row = b->Row(y);
        const int32_t from = y < keepH ? keepW : 0;
        if (from > 0) std::memcpy(row, o->Row(y), static_cast<size_t>(from) * 4);
        for (int32_t x = from; x < Width; ++x) std::memcpy(row + 4 * x, &white, 4);
      }
    }
  }
  HGDIOBJ prev = SelectObject(FDC, nb ? nb : static_cast<HGDIOBJ>(gdi::StockMonoBitmap()));
  if (!FOldBitmap) FOldBitmap = prev;
  if (FBitmap) DeleteObject(FBitmap);
  FBitmap = nb;
  FWidth = Width;
  FHeight = Height;
}

const uint8_t* TWindowSurface::Pixels() const { return FBitmap ? static_cast<GdiBitmap*>(FBitmap)->Bits : nullptr; }
uint8_t* TWindowSurface::Pixels() { return FBitmap ? static_cast<GdiBitmap*>(FBitmap)->Bits : nullptr; }
