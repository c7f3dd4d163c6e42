// The raster engine: pixels, lines, shapes, fills and block transfers on the
// surface selected in a DC.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "platform/gdi/dc.h"
#include "platform/gdi/internal.h"

namespace gdi {

TColor ResolveColor(DeviceContext* DC, TColor C) {
  if (C & 0x80000000u) return ColorToRGB(C);
  if ((C >> 24) == 1) {
    GdiPalette* p = DC ? DC->S.Palette : nullptr;
    uint32_t i = C & 0xFFFF;
    if (p && i < p->Entries.size()) return RGB(p->Entries[i].peRed, p->Entries[i].peGreen, p->Entries[i].peBlue);
    return 0;
  }
  return C & 0xFFFFFF;
}

uint32_t ColorValue(DeviceContext* DC, TColor C) {
  GdiBitmap* b = DC->S.Bitmap;
  return b ? b->Nearest(ResolveColor(DC, C)) : 0;
}

uint32_t ApplyRop2(int32_t Rop2, uint32_t P, uint32_t D) {
  uint32_t t = static_cast<uint32_t>(Rop2 - 1), r = 0;
  if (t & 1) r |= ~P & ~D;
  if (t & 2) r |= ~P & D;
  if (t & 4) r |= P & ~D;
  if (t & 8) r |= P & D;
  return r;
}

uint32_t ApplyRop3(uint8_t Code, uint32_t P, uint32_t S, uint32_t D) {
  switch (Code) {
    case 0xCC: return S;
    case 0xF0: return P;
    case 0x88: return S & D;
    case 0xEE: return S | D;
    case 0x66: return S ^ D;
    case 0x5A: return P ^ D;
    case 0x55: return ~D;
    case 0x00: return 0;
    case 0xFF: return ~0u;
  }
  uint32_t r = 0;
  for (int k = 0; k < 8; ++k) {
    if (!((Code >> k) & 1)) continue;
    uint32_t p = (k & 4) ? P : ~P, s = (k & 2) ? S : ~S, d = (k & 1) ? D : ~D;
    r |= p & s & d;
  }
  return r;
}

bool Visible(DeviceContext* DC, int32_t X, int32_t Y) {
  bool v = false;
  ForSpans(DC, Y, X, X + 1, [&](int32_t, int32_t) { v = true; });
  return v;
}

PreparedBrush PrepareBrush(DeviceContext* DC, GdiBrush* Br) {
  PreparedBrush pb;
  pb.Org = DC->S.BrushOrg;
  GdiBitmap* b = DC->S.Bitmap;
  if (!Br || !b || Br->Style == BS_NULL) return pb;
  pb.Null = false;
  switch (Br->Style) {
    case BS_HATCHED: {
      pb.W = pb.H = 8;
      uint32_t fg = ColorValue(DC, Br->Color), bg = ColorValue(DC, DC->S.BkColor);
      pb.Values.resize(64);
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          bool on = false;
          switch (Br->Hatch) {
            case HS_HORIZONTAL: on = y == 4; break;
            case HS_VERTICAL: on = x == 4; break;
            case HS_FDIAGONAL: on = x == y; break;
            case HS_BDIAGONAL: on = x == 7 - y; break;
            case HS_CROSS: on = x == 4 || y == 4; break;
            default: on = x == y || x == 7 - y; break;
          }
          pb.Values[y * 8 + x] = on ? fg : bg;
        }
      break;
    }
    case BS_PATTERN: {
      pb.W = Br->PatW;
      pb.H = Br->PatH;
      pb.Values.resize(Br->Pattern.size());
      uint32_t tv = ColorValue(DC, DC->S.TextColor), bv = ColorValue(DC, DC->S.BkColor);
      for (size_t i = 0; i < Br->Pattern.size(); ++i)
        pb.Values[i] = Br->MonoPattern ? (Br->Pattern[i] ? bv : tv) : b->Nearest(Br->Pattern[i]);
      if (pb.Values.empty()) pb.Null = true;
      break;
    }
    default: pb.Values.assign(1, ColorValue(DC, Br->Color)); break;
  }
  return pb;
}

void FillSpanValue(GdiBitmap* B, int32_t Y, int32_t A, int32_t E, uint32_t V, int32_t Fourth) {
  uint8_t* row = B->Row(Y);
  if (B->BitCount < 8) {
    // Pixels one by one up to a whole byte, whole bytes, the rest.
    const int32_t perByte = 8 / B->BitCount;
    while (A < E && A % perByte != 0) B->Set(A++, Y, V);
    while (E > A && E % perByte != 0) B->Set(--E, Y, V);
    const uint8_t fill = uint8_t(B->BitCount == 1 ? (V & 1 ? 0xFF : 0) : ((V & 0x0F) | (V & 0x0F) << 4));
    if (A < E) std::memset(row + A / perByte, fill, size_t((E - A) / perByte));
  } else if (B->BitCount == 8) {
    std::memset(row + A, int(V & 0xFF), size_t(E - A));
  } else if (B->BitCount == 24) {
    if (A >= E) return;
    uint8_t* first = row + int64_t(A) * 3;
    first[0] = uint8_t(V >> 16), first[1] = uint8_t(V >> 8), first[2] = uint8_t(V);
    // The pixels written so far, copied after themselves.
    const size_t bytes = size_t(E - A) * 3;
    for (size_t done = 3; done < bytes; done *= 2) std::memcpy(first + done, first, std::min(done, bytes - done));
  } else {
    for (uint8_t* p = row + int64_t(A) * 4; p < row + int64_t(E) * 4; p += 4) {
      p[0] = uint8_t(V >> 16), p[1] = uint8_t(V >> 8), p[2] = uint8_t(V);
      if (Fourth >= 0) p[3] = uint8_t(Fourth);
    }
  }
}

