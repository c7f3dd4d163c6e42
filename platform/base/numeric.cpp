#include "platform/base/numeric.h"

#include <limits>

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  int64_t p = static_cast<int64_t>(a) * b;
  bool negative = (p < 0) != (c < 0);
  uint64_t up = p < 0 ? static_cast<uint64_t>(-p) : static_cast<uint64_t>(p);
  uint64_t uc = c < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(c)) : static_cast<uint64_t>(c);
  uint64_t q = (up + uc / 2) / uc;
  if (q > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) + (negative ? 1u : 0u)) return -1;
  int64_t r = negative ? -static_cast<int64_t>(q) : static_cast<int64_t>(q);
  return static_cast<int32_t>(r);
}
