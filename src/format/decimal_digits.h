// Decimal digits of unsigned integers, written straight into a buffer eight
// at a time.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace ww::digits {

// How many decimal digits v has (1 for 0).
inline int length(std::uint64_t v) {
  static constexpr std::uint64_t kPow10[20] = {1ull,
                                               10ull,
                                               100ull,
                                               1000ull,
                                               10000ull,
                                               100000ull,
                                               1000000ull,
                                               10000000ull,
                                               100000000ull,
                                               1000000000ull,
                                               10000000000ull,
                                               100000000000ull,
                                               1000000000000ull,
                                               10000000000000ull,
                                               100000000000000ull,
                                               1000000000000000ull,
                                               10000000000000000ull,
                                               100000000000000000ull,
                                               1000000000000000000ull,
                                               10000000000000000000ull};
  // 1233 / 4096 is just above log10(2): t is the digit count or one less.
  // v | 1 has as many digits as v (no power of ten is odd) and is not 0.
  const std::uint64_t w = v | 1;
  const int t = (std::bit_width(w) * 1233) >> 12;
  return t + (w >= kPow10[t] ? 1 : 0);
}

// The eight digits of v < 10^8 (leading zeros included) as the bytes of a
// word, the first digit in its lowest byte. Each step splits every lane in
// two lanes of half the width: 4+4 digits, then 2+2, then 1+1; the
// divisions by 100 and by 10 are multiplications that are exact for the
// lane values that occur, and no lane carries into its neighbour.
inline std::uint64_t eight_digits(std::uint32_t v) {
  std::uint64_t x = (v / 10000) | (std::uint64_t{v % 10000} << 32);
  std::uint64_t q = ((x * 5243) >> 19) & 0x0000007F0000007Full;
  x = q | ((x - q * 100) << 16);
  q = ((x * 103) >> 10) & 0x000F000F000F000Full;
  x = q | ((x - q * 10) << 8);
  return x + 0x3030303030303030ull;
}

// Stores the bytes of a word in memory order, lowest first.
inline void store8(char* p, std::uint64_t v) {
  if constexpr (std::endian::native == std::endian::big) {
    v = ((v & 0x00000000FFFFFFFFull) << 32) | (v >> 32);
    v = ((v & 0x0000FFFF0000FFFFull) << 16) | ((v >> 16) & 0x0000FFFF0000FFFFull);
    v = ((v & 0x00FF00FF00FF00FFull) << 8) | ((v >> 8) & 0x00FF00FF00FF00FFull);
  }
  std::memcpy(p, &v, 8);
}

// The first `n` (1 to 8) of the eight digits of v: the leading zeros are
// shifted out; the bytes stored after them are scratch.
inline void store_last(char* p, std::uint32_t v, int n) { store8(p, eight_digits(v) >> (8 * (8 - n))); }

// Writes the `len` == length(v) digits of v at p, storing whole words: p
// needs room for max(len, 8) bytes, and the bytes after the digits are
// scratch.
inline void write(char* p, std::uint64_t v, int len) {
  if (len <= 8) {
    store_last(p, static_cast<std::uint32_t>(v), len);
  } else if (len <= 16) {
    store_last(p, static_cast<std::uint32_t>(v / 100000000), len - 8);
    store8(p + len - 8, eight_digits(static_cast<std::uint32_t>(v % 100000000)));
  } else {
    const std::uint64_t low16 = v % 10000000000000000ull;
    store_last(p, static_cast<std::uint32_t>(v / 10000000000000000ull), len - 16);
    store8(p + len - 16, eight_digits(static_cast<std::uint32_t>(low16 / 100000000)));
    store8(p + len - 8, eight_digits(static_cast<std::uint32_t>(low16 % 100000000)));
  }
}

// Writes the digits of v at p (room for 20 bytes) and returns their end.
inline char* put(char* p, std::uint64_t v) {
  const int len = length(v);
  write(p, v, len);
  return p + len;
}

}  // namespace ww::digits