void FillSpanRop2(DeviceContext* DC, const PreparedBrush& B, int32_t Y, int32_t X0, int32_t X1, int32_t Rop2) {
  if (B.Null || Rop2 == R2_NOP) return;
  GdiBitmap* b = DC->S.Bitmap;
  uint32_t mask = b->Mask();
  // One colour copied: a run at a time, as Set would store each pixel.
  if (Rop2 == R2_COPYPEN && B.Values.size() == 1) {
    ForSpans(DC, Y, X0, X1, [&](int32_t a, int32_t e) { FillSpanValue(b, Y, a, e, B.Values[0], -1); });
    return;
  }
  ForSpans(DC, Y, X0, X1, [&](int32_t a, int32_t e) {
    for (int32_t x = a; x < e; ++x) {
      uint32_t p = B.At(x, Y);
      b->Set(x, Y, Rop2 == R2_COPYPEN ? p : ApplyRop2(Rop2, p, b->Get(x, Y)) & mask);
    }
  });
}

void PlotRop2(DeviceContext* DC, int32_t X, int32_t Y, uint32_t V, int32_t Rop2) {
  GdiBitmap* b = DC->S.Bitmap;
  ForSpans(DC, Y, X, X + 1, [&](int32_t, int32_t) {
    b->Set(X, Y, Rop2 == R2_COPYPEN ? V : ApplyRop2(Rop2, V, b->Get(X, Y)) & b->Mask());
  });
}

}  // namespace gdi

