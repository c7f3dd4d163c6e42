// Numeric helpers of the imaging core.
#include "imaging/core/pg_math.h"

#include <cmath>

#include "imaging/core/exceptions.h"

long double Power(long double Base, long double Exponent) {
  if (Exponent == 0) return 1;
  if (Base == 0) return 0;
  if (Base == 1) return 1;
  if (Base < 0) throw EPixelGraphic("Invalid Argument");
  return std::exp(Exponent * std::log(Base));
}

void ClearRowPadding(uint8_t* Row, uint32_t RowBytes, int32_t Width) {
  if (!Row || Width < 0) return;
  uint32_t used = (static_cast<uint32_t>(Width) + 7) / 8;
  for (uint32_t i = used; i < RowBytes; ++i) Row[i] = 0;
  int32_t rest = Width % 8;
  if (rest != 0 && used >= 1 && used <= RowBytes)
    Row[used - 1] &= static_cast<uint8_t>(0xFF00 >> rest);
}
