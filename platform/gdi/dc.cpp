// Device contexts: creation, object selection, saved states, origins,
// clipping, palettes and device capabilities.
#include "platform/gdi/dc.h"

#include <atomic>
#include <mutex>

#include "platform/gdi/internal.h"

namespace {

std::atomic<int32_t> gScreenBits{32};
std::atomic<int32_t> gScreenWidth{1024};
std::atomic<int32_t> gScreenHeight{768};

DCState InitialState() {
  DCState s;
  s.Bitmap = gdi::StockMonoBitmap();
  s.Pen = static_cast<GdiPen*>(GetStockObject(BLACK_PEN));
  s.Brush = static_cast<GdiBrush*>(GetStockObject(WHITE_BRUSH));
  s.Font = static_cast<GdiFont*>(GetStockObject(SYSTEM_FONT));
  s.Palette = static_cast<GdiPalette*>(GetStockObject(DEFAULT_PALETTE));
  return s;
}

void SetBitmapOwner(GdiBitmap* b, DeviceContext* dc) {
  if (b && !b->Stock) b->SelectedIn = dc;
}

}  // namespace

void SetScreenBitsPerPixel(int32_t Bits) {
  if (Bits == 1 || Bits == 4 || Bits == 8 || Bits == 16 || Bits == 24 || Bits == 32) gScreenBits = Bits;
}
int32_t GetScreenBitsPerPixel() { return gScreenBits; }
void SetScreenSize(int32_t Width, int32_t Height) {
  if (Width > 0 && Height > 0) {
    gScreenWidth = Width;
    gScreenHeight = Height;
  }
}

HDC GetScreenDC() {
  HDC dc = CreateCompatibleDC(nullptr);
  dc->IsScreen = true;
  HBITMAP b = gdi::NewBitmap(gScreenWidth, gScreenHeight, 32, true);
  if (b) SelectObject(dc, b);
  DeleteObject(b);  // freed with the DC
  return dc;
}

void ReleaseScreenDC(HDC DC) { DeleteDC(DC); }

HDC CreateCompatibleDC(HDC) {
  auto* dc = new DeviceContext;
  dc->S = InitialState();
  gdi::AddStateRefs(dc->S);
  return dc;
}

bool DeleteDC(HDC DC) {
  if (!DC) return false;
  auto drop = [DC](DCState& s) {
    if (s.Bitmap && s.Bitmap->SelectedIn == DC) s.Bitmap->SelectedIn = nullptr;
    gdi::ReleaseStateRefs(s);
  };
  for (DCState& s : DC->Saved) drop(s);
  drop(DC->S);
  delete DC;
  return true;
}

HGDIOBJ SelectObject(HDC DC, HGDIOBJ Obj) {
  if (!DC || !Obj) return nullptr;
  DCState& s = DC->S;
  GdiObject* old = nullptr;
  switch (Obj->Type) {
    case OBJ_BITMAP: {
      auto* b = static_cast<GdiBitmap*>(Obj);
      if (b->SelectedIn && b->SelectedIn != DC) return nullptr;
      old = s.Bitmap;
      if (s.Bitmap && s.Bitmap->SelectedIn == DC) {
        bool stillSaved = false;
        for (auto& st : DC->Saved) stillSaved |= st.Bitmap == s.Bitmap;
        if (!stillSaved) s.Bitmap->SelectedIn = nullptr;
      }
      s.Bitmap = b;
      SetBitmapOwner(b, DC);
      // Selecting a bitmap resets the clip region to the whole surface.
      s.Clip.reset();
      break;
    }
    case OBJ_PEN: old = s.Pen; s.Pen = static_cast<GdiPen*>(Obj); break;
    case OBJ_BRUSH: old = s.Brush; s.Brush = static_cast<GdiBrush*>(Obj); break;
    case OBJ_FONT: old = s.Font; s.Font = static_cast<GdiFont*>(Obj); break;
    case OBJ_REGION: {
      int32_t t = SelectClipRgn(DC, Obj);
      return reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(t));
    }
    default: return nullptr;
  }
  gdi::AddRef(Obj);
  // The caller gets the old object back; it stays alive while referenced.
  gdi::Release(old);
  return old;
}

HGDIOBJ GetCurrentObject(HDC DC, uint32_t ObjType) {
  if (!DC) return nullptr;
  switch (ObjType) {
    case OBJ_BITMAP: return DC->S.Bitmap;
    case OBJ_PEN: return DC->S.Pen;
    case OBJ_BRUSH: return DC->S.Brush;
    case OBJ_FONT: return DC->S.Font;
    case OBJ_PAL: return DC->S.Palette;
    default: return nullptr;
  }
}