namespace {

using namespace gdi;

TPoint Dev(DeviceContext* DC, int32_t X, int32_t Y) {
  return TPoint{X + DC->S.ViewportOrg.X, Y + DC->S.ViewportOrg.Y};
}

bool CanDraw(HDC DC) { return DC && DC->S.Bitmap && DC->S.Bitmap->Bits; }

// Limits a device row range to the surface, so that huge shapes cost no more than the surface.
void ClampRows(DeviceContext* DC, int32_t& Y0, int32_t& Y1) {
  Y0 = std::max(Y0, 0);
  Y1 = std::min(Y1, DC->S.Bitmap->Height);
}

// Row spans of a set of pixels, merged per row so that no pixel is drawn twice.
class SpanSet {
public:
  void Add(int32_t Y, int32_t X0, int32_t X1) {
    if (X0 < X1) FRows[Y].emplace_back(X0, X1);
  }
  template <class F>
  void ForEach(F&& Fn) {
    for (auto& [y, v] : FRows) {
      std::sort(v.begin(), v.end());
      int32_t a = v[0].first, e = v[0].second;
      for (size_t i = 1; i < v.size(); ++i) {
        if (v[i].first <= e) e = std::max(e, v[i].second);
        else {
          Fn(y, a, e);
          a = v[i].first;
          e = v[i].second;
        }
      }
      Fn(y, a, e);
    }
  }

private:
  std::map<int32_t, std::vector<std::pair<int32_t, int32_t>>> FRows;
};

const std::vector<int32_t>& DashPattern(uint32_t Style) {
  static const std::vector<int32_t> dash{18, 6}, dot{3, 3}, dashdot{9, 6, 3, 6}, dashdotdot{9, 3, 3, 3, 3, 3},
      solid{};
  switch (Style) {
    case PS_DASH: return dash;
    case PS_DOT: return dot;
    case PS_DASHDOT: return dashdot;
    case PS_DASHDOTDOT: return dashdotdot;
    default: return solid;
  }
}

// Lines longer than this many pixels are first cut to the surface.
constexpr int64_t kLongLine = int64_t(1) << 20;

// Draws a device-coordinate line from (X0, Y0) to (X1, Y1), end point
// excluded, with the DC's pen. Phase carries the dash position across segments.
void PenLine(DeviceContext* DC, int32_t X0, int32_t Y0, int32_t X1, int32_t Y1, int32_t& Phase) {
  GdiPen* pen = DC->S.Pen;
  if (!pen || pen->Style == PS_NULL) return;
  GdiBitmap* bm = DC->S.Bitmap;
  int64_t ldx = std::llabs(int64_t(X1) - X0), ldy = std::llabs(int64_t(Y1) - Y0);
  if (std::max(ldx, ldy) > kLongLine) {
    // A line far longer than any surface: keep the part that can touch the
    // surface (a margin of the pen width around it), found parametrically.
    double m = pen->Width + 2.0, t0 = 0, t1 = 1;
    double fx = X0, fy = Y0, gx = double(X1) - X0, gy = double(Y1) - Y0;
    auto clip = [&](double p, double q) {
      if (p == 0) return q >= 0;
      double r = q / p;
      if (p < 0) t0 = std::max(t0, r);
      else t1 = std::min(t1, r);
      return t0 <= t1;
    };
    if (!clip(-gx, fx + m) || !clip(gx, bm->Width + m - fx) || !clip(-gy, fy + m) || !clip(gy, bm->Height + m - fy))
      return;
    int32_t ax = static_cast<int32_t>(std::lround(fx + t0 * gx)), ay = static_cast<int32_t>(std::lround(fy + t0 * gy));
    int32_t bx = static_cast<int32_t>(std::lround(fx + t1 * gx)), by = static_cast<int32_t>(std::lround(fy + t1 * gy));
    if (std::max(std::llabs(int64_t(bx) - ax), std::llabs(int64_t(by) - ay)) > kLongLine) return;
    PenLine(DC, ax, ay, bx, by, Phase);
    return;
  }
  uint32_t v = ColorValue(DC, pen->Color);
  int32_t rop = DC->S.Rop2;
  int32_t dx = static_cast<int32_t>(ldx), dy = static_cast<int32_t>(ldy);
  int32_t sx = X0 < X1 ? 1 : -1, sy = Y0 < Y1 ? 1 : -1;
  int32_t n = std::max(dx, dy);
  if (pen->Width > 1) {
    SpanSet set;
    int32_t w = pen->Width, h = w / 2;
    int32_t x = X0, y = Y0, err = dx - dy;
    for (int32_t i = 0; i < n; ++i) {
      // Only the rows of the stamp that lie on the surface.
      int32_t k0 = std::max(0, h - y), k1 = std::min(w, bm->Height - y + h);
      for (int32_t k = k0; k < k1; ++k) set.Add(y - h + k, x - h, x - h + w);
      int32_t e2 = 2 * err;
      if (e2 > -dy) {
        err -= dy;
        x += sx;
      }
      if (e2 < dx) {
        err += dx;
        y += sy;
      }
    }
    PreparedBrush pb;
    pb.Null = false;
    pb.Values.assign(1, v);
    set.ForEach([&](int32_t yy, int32_t a, int32_t e) { FillSpanRop2(DC, pb, yy, a, e, rop); });
    return;
  }
  const auto& dash = DashPattern(pen->Style);
  int32_t period = 0;
  for (int32_t d : dash) period += d;
  uint32_t bk = ColorValue(DC, DC->S.BkColor);
  int32_t x = X0, y = Y0, err = dx - dy;
  for (int32_t i = 0; i < n; ++i) {
    bool on = true;
    if (period) {
      int32_t p = Phase % period, k = 0;
      while (p >= dash[k]) p -= dash[k++];
      on = (k % 2) == 0;
      ++Phase;
    }
    if (on) PlotRop2(DC, x, y, v, rop);
    else if (DC->S.BkMode == OPAQUE) PlotRop2(DC, x, y, bk, rop);
    int32_t e2 = 2 * err;
    if (e2 > -dy) {
      err -= dy;
      x += sx;
    }
    if (e2 < dx) {
      err += dx;
      y += sy;
    }
  }
}

int32_t PenWidth(DeviceContext* DC) {
  GdiPen* p = DC->S.Pen;
  return (!p || p->Style == PS_NULL) ? 0 : p->Width;
}

bool PenSolid(DeviceContext* DC) {
  GdiPen* p = DC->S.Pen;
  return p && (p->Style == PS_SOLID || p->Style == PS_INSIDEFRAME || p->Width > 1);
}

// Span of an ellipse row: pixel centres inside the ellipse of the box
// (L, T, R, B) (floating), for row Y. Returns false when the row misses it.
bool EllipseSpan(double L, double T, double R, double B, int32_t Y, int32_t& X0, int32_t& X1) {
  double a = (R - L) / 2, b = (B - T) / 2;
  if (a <= 0 || b <= 0) return false;
  double cx = (L + R) / 2, cy = (T + B) / 2;
  double ny = (Y + 0.5 - cy) / b;
  if (ny * ny > 1) return false;
  double half = a * std::sqrt(1 - ny * ny);
  X0 = static_cast<int32_t>(std::ceil(cx - half - 0.5));
  X1 = static_cast<int32_t>(std::floor(cx + half - 0.5)) + 1;
  return X0 < X1;
}

// Rounded-rectangle row span: corners are quarter ellipses of radii RW, RH.
bool RoundSpan(double L, double T, double R, double B, double RW, double RH, int32_t Y, int32_t& X0, int32_t& X1) {
  double yc = Y + 0.5;
  if (yc < T || yc > B || R <= L) return false;
  if (RW <= 0 || RH <= 0 || (yc >= T + RH && yc <= B - RH)) {
    X0 = static_cast<int32_t>(std::ceil(L - 0.5));
    X1 = static_cast<int32_t>(std::floor(R - 0.5)) + 1;
    return X0 < X1;
  }
  double cy = yc < T + RH ? T + RH : B - RH;
  double ny = (yc - cy) / RH;
  if (ny * ny > 1) return false;
  double half = RW * std::sqrt(1 - ny * ny);
  X0 = static_cast<int32_t>(std::ceil(L + RW - half - 0.5));
  X1 = static_cast<int32_t>(std::floor(R - RW + half - 0.5)) + 1;
  return X0 < X1;
}

// Draws a shape given by a row-span function: the pen fills the band
// between the outer shape and the shape shrunk by the pen width, the brush
// fills the inner shape.
template <class Span>
void DrawShape(DeviceContext* DC, int32_t L, int32_t T, int32_t R, int32_t B, Span&& SpanOf) {
  if (L > R) std::swap(L, R);
  if (T > B) std::swap(T, B);
  int32_t w = PenWidth(DC);
  if (w == 0) {
    // Without a pen the shape loses its right and bottom pixel.
    --R;
    --B;
  }
  PreparedBrush brush = PrepareBrush(DC, DC->S.Brush);
  PreparedBrush pen;
  if (w) {
    pen.Null = false;
    pen.Values.assign(1, ColorValue(DC, DC->S.Pen->Color));
  }
  int32_t rop = DC->S.Rop2;
  int32_t yFirst = T, yEnd = B;
  ClampRows(DC, yFirst, yEnd);
  for (int32_t y = yFirst; y < yEnd; ++y) {
    int32_t o0, o1, i0, i1;
    if (!SpanOf(L, T, R, B, 0, y, o0, o1)) continue;
    bool inner = SpanOf(L, T, R, B, w, y, i0, i1);
    if (!inner) {
      if (w) FillSpanRop2(DC, pen, y, o0, o1, rop);
      continue;
    }
    if (w) {
      FillSpanRop2(DC, pen, y, o0, i0, rop);
      FillSpanRop2(DC, pen, y, i1, o1, rop);
    }
    FillSpanRop2(DC, brush, y, i0, i1, rop);
  }
}

// Converts source pixel values to destination values.
struct SourceConverter {
  enum Kind { Same, MonoToColor, ColorToMono, ByColor } K = ByColor;
  GdiBitmap* Src = nullptr;
  GdiBitmap* Dst = nullptr;
  uint32_t Text = 0, Bk = 0;
  TColor SrcBk = 0;
  std::vector<uint32_t> Lut;
  SourceConverter(DeviceContext* D, DeviceContext* S, GdiBitmap* Sb) : Src(Sb), Dst(D->S.Bitmap) {
    if (Src->Monochrome && !Dst->Monochrome) {
      K = MonoToColor;
      Text = ColorValue(D, D->S.TextColor);
      Bk = ColorValue(D, D->S.BkColor);
    } else if (Dst->Monochrome && !Src->Monochrome) {
      K = ColorToMono;
      SrcBk = ResolveColor(S, S ? S->S.BkColor : 0xFFFFFF);
    } else if (Src->BitCount == Dst->BitCount &&
               (!Src->HasTable() || Src->Monochrome ||
                std::equal(Src->Table, Src->Table + Src->TableSize, Dst->Table, Dst->Table + Dst->TableSize))) {
      K = Same;
    } else if (Src->HasTable()) {
      Lut.resize(size_t(1) << Src->BitCount);
      for (size_t i = 0; i < Lut.size(); ++i) Lut[i] = Dst->Nearest(Src->ValueColor(static_cast<uint32_t>(i)));
    }
  }
  uint32_t operator()(uint32_t V) {
    switch (K) {
      case Same: return V;
      case MonoToColor: return (V & 1) ? Bk : Text;
      case ColorToMono: return Src->ValueColor(V) == SrcBk ? 1 : 0;
      default: return Lut.empty() ? Dst->Nearest(Src->ValueColor(V)) : Lut[V & (Lut.size() - 1)];
    }
  }
};

// The raster operations of the unscaled fast paths: the source alone, or
// combined with the destination bit by bit.
enum TSpanOp { soCopy, soAnd, soXor, soOr };

inline bool SpanOpOf(uint8_t Code, TSpanOp& Op) {
  switch (Code) {
    case 0xCC: Op = soCopy; return true;  // SRCCOPY
    case 0x88: Op = soAnd; return true;   // SRCAND
    case 0x66: Op = soXor; return true;   // SRCINVERT
    case 0xEE: Op = soOr; return true;    // SRCPAINT
    default: return false;
  }
}

template <TSpanOp OP>
inline uint32_t Combine(uint32_t S, uint32_t D) {
  if constexpr (OP == soAnd) return S & D;
  else if constexpr (OP == soXor) return S ^ D;
  else if constexpr (OP == soOr) return S | D;
  else return S;
}

// A span of palette (or monochrome) values without scaling: each source
// value through a table of the destination values, combined by OP with the
// destination and written straight into its row. SB and DB are the bit
// counts.
template <int SB, int DB, TSpanOp OP>
void CopySpanThrough(const uint8_t* S, int32_t SX, uint8_t* D, int32_t X, int32_t Count, const uint32_t* Lut) {
  if constexpr (SB == 4 && DB == 8 && OP == soCopy) {
    // Both pixels of a source byte at once.
    if (Count > 0 && (SX & 1)) {
      D[X++] = static_cast<uint8_t>(Lut[S[SX++ >> 1] & 0x0F]);
      --Count;
    }
    const uint8_t* s = S + (SX >> 1);
    uint8_t* d = D + X;
    for (int32_t i = 0; i + 1 < Count; i += 2, ++s) {
      d[i] = static_cast<uint8_t>(Lut[*s >> 4]);
      d[i + 1] = static_cast<uint8_t>(Lut[*s & 0x0F]);
    }
    if (Count & 1) d[Count - 1] = static_cast<uint8_t>(Lut[*s >> 4]);
    return;
  }
  for (int32_t i = 0; i < Count; ++i, ++SX, ++X) {
    uint32_t v;
    if constexpr (SB == 1) v = (S[SX >> 3] >> (7 - (SX & 7))) & 1;
    else if constexpr (SB == 4) v = (SX & 1) ? S[SX >> 1] & 0x0F : S[SX >> 1] >> 4;
    else v = S[SX];
    v = Lut[v];
    if constexpr (DB == 1) {
      const uint8_t m = static_cast<uint8_t>(0x80 >> (X & 7));
      const uint32_t d = (D[X >> 3] & m) ? 1 : 0;
      D[X >> 3] = static_cast<uint8_t>((Combine<OP>(v, d) & 1) ? D[X >> 3] | m : D[X >> 3] & ~m);
    } else if constexpr (DB == 4) {
      const uint32_t d = (X & 1) ? D[X >> 1] & 0x0F : D[X >> 1] >> 4;
      v = Combine<OP>(v, d) & 0x0F;
      D[X >> 1] = static_cast<uint8_t>((X & 1) ? (D[X >> 1] & 0xF0) | v : (D[X >> 1] & 0x0F) | (v << 4));
    } else if constexpr (DB == 8) {
      D[X] = static_cast<uint8_t>(Combine<OP>(v, D[X]));
    } else {
      uint8_t* p = D + int64_t(X) * (DB / 8);
      p[0] = static_cast<uint8_t>(Combine<OP>(v >> 16, p[0]));
      p[1] = static_cast<uint8_t>(Combine<OP>(v >> 8, p[1]));
      p[2] = static_cast<uint8_t>(Combine<OP>(v, p[2]));
      if constexpr (DB == 32) p[3] = 0;
    }
  }
}

template <int SB, TSpanOp OP>
void CopySpanThrough(int32_t DB, const uint8_t* S, int32_t SX, uint8_t* D, int32_t X, int32_t Count,
                     const uint32_t* Lut) {
  switch (DB) {
    case 1: CopySpanThrough<SB, 1, OP>(S, SX, D, X, Count, Lut); break;
    case 4: CopySpanThrough<SB, 4, OP>(S, SX, D, X, Count, Lut); break;
    case 8: CopySpanThrough<SB, 8, OP>(S, SX, D, X, Count, Lut); break;
    case 24: CopySpanThrough<SB, 24, OP>(S, SX, D, X, Count, Lut); break;
    default: CopySpanThrough<SB, 32, OP>(S, SX, D, X, Count, Lut); break;
  }
}

template <TSpanOp OP>
void CopySpanThrough(int32_t SB, int32_t DB, const uint8_t* S, int32_t SX, uint8_t* D, int32_t X, int32_t Count,
                     const uint32_t* Lut) {
  switch (SB) {
    case 1: CopySpanThrough<1, OP>(DB, S, SX, D, X, Count, Lut); break;
    case 4: CopySpanThrough<4, OP>(DB, S, SX, D, X, Count, Lut); break;
    default: CopySpanThrough<8, OP>(DB, S, SX, D, X, Count, Lut); break;
  }
}

// True colour onto true colour without scaling, combined by OP byte by byte.
template <TSpanOp OP>
void CopyTrueColorSpan(const uint8_t* S, int32_t SBpp, uint8_t* D, int32_t DBpp, int32_t Count) {
  if (OP == soCopy && SBpp == 3 && DBpp == 3) {
    std::memmove(D, S, size_t(Count) * 3);
    return;
  }
  for (int32_t i = 0; i < Count; ++i, S += SBpp, D += DBpp) {
    D[0] = static_cast<uint8_t>(Combine<OP>(S[0], D[0]));
    D[1] = static_cast<uint8_t>(Combine<OP>(S[1], D[1]));
    D[2] = static_cast<uint8_t>(Combine<OP>(S[2], D[2]));
    if (DBpp == 4) D[3] = 0;
  }
}

// Source index for destination index I along an axis (see StretchBlt).
inline int32_t MapIndex(int64_t I, int64_t DstExt, int64_t SrcStart, int64_t SrcExt) {
  int64_t s = ((2 * I + 1) * std::llabs(SrcExt)) / (2 * std::llabs(DstExt));
  return static_cast<int32_t>(SrcExt > 0 ? SrcStart + s : SrcStart - s);
}

// The one block-transfer routine; X, Y in device coordinates, XS, YS in
// source-surface pixels (top-down). Key, when given, skips source colours equal to it.
bool Blt(DeviceContext* D, int32_t X, int32_t Y, int32_t W, int32_t H, DeviceContext* SDC, GdiBitmap* Sb, int32_t XS,
         int32_t YS, int32_t SW, int32_t SH, uint32_t Rop, const TColor* Key) {
  if (!CanDraw(D)) return false;
  uint8_t code = static_cast<uint8_t>(Rop >> 16);
  bool needS = ((code >> 2) & 0x33) != (code & 0x33);
  bool needP = ((code >> 4) & 0x0F) != (code & 0x0F);
  if (needS && (!Sb || !Sb->Bits)) return false;
  if (W == 0 || H == 0 || (needS && (SW == 0 || SH == 0))) return true;
  GdiBitmap* db = D->S.Bitmap;
  PreparedBrush pb;
  if (needP) {
    pb = PrepareBrush(D, D->S.Brush);
    if (pb.Null) return true;
  }
  // The destination extent, limited to the surface.
  int64_t ex0 = W > 0 ? int64_t(X) : int64_t(X) + W + 1, ex1 = W > 0 ? int64_t(X) + W : int64_t(X) + 1;
  int64_t ey0 = H > 0 ? int64_t(Y) : int64_t(Y) + H + 1, ey1 = H > 0 ? int64_t(Y) + H : int64_t(Y) + 1;
  int32_t x0 = static_cast<int32_t>(std::max<int64_t>(ex0, 0)), x1 = static_cast<int32_t>(std::min<int64_t>(ex1, db->Width));
  int32_t y0 = static_cast<int32_t>(std::max<int64_t>(ey0, 0)), y1 = static_cast<int32_t>(std::min<int64_t>(ey1, db->Height));
  if (x0 >= x1 || y0 >= y1) return true;
  uint32_t mask = db->Mask();
  // BLACKNESS and WHITENESS (no source, pattern or destination): one value
  // for every pixel, a row at a time.
  const bool needD = ((code >> 1) & 0x55) != (code & 0x55);
  if (!needS && !needP && !needD) {
    const uint32_t v = ApplyRop3(code, 0, 0, 0) & mask;
    for (int32_t y = y0; y < y1; ++y)
      ForSpans(D, y, x0, x1, [&](int32_t a, int32_t e) { FillSpanValue(db, y, a, e, v, 0); });
    return true;
  }
  if (!needS) {
    for (int32_t y = y0; y < y1; ++y)
      ForSpans(D, y, x0, x1, [&](int32_t a, int32_t e) {
        for (int32_t x = a; x < e; ++x) {
          uint32_t p = needP ? pb.At(x, y) : 0;
          db->Set(x, y, ApplyRop3(code, p, 0, db->Get(x, y)) & mask);
        }
      });
    return true;
  }
  SourceConverter conv(D, SDC, Sb);
  std::vector<int32_t> colMap(static_cast<size_t>(x1 - x0));
  for (int32_t x = x0; x < x1; ++x) {
    int64_t i = W > 0 ? int64_t(x) - X : int64_t(X) - x;
    colMap[x - x0] = MapIndex(i, W, XS, SW);
  }
  TColor key = Key ? (*Key & 0xFFFFFF) : 0;
  // Copies without scaling that take the source alone or combine it with
  // the destination bit by bit, a row at a time: palette and monochrome
  // sources through one table of values, true colour onto true colour byte
  // by byte.
  TSpanOp op;
  if (SpanOpOf(code, op) && !Key && W == SW && H == SH && W > 0 && H > 0 &&
      (Sb->BitCount <= 8 || (Sb->BitCount >= 24 && db->BitCount >= 24))) {
    uint32_t lut[256];
    if (Sb->BitCount <= 8)
      for (uint32_t v = 0; v < (1u << Sb->BitCount); ++v) lut[v] = conv(v);
    for (int32_t y = y0; y < y1; ++y) {
      const int32_t sy = YS + (y - Y);
      if (sy < 0 || sy >= Sb->Height) continue;
      const uint8_t* srow = Sb->Row(sy);
      uint8_t* drow = db->Row(y);
      ForSpans(D, y, x0, x1, [&](int32_t a, int32_t e) {
        // Only the columns that have a source pixel.
        a = static_cast<int32_t>(std::max<int64_t>(a, int64_t(X) - XS));
        e = static_cast<int32_t>(std::min<int64_t>(e, int64_t(X) - XS + Sb->Width));
        if (a >= e) return;
        const int32_t sx = XS + (a - X);
        if (Sb->BitCount >= 24) {
          const int32_t sbpp = Sb->BitCount / 8, dbpp = db->BitCount / 8;
          const uint8_t* sp = srow + int64_t(sx) * sbpp;
          uint8_t* dp = drow + int64_t(a) * dbpp;
          switch (op) {
            case soAnd: CopyTrueColorSpan<soAnd>(sp, sbpp, dp, dbpp, e - a); break;
            case soXor: CopyTrueColorSpan<soXor>(sp, sbpp, dp, dbpp, e - a); break;
            case soOr: CopyTrueColorSpan<soOr>(sp, sbpp, dp, dbpp, e - a); break;
            default: CopyTrueColorSpan<soCopy>(sp, sbpp, dp, dbpp, e - a); break;
          }
          return;
        }
        switch (op) {
          case soAnd: CopySpanThrough<soAnd>(Sb->BitCount, db->BitCount, srow, sx, drow, a, e - a, lut); break;
          case soXor: CopySpanThrough<soXor>(Sb->BitCount, db->BitCount, srow, sx, drow, a, e - a, lut); break;
          case soOr: CopySpanThrough<soOr>(Sb->BitCount, db->BitCount, srow, sx, drow, a, e - a, lut); break;
          default: CopySpanThrough<soCopy>(Sb->BitCount, db->BitCount, srow, sx, drow, a, e - a, lut); break;
        }
      });
    }
    return true;
  }
  // True colour to true colour copies, scaled: bytes blue, green, red straight across.
  if (code == 0xCC && !Key && Sb->BitCount >= 24 && db->BitCount >= 24) {
    const int32_t sbpp = Sb->BitCount / 8, dbpp = db->BitCount / 8;
    for (int32_t y = y0; y < y1; ++y) {
      int64_t j = H > 0 ? int64_t(y) - Y : int64_t(Y) - y;
      int32_t sy = MapIndex(j, H, YS, SH);
      if (sy < 0 || sy >= Sb->Height) continue;
      const uint8_t* srow = Sb->Row(sy);
      uint8_t* drow = db->Row(y);
      ForSpans(D, y, x0, x1, [&](int32_t a, int32_t e) {
        for (int32_t x = a; x < e; ++x) {
          int32_t sx = colMap[x - x0];
          if (sx < 0 || sx >= Sb->Width) continue;
          const uint8_t* sp = srow + int64_t(sx) * sbpp;
          uint8_t* dp = drow + int64_t(x) * dbpp;
          dp[0] = sp[0];
          dp[1] = sp[1];
          dp[2] = sp[2];
          if (dbpp == 4) dp[3] = 0;
        }
      });
    }
    return true;
  }
  for (int32_t y = y0; y < y1; ++y) {
    int64_t j = H > 0 ? int64_t(y) - Y : int64_t(Y) - y;
    int32_t sy = MapIndex(j, H, YS, SH);
    if (sy < 0 || sy >= Sb->Height) continue;
    ForSpans(D, y, x0, x1, [&](int32_t a, int32_t e) {
      for (int32_t x = a; x < e; ++x) {
        int32_t sx = colMap[x - x0];
        if (sx < 0 || sx >= Sb->Width) continue;
        uint32_t raw = Sb->Get(sx, sy);
        if (Key && Sb->ValueColor(raw) == key) continue;
        uint32_t s = conv(raw);
        if (code == 0xCC) db->Set(x, y, s);
        else db->Set(x, y, ApplyRop3(code, needP ? pb.At(x, y) : 0, s, db->Get(x, y)) & mask);
      }
    });
  }
  return true;
}

}  // namespace

