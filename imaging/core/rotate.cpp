// Rotation by any angle (exact and lossless for right angles between images
// of the same palette) and the two flips.
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>

#include "imaging/core/exceptions.h"
#include "imaging/core/dither.h"
#include "imaging/core/long_operation.h"
#include "imaging/core/messages.h"
#include "imaging/core/pg_math.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/base/strings.h"

namespace {

// Brings a finite angle into 0..360 (a positive multiple of 360 stays 360,
// as subtracting 360 while above 360 leaves it). Angles that are not finite
// are refused.
long double NormalizeAngle(long double Angle) {
  if (!std::isfinite(Angle)) throw EPixelGraphic(PGMessage(20, "Angle"));
  long double a = std::fmod(Angle, 360.0L);
  if (a < 0) a += 360;
  if (a == 0) a = Angle > 0 ? 360 : 0;
  return a;
}

// The right angle an angle counts as (within 0.01 degrees), or -1.
int32_t NearRightAngle(long double Angle) {
  const int64_t r = Round(Angle);
  const int64_t q = (r / 90) * 90;
  return std::fabs(Angle - q) < 0.01L ? int32_t(r) : -1;
}

// Floor and ceiling of values well inside the
// 64-bit range, without the library calls of the 80-bit forms.
inline int64_t FloorD(double V) {
  const int64_t t = int64_t(V);
  return double(t) > V ? t - 1 : t;
}
inline int64_t CeilD(double V) {
  const int64_t t = int64_t(V);
  return double(t) < V ? t + 1 : t;
}

// The same for either width, so that one sampling routine serves both.
inline int64_t FloorOf(double V) { return FloorD(V); }
inline int64_t FloorOf(long double V) { return Floor(V); }
inline int64_t CeilOf(double V) { return CeilD(V); }
inline int64_t CeilOf(long double V) { return Ceil(V); }
// Rounding that also tells when V lies within Margin of a half, where a
// narrower type could round the other way.
inline int64_t RoundNear(double V, double Margin, bool& Near) {
  int64_t f = FloorD(V);
  const double frac = V - double(f);
  Near |= frac > 0.5 - Margin && frac < 0.5 + Margin;
  if (frac > 0.5 || (frac == 0.5 && (f & 1))) ++f;
  return f;
}
inline int64_t RoundNear(long double V, double, bool&) { return Round(V); }

struct TMatrix {
  long double A, B, C, D;
  explicit TMatrix(long double Degrees) {
    const long double t = Degrees * std::numbers::pi_v<long double> / 180;
    A = std::cos(t);
    B = -std::sin(t);
    C = std::sin(t);
    D = std::cos(t);
  }
};

// Floor of the smallest and Ceil of the largest coordinates of the corners
// of the rectangle (Left, Top)-(Right, Bottom), turned by M about (CX, CY)
// and moved so that this point lands on (DX, DY).
struct TBounds {
  int64_t MinX, MaxX, MinY, MaxY;
};
TBounds TurnedCorners(const TMatrix& M, int64_t Left, int64_t Top, int64_t Right, int64_t Bottom, long double CX,
                      long double CY, long double DX, long double DY) {
  TBounds b{INT64_MAX, INT64_MIN, INT64_MAX, INT64_MIN};
  for (auto [x, y] : {std::pair{Right, Bottom}, {Left, Bottom}, {Right, Top}, {Left, Top}}) {
    const long double u = x - CX, v = y - CY;
    const long double X = u * M.A + v * M.B + DX, Y = u * M.C + v * M.D + DY;
    b.MinX = std::min<int64_t>(b.MinX, Floor(X));
    b.MaxX = std::max<int64_t>(b.MaxX, Ceil(X));
    b.MinY = std::min<int64_t>(b.MinY, Floor(Y));
    b.MaxY = std::max<int64_t>(b.MaxY, Ceil(Y));
  }
  return b;
}

// Swaps the raw values of the two ends of every line, moving inward: a line
// is a row when Rows, else a column; progress after each line.
void MirrorLines(TPixelGraphic& G, bool Rows) {
  const int32_t lines = Rows ? G.GetHeight() : G.GetWidth(), length = Rows ? G.GetWidth() : G.GetHeight();
  auto at = [Rows](int32_t Line, int32_t I) { return Rows ? std::pair{I, Line} : std::pair{Line, I}; };
  TPGProgressScope progress(G, &G);
  for (int32_t line = 0; line < lines; ++line) {
    for (int32_t i = 0; i <= (length - 2) / 2; ++i) {
      const auto [ax, ay] = at(line, i);
      const auto [bx, by] = at(line, length - 1 - i);
      const uint32_t a = G.GetPixel(ax, ay);
      G.SetPixel(ax, ay, G.GetPixel(bx, by));
      G.SetPixel(bx, by, a);
    }
    if (progress.Progress(line, lines - 1)) break;
  }
}

}  // namespace