int32_t SaveDC(HDC DC) {
  if (!DC) return 0;
  DC->Saved.push_back(DC->S);
  gdi::AddStateRefs(DC->S);
  return static_cast<int32_t>(DC->Saved.size());
}

bool RestoreDC(HDC DC, int32_t Saved) {
  if (!DC || DC->Saved.empty()) return false;
  int32_t n = static_cast<int32_t>(DC->Saved.size());
  int32_t target = Saved < 0 ? n + Saved + 1 : Saved;  // 1-based depth to restore
  if (target < 1 || target > n) return false;
  while (static_cast<int32_t>(DC->Saved.size()) > target) {
    DCState top = std::move(DC->Saved.back());
    DC->Saved.pop_back();
    gdi::ReleaseStateRefs(top);
  }
  DCState restored = std::move(DC->Saved.back());
  DC->Saved.pop_back();
  GdiBitmap* oldBitmap = DC->S.Bitmap;
  if (restored.Bitmap != oldBitmap) {
    if (restored.Bitmap && restored.Bitmap->SelectedIn && restored.Bitmap->SelectedIn != DC) {
      // The saved bitmap went to another DC meanwhile: keep the current one.
      gdi::Release(restored.Bitmap);
      restored.Bitmap = oldBitmap;
      gdi::AddRef(oldBitmap);
    }
  }
  gdi::ReleaseStateRefs(DC->S);
  if (oldBitmap != restored.Bitmap && oldBitmap && oldBitmap->SelectedIn == DC) {
    bool stillSaved = false;
    for (auto& st : DC->Saved) stillSaved |= st.Bitmap == oldBitmap;
    if (!stillSaved && oldBitmap->Refs > 0) oldBitmap->SelectedIn = nullptr;
  }
  DC->S = std::move(restored);
  SetBitmapOwner(DC->S.Bitmap, DC);
  return true;
}

int32_t GetDeviceCaps(HDC DC, int32_t Index) {
  int32_t bits = gScreenBits;
  bool palette = bits <= 8;
  switch (Index) {
    case HORZRES: return gScreenWidth;
    case VERTRES: return gScreenHeight;
    case HORZSIZE: return gScreenWidth * 254 / 960;
    case VERTSIZE: return gScreenHeight * 254 / 960;
    case BITSPIXEL: return bits;
    case PLANES: return 1;
    case NUMCOLORS: return palette ? (bits == 8 ? 20 : 1 << bits) : -1;
    case RASTERCAPS: {
      if (DC && DC->RasterCaps >= 0) return DC->RasterCaps;
      int32_t caps = RC_BITBLT | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
      if (palette) caps |= RC_PALETTE;
      return caps;
    }
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    case SIZEPALETTE: return palette ? 1 << bits : 0;
    case NUMRESERVED: return palette ? 20 : 0;
    case COLORRES: return palette ? 18 : 24;
    default: return 0;
  }
}

void SetDeviceRasterCaps(HDC DC, int32_t Caps) {
  if (DC) DC->RasterCaps = Caps;
}

TColor SetTextColor(HDC DC, TColor Color) {
  if (!DC) return CLR_INVALID;
  TColor o = DC->S.TextColor;
  DC->S.TextColor = Color;
  return o;
}
TColor GetTextColor(HDC DC) { return DC ? DC->S.TextColor : CLR_INVALID; }
TColor SetBkColor(HDC DC, TColor Color) {
  if (!DC) return CLR_INVALID;
  TColor o = DC->S.BkColor;
  DC->S.BkColor = Color;
  return o;
}
int32_t SetBkMode(HDC DC, int32_t Mode) {
  if (!DC || (Mode != TRANSPARENT && Mode != OPAQUE)) return 0;
  int32_t o = DC->S.BkMode;
  DC->S.BkMode = Mode;
  return o;
}
int32_t GetBkMode(HDC DC) { return DC ? DC->S.BkMode : 0; }
int32_t SetROP2(HDC DC, int32_t Mode) {
  if (!DC || Mode < R2_BLACK || Mode > R2_WHITE) return 0;
  int32_t o = DC->S.Rop2;
  DC->S.Rop2 = Mode;
  return o;
}
int32_t SetStretchBltMode(HDC DC, int32_t Mode) {
  if (!DC || Mode < BLACKONWHITE || Mode > HALFTONE) return 0;
  int32_t o = DC->S.StretchMode;
  DC->S.StretchMode = Mode;
  return o;
}

