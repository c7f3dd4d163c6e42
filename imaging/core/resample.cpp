// Copy with resampling: a rectangle of a source image drawn into a rectangle
// of the image, each axis scaled by nearest, linear (two taps) or box
// (area average) sampling, the colours stored by the pixel store rule.
#include <memory>
#include <vector>

#include "imaging/core/pixel_graphic.h"
#include "imaging/core/dither.h"
#include "imaging/core/long_operation.h"

namespace {

enum class TSpan : uint8_t { Single, Pair, Range };

// One destination column's (or row's) source positions and weights.
struct TAxisPlan {
  int64_t S0 = 0, S1 = 0;
  int64_t W0 = 0, W1 = 0;
  TSpan Kind = TSpan::Single;
  bool Valid = false;
};

enum class TMethod : uint8_t { Nearest, OneToOne, Linear, Box };

// One axis of the copy: S source pixels at offset O onto D destination
// pixels, of a source image Size pixels long. All arithmetic is in 64 bits,
// so that products of large sizes cannot overflow.
struct TAxis {
  TMethod Method;
  int64_t S, D, O, Size;
  int64_t N = 1;  // normaliser
  int64_t M = 0;  // weight of the positions inside a range

  TAxis(TStretchMode Mode, int32_t Src, int32_t Dst, int32_t Offset, int32_t SourceSize)
      : S(Src), D(Dst), O(Offset), Size(SourceSize) {
    if (Mode == smFast)
      Method = TMethod::Nearest;
    else if (S == D)
      Method = TMethod::OneToOne;
    else if ((S > D) == (Mode == smPrecise))
      Method = TMethod::Box;
    else
      Method = TMethod::Linear;
    if (Method == TMethod::Linear) N = 2 * D;
    if (Method == TMethod::Box) {
      N = S;
      M = D;
    }
  }

  bool Inside(int64_t s) const { return s >= 0 && s < Size; }

  // The plan of destination position d (counted from the rectangle's start).
  TAxisPlan Plan(int64_t d) const {
    TAxisPlan p;
    switch (Method) {
      case TMethod::Nearest:
      case TMethod::OneToOne:
        p.S0 = p.S1 = (Method == TMethod::Nearest ? (d * S) / D : d) + O;
        p.W0 = p.W1 = 1;
        p.Valid = Inside(p.S0);
        break;
      case TMethod::Linear: {
        int64_t t = (2 * d + 1) * S;
        p.S0 = (t - D) / (2 * D) + O;
        p.S1 = (t + D) / (2 * D) + O;
        p.Kind = TSpan::Pair;
        p.Valid = Inside(p.S0) && Inside(p.S1);
        // An enlarging axis takes the edge pixel whole where the pair
        // straddles an edge of the source.
        if (!p.Valid && S < D && ((p.S0 < 0 && 0 <= p.S1) || (p.S0 < Size && Size <= p.S1))) {
          p.S0 = std::clamp<int64_t>(p.S0, 0, Size - 1);
          p.S1 = std::clamp<int64_t>(p.S1, 0, Size - 1);
          p.Valid = true;
        }
        p.W0 = 2 * D - (t - (2 * (p.S0 - O) + 1) * D);
        p.W1 = 2 * D - ((2 * (p.S1 - O) + 1) * D - t);
        if ((2 * (p.S0 - O) + 1) * D == t || p.S0 == p.S1) {
          p.Kind = TSpan::Single;
          p.W0 = 2 * D;
        }
        break;
      }
      case TMethod::Box: {
        p.S0 = (d * S) / D + O;
        int64_t e = (d + 1) * S;
        p.S1 = e / D + O - (e % D == 0 ? 1 : 0);
        p.Valid = Inside(p.S0) && Inside(p.S1);
        p.W0 = (p.S0 - O + 1) * D - d * S;
        p.W1 = e - (p.S1 - O) * D;
        if (p.S0 == p.S1) {
          p.Kind = TSpan::Single;
          p.W0 = S;
        } else {
          p.Kind = p.S1 - p.S0 == 1 ? TSpan::Pair : TSpan::Range;
        }
        break;
      }
    }
    return p;
  }