TColor SetPixel(HDC DC, int32_t X, int32_t Y, TColor Color) {
  if (!CanDraw(DC)) return CLR_INVALID;
  TPoint p = Dev(DC, X, Y);
  if (!Visible(DC, p.X, p.Y)) return CLR_INVALID;
  uint32_t v = ColorValue(DC, Color);
  DC->S.Bitmap->Set(p.X, p.Y, v);
  return DC->S.Bitmap->ValueColor(v);
}

TColor GetPixel(HDC DC, int32_t X, int32_t Y) {
  if (!CanDraw(DC)) return CLR_INVALID;
  TPoint p = Dev(DC, X, Y);
  if (!Visible(DC, p.X, p.Y)) return CLR_INVALID;
  return DC->S.Bitmap->ValueColor(DC->S.Bitmap->Get(p.X, p.Y));
}

bool MoveToEx(HDC DC, int32_t X, int32_t Y, TPoint* Old) {
  if (!DC) return false;
  if (Old) *Old = DC->S.Pos;
  DC->S.Pos = TPoint{X, Y};
  return true;
}

bool GetCurrentPositionEx(HDC DC, TPoint* P) {
  if (!DC || !P) return false;
  *P = DC->S.Pos;
  return true;
}

bool LineTo(HDC DC, int32_t X, int32_t Y) {
  if (!DC) return false;
  if (CanDraw(DC)) {
    TPoint a = Dev(DC, DC->S.Pos.X, DC->S.Pos.Y), b = Dev(DC, X, Y);
    int32_t phase = 0;
    PenLine(DC, a.X, a.Y, b.X, b.Y, phase);
  }
  DC->S.Pos = TPoint{X, Y};
  return true;
}