bool SetViewportOrgEx(HDC DC, int32_t X, int32_t Y, TPoint* Old) {
  if (!DC) return false;
  if (Old) *Old = DC->S.ViewportOrg;
  DC->S.ViewportOrg = TPoint{X, Y};
  return true;
}
bool GetViewportOrgEx(HDC DC, TPoint* Org) {
  if (!DC || !Org) return false;
  *Org = DC->S.ViewportOrg;
  return true;
}
bool OffsetViewportOrgEx(HDC DC, int32_t dx, int32_t dy, TPoint* Old) {
  if (!DC) return false;
  if (Old) *Old = DC->S.ViewportOrg;
  DC->S.ViewportOrg.X += dx;
  DC->S.ViewportOrg.Y += dy;
  return true;
}
bool SetBrushOrgEx(HDC DC, int32_t X, int32_t Y, TPoint* Old) {
  if (!DC) return false;
  if (Old) *Old = DC->S.BrushOrg;
  DC->S.BrushOrg = TPoint{X, Y};
  return true;
}

// ---- Clipping ----

namespace {

std::vector<TRect> SurfaceRects(DeviceContext* DC) {
  std::vector<TRect> r;
  if (DC->S.Bitmap) r.push_back(TRect{0, 0, DC->S.Bitmap->Width, DC->S.Bitmap->Height});
  return r;
}

// The current clip as rectangles (the whole surface when there is no clip region).
std::vector<TRect> CurrentClip(DeviceContext* DC) { return DC->S.Clip ? *DC->S.Clip : SurfaceRects(DC); }

int32_t ClipType(DeviceContext* DC) {
  auto vis = gdi::CombineRects(CurrentClip(DC), SurfaceRects(DC), RGN_AND);
  return gdi::RegionType(vis);
}

TRect ToDevice(DeviceContext* DC, int32_t l, int32_t t, int32_t r, int32_t b) {
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  return TRect{l + DC->S.ViewportOrg.X, t + DC->S.ViewportOrg.Y, r + DC->S.ViewportOrg.X, b + DC->S.ViewportOrg.Y};
}

}  // namespace

int32_t SelectClipRgn(HDC DC, HRGN Rgn) { return ExtSelectClipRgn(DC, Rgn, RGN_COPY); }

int32_t ExtSelectClipRgn(HDC DC, HRGN Rgn, int32_t Mode) {
  if (!DC) return RGN_ERROR;
  if (!Rgn) {
    if (Mode != RGN_COPY) return RGN_ERROR;
    DC->S.Clip.reset();
    return ClipType(DC);
  }
  if (Rgn->Type != OBJ_REGION) return RGN_ERROR;
  const auto& rects = static_cast<GdiRegion*>(Rgn)->Rects;
  if (Mode == RGN_COPY) DC->S.Clip = gdi::CombineRects(rects, {}, RGN_OR);
  else DC->S.Clip = gdi::CombineRects(CurrentClip(DC), rects, Mode);
  return ClipType(DC);
}

int32_t IntersectClipRect(HDC DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  if (!DC) return RGN_ERROR;
  DC->S.Clip = gdi::CombineRects(CurrentClip(DC), {ToDevice(DC, Left, Top, Right, Bottom)}, RGN_AND);
  return ClipType(DC);
}

int32_t ExcludeClipRect(HDC DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  if (!DC) return RGN_ERROR;
  DC->S.Clip = gdi::CombineRects(CurrentClip(DC), {ToDevice(DC, Left, Top, Right, Bottom)}, RGN_DIFF);
  return ClipType(DC);
}

int32_t GetClipBox(HDC DC, TRect& R) {
  if (!DC) return RGN_ERROR;
  auto vis = gdi::CombineRects(CurrentClip(DC), SurfaceRects(DC), RGN_AND);
  R = gdi::RectsBox(vis);
  OffsetRect(R, -DC->S.ViewportOrg.X, -DC->S.ViewportOrg.Y);
  return gdi::RegionType(vis);
}

bool PtVisible(HDC DC, int32_t X, int32_t Y) {
  return DC && gdi::Visible(DC, X + DC->S.ViewportOrg.X, Y + DC->S.ViewportOrg.Y);
}

// ---- Palettes ----

HPALETTE SelectPalette(HDC DC, HPALETTE Palette, bool) {
  if (!DC || !Palette || Palette->Type != OBJ_PAL) return nullptr;
  GdiPalette* old = DC->S.Palette;
  DC->S.Palette = static_cast<GdiPalette*>(Palette);
  gdi::AddRef(Palette);
  gdi::Release(old);
  return old;
}

uint32_t RealizePalette(HDC DC) {
  if (!DC || !DC->S.Palette) return 0;
  if (gScreenBits > 8) return 0;
  // A palette screen maps up to its free entries (all but the 20 reserved).
  uint32_t free = (1u << gScreenBits) > 20 ? (1u << gScreenBits) - 20 : 0;
  uint32_t n = static_cast<uint32_t>(DC->S.Palette->Entries.size());
  if (DC->S.Palette->Stock) return 0;
  return n < free ? n : free;
}
