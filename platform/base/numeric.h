// Numeric helpers with the rounding rules the system depends on.
#pragma once

#include <cmath>
#include <cstdint>

// Round to nearest, halves to the even integer (banker's rounding).
inline int64_t Round(long double x) { return static_cast<int64_t>(std::nearbyintl(x)); }
// Truncate toward zero.
inline int64_t Trunc(long double x) { return static_cast<int64_t>(x); }
// Floor and ceiling as integers.
inline int64_t Floor(long double x) { return static_cast<int64_t>(std::floor(x)); }
inline int64_t Ceil(long double x) { return static_cast<int64_t>(std::ceil(x)); }

// a * b / c computed in 64 bits, rounded half away from zero; -1 when c is 0
// or the result does not fit in 32 bits.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);
