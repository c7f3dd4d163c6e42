// Copy with resampling: a rectangle of a source image drawn into a rectangle
// of the image, each axis scaled by nearest, linear (two taps) or box
// (area average) sampling, the colours stored by the pixel store rule.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/pixel_graphic.h"
#include "imaging/core/dither.h"
#include "imaging/core/long_operation.h"
#include "imaging/core/row_gate.h"
#include "imaging/core/row_store.h"

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

// Division by an axis's normaliser N of a weighted sum of levels, whose
// weights add up to N (so the sum is at most 255 N): a multiplication by
// the rounded-up reciprocal 2^64 / N, exact for every such sum while N is
// below 2^28 (the error, under Sum / 2^64, stays under 1 / N); beyond that,
// a division.
struct TDivider {
  uint64_t N, M;
  explicit TDivider(int64_t Divisor)
      : N(uint64_t(Divisor)), M(N > 1 && N < (uint64_t{1} << 28) ? ~uint64_t{0} / N + 1 : 0) {}
  uint8_t operator()(int64_t Sum) const {
    return uint8_t(M ? uint64_t((unsigned __int128)uint64_t(Sum) * M >> 64) : uint64_t(Sum) / N);
  }
};

// The copy a row at a time, for a copy whose every destination column and
// row has a valid plan: each source row used is averaged along the width
// once (kept for the next destination rows that use it), the averaged rows
// are combined along the height, and the destination row is stored whole,
// as bytes or through the palette's row loops. The same integer steps as the
// pixel loop, so the same pixels.
class TRowResampler {
public:
  TRowResampler(TPixelGraphic& Source, const TAxis& HAxis, const TAxis& VAxis, std::vector<TAxisPlan> Columns)
      : FSource(Source), FH(HAxis), FV(VAxis), FColumns(std::move(Columns)), FHDiv(HAxis.N), FVDiv(VAxis.N) {
    FFirstSource = FColumns.front().S0, FLastSource = FColumns.front().S1;
    for (const TAxisPlan& c : FColumns)
      FFirstSource = std::min(FFirstSource, c.S0), FLastSource = std::max(FLastSource, c.S1);
    const size_t width = FColumns.size() * 3;
    for (TSlot& slot : FSlots) slot.Bytes.resize(width);
    FRow.resize(width);
    if (Source.PixelFormat() != pf24Bit) FSourceRow.resize(size_t(FLastSource + 1) * 3);
  }

  // The colours of destination row plan Row, as blue, green and red bytes
  // of each clipped column from the first.
  const uint8_t* Row(const TAxisPlan& Row) {
    if (Row.Kind == TSpan::Single) return Averaged(Row.S0);
    if (Row.Kind == TSpan::Pair) {
      // With weights adding up to N, (a W0 + b W1) / N is a + Floor((b - a)
      // W1 / N): one table of the 511 differences for the row.
      int16_t table[511];
      for (int32_t d = -255; d <= 255; ++d) {
        const int64_t p = d * Row.W1;
        table[d + 255] = int16_t(p >= 0 ? p / FV.N : -((-p + FV.N - 1) / FV.N));
      }
      const uint8_t* a = Averaged(Row.S0);
      const uint8_t* b = Averaged(Row.S1);
      for (size_t i = 0; i < FRow.size(); ++i) FRow[i] = uint8_t(a[i] + table[b[i] - a[i] + 255]);
      return FRow.data();
    }
    std::vector<int64_t>& sums = FSums;
    sums.assign(FRow.size(), 0);
    FV.ForEach(Row, [&](int64_t R, int64_t W) {
      const uint8_t* a = Averaged(R);
      for (size_t i = 0; i < sums.size(); ++i) sums[i] += a[i] * W;
    });
    for (size_t i = 0; i < FRow.size(); ++i) FRow[i] = FVDiv(sums[i]);
    return FRow.data();
  }

private:
  struct TSlot {
    int64_t Row = -1;
    std::vector<uint8_t> Bytes;
  };

