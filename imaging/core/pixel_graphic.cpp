// Creation, pixel access, change notification and assignment of
// TPixelGraphic.
#include "imaging/core/pixel_graphic.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "imaging/core/exceptions.h"
#include "imaging/core/pg_canvas.h"
#include "imaging/core/messages.h"
#include "imaging/core/options.h"
#include "platform/base/strings.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/surface.h"

namespace {

constexpr int32_t kBitCounts[4] = {1, 4, 8, 24};
constexpr int32_t kMaxColors[4] = {2, 16, 256, 0};

int64_t BytesPerLineOf(int32_t Width, uint8_t PixelFormat) {
  return (static_cast<int64_t>(Width) * kBitCounts[PixelFormat] + 31) / 32 * 4;
}

}  // namespace

int64_t CheckPGImageSize(int32_t Width, int32_t Height, uint8_t PixelFormat) {
  if (Width < 0) throw EPGInvalidSize(PGMessage(22));
  if (Height < 0) throw EPGInvalidSize(PGMessage(21));
  if (PixelFormat > pf24Bit) throw EPixelGraphic(PGMessage(20, "PixelFormat"));
  // Rows take at most about 6.4e9 bytes, so the quotient test cannot overflow.
  const int64_t bpl = BytesPerLineOf(Width, PixelFormat);
  // The option may lower the cap, never raise it above the largest surface,
  // which every image needs for drawing.
  const int64_t cap = ImageBytesCap();
  if (Height > 0 && bpl > cap / Height)
    throw EPGInvalidSize(PGMessage(27, IntToStr(Width) + " x " + IntToStr(Height)));
  return bpl * Height;
}

TPixelGraphic::TPixelGraphic() : FGamma(PGDefaultGamma) {}

TPixelGraphic::~TPixelGraphic() {
  FlushGdi();
  FreeDitherBuffers();
  FreeColorCache();
  FPalette.clear();
  ReleaseCanvasHandle();
  FCanvas.reset();
  if (FPaletteHandle) DeleteObject(FPaletteHandle);
  FPaletteHandle = nullptr;
  FreeImage();
  FreeChunks();
}

// ---------------------------------------------------------------- TGraphic

void TPixelGraphic::Changed(TObject*) {
  if (FUpdateCount == 0 && OnChange) OnChange(this);
}

bool TPixelGraphic::GetEmpty() { return !FBits; }
int32_t TPixelGraphic::GetHeight() { return FHeight; }
int32_t TPixelGraphic::GetWidth() { return FWidth; }
bool TPixelGraphic::GetTransparent() { return FTransparent; }
void TPixelGraphic::SetTransparent(bool Value) { FTransparent = Value; }

void TPixelGraphic::SetHeight(int32_t Value) {
  if (Value != FHeight) NewImage(FWidth, Value, FPixelFormat);
}

void TPixelGraphic::SetWidth(int32_t Value) {
  if (Value != FWidth) NewImage(Value, FHeight, FPixelFormat);
}

