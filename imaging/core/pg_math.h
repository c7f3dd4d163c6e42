// Small numeric helpers of the imaging core. Floor and Ceil are those of
// platform/base/numeric.h (the mathematical ones).
#pragma once

#include <cstdint>

#include "platform/base/numeric.h"
#include "platform/gdi/types.h"

// Base raised to Exponent: 1 when Exponent is 0, else 0 when Base is 0, else
// 1 when Base is 1; a negative Base raises EPixelGraphic "Invalid Argument".
long double Power(long double Base, long double Exponent);

inline int32_t IntMax(int32_t A, int32_t B) { return A > B ? A : B; }
inline int32_t IntMin(int32_t A, int32_t B) { return A < B ? A : B; }

// Clears the padding of a 1-bit row of Width pixels held in RowBytes bytes:
// the bytes after the last pixel's byte, and the bits after the last pixel.
void ClearRowPadding(uint8_t* Row, uint32_t RowBytes, int32_t Width);

// Left <= X < Right and Top <= Y < Bottom.
inline bool PointInRect(const TPoint& P, const TRect& R) {
  return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom;
}
