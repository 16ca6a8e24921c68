// A small, fast, seeded generator of 64-bit numbers for randomized tests:
// the same seed gives the same run everywhere.
#pragma once

#include <cstdint>

namespace ww::test_rng {

struct SplitMix {
  std::uint64_t s;
  std::uint64_t next() {
    std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint64_t below(std::uint64_t n) { return next() % n; }
  // Uniform in [0, 1), from the top 53 bits.
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
};

}  // namespace ww::test_rng
