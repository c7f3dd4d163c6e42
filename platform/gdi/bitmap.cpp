// TBitmap and its canvas.
#include "platform/gdi/bitmap.h"

#include <algorithm>
#include <cstring>

#include "platform/gdi/clipboard_formats.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/internal.h"

namespace {

int32_t FormatBits(TPixelFormat F) {
  switch (F) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf24bit: return 24;
    default: return 32;
  }
}

TPixelFormat BitsFormat(int32_t Bits) {
  switch (Bits) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 24: return pf24bit;
    default: return pf32bit;
  }
}

GdiBitmap* Bmp(HBITMAP H) { return static_cast<GdiBitmap*>(H); }

// The error of a bitmap that could not be read: too large for the cap, cut
// short (as a stream that ends early reads), or not a bitmap at all.
[[noreturn]] void RaiseDIBFault(TDIBFault Fault) {
  if (Fault == dfTooLarge) throw EInvalidGraphic("Bitmap image is too large");
  if (Fault == dfTruncated) throw EReadError("Stream read error");
  throw EInvalidGraphic("Bitmap image is not valid");
}

// Whether a zero pixel of Src shows, converted into Dst, as a zero pixel
// there: then rows of zeros need no copying into Dst's new, zeroed memory.
bool ZeroStaysZero(const GdiBitmap& Src, GdiBitmap& Dst) {
  if (Src.Monochrome || Dst.Monochrome) return false;
  const TColor c = Src.ValueColor(0);
  return (Dst.HasTable() ? Dst.Nearest(c) : c) == 0;
}

// Copies the top-left Width x Height pixels of Old into New (converting
// their colours) row by row; with SkipZeroRows, rows of Old holding only
// zero bytes are left out, so that their memory in New stays untouched.
void CopyPixels(HBITMAP New, HBITMAP Old, int32_t Width, int32_t Height, bool SkipZeroRows) {
  HDC s = CreateCompatibleDC(nullptr), d = CreateCompatibleDC(nullptr);
  HGDIOBJ os = SelectObject(s, Old), od = SelectObject(d, New);
  const GdiBitmap& src = *Bmp(Old);
  const size_t rowBytes = static_cast<size_t>((int64_t(Width) * src.BitCount + 7) / 8);
  auto blank = [&](int32_t Y) { return SkipZeroRows && AllZero(src.Row(Y), rowBytes); };
  for (int32_t y = 0; y < Height;) {
    if (blank(y)) {
      ++y;
      continue;
    }
    int32_t end = y + 1;
    while (end < Height && !blank(end)) ++end;
    ::BitBlt(d, 0, y, Width, end - y, s, 0, y, SRCCOPY);
    y = end;
  }
  SelectObject(s, os);
  SelectObject(d, od);
  DeleteDC(s);
  DeleteDC(d);
}

}  // namespace

std::vector<RGBQUAD> DefaultColorTable(int32_t BitCount) {
  std::vector<RGBQUAD> t;
  auto add = [&t](TColor c) { t.push_back(RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0}); };
  if (BitCount == 1) {
    add(clBlack);
    add(clWhite);
  } else if (BitCount == 4 || BitCount == 8) {
    for (TColor c : VGAColors) add(c);
    if (BitCount == 8) {
      for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
          for (int b = 0; b < 6; ++b) add(RGB(uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51)));
      for (int i = 0; i < 24; ++i) {
        uint8_t v = static_cast<uint8_t>(8 + i * 10);
        add(RGB(v, v, v));
      }
    }
  }
  return t;
}

// ---- TBitmapCanvas ----

void TBitmapCanvas::CreateHandle() {
  HDC dc = CreateCompatibleDC(nullptr);
  if (FBitmap->FHandle) FOldBitmap = SelectObject(dc, FBitmap->FHandle);
  if (HPALETTE p = FBitmap->GetPalette()) {
    FOldPalette = SelectPalette(dc, p, true);
    RealizePalette(dc);
  }
  SetHandle(dc);
}

