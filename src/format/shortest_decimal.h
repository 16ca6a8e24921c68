// The shortest decimal that reads back to a given double.
#pragma once

#include <cstdint>

namespace ww {

// digits * 10^exponent, with no trailing zeros in `digits` (0 for zero).
struct Decimal {
  std::uint64_t digits;
  int exponent;
};

// For a finite |d|: of the decimals with the fewest significant digits that
// round to d, the one closest to d; an exact tie between two goes to the
// even one. The sign of d is ignored.
Decimal shortest_decimal(double d);

}  // namespace ww