void TPixelGraphic::Rotate(bool RightAngleShortcut, TPixelGraphic* Source, long double Angle) {
  if (!Source) return;
  const long double angle = NormalizeAngle(Angle);
  std::unique_ptr<TPixelGraphic> snapshot;
  Source = DistinctSource(this, Source, snapshot);
  TPGUpdateScope update(*this);

  const int32_t sw = Source->GetWidth(), sh = Source->GetHeight();
  if (!RightAngleShortcut) {
    RotateAnyAngle(FWidth / 2, FHeight / 2, angle, sw / 2, sh / 2, 0, 0, sw, sh, Source);
    return;
  }

  const int32_t right = NearRightAngle(angle);
  if (right >= 0) {
    const bool turned = right == 90 || right == 270;
    NewImage(turned ? sh : sw, turned ? sw : sh, FPixelFormat);
    const int32_t fast = right == 360 ? 0 : right;
    if (SamePalette(Source)) {
      FastRotate(fast, Source);
    } else {
      const int32_t cx = (fast == 90 || fast == 180) ? FWidth - 1 : 0;
      const int32_t cy = (fast == 180 || fast == 270) ? FHeight - 1 : 0;
      RotateAnyAngle(cx, cy, fast, 0, 0, 0, 0, sw, sh, Source);
    }
    return;
  }

  const TBounds b = TurnedCorners(TMatrix(angle), 0, 0, sw, sh, 0, 0, 0, 0);
  const int64_t width = b.MaxX - b.MinX, height = b.MaxY - b.MinY;
  if (width > INT32_MAX || height > INT32_MAX)
    throw EPGInvalidSize(PGMessage(27, IntToStr(width) + " x " + IntToStr(height)));
  NewImage(int32_t(width), int32_t(height), FPixelFormat);
  RotateAnyAngle(FWidth / 2, FHeight / 2, angle, sw / 2, sh / 2, 0, 0, sw, sh, Source);
}

void TPixelGraphic::FastRotate(int32_t Angle, TPixelGraphic* Source) {
  if (Angle != 0 && Angle != 90 && Angle != 180 && Angle != 270)
    throw EPixelGraphic(PGMessage(20, "Angle (FastRotate)"));
  if (!Source || Source == this) return;
  FlushGdi();
  Source->FlushGdi();
  TPGProgressScope progress(*this, this);
  if (Angle == 0) {
    if (FBits && Source->FBits)
      std::memcpy(FBits.get(), Source->FBits.get(), std::min(FImageSize, Source->FImageSize));
    return;
  }
  const int32_t sw = Source->FWidth, sh = Source->FHeight;
  auto sourceOf = [&](int32_t x, int32_t y) {
    switch (Angle) {
      case 90: return std::pair<int32_t, int32_t>{y, sh - 1 - x};
      case 180: return std::pair<int32_t, int32_t>{sw - 1 - x, sh - 1 - y};
      default: return std::pair<int32_t, int32_t>{sw - 1 - y, x};
    }
  };
  // Whole bytes move directly when both images have the rotated shape.
  const bool turned = Angle != 180;
  const bool direct = FPixelFormat == Source->FPixelFormat && (FPixelFormat == pf8Bit || FPixelFormat == pf24Bit) &&
                      FWidth == (turned ? sh : sw) && FHeight == (turned ? sw : sh);
  const size_t bytes = FPixelFormat == pf24Bit ? 3 : 1;
  for (int32_t y = 0; y < FHeight; ++y) {
    if (direct) {
      uint8_t* dst = ScanLine(y);
      for (int32_t x = 0; x < FWidth; ++x) {
        auto [sx, sy] = sourceOf(x, y);
        std::memcpy(dst + size_t(x) * bytes, Source->ScanLine(sy) + size_t(sx) * bytes, bytes);
      }
    } else {
      for (int32_t x = 0; x < FWidth; ++x) {
        auto [sx, sy] = sourceOf(x, y);
        SetPixel(x, y, Source->GetPixel(sx, sy));
      }
    }
    if (progress.Progress(y, FHeight - 1)) break;
  }
}