void TBitmapCanvas::FreeContext() {
  HDC dc = HandleAllocated() ? Handle() : nullptr;
  if (!dc) return;
  SetHandle(nullptr);
  if (FOldBitmap) SelectObject(dc, FOldBitmap);
  if (FOldPalette) SelectPalette(dc, FOldPalette, true);
  FOldBitmap = nullptr;
  FOldPalette = nullptr;
  DeleteDC(dc);
}

// ---- TBitmap ----

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
  FCanvas.reset();
  FreeHandle();
  if (FPalette) DeleteObject(FPalette);
}

void TBitmap::FreeContext() {
  if (FCanvas) FCanvas->FreeContext();
}

void TBitmap::FreeHandle() {
  FreeContext();
  if (FHandle) DeleteObject(FHandle);
  FHandle = nullptr;
}

void TBitmap::NewImage(int32_t W, int32_t H, TPixelFormat Format, const std::vector<RGBQUAD>* Table, bool MonoDDB,
                       bool Fill) {
  if (W < 0 || H < 0) throw EInvalidGraphicOperation("Invalid image size");
  HBITMAP old = FHandle;
  int32_t oldW = FWidth, oldH = FHeight;
  FreeContext();
  HBITMAP nb = nullptr;
  if (W > 0 && H > 0) {
    if (MonoDDB) {
      nb = CreateBitmap(W, H, 1, 1, nullptr);
    } else {
      int32_t bits = FormatBits(Format);
      TBitmapInfo256 bi{};
      bi.bmiHeader.biWidth = W;
      bi.bmiHeader.biHeight = H;
      bi.bmiHeader.biBitCount = static_cast<uint16_t>(bits);
      if (bits <= 8) {
        std::vector<RGBQUAD> t = Table && !Table->empty() ? *Table : DefaultColorTable(bits);
        t.resize(size_t(1) << bits);
        bi.bmiHeader.biClrUsed = static_cast<uint32_t>(t.size());
        std::memcpy(bi.bmiColors, t.data(), t.size() * 4);
      }
      void* px = nullptr;
      nb = CreateDIBSection(nullptr, bi.Info(), DIB_RGB_COLORS, &px, nullptr, 0);
    }
    if (!nb) throw EOutOfMemory("Out of system resources");
    // New area is white in true colour; palette pixels start at index 0 (or
    // white when mono). The memory comes zeroed; it is filled only where
    // neither the old pixels nor the caller will write.
    GdiBitmap* b = Bmp(nb);
    const bool covered = old && W <= oldW && H <= oldH;
    const bool filled = Fill && !covered && (!b->HasTable() || b->Monochrome);
    if (filled) std::memset(b->Bits, 0xFF, static_cast<size_t>(b->Stride) * b->Height);
    // Keep the overlapping pixels, converting their colours; blank rows stay
    // as the new memory has them when that is their colour.
    if (old) CopyPixels(nb, old, std::min(W, oldW), std::min(H, oldH), !filled && ZeroStaysZero(*Bmp(old), *b));
  }
  if (old) DeleteObject(old);
  FHandle = nb;
  FWidth = nb ? W : 0;
  FHeight = nb ? H : 0;
  if (!nb) {
    FWidth = W;
    FHeight = H;
  }
  FPixelFormat = MonoDDB ? pf1bit : Format;
  FMonochromeDDB = MonoDDB;
  if (FPalette) {
    DeleteObject(FPalette);
    FPalette = nullptr;
  }
}

void TBitmap::SetSize(int32_t AWidth, int32_t AHeight) {
  if (AWidth == FWidth && AHeight == FHeight && (FHandle || AWidth == 0 || AHeight == 0)) return;
  std::vector<RGBQUAD> t = ColorTable();
  NewImage(AWidth, AHeight, FPixelFormat, &t, FMonochromeDDB);
  Changed(this);
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == pf15bit || Value == pf16bit || Value == pfCustom) Value = pf24bit;
  if (Value == FPixelFormat && !FMonochromeDDB) return;
  std::vector<RGBQUAD> t;
  if (FormatBits(Value) == BitCount()) t = ColorTable();
  NewImage(FWidth, FHeight, Value, &t, false);
  Changed(this);
}

void TBitmap::SetMonochrome(bool Value) {
  if (Value == FMonochromeDDB) return;
  NewImage(FWidth, FHeight, Value ? pf1bit : pfDevice, nullptr, Value);
  Changed(this);
}

