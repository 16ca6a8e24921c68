#include "format/shortest_decimal.h"

#include <bit>
#include <cstdlib>

// The method: the rounding interval of v = c * 2^q (the reals that read back
// to v) is scaled by 10^-k, with k chosen so that the interval is at least
// one unit wide at that scale. Every bound is computed as 4 times its scaled
// value, rounded to odd: exact values stay even, inexact ones become odd, so
// the comparisons below are exact although the scaling is not. Among the
// integers at scales 10^(k+1) and 10^k that lie in the interval, the
// coarser one wins; at scale 10^k two may fit, and the nearer one wins.

namespace ww {
namespace {

__extension__ typedef unsigned __int128 U128;

// Scaled powers of ten: for 10^e with e in kMinE..kMaxE (the range that the
// doubles need), g = floor(10^e * 2^(127 - floor(log2 10^e))) + 1, a 128-bit
// number with its top bit set that slightly overestimates 10^e.
constexpr int kMinE = -292;
constexpr int kMaxE = 324;

// A non-negative integer of up to 1280 bits, just enough to make the table.
struct Big {
  static constexpr int kLimbs = 40;
  std::uint32_t limb[kLimbs] = {};  // least significant first

  void mul_small(std::uint32_t m) {
    std::uint64_t carry = 0;
    for (std::uint32_t& x : limb) {
      const std::uint64_t t = std::uint64_t{x} * m + carry;
      x = static_cast<std::uint32_t>(t);
      carry = t >> 32;
    }
    if (carry != 0) std::abort();
  }
  void div_small(std::uint32_t d) {
    std::uint64_t rem = 0;
    for (int i = kLimbs - 1; i >= 0; --i) {
      const std::uint64_t t = (rem << 32) | limb[i];
      limb[i] = static_cast<std::uint32_t>(t / d);
      rem = t % d;
    }
  }
  int bit_length() const {
    for (int i = kLimbs - 1; i >= 0; --i) {
      if (limb[i] != 0) return 32 * i + std::bit_width(limb[i]);
    }
    return 0;
  }
  bool bit(int b) const { return b >= 0 && ((limb[b / 32] >> (b % 32)) & 1) != 0; }
  // The 128 bits from bit `top` down (zeros below bit 0).
  U128 bits_below(int top) const {
    U128 r = 0;
    for (int b = top - 1; b >= top - 128; --b) r = (r << 1) | (bit(b) ? 1 : 0);
    return r;
  }
};

struct Pow10Table {
  U128 g[kMaxE - kMinE + 1];
  Pow10Table() {
    Big pow;  // 10^n
    pow.limb[0] = 1;
    for (int n = 0; n <= kMaxE; ++n) {
      const int len = pow.bit_length();
      // 10^n itself: its top 128 bits.
      g[n - kMinE] = pow.bits_below(len) + 1;
      if (n >= 1 && -n >= kMinE) {
        // 10^-n: floor(2^(127 + len) / 10^n), dividing by 10^9 while it can.
        Big x;
        x.limb[(127 + len) / 32] = std::uint32_t{1} << ((127 + len) % 32);
        int left = n;
        for (; left >= 9; left -= 9) x.div_small(1000000000);
        std::uint32_t rest = 1;
        for (; left > 0; --left) rest *= 10;
        x.div_small(rest);
        g[-n - kMinE] = x.bits_below(128) + 1;
      }
      pow.mul_small(10);
    }
  }
};

const Pow10Table& pow10_table() {
  static const Pow10Table table;
  return table;
}

// floor(log10(2^e)), floor(log10(3/4 * 2^e)) and floor(log2(10^e)) for the
// exponents that occur here (checked far beyond them).
int floor_log10_pow2(int e) { return (e * 1262611) >> 22; }
int floor_log10_three_quarters_pow2(int e) { return (e * 1262611 - 524031) >> 22; }
int floor_log2_pow10(int e) { return (e * 1741647) >> 19; }

// The top 64 bits of g * cp (a 192-bit product), rounded to odd: the lowest
// bit is set when anything below them is, beyond what the overestimate in g
// can account for.
std::uint64_t round_to_odd(U128 g, std::uint64_t cp) {
  const U128 x = static_cast<U128>(static_cast<std::uint64_t>(g)) * cp;
  const U128 y = static_cast<U128>(static_cast<std::uint64_t>(g >> 64)) * cp;
  const std::uint64_t x1 = static_cast<std::uint64_t>(x >> 64);
  const std::uint64_t z = static_cast<std::uint64_t>(y) + x1;
  const std::uint64_t y1 = static_cast<std::uint64_t>(y >> 64) + (z < x1 ? 1 : 0);
  return y1 | (z > 1 ? 1 : 0);
}

// digits is not 0 and has at most 17 digits, so at most 16 trailing zeros.
Decimal strip_trailing_zeros(std::uint64_t digits, int exponent) {
  if (digits % 10 != 0) return {digits, exponent};
  while (digits % 100000000 == 0) {
    digits /= 100000000;
    exponent += 8;
  }
  if (digits % 10000 == 0) {
    digits /= 10000;
    exponent += 4;
  }
  if (digits % 100 == 0) {
    digits /= 100;
    exponent += 2;
  }
  if (digits % 10 == 0) {
    digits /= 10;
    exponent += 1;
  }
  return {digits, exponent};
}

}  // namespace

Decimal shortest_decimal(double d) {
  const auto bits = std::bit_cast<std::uint64_t>(d);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  if (biased == 0 && fraction == 0) return {0, 0};

  std::uint64_t c = fraction;
  int q = -1074;
  if (biased != 0) {
    c |= std::uint64_t{1} << 52;
    q = biased - 1075;
    // Integers below 2^53 are their own shortest form.
    if (q <= 0 && q > -53 && (c & ((std::uint64_t{1} << -q) - 1)) == 0) return strip_trailing_zeros(c >> -q, 0);
  }

  // Bounds of the interval may be taken when they read back to v, that is
  // when c is even (ties read to even).
  const bool even = (c & 1) == 0;
  // At a power of two the next double below is half as far as the one above.
  const bool lower_closer = fraction == 0 && biased > 1;
  const std::uint64_t cbl = 4 * c - 2 + (lower_closer ? 1 : 0);
  const std::uint64_t cb = 4 * c;
  const std::uint64_t cbr = 4 * c + 2;

  const int k = lower_closer ? floor_log10_three_quarters_pow2(q) : floor_log10_pow2(q);
  const int h = q + floor_log2_pow10(-k) + 1;  // 1 to 4
  const U128 g = pow10_table().g[-k - kMinE];
  const std::uint64_t vbl = round_to_odd(g, cbl << h);
  const std::uint64_t vb = round_to_odd(g, cb << h);
  const std::uint64_t vbr = round_to_odd(g, cbr << h);
  const std::uint64_t lower = vbl + (even ? 0 : 1);
  const std::uint64_t upper = vbr - (even ? 0 : 1);

  const std::uint64_t s = vb / 4;
  if (s >= 10) {
    // At most one of the two multiples of ten around s fits.
    const std::uint64_t sp = s / 10;
    const bool down_fits = lower <= 40 * sp;
    const bool up_fits = 40 * sp + 40 <= upper;
    if (down_fits != up_fits) return strip_trailing_zeros(sp + (up_fits ? 1 : 0), k + 1);
  }
  const bool down_fits = lower <= 4 * s;
  const bool up_fits = 4 * s + 4 <= upper;
  if (down_fits != up_fits) return strip_trailing_zeros(s + (up_fits ? 1 : 0), k);
  // Both fit: the nearer, or the even one of two as near.
  const std::uint64_t mid = 4 * s + 2;
  const bool round_up = vb > mid || (vb == mid && (s & 1) != 0);
  return strip_trailing_zeros(s + (round_up ? 1 : 0), k);
}

}  // namespace ww