void TPixelGraphic::Assign(TPersistent* Source) {
  auto* src = dynamic_cast<TPixelGraphic*>(Source);
  if (Source && !src) {
    TGraphic::Assign(Source);
    return;
  }
  if (src == this) return;  // copying onto itself would discard the pixels first
  BeginUpdate();
  try {
    if (!src) {
      NewImage(0, 0, pf24Bit);
    } else {
      if (FGdiDirty || src->FGdiDirty) {
        FlushGdi();
        src->FlushGdi();
      }
      // Blocks of zeros (a blank picture, rows a reader never reached) are
      // not copied into new memory that holds only zeros.
      const bool zeroed = NewImageToOverwrite(src->FWidth, src->FHeight, src->FPixelFormat);
      if (FBits && src->FBits) {
        const size_t n = std::min(FImageSize, src->FImageSize);
        if (zeroed) CopyToZeroed(FBits.get(), src->FBits.get(), n);
        else std::memcpy(FBits.get(), src->FBits.get(), n);
      }
      SetPaletteIdent(src->FPaletteIdent);
      SetPaletteCount(src->FPaletteCount);
      FTransparentColor = src->FTransparentColor;
      FDither = src->FDither;
      FDitherErrorLimit = src->FDitherErrorLimit;
      FDitherErrorLimitAuto = src->FDitherErrorLimitAuto;
      FDitherErrorLimitSoft = src->FDitherErrorLimitSoft;
      FUseColorCache = src->FUseColorCache;
      FGamma = src->FGamma;
      FXResolution = src->FXResolution;
      FYResolution = src->FYResolution;
      CopyChunksFrom(src);
      FRGBWeighting = src->FRGBWeighting;
      FSmoothRotate = src->FSmoothRotate;
      FStretchMode = src->FStretchMode;
      FReadWarningAction = src->FReadWarningAction;
      FTransparent = src->FTransparent;
      FSaveColorResWarningAction = src->FSaveColorResWarningAction;
      for (int32_t i = 0; i < FPaletteCount; ++i) SetPaletteEntry(i, src->FPalette[i]);
      DetectPaletteIdent();
    }
  } catch (...) {
    // Leave the update level as it was, so that later changes notify again.
    --FUpdateCount;
    throw;
  }
  EndUpdate();
}

// ---------------------------------------------------------------- creation

int32_t TPixelGraphic::GetBitCount() const { return kBitCounts[FPixelFormat]; }
int32_t TPixelGraphic::GetMaxColors() const { return kMaxColors[FPixelFormat]; }

uint8_t TPixelGraphic::BitCountToPixelFormat(int32_t BitCount) {
  switch (BitCount) {
    case 1: return pf1Bit;
    case 4: return pf4Bit;
    case 8: return pf8Bit;
    case 24: return pf24Bit;
    default: throw EPGInvalidBitCountNum(PGMessage(20, "BitCountNum"));
  }
}

void TPixelGraphic::SetPixelFormat(uint8_t Format) {
  if (Format != FPixelFormat) NewImage(FWidth, FHeight, Format);
}

void TPixelGraphic::FreeImage() {
  // The DIB section lives over FBits; the canvas has given it up already.
  if (FBitmapHandle) DeleteObject(FBitmapHandle);
  FBitmapHandle = nullptr;
  FBitmapInfo.reset();
  FBits.reset();
  FImageSize = 0;
  FBytesPerLine = 0;
}

void TPixelGraphic::NewImage(int32_t AWidth, int32_t AHeight, uint8_t APixelFormat) {
  MakeImage(AWidth, AHeight, APixelFormat, true);
}

bool TPixelGraphic::NewImageToOverwrite(int32_t AWidth, int32_t AHeight, uint8_t APixelFormat) {
  return MakeImage(AWidth, AHeight, APixelFormat, false);
}