  // Calls f(position, weight) for every source position the plan counts.
  template <class F>
  void ForEach(const TAxisPlan& p, F&& f) const {
    f(p.S0, p.W0);
    if (p.Kind == TSpan::Single) return;
    if (p.Kind == TSpan::Range)
      for (int64_t s = p.S0 + 1; s < p.S1; ++s) f(s, M);
    f(p.S1, p.W1);
  }
};

}  // namespace

void TPixelGraphic::CopyFromRect(int32_t DestX, int32_t DestY, int32_t DestWidth, int32_t DestHeight, int32_t SrcX,
                                 int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, TPixelGraphic* Source) {
  if (!Source) return;
  std::unique_ptr<TPixelGraphic> snapshot;
  Source = DistinctSource(this, Source, snapshot);
  FlushGdi();
  if (DestWidth == SrcWidth && DestHeight == SrcHeight) {
    CopyRectUnscaled(DestX, DestY, DestWidth, DestHeight, SrcX, SrcY, Source);
    return;
  }
  if (FWidth < 1 || FHeight < 1 || Source->FWidth < 1 || Source->FHeight < 1 || !FBits || !Source->FBits) return;
  if (DestWidth < 1 || DestHeight < 1 || SrcWidth < 1 || SrcHeight < 1) return;

  const int64_t firstX = std::max<int64_t>(DestX, 0);
  const int64_t lastX = std::min<int64_t>(int64_t(DestX) + DestWidth - 1, FWidth - 1);
  const int64_t firstY = std::max<int64_t>(DestY, 0);
  const int64_t lastY = std::min<int64_t>(int64_t(DestY) + DestHeight - 1, FHeight - 1);
  if (firstX > lastX || firstY > lastY) return;

  const TAxis hAxis(FStretchMode, SrcWidth, DestWidth, SrcX, Source->FWidth);
  const TAxis vAxis(FStretchMode, SrcHeight, DestHeight, SrcY, Source->FHeight);
  std::vector<TAxisPlan> columns(static_cast<size_t>(lastX - firstX + 1));
  for (int64_t x = firstX; x <= lastX; ++x) columns[size_t(x - firstX)] = hAxis.Plan(x - DestX);

  const bool source24 = Source->FPixelFormat == pf24Bit;
  struct TSum {
    int64_t R = 0, G = 0, B = 0;
  };
  auto sourceRowSum = [&](int64_t row, const TAxisPlan& col) {
    TSum sum;
    const uint8_t* line = source24 ? Source->ScanLine(int32_t(row)) : nullptr;
    hAxis.ForEach(col, [&](int64_t c, int64_t w) {
      if (line) {
        const uint8_t* px = line + c * 3;
        sum.B += px[0] * w;
        sum.G += px[1] * w;
        sum.R += px[2] * w;
      } else {
        TColor color = Source->GetPixelColor(int32_t(c), int32_t(row));
        sum.R += int64_t(color & 0xFF) * w;
        sum.G += int64_t((color >> 8) & 0xFF) * w;
        sum.B += int64_t((color >> 16) & 0xFF) * w;
      }
    });
    sum.R /= hAxis.N;
    sum.G /= hAxis.N;
    sum.B /= hAxis.N;
    return sum;
  };

  {
  TDitherScope store(*this);
  TPGProgressScope progress(*this, this);
  for (int64_t y = firstY; y <= lastY; ++y) {
    store.NextRow();
    const TAxisPlan row = vAxis.Plan(y - DestY);
    if (!row.Valid) continue;
    const bool even = (y % 2) == 0;
    for (int64_t i = firstX; i <= lastX; ++i) {
      const int64_t x = even ? i : firstX + lastX - i;
      const TAxisPlan& col = columns[size_t(x - firstX)];
      if (!col.Valid) continue;
      TSum total;
      vAxis.ForEach(row, [&](int64_t r, int64_t w) {
        TSum s = sourceRowSum(r, col);
        total.R += s.R * w;
        total.G += s.G * w;
        total.B += s.B * w;
      });
      store.Store(int32_t(x), int32_t(y), uint8_t(total.R / vAxis.N), uint8_t(total.G / vAxis.N),
                  uint8_t(total.B / vAxis.N));
    }
    if (progress.Progress(int32_t(y - firstY), int32_t(lastY - firstY))) break;
  }
  }
  Changed(this);
}