bool Polyline(HDC DC, const TPoint* Points, int32_t Count) {
  if (!DC || !Points || Count < 2) return false;
  if (!CanDraw(DC)) return true;
  int32_t phase = 0;
  for (int32_t i = 1; i < Count; ++i) {
    TPoint a = Dev(DC, Points[i - 1].X, Points[i - 1].Y), b = Dev(DC, Points[i].X, Points[i].Y);
    PenLine(DC, a.X, a.Y, b.X, b.Y, phase);
  }
  return true;
}

bool Rectangle(HDC DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  if (!CanDraw(DC)) return DC != nullptr;
  TPoint a = Dev(DC, Left, Top), b = Dev(DC, Right, Bottom);
  if (PenWidth(DC) && !PenSolid(DC)) {
    // A styled pen: the brush inside, then the outline as one dashed path.
    int32_t l = std::min(a.X, b.X), r = std::max(a.X, b.X), t = std::min(a.Y, b.Y), bo = std::max(a.Y, b.Y);
    PreparedBrush brush = PrepareBrush(DC, DC->S.Brush);
    int32_t y0 = t + 1, y1 = bo - 1;
    ClampRows(DC, y0, y1);
    for (int32_t y = y0; y < y1; ++y) FillSpanRop2(DC, brush, y, l + 1, r - 1, DC->S.Rop2);
    int32_t phase = 0;
    PenLine(DC, l, t, r - 1, t, phase);
    PenLine(DC, r - 1, t, r - 1, bo - 1, phase);
    PenLine(DC, r - 1, bo - 1, l, bo - 1, phase);
    PenLine(DC, l, bo - 1, l, t, phase);
    return true;
  }
  DrawShape(DC, a.X, a.Y, b.X, b.Y,
            [](int32_t L, int32_t T, int32_t R, int32_t B, int32_t In, int32_t Y, int32_t& X0, int32_t& X1) {
              if (Y < T + In || Y >= B - In || L + In >= R - In) return false;
              X0 = L + In;
              X1 = R - In;
              return true;
            });
  return true;
}