int32_t TBitmap::BitCount() const { return FMonochromeDDB ? 1 : FormatBits(FPixelFormat); }

int32_t TBitmap::BytesPerLine() const { return FHandle ? Bmp(FHandle)->Stride : 0; }

void* TBitmap::ScanLine(int32_t Row) {
  if (!FHandle || Row < 0 || Row >= FHeight) throw EInvalidGraphicOperation("Scan line index out of range");
  return Bmp(FHandle)->Row(Row);
}

std::vector<RGBQUAD> TBitmap::ColorTable() const {
  std::vector<RGBQUAD> t;
  if (!FHandle) {
    if (BitCount() <= 8 && FPalette) {
      for (auto& e : static_cast<GdiPalette*>(FPalette)->Entries) t.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
    }
    return t;
  }
  GdiBitmap* b = Bmp(FHandle);
  if (!b->HasTable()) return t;
  for (int32_t i = 0; i < (1 << b->BitCount); ++i) {
    TColor c = b->ValueColor(static_cast<uint32_t>(i));
    t.push_back(RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0});
  }
  return t;
}

void TBitmap::SetColorTable(const std::vector<RGBQUAD>& Table) {
  if (!FHandle || FMonochromeDDB) return;
  GdiBitmap* b = Bmp(FHandle);
  if (!b->HasTable()) return;
  for (int32_t i = 0; i < b->TableSize && i < static_cast<int32_t>(Table.size()); ++i) b->Table[i] = Table[i];
  b->TableChanged();
  if (FPalette) {
    DeleteObject(FPalette);
    FPalette = nullptr;
  }
  FreeContext();
  Changed(this);
}