void TPixelGraphic::RotateAnyAngle(int32_t DestCX, int32_t DestCY, long double Angle, int32_t SrcCX, int32_t SrcCY,
                                   int32_t SrcLeft, int32_t SrcTop, int32_t SrcWidth, int32_t SrcHeight,
                                   TPixelGraphic* Source) {
  if (!Source) return;
  std::unique_ptr<TPixelGraphic> snapshot;
  Source = DistinctSource(this, Source, snapshot);
  long double angle = NormalizeAngle(Angle);
  const int32_t right = NearRightAngle(angle);
  if (right >= 0) angle = right;
  const TMatrix m(angle);
  const long double det = m.A * m.D - m.B * m.C;

  const int64_t sl = SrcLeft, st = SrcTop, sr = sl + SrcWidth, sb = st + SrcHeight;
  const TBounds b = TurnedCorners(m, sl, st, sr, sb, SrcCX, SrcCY, DestCX, DestCY);
  const int64_t firstCol = std::max<int64_t>(0, b.MinX), lastCol = std::min<int64_t>(FWidth - 1, b.MaxX);
  const int64_t firstRow = std::max<int64_t>(0, b.MinY), lastRow = std::min<int64_t>(FHeight - 1, b.MaxY);
  const int64_t srcCol0 = std::max<int64_t>(sl, 0), srcCol1 = std::min<int64_t>(sr - 1, Source->FWidth - 1);
  const int64_t srcRow0 = std::max<int64_t>(st, 0), srcRow1 = std::min<int64_t>(sb - 1, Source->FHeight - 1);
  if (firstCol > lastCol || firstRow > lastRow || srcCol0 > srcCol1 || srcRow0 > srcRow1) return;

  struct TSmoothRestore {
    TPixelGraphic& G;
    bool Saved;
    ~TSmoothRestore() { G.FSmoothRotate = Saved; }
  } restore{*this, FSmoothRotate};
  if (right >= 0) FSmoothRotate = false;

  Source->FlushGdi();
  const bool source24 = Source->FPixelFormat == pf24Bit;
  auto inside = [&](int64_t x, int64_t y) { return x >= srcCol0 && x <= srcCol1 && y >= srcRow0 && y <= srcRow1; };
  auto sourceColor = [&](int64_t x, int64_t y) -> TColor {
    if (source24) {
      const uint8_t* px = Source->ScanLine(int32_t(y)) + x * 3;
      return TColor(px[2]) | (TColor(px[1]) << 8) | (TColor(px[0]) << 16);
    }
    return Source->GetPixelColor(int32_t(x), int32_t(y)) & 0x00FFFFFF;
  };

  // The inverse matrix is 80-bit. Each source position is first worked out
  // in double precision, which keeps the per-pixel work off the slow 80-bit
  // unit; where a Floor, Ceil or rounding of it (or of a blended channel)
  // lies so close to its boundary that the narrower type could decide it
  // differently, the pixel is worked out again in 80 bits. The error of the
  // double path stays below 1e-15 of the largest magnitude added up, far
  // inside the margin.
  const long double liA = m.D / det, liB = -m.B / det, liC = -m.C / det, liD = m.A / det;
  const double iA = double(liA), iB = double(liB), iC = double(liC), iD = double(liD);
  const double magnitude = double(std::max(std::abs(firstCol - DestCX), std::abs(lastCol - DestCX)) +
                                  std::max(std::abs(firstRow - DestCY), std::abs(lastRow - DestCY)) +
                                  std::abs(int64_t(SrcCX)) + std::abs(int64_t(SrcCY)) + 1);
  const double margin = 1e-13 * magnitude;
  const double channelMargin = 1024 * margin + 1e-11;
  const uint8_t* srcBits = source24 ? Source->ScanLine(0) : nullptr;
  const int64_t srcStride = -int64_t(Source->FBytesPerLine);  // row 0 is the last row of memory
  auto sample = [&](int64_t x, int64_t y) -> TColor {
    if (srcBits) {
      const uint8_t* px = srcBits + y * srcStride + x * 3;
      return TColor(px[2]) | (TColor(px[1]) << 8) | (TColor(px[0]) << 16);
    }
    return sourceColor(x, y);
  };
  enum TOutcome { Leave, Store, Recompute };
  // The two-by-two interpolation at (fx, fy) for destination pixel (x, y).
  // Recompute only from the double path (Exact false) near a boundary.
  auto smoothAt = [&](auto fx, auto fy, bool Exact, int64_t x, int64_t y, uint8_t (&Channel)[3]) -> TOutcome {
    using T = decltype(fx);
    const int64_t x0 = FloorOf(fx), x1 = CeilOf(fx), y0 = FloorOf(fy), y1 = CeilOf(fy);
    if (!Exact) {
      const double dx = double(fx) - double(x0), dy = double(fy) - double(y0);
      if (dx < margin || dx > 1 - margin || dy < margin || dy > 1 - margin) return Recompute;
    }
    const bool in00 = inside(x0, y0), in01 = inside(x0, y1), in10 = inside(x1, y0), in11 = inside(x1, y1);
    if (!in00 && !in01 && !in10 && !in11) return Leave;
    const TColor own = (in00 && in01 && in10 && in11) ? 0 : GetPixelColor(int32_t(x), int32_t(y)) & 0x00FFFFFF;
    const T half = T(0.5);
    const T wx0 = x0 == x1 ? half : 1 - (fx - T(x0)), wx1 = x0 == x1 ? half : 1 - (T(x1) - fx);
    const T wy0 = y0 == y1 ? half : 1 - (fy - T(y0)), wy1 = y0 == y1 ? half : 1 - (T(y1) - fy);
    const T w00 = wx0 * wy0, w01 = wx0 * wy1, w10 = wx1 * wy0, w11 = wx1 * wy1;
    const TColor c00 = in00 ? sample(x0, y0) : own, c01 = in01 ? sample(x0, y1) : own;
    const TColor c10 = in10 ? sample(x1, y0) : own, c11 = in11 ? sample(x1, y1) : own;
    bool near = false;
    for (int k = 0; k < 3; ++k) {
      const int s = 8 * k;
      const T sum = T((c00 >> s) & 0xFF) * w00 + T((c01 >> s) & 0xFF) * w01 + T((c10 >> s) & 0xFF) * w10 +
                    T((c11 >> s) & 0xFF) * w11;
      Channel[k] = uint8_t(std::clamp<int64_t>(RoundNear(sum, channelMargin, near), 0, 255));
    }
    return near ? Recompute : Store;
  };
  // Nearest sampling: the rounded position, when it lies inside.
  auto nearestAt = [&](auto fx, auto fy, bool Exact, int64_t& sx, int64_t& sy) -> TOutcome {
    bool near = false;
    sx = RoundNear(fx, margin, near);
    sy = RoundNear(fy, margin, near);
    if (near && !Exact) return Recompute;
    return inside(sx, sy) ? Store : Leave;
  };
  {
    TDitherScope store(*this);
    TPGProgressScope progress(*this, this);
    for (int64_t y = firstRow; y <= lastRow; ++y) {
      store.NextRow();
      const double v = double(y - DestCY);
      const double rowX = v * iB + SrcCX, rowY = v * iD + SrcCY;
      const bool even = y % 2 == 0;
      for (int64_t i = firstCol; i <= lastCol; ++i) {
        const int64_t x = even ? i : firstCol + lastCol - i;
        const double u = double(x - DestCX);
        const double fx = u * iA + rowX;
        const double fy = u * iC + rowY;
        auto exactX = [&] { return (long double)(x - DestCX) * liA + (long double)(y - DestCY) * liB + SrcCX; };
        auto exactY = [&] { return (long double)(x - DestCX) * liC + (long double)(y - DestCY) * liD + SrcCY; };
        if (FSmoothRotate) {
          uint8_t channel[3];
          TOutcome outcome = smoothAt(fx, fy, false, x, y, channel);
          if (outcome == Recompute) outcome = smoothAt(exactX(), exactY(), true, x, y, channel);
          if (outcome == Store) store.Store(int32_t(x), int32_t(y), channel[0], channel[1], channel[2]);
        } else {
          int64_t sx = 0, sy = 0;
          TOutcome outcome = nearestAt(fx, fy, false, sx, sy);
          if (outcome == Recompute) outcome = nearestAt(exactX(), exactY(), true, sx, sy);
          if (outcome == Store) StoreColor(store, int32_t(x), int32_t(y), sample(sx, sy));
        }
      }
      if (progress.Progress(int32_t(y - firstRow), int32_t(lastRow - firstRow))) break;
    }
  }
  FSmoothRotate = restore.Saved;
  Changed(this);
}

void TPixelGraphic::FlipHorizontal() {
  if (FWidth < 1 || FHeight < 1) return;
  MirrorLines(*this, true);
  Changed(this);
}

void TPixelGraphic::FlipVertical() {
  if (FWidth < 1 || FHeight < 1) return;
  MirrorLines(*this, false);
  Changed(this);
}