bool Ellipse(HDC DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  if (!CanDraw(DC)) return DC != nullptr;
  TPoint a = Dev(DC, Left, Top), b = Dev(DC, Right, Bottom);
  DrawShape(DC, a.X, a.Y, b.X, b.Y,
            [](int32_t L, int32_t T, int32_t R, int32_t B, int32_t In, int32_t Y, int32_t& X0, int32_t& X1) {
              return EllipseSpan(L + In, T + In, R - In, B - In, Y, X0, X1);
            });
  return true;
}

bool RoundRect(HDC DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t CornerWidth,
               int32_t CornerHeight) {
  if (!CanDraw(DC)) return DC != nullptr;
  TPoint a = Dev(DC, Left, Top), b = Dev(DC, Right, Bottom);
  double rw = std::abs(CornerWidth) / 2.0, rh = std::abs(CornerHeight) / 2.0;
  DrawShape(DC, a.X, a.Y, b.X, b.Y,
            [rw, rh](int32_t L, int32_t T, int32_t R, int32_t B, int32_t In, int32_t Y, int32_t& X0, int32_t& X1) {
              double w = std::min(rw, (R - L) / 2.0), h = std::min(rh, (B - T) / 2.0);
              return RoundSpan(L + In, T + In, R - In, B - In, std::max(0.0, w - In), std::max(0.0, h - In), Y,
                               X0, X1);
            });
  return true;
}