HPALETTE TBitmap::GetPalette() {
  if (FPalette || !FHandle) return FPalette;
  GdiBitmap* b = Bmp(FHandle);
  if (!b->HasTable()) return nullptr;
  std::vector<uint8_t> buf(4 + 4 * 256);
  auto* lp = reinterpret_cast<LOGPALETTE*>(buf.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = static_cast<uint16_t>(1 << b->BitCount);
  auto* e = reinterpret_cast<PALETTEENTRY*>(buf.data() + 4);
  for (int32_t i = 0; i < lp->palNumEntries; ++i) {
    TColor c = b->ValueColor(static_cast<uint32_t>(i));
    e[i] = PALETTEENTRY{GetRValue(c), GetGValue(c), GetBValue(c), 0};
  }
  FPalette = CreatePalette(lp);
  return FPalette;
}

void TBitmap::SetPalette(HPALETTE Value) {
  if (Value == FPalette) return;
  std::vector<RGBQUAD> t;
  if (Value && Value->Type == OBJ_PAL)
    for (auto& e : static_cast<GdiPalette*>(Value)->Entries) t.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
  if (FHandle && !t.empty()) SetColorTable(t);
  if (FPalette) DeleteObject(FPalette);
  FPalette = Value;
  FreeContext();
  Changed(this);
}

TCanvas* TBitmap::Canvas() {
  if (!FCanvas) {
    FCanvas = std::make_unique<TBitmapCanvas>(this);
    FCanvas->OnChange = [this](TObject*) { Changed(this); };
  }
  return FCanvas.get();
}

HBITMAP TBitmap::Handle() {
  FreeContext();
  return FHandle;
}

void TBitmap::SetHandle(HBITMAP Value) {
  if (Value == FHandle) return;
  FreeHandle();
  if (FPalette) {
    DeleteObject(FPalette);
    FPalette = nullptr;
  }
  FHandle = Value;
  FWidth = FHeight = 0;
  FMonochromeDDB = false;
  FPixelFormat = pfDevice;
  if (Value && Value->Type == OBJ_BITMAP) {
    GdiBitmap* b = Bmp(Value);
    FWidth = b->Width;
    FHeight = b->Height;
    FMonochromeDDB = b->Monochrome;
    FPixelFormat = b->Monochrome ? pf1bit : b->IsDIB ? BitsFormat(b->BitCount) : pfDevice;
  }
  Changed(this);
}

void TBitmap::Assign(TPersistent* Source) {
  if (!Source) {
    NewImage(0, 0, FPixelFormat, nullptr, false);
    Changed(this);
    return;
  }
  auto* src = dynamic_cast<TBitmap*>(Source);
  if (!src) {
    TGraphic::Assign(Source);
    return;
  }
  if (src == this) return;
  FreeHandle();
  FWidth = FHeight = 0;
  std::vector<RGBQUAD> t = src->ColorTable();
  HBITMAP sh = src->Handle();
  NewImage(src->FWidth, src->FHeight, src->FPixelFormat, &t, src->FMonochromeDDB, !sh);
  if (sh && FHandle) {
    // The new section starts zeroed: blank blocks stay untouched.
    GdiBitmap *s = Bmp(sh), *d = Bmp(FHandle);
    CopyToZeroed(d->Bits, s->Bits, static_cast<size_t>(s->Stride) * s->Height);
    d->XPelsPerMeter = s->XPelsPerMeter;
    d->YPelsPerMeter = s->YPelsPerMeter;
  }
  FTransparent = src->FTransparent;
  FTransparentColor = src->FTransparentColor;
  FTransparentMode = src->FTransparentMode;
  IgnorePalette = src->IgnorePalette;
  Changed(this);
}

TColor TBitmap::TransparentColor() {
  if (FTransparentMode == tmFixed && FTransparentColor != clDefault) return FTransparentColor;
  if (!FHandle) return clDefault;
  GdiBitmap* b = Bmp(FHandle);
  return b->ValueColor(b->Get(0, b->Height - 1));
}

void TBitmap::SetTransparentColor(TColor Value) {
  if (Value == FTransparentColor) return;
  FTransparentColor = Value;
  FTransparentMode = Value == clDefault ? tmAuto : tmFixed;
  Changed(this);
}

void TBitmap::SetTransparentMode(TTransparentMode Value) {
  if (Value == FTransparentMode) return;
  if (Value == tmAuto) SetTransparentColor(clDefault);
  else SetTransparentColor(TransparentColor());
}

void TBitmap::Draw(TCanvas* ACanvas, const TRect& R) {
  if (!ACanvas || !FHandle) return;
  HDC dest = ACanvas->Handle();
  HPALETTE pal = IgnorePalette ? nullptr : GetPalette();
  HPALETTE oldPal = nullptr;
  if (pal) {
    oldPal = SelectPalette(dest, pal, true);
    RealizePalette(dest);
  }
  HDC src = Canvas()->Handle();
  SetStretchBltMode(dest, COLORONCOLOR);
  if (FTransparent)
    ::TransparentBlt(dest, R.Left, R.Top, R.Width(), R.Height(), src, 0, 0, FWidth, FHeight,
                     ColorToRGB(TransparentColor()));
  else
    ::StretchBlt(dest, R.Left, R.Top, R.Width(), R.Height(), src, 0, 0, FWidth, FHeight, ACanvas->CopyMode());
  if (oldPal) SelectPalette(dest, oldPal, true);
}

void TBitmap::Mask(TColor Color) {
  if (!FHandle) return;
  HBITMAP m = CreateBitmap(FWidth, FHeight, 1, 1, nullptr);
  GdiBitmap *s = Bmp(FHandle), *d = Bmp(m);
  TColor key = ColorToRGB(Color) & 0xFFFFFF;
  for (int32_t y = 0; y < FHeight; ++y)
    for (int32_t x = 0; x < FWidth; ++x) d->Set(x, y, s->ValueColor(s->Get(x, y)) == key ? 1 : 0);
  SetHandle(m);
}

void TBitmap::LoadFromStream(TStream& Stream) {
  int64_t start = Stream.Position();
  int64_t avail = Stream.Size() - start;
  uint8_t fh[14];
  if (avail < 14 || Stream.Read(fh, 14) != 14 || fh[0] != 'B' || fh[1] != 'M')
    throw EInvalidGraphic("Bitmap image is not valid");
  const uint32_t off = fh[10] | (fh[11] << 8) | (fh[12] << 16) | (uint32_t(fh[13]) << 24);
  const uint32_t declared = fh[2] | (fh[3] << 8) | (fh[4] << 16) | (uint32_t(fh[5]) << 24);
  // The file's own size field is often wrong: the rest of the stream is
  // read (no more than the largest pixel memory and a header could take),
  // and the stream is left after what the bitmap used.
  constexpr int64_t kMaxRead = (int64_t(1) << 30) + (int64_t(1) << 16);
  const int64_t len = std::min(avail - 14, kMaxRead);
  std::vector<uint8_t> data(static_cast<size_t>(len));
  if (len) Stream.ReadBuffer(data.data(), len);
  size_t used = 0;
  TDIBFault fault = dfNone;
  // An offset inside the file header says nothing: the rows follow the table.
  HBITMAP hb = BitmapFromPackedDIB(data.data(), data.size(), off < 14 ? 0 : off - 14, &used, &fault);
  if (!hb) RaiseDIBFault(fault);
  int64_t end = 14 + static_cast<int64_t>(used);
  if (declared > end && declared <= 14 + len) end = declared;
  Stream.SetPosition(start + end);
  FreeHandle();
  SetHandle(hb);
}

void TBitmap::SaveToStream(TStream& Stream) {
  std::vector<uint8_t> dib = PackedDIBFromBitmap(FHandle);
  if (dib.empty()) return;
  uint32_t hsize = 40, colors = (dib[32] | (dib[33] << 8) | (dib[34] << 16) | (uint32_t(dib[35]) << 24));
  BITMAPFILEHEADER fh;
  fh.bfSize = static_cast<uint32_t>(14 + dib.size());
  fh.bfOffBits = 14 + hsize + 4 * colors;
  Stream.WriteBuffer(&fh, 14);
  Stream.WriteBuffer(dib.data(), static_cast<int64_t>(dib.size()));
}

void TBitmap::LoadFromClipboardFormat(uint16_t Format, uintptr_t Data, HPALETTE Palette) {
  if (Format == CF_BITMAP && Data) {
    // Refused before its copy is made when over the cap.
    TSurfaceInfo info;
    if (GetSurfaceInfo(reinterpret_cast<HBITMAP>(Data), info) &&
        int64_t(info.BytesPerLine) * info.Height > ImageBytesCap())
      RaiseDIBFault(dfTooLarge);
    std::vector<uint8_t> dib = PackedDIBFromBitmap(reinterpret_cast<HBITMAP>(Data));
    TDIBFault fault = dfNone;
    HBITMAP hb = BitmapFromPackedDIB(dib.data(), dib.size(), 0, nullptr, &fault);
    if (!hb) RaiseDIBFault(fault);
    SetHandle(hb);
    if (Palette && BitCount() <= 8) {
      std::vector<RGBQUAD> t;
      for (auto& e : static_cast<GdiPalette*>(Palette)->Entries) t.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
      SetColorTable(t);
    }
    return;
  }
  if (Format == CF_DIB && Data) {
    auto* p = static_cast<const uint8_t*>(GlobalLock(Data));
    TDIBFault fault = dfNone;
    HBITMAP hb = BitmapFromPackedDIB(p, GlobalSize(Data), 0, nullptr, &fault);
    GlobalUnlock(Data);
    if (!hb) RaiseDIBFault(fault);
    SetHandle(hb);
    return;
  }
  throw EInvalidGraphic("Unsupported clipboard format");
}

void TBitmap::SaveToClipboardFormat(uint16_t& Format, uintptr_t& Data, HPALETTE& Palette) {
  Format = CF_BITMAP;
  Data = 0;
  Palette = nullptr;
  if (!FHandle) return;
  std::vector<uint8_t> dib = PackedDIBFromBitmap(FHandle);
  Data = reinterpret_cast<uintptr_t>(BitmapFromPackedDIB(dib.data(), dib.size()));
  if (HPALETTE p = GetPalette()) {
    std::vector<uint8_t> buf(4 + 4 * 1024);
    auto* lp = reinterpret_cast<LOGPALETTE*>(buf.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = static_cast<uint16_t>(GetPaletteEntries(p, 0, 1024, reinterpret_cast<PALETTEENTRY*>(buf.data() + 4)));
    Palette = CreatePalette(lp);
  }
}