  // Source row R averaged along the width: the rows asked for only move
  // down, and a destination row takes at most two of them again, so the two
  // used last are kept.
  const uint8_t* Averaged(int64_t R) {
    for (int i = 0; i < 2; ++i)
      if (FSlots[i].Row == R) {
        FNext = i ^ 1;
        return FSlots[i].Bytes.data();
      }
    TSlot& slot = FSlots[FNext];
    FNext ^= 1;
    slot.Row = R;
    const uint8_t* line = FSource.ScanLine(int32_t(R));
    if (!FSourceRow.empty()) {
      for (int64_t c = FFirstSource; c <= FLastSource; ++c) {
        const TColor color = FSource.GetPixelColor(int32_t(c), int32_t(R));
        FSourceRow[size_t(c) * 3] = uint8_t(color >> 16), FSourceRow[size_t(c) * 3 + 1] = uint8_t(color >> 8);
        FSourceRow[size_t(c) * 3 + 2] = uint8_t(color);
      }
      line = FSourceRow.data();
    }
    uint8_t* to = slot.Bytes.data();
    for (const TAxisPlan& c : FColumns) {
      const uint8_t* p0 = line + c.S0 * 3;
      if (c.Kind == TSpan::Single) {
        to[0] = p0[0], to[1] = p0[1], to[2] = p0[2];
      } else if (c.Kind == TSpan::Pair) {
        const uint8_t* p1 = line + c.S1 * 3;
        for (int k = 0; k < 3; ++k) to[k] = FHDiv(p0[k] * c.W0 + p1[k] * c.W1);
      } else {
        int64_t sum[3] = {0, 0, 0};
        FH.ForEach(c, [&](int64_t S, int64_t W) {
          const uint8_t* p = line + S * 3;
          for (int k = 0; k < 3; ++k) sum[k] += p[k] * W;
        });
        for (int k = 0; k < 3; ++k) to[k] = FHDiv(sum[k]);
      }
      to += 3;
    }
    return slot.Bytes.data();
  }

  TPixelGraphic& FSource;
  const TAxis& FH;
  const TAxis& FV;
  const std::vector<TAxisPlan> FColumns;
  const TDivider FHDiv, FVDiv;
  int64_t FFirstSource = 0, FLastSource = 0;
  TSlot FSlots[2];
  int FNext = 0;
  std::vector<uint8_t> FSourceRow, FRow;
  std::vector<int64_t> FSums;
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

  bool byRows = (FPixelFormat == pf24Bit || TColorRowStore::Applies(*this)) &&
                std::all_of(columns.begin(), columns.end(), [](const TAxisPlan& P) { return P.Valid; });
  for (int64_t y = firstY; y <= lastY && byRows; ++y) byRows = vAxis.Plan(y - DestY).Valid;

  {
  TDitherScope store(*this);
  TPGProgressScope progress(*this, this);
  if (byRows) {
    TRowResampler resampler(*Source, hAxis, vAxis, std::move(columns));
    std::unique_ptr<TColorRowStore> palette;
    if (FPixelFormat != pf24Bit) palette = std::make_unique<TColorRowStore>(*this, store.Dithering(), firstX, lastX);
    for (int64_t y = firstY; y <= lastY; ++y) {
      const uint8_t* colors = resampler.Row(vAxis.Plan(y - DestY));
      if (palette)
        palette->Store(int32_t(y), colors, (y % 2) == 0);
      else
        std::memcpy(ScanLine(int32_t(y)) + firstX * 3, colors, size_t(lastX - firstX + 1) * 3);
      // Rows above the rectangle keep their pixels, so every row down to
      // this one is final.
      if (FRowGate) FRowGate->Finished(int32_t(y + 1));
      if (progress.Progress(int32_t(y - firstY), int32_t(lastY - firstY))) break;
    }
  }
  for (int64_t y = firstY; y <= lastY && !byRows; ++y) {
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
    if (FRowGate) FRowGate->Finished(int32_t(y + 1));
    if (progress.Progress(int32_t(y - firstY), int32_t(lastY - firstY))) break;
  }
  }
  Changed(this);
}
