// Internal representation of GDI objects and device contexts, shared by the
// sources of this folder only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/base/zeroed_block.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/surface.h"

struct GdiObject {
  explicit GdiObject(uint32_t AType) : Type(AType) {}
  virtual ~GdiObject() = default;
  uint32_t Type;
  bool Stock = false;
  // References from DC states (current and saved); a deleted object that is
  // still referenced is freed when the last reference goes.
  int32_t Refs = 0;
  bool PendingDelete = false;
};

struct GdiBitmap : GdiObject {
  GdiBitmap() : GdiObject(OBJ_BITMAP) {}
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t BitCount = 32;
  int32_t Stride = 0;
  bool TopDown = false;
  bool Monochrome = false;  // a monochrome device bitmap
  bool IsDIB = false;
  uint8_t* Bits = nullptr;
  // Pixel memory that starts zeroed, so a new bitmap costs no clearing pass.
  TZeroedBlock Owned;
  RGBQUAD Table[256] = {};
  int32_t TableSize = 0;
  DeviceContext* SelectedIn = nullptr;
  int32_t XPelsPerMeter = 0;
  int32_t YPelsPerMeter = 0;
  // Memo of the last colour matched against the table, and a direct-mapped
  // cache of earlier matches (colour in the high bits, index in the low 8).
  TColor MemoColor = 0xFFFFFFFF;
  uint32_t MemoValue = 0;
  std::unique_ptr<uint64_t[]> NearCache;
  // Forgets every match after a change of the colour table.
  void TableChanged() {
    MemoColor = 0xFFFFFFFF;
    NearCache.reset();
  }

  uint8_t* Row(int32_t Y) const { return Bits + static_cast<int64_t>(TopDown ? Y : Height - 1 - Y) * Stride; }
  uint32_t Mask() const { return BitCount >= 24 ? 0xFFFFFFu : (1u << BitCount) - 1; }
  bool HasTable() const { return BitCount <= 8; }
  uint32_t Get(int32_t X, int32_t Y) const;
  void Set(int32_t X, int32_t Y, uint32_t V);
  // The colour of a pixel value (0x00BBGGRR).
  TColor ValueColor(uint32_t V) const;
  // The pixel value for a plain RGB colour: nearest table entry, or the colour.
  uint32_t Nearest(TColor C);
};

struct GdiPen : GdiObject {
  GdiPen() : GdiObject(OBJ_PEN) {}
  uint32_t Style = PS_SOLID;
  int32_t Width = 1;
  TColor Color = 0;
};

struct GdiBrush : GdiObject {
  GdiBrush() : GdiObject(OBJ_BRUSH) {}
  uint32_t Style = BS_SOLID;
  TColor Color = 0;
  int32_t Hatch = 0;
  // Pattern brushes: PatW x PatH colours, or bits (0/1) of a monochrome pattern.
  int32_t PatW = 0;
  int32_t PatH = 0;
  bool MonoPattern = false;
  std::vector<TColor> Pattern;
};

struct GdiFont : GdiObject {
  GdiFont() : GdiObject(OBJ_FONT) {}
  LOGFONT Log;
};

struct GdiPalette : GdiObject {
  GdiPalette() : GdiObject(OBJ_PAL) {}
  std::vector<PALETTEENTRY> Entries;
};

struct GdiRegion : GdiObject {
  GdiRegion() : GdiObject(OBJ_REGION) {}
  // Disjoint non-empty rectangles, sorted by Top then Left.
  std::vector<TRect> Rects;
};

struct DCState {
  GdiBitmap* Bitmap = nullptr;
  GdiPen* Pen = nullptr;
  GdiBrush* Brush = nullptr;
  GdiFont* Font = nullptr;
  GdiPalette* Palette = nullptr;
  TColor TextColor = 0;
  TColor BkColor = 0xFFFFFF;
  int32_t BkMode = OPAQUE;
  int32_t Rop2 = R2_COPYPEN;
  int32_t StretchMode = BLACKONWHITE;
  TPoint ViewportOrg;
  TPoint BrushOrg;
  TPoint Pos;
  std::optional<std::vector<TRect>> Clip;  // device coordinates
};