bool Polygon(HDC DC, const TPoint* Points, int32_t Count) {
  if (!DC || !Points || Count < 2) return false;
  if (!CanDraw(DC)) return true;
  std::vector<TPoint> p(Count);
  for (int32_t i = 0; i < Count; ++i) p[i] = Dev(DC, Points[i].X, Points[i].Y);
  PreparedBrush brush = PrepareBrush(DC, DC->S.Brush);
  if (!brush.Null) {
    int32_t ymin = p[0].Y, ymax = p[0].Y;
    for (auto& q : p) {
      ymin = std::min(ymin, q.Y);
      ymax = std::max(ymax, q.Y);
    }
    GdiBitmap* b = DC->S.Bitmap;
    ymin = std::max(ymin, 0);
    ymax = std::min(ymax, b->Height);
    std::vector<double> xs;
    for (int32_t y = ymin; y < ymax; ++y) {
      double yc = y + 0.5;
      xs.clear();
      for (int32_t i = 0; i < Count; ++i) {
        const TPoint &a = p[i], &c = p[(i + 1) % Count];
        if (a.Y == c.Y) continue;
        double lo = std::min(a.Y, c.Y), hi = std::max(a.Y, c.Y);
        if (yc < lo || yc >= hi) continue;
        xs.push_back(a.X + (yc - a.Y) * (c.X - a.X) / double(c.Y - a.Y));
      }
      std::sort(xs.begin(), xs.end());
      for (size_t k = 0; k + 1 < xs.size(); k += 2) {
        int32_t a = static_cast<int32_t>(std::ceil(xs[k] - 0.5));
        int32_t e = static_cast<int32_t>(std::ceil(xs[k + 1] - 0.5));
        FillSpanRop2(DC, brush, y, a, e, DC->S.Rop2);
      }
    }
  }
  int32_t phase = 0;
  for (int32_t i = 0; i < Count; ++i) {
    const TPoint &a = p[i], &c = p[(i + 1) % Count];
    PenLine(DC, a.X, a.Y, c.X, c.Y, phase);
  }
  return true;
}

