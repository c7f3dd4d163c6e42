// Pens, brushes, fonts, palettes, regions, stock objects and deletion.
#include "platform/gdi/objects.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/gdi/internal.h"

namespace gdi {

// Stock objects are shared by every thread and never freed: they are not counted.
void AddRef(GdiObject* Obj) {
  if (Obj && !Obj->Stock) ++Obj->Refs;
}

void Release(GdiObject* Obj) {
  if (!Obj || Obj->Stock) return;
  --Obj->Refs;
  if (Obj->Refs <= 0 && Obj->PendingDelete && !Obj->Stock) delete Obj;
}

void AddStateRefs(const DCState& S) {
  AddRef(S.Bitmap);
  AddRef(S.Pen);
  AddRef(S.Brush);
  AddRef(S.Font);
  AddRef(S.Palette);
}

void ReleaseStateRefs(const DCState& S) {
  Release(S.Bitmap);
  Release(S.Pen);
  Release(S.Brush);
  Release(S.Font);
  Release(S.Palette);
}

// ---- Region arithmetic: cut both lists into horizontal bands at every
// edge, decide each cell by the operation, and merge the result. ----

std::vector<TRect> CombineRects(const std::vector<TRect>& A, const std::vector<TRect>& B, int32_t Mode) {
  if (Mode == RGN_COPY) return A;
  std::vector<int32_t> ys;
  for (const TRect& r : A) ys.insert(ys.end(), {r.Top, r.Bottom});
  for (const TRect& r : B) ys.insert(ys.end(), {r.Top, r.Bottom});
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  std::vector<TRect> out;
  std::vector<int32_t> xs;
  std::vector<std::pair<int32_t, int32_t>> prevSpans, spans;
  size_t prevStart = 0;
  for (size_t i = 0; i + 1 < ys.size(); ++i) {
    int32_t y0 = ys[i], y1 = ys[i + 1];
    xs.clear();
    auto inBand = [&](const TRect& r) { return r.Top <= y0 && r.Bottom >= y1; };
    for (const TRect& r : A)
      if (inBand(r)) xs.insert(xs.end(), {r.Left, r.Right});
    for (const TRect& r : B)
      if (inBand(r)) xs.insert(xs.end(), {r.Left, r.Right});
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    spans.clear();
    for (size_t j = 0; j + 1 < xs.size(); ++j) {
      int32_t x0 = xs[j], x1 = xs[j + 1];
      auto covers = [&](const std::vector<TRect>& L) {
        for (const TRect& r : L)
          if (r.Top <= y0 && r.Bottom >= y1 && r.Left <= x0 && r.Right >= x1) return true;
        return false;
      };
      bool a = covers(A), b = covers(B), in = false;
      switch (Mode) {
        case RGN_AND: in = a && b; break;
        case RGN_OR: in = a || b; break;
        case RGN_XOR: in = a != b; break;
        case RGN_DIFF: in = a && !b; break;
      }
      if (!in) continue;
      if (!spans.empty() && spans.back().second == x0) spans.back().second = x1;
      else spans.emplace_back(x0, x1);
    }
    // Merge with the band above when the spans are identical and touching.
    if (!spans.empty() && spans == prevSpans && prevStart < out.size() && out[prevStart].Bottom == y0) {
      for (size_t k = prevStart; k < out.size(); ++k) out[k].Bottom = y1;
    } else {
      prevStart = out.size();
      for (auto& s : spans) out.push_back(TRect{s.first, y0, s.second, y1});
    }
    prevSpans = spans;
  }
  return out;
}

int32_t RegionType(const std::vector<TRect>& R) {
  if (R.empty()) return NULLREGION;
  return R.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

TRect RectsBox(const std::vector<TRect>& R) {
  TRect box;
  for (const TRect& r : R) UnionRect(box, box, r);
  return box;
}

}  // namespace gdi

bool DeleteObject(HGDIOBJ Obj) {
  if (!Obj) return false;
  if (Obj->Stock) return true;
  if (Obj->Refs > 0) {
    // Still selected somewhere: freed when the DC lets it go.
    Obj->PendingDelete = true;
    return true;
  }
  delete Obj;
  return true;
}

HGDIOBJ GetStockObject(int32_t Index) {
  static GdiObject* stock[DEFAULT_GUI_FONT + 1] = {};
  static std::once_flag once;
  std::call_once(once, [] {
    auto brush = [](uint32_t style, TColor c) {
      auto* b = new GdiBrush;
      b->Style = style;
      b->Color = c;
      return b;
    };
    auto pen = [](uint32_t style, TColor c) {
      auto* p = new GdiPen;
      p->Style = style;
      p->Color = c;
      return p;
    };
    stock[WHITE_BRUSH] = brush(BS_SOLID, 0xFFFFFF);
    stock[LTGRAY_BRUSH] = brush(BS_SOLID, 0xC0C0C0);
    stock[GRAY_BRUSH] = brush(BS_SOLID, 0x808080);
    stock[DKGRAY_BRUSH] = brush(BS_SOLID, 0x404040);
    stock[BLACK_BRUSH] = brush(BS_SOLID, 0);
    stock[NULL_BRUSH] = brush(BS_NULL, 0);
    stock[WHITE_PEN] = pen(PS_SOLID, 0xFFFFFF);
    stock[BLACK_PEN] = pen(PS_SOLID, 0);
    stock[NULL_PEN] = pen(PS_NULL, 0);
    auto* sys = new GdiFont;
    sys->Log.lfHeight = 16;
    sys->Log.lfWeight = FW_BOLD;
    sys->Log.lfFaceName = "System";
    stock[SYSTEM_FONT] = sys;
    auto* gui = new GdiFont;
    gui->Log.lfHeight = -11;
    gui->Log.lfFaceName = "MS Sans Serif";
    stock[DEFAULT_GUI_FONT] = gui;
    // The default palette: the 20 reserved colours of the system palette.
    auto* pal = new GdiPalette;
    static constexpr TColor reserved[20] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000,
                                            0xC0C0C0, 0xC0DCC0, 0xF0CAA6, 0xF0FBFF, 0xA4A0A0, 0x808080, 0x0000FF,
                                            0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    for (TColor c : reserved) pal->Entries.push_back(PALETTEENTRY{GetRValue(c), GetGValue(c), GetBValue(c), 0});
    stock[DEFAULT_PALETTE] = pal;
    for (GdiObject* o : stock)
      if (o) o->Stock = true;
  });
  if (Index < 0 || Index > DEFAULT_GUI_FONT) return nullptr;
  return stock[Index];
}

HPEN CreatePen(uint32_t Style, int32_t Width, TColor Color) {
  if (Style > PS_INSIDEFRAME) Style = PS_SOLID;
  auto* p = new GdiPen;
  p->Style = Style;
  p->Width = Width < 1 ? 1 : Width;
  p->Color = Color;
  return p;
}

HBRUSH CreateSolidBrush(TColor Color) {
  auto* b = new GdiBrush;
  b->Color = Color;
  return b;
}

HBRUSH CreateHatchBrush(int32_t Hatch, TColor Color) {
  auto* b = new GdiBrush;
  b->Style = BS_HATCHED;
  b->Hatch = std::clamp(Hatch, 0, static_cast<int32_t>(HS_DIAGCROSS));
  b->Color = Color;
  return b;
}

HBRUSH CreatePatternBrush(HBITMAP Bitmap) {
  if (!Bitmap || Bitmap->Type != OBJ_BITMAP) return nullptr;
  auto* bm = static_cast<GdiBitmap*>(Bitmap);
  auto* b = new GdiBrush;
  b->Style = BS_PATTERN;
  b->PatW = std::min(bm->Width, 64);
  b->PatH = std::min(bm->Height, 64);
  b->MonoPattern = bm->Monochrome;
  b->Pattern.resize(static_cast<size_t>(b->PatW) * b->PatH);
  for (int32_t y = 0; y < b->PatH; ++y)
    for (int32_t x = 0; x < b->PatW; ++x) {
      uint32_t v = bm->Get(x, y);
      b->Pattern[static_cast<size_t>(y) * b->PatW + x] = b->MonoPattern ? v : bm->ValueColor(v);
    }
  return b;
}

HBRUSH CreateBrushIndirect(const LOGBRUSH& LogBrush) {
  switch (LogBrush.lbStyle) {
    case BS_NULL: {
      auto* b = new GdiBrush;
      b->Style = BS_NULL;
      return b;
    }
    case BS_HATCHED: return CreateHatchBrush(static_cast<int32_t>(LogBrush.lbHatch), LogBrush.lbColor);
    case BS_PATTERN: return CreatePatternBrush(reinterpret_cast<HBITMAP>(LogBrush.lbHatch));
    default: return CreateSolidBrush(LogBrush.lbColor);
  }
}

HFONT CreateFontIndirect(const LOGFONT& LogFont) {
  auto* f = new GdiFont;
  f->Log = LogFont;
  return f;
}

HPALETTE CreatePalette(const LOGPALETTE* LogPalette) {
  if (!LogPalette || LogPalette->palNumEntries == 0 || LogPalette->palNumEntries > 1024) return nullptr;
  auto* p = new GdiPalette;
  const auto* e = reinterpret_cast<const PALETTEENTRY*>(reinterpret_cast<const uint8_t*>(LogPalette) + 4);
  p->Entries.assign(e, e + LogPalette->palNumEntries);
  return p;
}

uint32_t GetPaletteEntries(HPALETTE Palette, uint32_t Start, uint32_t Count, PALETTEENTRY* Entries) {
  if (!Palette || Palette->Type != OBJ_PAL) return 0;
  auto& v = static_cast<GdiPalette*>(Palette)->Entries;
  if (!Entries) return static_cast<uint32_t>(v.size());
  uint32_t n = 0;
  for (uint32_t i = Start; i < v.size() && n < Count; ++i, ++n) Entries[n] = v[i];
  return n;
}

uint32_t GetNearestPaletteIndex(HPALETTE Palette, TColor Color) {
  if (!Palette || Palette->Type != OBJ_PAL) return 0xFFFFFFFF;
  auto& v = static_cast<GdiPalette*>(Palette)->Entries;
  int64_t best = INT64_MAX;
  uint32_t bi = 0;
  for (uint32_t i = 0; i < v.size(); ++i) {
    int32_t dr = v[i].peRed - GetRValue(Color), dg = v[i].peGreen - GetGValue(Color),
            db = v[i].peBlue - GetBValue(Color);
    int64_t d = dr * dr + dg * dg + db * db;
    if (d < best) {
      best = d;
      bi = i;
    }
  }
  return bi;
}

uint32_t GetPaletteEntryCount(HPALETTE Palette) {
  if (!Palette || Palette->Type != OBJ_PAL) return 0;
  return static_cast<uint32_t>(static_cast<GdiPalette*>(Palette)->Entries.size());
}

// ---- Regions ----

namespace {
GdiRegion* Rgn(HRGN R) { return R && R->Type == OBJ_REGION ? static_cast<GdiRegion*>(R) : nullptr; }
}  // namespace

HRGN CreateRectRgn(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  auto* r = new GdiRegion;
  SetRectRgn(r, Left, Top, Right, Bottom);
  return r;
}

HRGN CreateRectRgnIndirect(const TRect& R) { return CreateRectRgn(R.Left, R.Top, R.Right, R.Bottom); }

bool SetRectRgn(HRGN Rgn_, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  GdiRegion* r = Rgn(Rgn_);
  if (!r) return false;
  if (Left > Right) std::swap(Left, Right);
  if (Top > Bottom) std::swap(Top, Bottom);
  r->Rects.clear();
  if (Left < Right && Top < Bottom) r->Rects.push_back(TRect{Left, Top, Right, Bottom});
  return true;
}

int32_t CombineRgn(HRGN Dest, HRGN Src1, HRGN Src2, int32_t Mode) {
  GdiRegion *d = Rgn(Dest), *a = Rgn(Src1), *b = Rgn(Src2);
  if (!d || !a || Mode < RGN_AND || Mode > RGN_COPY || (Mode != RGN_COPY && !b)) return RGN_ERROR;
  static const std::vector<TRect> none;
  d->Rects = gdi::CombineRects(a->Rects, b ? b->Rects : none, Mode);
  return gdi::RegionType(d->Rects);
}

int32_t GetRgnBox(HRGN R, TRect& Box) {
  GdiRegion* r = Rgn(R);
  if (!r) return RGN_ERROR;
  Box = gdi::RectsBox(r->Rects);
  return gdi::RegionType(r->Rects);
}

bool PtInRegion(HRGN R, int32_t X, int32_t Y) {
  GdiRegion* r = Rgn(R);
  if (!r) return false;
  for (const TRect& q : r->Rects)
    if (PtInRect(q, TPoint{X, Y})) return true;
  return false;
}

bool RectInRegion(HRGN R, const TRect& Rc) {
  GdiRegion* r = Rgn(R);
  if (!r) return false;
  TRect t;
  for (const TRect& q : r->Rects)
    if (IntersectRect(t, q, Rc)) return true;
  return false;
}

int32_t OffsetRgn(HRGN R, int32_t dx, int32_t dy) {
  GdiRegion* r = Rgn(R);
  if (!r) return RGN_ERROR;
  for (TRect& q : r->Rects) OffsetRect(q, dx, dy);
  return gdi::RegionType(r->Rects);
}

bool EqualRgn(HRGN A, HRGN B) {
  GdiRegion *a = Rgn(A), *b = Rgn(B);
  if (!a || !b) return false;
  return gdi::CombineRects(a->Rects, b->Rects, RGN_XOR).empty();
}