struct DeviceContext {
  DCState S;
  std::vector<DCState> Saved;
  bool IsScreen = false;
  int32_t RasterCaps = -1;  // -1: the screen's
};

namespace gdi {

// Object references held by DC states.
void AddRef(GdiObject* Obj);
void Release(GdiObject* Obj);
void AddStateRefs(const DCState& S);
void ReleaseStateRefs(const DCState& S);
GdiBitmap* StockMonoBitmap();
GdiBitmap* NewBitmap(int32_t Width, int32_t Height, int32_t BitCount, bool TopDown);
// A non-owning view of DIB memory (1, 4, 8, 24, 32 bits, BI_RGB); false for a bad header.
bool ViewDIB(GdiBitmap& V, const BITMAPINFO* Info, const void* Bits);

// Region arithmetic on rectangle lists.
std::vector<TRect> CombineRects(const std::vector<TRect>& A, const std::vector<TRect>& B, int32_t Mode);
int32_t RegionType(const std::vector<TRect>& R);
TRect RectsBox(const std::vector<TRect>& R);

// A plain RGB colour for a colour value of the drawing calls (system colours,
// palette indexes through the DC's palette).
TColor ResolveColor(DeviceContext* DC, TColor C);
// The value to store on the DC's surface for colour C.
uint32_t ColorValue(DeviceContext* DC, TColor C);

// Visible spans of device row Y within [X0, X1): clip region and surface.
template <class F>
void ForSpans(DeviceContext* DC, int32_t Y, int32_t X0, int32_t X1, F&& Fn);

uint32_t ApplyRop2(int32_t Rop2, uint32_t P, uint32_t D);
uint32_t ApplyRop3(uint8_t Code, uint32_t P, uint32_t S, uint32_t D);

// The selected brush prepared for one surface: pattern values by device position.
struct PreparedBrush {
  bool Null = true;
  int32_t W = 1, H = 1;
  TPoint Org;
  std::vector<uint32_t> Values;
  uint32_t At(int32_t X, int32_t Y) const {
    int32_t px = (X - Org.X) % W, py = (Y - Org.Y) % H;
    if (px < 0) px += W;
    if (py < 0) py += H;
    return Values[static_cast<size_t>(py) * W + px];
  }
};
PreparedBrush PrepareBrush(DeviceContext* DC, GdiBrush* Brush);

// Stores pixel value V in pixels [A, E) of row Y (within the surface), whole
// runs at a time, as Set stores each; the fourth byte of a 32-bit pixel
// becomes Fourth, or is kept when Fourth is negative.
void FillSpanValue(GdiBitmap* B, int32_t Y, int32_t A, int32_t E, uint32_t V, int32_t Fourth);
// Fills device span [X0, X1) of row Y with the brush through ROP2 (clipped).
void FillSpanRop2(DeviceContext* DC, const PreparedBrush& B, int32_t Y, int32_t X0, int32_t X1, int32_t Rop2);
// Plots one device pixel value through ROP2 (clipped).
void PlotRop2(DeviceContext* DC, int32_t X, int32_t Y, uint32_t V, int32_t Rop2);
bool Visible(DeviceContext* DC, int32_t X, int32_t Y);

template <class F>
void ForSpans(DeviceContext* DC, int32_t Y, int32_t X0, int32_t X1, F&& Fn) {
  GdiBitmap* b = DC->S.Bitmap;
  if (!b || Y < 0 || Y >= b->Height) return;
  if (X0 < 0) X0 = 0;
  if (X1 > b->Width) X1 = b->Width;
  if (X0 >= X1) return;
  if (!DC->S.Clip) {
    Fn(X0, X1);
    return;
  }
  for (const TRect& r : *DC->S.Clip) {
    if (r.Top > Y) break;
    if (Y >= r.Bottom) continue;
    int32_t a = r.Left > X0 ? r.Left : X0;
    int32_t e = r.Right < X1 ? r.Right : X1;
    if (a < e) Fn(a, e);
  }
}

}  // namespace gdi