bool TPixelGraphic::MakeImage(int32_t AWidth, int32_t AHeight, uint8_t APixelFormat, bool Fill) {
  if (AWidth < 0) throw EPGInvalidSize(PGMessage(22));
  if (AHeight < 0) throw EPGInvalidSize(PGMessage(21));
  if (APixelFormat > pf24Bit) throw EPixelGraphic(PGMessage(20, "PixelFormat"));
  if (AWidth == FWidth && AHeight == FHeight && APixelFormat == FPixelFormat) {
    if (!FBits || FWidth < 1 || FHeight < 1 || !Fill) {
      FlushGdi();
      Changed(this);
    } else {
      Clear();
    }
    return false;
  }
  FWidth = AWidth;
  FHeight = AHeight;
  FPixelFormat = APixelFormat;
  FlushGdi();
  ReleaseCanvasHandle();
  FreeImage();

  const int64_t size = CheckPGImageSize(AWidth, AHeight, APixelFormat);
  if (size != 0) {
    const int32_t colors = GetMaxColors();
    if (FPaletteCount > colors) SetPaletteCount(colors);
    if (FPixelFormat == pf24Bit) FPaletteIdent = pTrueColor;

    FBits = TZeroedBlock(static_cast<size_t>(size));
    if (!FBits) throw EPixelGraphic(PGMessage(31, "CreateDIBSection"));
    FImageSize = static_cast<uint32_t>(size);
    FBytesPerLine = static_cast<uint32_t>(BytesPerLineOf(AWidth, APixelFormat));

    FBitmapInfo = std::make_unique<TPGBitmapInfo>();
    BITMAPINFOHEADER& h = FBitmapInfo->bmiHeader;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = AWidth;
    h.biHeight = AHeight;
    h.biPlanes = 1;
    h.biBitCount = static_cast<uint16_t>(GetBitCount());
    h.biCompression = BI_RGB;
    h.biSizeImage = FImageSize;
    h.biClrUsed = static_cast<uint32_t>(colors);
    for (int32_t i = 0; i < colors; ++i) {
      const TColor c = IndexColor(static_cast<uint32_t>(i));
      FBitmapInfo->bmiColors[i] = RGBQUAD{static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8),
                                             static_cast<uint8_t>(c), 0};
    }
    // The DIB section over the pixel memory, through which GDI draws into it.
    FBitmapHandle = CreateDIBSectionOver(reinterpret_cast<const BITMAPINFO*>(FBitmapInfo.get()), FBits.get());
    if (!FBitmapHandle) {
      FreeImage();
      throw EPixelGraphic(PGMessage(31, "CreateDIBSection"));
    }
  }
  if (!FBits || FWidth < 1 || FHeight < 1) {
    Changed(this);
    return false;
  }
  // The new memory is zero: only a transparent colour other than 0 is
  // written, once.
  FillTransparent(true);
  Changed(this);
  return FTransparentColor == 0;
}

void TPixelGraphic::Clear() {
  FlushGdi();
  if (!FBits || FWidth < 1 || FHeight < 1) return;
  FillTransparent(false);
  Changed(this);
}

void TPixelGraphic::FillTransparent(bool Zeroed) {
  if (FTransparentColor == 0) {
    if (!Zeroed) std::memset(FBits.get(), 0, FImageSize);
    return;
  }
  // Every byte is written once: the pixels with the transparent value, the
  // row padding with 0.
  if (FPixelFormat == pf8Bit) {
    for (int32_t y = 0; y < FHeight; ++y) {
      uint8_t* row = ScanLine(y);
      std::memset(row, static_cast<uint8_t>(FTransparentColor), static_cast<size_t>(FWidth));
      if (!Zeroed) std::memset(row + FWidth, 0, FBytesPerLine - static_cast<size_t>(FWidth));
    }
    return;
  }
  // The top row pixel by pixel; every other row is the same bytes.
  uint8_t* top = ScanLine(0);
  if (!Zeroed) std::memset(top, 0, FBytesPerLine);
  for (int32_t x = 0; x < FWidth; ++x) SetPixel(x, 0, FTransparentColor);
  for (int32_t y = 1; y < FHeight; ++y) std::memcpy(ScanLine(y), top, FBytesPerLine);
}

// ---------------------------------------------------------------- pixels

void TPixelGraphic::FlushGdi() {
  if (!FGdiDirty) return;
  GdiFlush();
  FGdiDirty = false;
}

void TPixelGraphic::ReleaseCanvasHandle() {
  if (FCanvas) FCanvas->ReleaseCanvasDC();
}

uint8_t* TPixelGraphic::ScanLine(int32_t Row) {
  FlushGdi();
  if (!FBits) return nullptr;
  return FBits.get() + (static_cast<int64_t>(FHeight) - Row - 1) * static_cast<int64_t>(FBytesPerLine);
}

uint8_t* TPixelGraphic::GetBits() {
  FlushGdi();
  return FBits.get();
}