int32_t FillRect(HDC DC, const TRect& R, HBRUSH Brush) {
  if (!CanDraw(DC) || !Brush || Brush->Type != OBJ_BRUSH) return 0;
  TPoint a = Dev(DC, R.Left, R.Top), b = Dev(DC, R.Right, R.Bottom);
  PreparedBrush pb = PrepareBrush(DC, static_cast<GdiBrush*>(Brush));
  int32_t y0 = a.Y, y1 = b.Y;
  ClampRows(DC, y0, y1);
  for (int32_t y = y0; y < y1; ++y) FillSpanRop2(DC, pb, y, a.X, b.X, R2_COPYPEN);
  return 1;
}

int32_t FrameRect(HDC DC, const TRect& R, HBRUSH Brush) {
  if (!CanDraw(DC) || !Brush || Brush->Type != OBJ_BRUSH) return 0;
  if (IsRectEmpty(R)) return 1;
  TPoint a = Dev(DC, R.Left, R.Top), b = Dev(DC, R.Right, R.Bottom);
  PreparedBrush pb = PrepareBrush(DC, static_cast<GdiBrush*>(Brush));
  FillSpanRop2(DC, pb, a.Y, a.X, b.X, R2_COPYPEN);
  if (b.Y - 1 > a.Y) FillSpanRop2(DC, pb, b.Y - 1, a.X, b.X, R2_COPYPEN);
  int32_t y0 = a.Y + 1, y1 = b.Y - 1;
  ClampRows(DC, y0, y1);
  for (int32_t y = y0; y < y1; ++y) {
    FillSpanRop2(DC, pb, y, a.X, a.X + 1, R2_COPYPEN);
    if (b.X - 1 > a.X) FillSpanRop2(DC, pb, y, b.X - 1, b.X, R2_COPYPEN);
  }
  return 1;
}

bool DrawFocusRect(HDC DC, const TRect& R) {
  if (!CanDraw(DC)) return false;
  if (IsRectEmpty(R)) return true;
  TPoint a = Dev(DC, R.Left, R.Top), b = Dev(DC, R.Right, R.Bottom);
  GdiBitmap* bm = DC->S.Bitmap;
  uint32_t mask = bm->Mask();
  auto inv = [&](int32_t x, int32_t y) {
    if (((x + y) & 1) == 0)
      ForSpans(DC, y, x, x + 1, [&](int32_t, int32_t) { bm->Set(x, y, ~bm->Get(x, y) & mask); });
  };
  for (int32_t x = a.X; x < b.X; ++x) {
    inv(x, a.Y);
    if (b.Y - 1 > a.Y) inv(x, b.Y - 1);
  }
  for (int32_t y = a.Y + 1; y < b.Y - 1; ++y) {
    inv(a.X, y);
    if (b.X - 1 > a.X) inv(b.X - 1, y);
  }
  return true;
}

bool PatBlt(HDC DC, int32_t X, int32_t Y, int32_t Width, int32_t Height, uint32_t Rop) {
  if (!DC) return false;
  TPoint p = Dev(DC, X, Y);
  return Blt(DC, p.X, p.Y, Width, Height, nullptr, nullptr, 0, 0, 0, 0, Rop, nullptr);
}

bool BitBlt(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Src, int32_t XSrc, int32_t YSrc,
            uint32_t Rop) {
  return StretchBlt(Dest, X, Y, Width, Height, Src, XSrc, YSrc, Width, Height, Rop);
}

bool StretchBlt(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Src, int32_t XSrc, int32_t YSrc,
                int32_t SrcWidth, int32_t SrcHeight, uint32_t Rop) {
  if (!Dest) return false;
  TPoint p = Dev(Dest, X, Y);
  GdiBitmap* sb = Src ? Src->S.Bitmap : nullptr;
  TPoint s = Src ? Dev(Src, XSrc, YSrc) : TPoint{XSrc, YSrc};
  return Blt(Dest, p.X, p.Y, Width, Height, Src, sb, s.X, s.Y, SrcWidth, SrcHeight, Rop, nullptr);
}

bool TransparentBlt(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Src, int32_t XSrc,
                    int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight, TColor Transparent) {
  if (!Dest || !Src) return false;
  TPoint p = Dev(Dest, X, Y), s = Dev(Src, XSrc, YSrc);
  TColor key = ResolveColor(Src, Transparent);
  return Blt(Dest, p.X, p.Y, Width, Height, Src, Src->S.Bitmap, s.X, s.Y, SrcWidth, SrcHeight, SRCCOPY, &key);
}

int32_t StretchDIBits(HDC DC, int32_t X, int32_t Y, int32_t Width, int32_t Height, int32_t XSrc, int32_t YSrc,
                      int32_t SrcWidth, int32_t SrcHeight, const void* Bits, const BITMAPINFO* Info,
                      uint32_t Usage, uint32_t Rop) {
  if (!DC || Usage != DIB_RGB_COLORS || SrcHeight < 0) return 0;
  GdiBitmap v;
  if (!Bits || !Info || !ViewDIB(v, Info, Bits)) return 0;
  // Source rows in top-down terms: a bottom-up DIB counts YSrc from its bottom row.
  int32_t top = v.TopDown ? YSrc : v.Height - YSrc - SrcHeight;
  TPoint p = Dev(DC, X, Y);
  bool ok = Blt(DC, p.X, p.Y, Width, Height, nullptr, &v, XSrc, top, SrcWidth, SrcHeight, Rop, nullptr);
  v.Bits = nullptr;
  return ok ? std::abs(SrcHeight) : 0;
}

bool GdiFlush() { return true; }
