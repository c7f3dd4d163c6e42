// The soft border: the edges of a picture faded into a colour, along the
// frame or outside and along the inscribed ellipse, in 1/1024 weight steps.
#include <cmath>
#include <memory>

#include "imaging/core/dither.h"
#include "imaging/core/long_operation.h"
#include "imaging/core/pg_math.h"
#include "imaging/core/pixel_graphic.h"

namespace {

// c blended toward Border by w/1024, per channel.
TColor Blend(TColor c, TColor Border, int64_t w) {
  TColor result = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    int64_t a = (c >> shift) & 0xFF, b = (Border >> shift) & 0xFF;
    result |= TColor((a * (1024 - w) + b * w) / 1024) << shift;
  }
  return result;
}

}  // namespace

void TPixelGraphic::SoftBorder(int32_t Mode, int32_t BorderWidth, TPixelGraphic* Source, TColor Color) {
  if (!Source) return;
  std::unique_ptr<TPixelGraphic> snapshot;
  Source = DistinctSource(this, Source, snapshot);
  Color &= 0x00FFFFFF;
  NewImage(Source->GetWidth(), Source->GetHeight(), FPixelFormat);
  const int32_t width = FWidth, height = FHeight;

  if (width < 3 || height < 3) {
    if (GetEmpty()) {
      Changed(this);
      return;
    }
    {
      TDitherScope store(*this);
      for (int32_t y = 0; y < height; ++y) {
        store.NextRow();
        for (int32_t i = 0; i < width; ++i) StoreColor(store, y % 2 == 0 ? i : width - 1 - i, y, Color);
      }
    }
    Changed(this);
    return;
  }

  // A border below two pixels leaves the picture as it is (a width of two
  // already gives a one-pixel ring).
  const int64_t w1 = BorderWidth < 2 ? 0 : int64_t(BorderWidth) - 1;
  const long double rx = (width - 1) / 2.0L, ry = (height - 1) / 2.0L;
  const long double k1 = ry / rx, k2 = rx / ry;

  auto frameColor = [&](int32_t x, int32_t y) {
    TColor c = Source->GetPixelColor(x, y) & 0x00FFFFFF;
    for (int64_t d : {int64_t(y), int64_t(height) - 1 - y, int64_t(x), int64_t(width) - 1 - x})
      if (d < w1) c = Blend(c, Color, (w1 - d) * 1024 / w1);
    return c;
  };
  auto ellipseColor = [&](int32_t x, int32_t y) {
    const long double dx = x - rx, dy = y - ry;
    long double ex, ey;
    if (dx != 0) {
      const long double m = dy / dx;
      ex = std::copysign(ry / std::sqrt(k1 * k1 + m * m), dx);
      ey = m * ex;
    } else {
      ex = 0;
      ey = dy < 0 ? -ry : ry;
    }
    if (std::fabs(dx) <= std::fabs(ex) && std::fabs(dy) <= std::fabs(ey)) {
      TColor c = Source->GetPixelColor(x, y) & 0x00FFFFFF;
      if (w1 == 0) return c;
      const long double D = std::sqrt(k1 * (dx - ex) * (dx - ex) + k2 * (dy - ey) * (dy - ey));
      if (D < w1) c = Blend(c, Color, Floor((w1 - D) * 1024 / w1));
      return c;
    }
    return w1 == 0 ? Source->GetPixelColor(x, y) & 0x00FFFFFF : Color;
  };

  {
    TDitherScope store(*this);
    TPGProgressScope progress(*this, this);
    for (int32_t y = 0; y < height; ++y) {
      store.NextRow();
      for (int32_t i = 0; i < width; ++i) {
        const int32_t x = y % 2 == 0 ? i : width - 1 - i;
        StoreColor(store, x, y, Mode == 0 ? frameColor(x, y) : ellipseColor(x, y));
      }
      if (progress.Progress(y, height - 1)) break;
    }
  }
  Changed(this);
}