uint32_t TPixelGraphic::GetPixel(int32_t X, int32_t Y) {
  FlushGdi();
  if (!FBits || X < 0 || X >= FWidth || Y < 0 || Y >= FHeight) return FTransparentColor;
  const uint8_t* row = ScanLine(Y);
  switch (FPixelFormat) {
    case pf1Bit: return (row[X >> 3] >> (7 - (X & 7))) & 1;
    case pf4Bit: return (X & 1) ? row[X >> 1] & 0x0F : row[X >> 1] >> 4;
    case pf8Bit: return row[X];
    default: {
      const uint8_t* p = row + 3 * static_cast<int64_t>(X);
      return p[2] | (p[1] << 8) | (p[0] << 16);
    }
  }
}

void TPixelGraphic::SetPixel(int32_t X, int32_t Y, uint32_t Value) {
  FlushGdi();
  if (!FBits || X < 0 || X >= FWidth || Y < 0 || Y >= FHeight) return;
  uint8_t* row = ScanLine(Y);
  switch (FPixelFormat) {
    case pf1Bit: {
      const uint8_t mask = static_cast<uint8_t>(0x80 >> (X & 7));
      if (Value == 1) row[X >> 3] |= mask;
      else row[X >> 3] &= static_cast<uint8_t>(~mask);
      break;
    }
    case pf4Bit: {
      uint8_t& b = row[X >> 1];
      if (X & 1) b = static_cast<uint8_t>((b & 0xF0) | (Value & 0x0F));
      else b = static_cast<uint8_t>((b & 0x0F) | ((Value & 0x0F) << 4));
      break;
    }
    case pf8Bit: row[X] = static_cast<uint8_t>(Value); break;
    default: {
      uint8_t* p = row + 3 * static_cast<int64_t>(X);
      p[0] = static_cast<uint8_t>(Value >> 16);
      p[1] = static_cast<uint8_t>(Value >> 8);
      p[2] = static_cast<uint8_t>(Value);
    }
  }
}

TColor TPixelGraphic::IndexColor(uint32_t Index) const {
  if (Index < static_cast<uint32_t>(FPaletteCount)) return FPalette[Index];
  return FPaletteCount > 0 ? FPalette[0] : 0;
}

TColor TPixelGraphic::GetPixelColor(int32_t X, int32_t Y) {
  const uint32_t value = GetPixel(X, Y);
  return FPixelFormat == pf24Bit ? value : IndexColor(value);
}

void TPixelGraphic::SetPixelColor(int32_t X, int32_t Y, TColor Color) {
  SetPixel(X, Y, FPixelFormat == pf24Bit ? Color : GetNearestIndex(Color));
}

void TPixelGraphic::SetTransparentColor(TColor Color) {
  FTransparentColor = FPixelFormat == pf24Bit ? Color : GetNearestIndex(Color);
}

TColor TPixelGraphic::GetTransparentColor() {
  return FPixelFormat == pf24Bit ? FTransparentColor : IndexColor(FTransparentColor);
}

// ---------------------------------------------------------------- updates

void TPixelGraphic::BeginUpdate() { ++FUpdateCount; }

void TPixelGraphic::EndUpdate() {
  --FUpdateCount;
  Changed(this);
}

void TPixelGraphic::ProgressStart() {
  if (OnProgressStart) OnProgressStart(this);
}

bool TPixelGraphic::Progress(int32_t Step, int32_t Max) {
  bool abort = false;
  if (OnProgress) OnProgress(this, Step, Max, abort);
  return abort;
}

void TPixelGraphic::ProgressEnd() {
  if (OnProgressEnd) OnProgressEnd(this);
}

void TPixelGraphic::SetUseColorCache(bool Value) {
  if (Value == FUseColorCache) return;
  FUseColorCache = Value;
  FNearestMemoInvalid = true;
  Changed(this);
}

void TPixelGraphic::SetRGBWeighting(bool Value) {
  if (Value == FRGBWeighting) return;
  FRGBWeighting = Value;
  FNearestMemoInvalid = true;
}

void TPixelGraphic::FreeDitherBuffers() {
  FErrorLimitTable = {};
  FCurrentErrors = {};
  FNextErrors = {};
}
