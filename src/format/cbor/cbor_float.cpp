#include "format/cbor/cbor_float.h"

#include <bit>

namespace ww::cbor {
namespace {

constexpr std::uint64_t kMantissaMask = (std::uint64_t{1} << 52) - 1;
constexpr std::uint64_t kQuietBit = std::uint64_t{1} << 51;

struct Parts {
  std::uint64_t sign;  // 0 or 1
  int exp;             // biased
  std::uint64_t man;   // 52 bits
};

Parts split(double d) {
  const auto bits = std::bit_cast<std::uint64_t>(d);
  return {bits >> 63, static_cast<int>((bits >> 52) & 0x7ff), bits & kMantissaMask};
}

constexpr bool low_bits_zero(std::uint64_t v, int n) { return (v & ((std::uint64_t{1} << n) - 1)) == 0; }

// The narrower format: `man_bits` of mantissa, exponents emin..emax for
// normal numbers; subnormals go down to emin - man_bits.
template <class Bits, int man_bits, int emin, int emax>
std::optional<Bits> exact_narrow(double d) {
  constexpr int exp_bits = sizeof(Bits) * 8 - 1 - man_bits;
  constexpr Bits exp_all = static_cast<Bits>(((Bits{1} << exp_bits) - 1) << man_bits);
  constexpr int drop = 52 - man_bits;
  const Parts p = split(d);
  const Bits sign = static_cast<Bits>(p.sign << (sizeof(Bits) * 8 - 1));
  if (p.exp == 0x7ff) {
    if (p.man == 0) return static_cast<Bits>(sign | exp_all);
    // A NaN widens with its quiet bit set and its payload shifted back up.
    if ((p.man & kQuietBit) == 0 || !low_bits_zero(p.man, drop)) return std::nullopt;
    return static_cast<Bits>(sign | exp_all | static_cast<Bits>(p.man >> drop));
  }
  if (p.exp == 0) {
    if (p.man == 0) return sign;  // a double subnormal is far below either format
    return std::nullopt;
  }
  const int e = p.exp - 1023;
  if (e > emax) return std::nullopt;
  if (e >= emin) {
    if (!low_bits_zero(p.man, drop)) return std::nullopt;
    return static_cast<Bits>(sign | static_cast<Bits>(static_cast<Bits>(e - emin + 1) << man_bits) |
                             static_cast<Bits>(p.man >> drop));
  }
  // A subnormal of the narrow format: a multiple of 2^(emin - man_bits).
  const int shift = drop + (emin - e);
  if (shift > 52) return std::nullopt;
  const std::uint64_t significand = (std::uint64_t{1} << 52) | p.man;
  if (!low_bits_zero(significand, shift)) return std::nullopt;
  return static_cast<Bits>(sign | static_cast<Bits>(significand >> shift));
}

}  // namespace

std::optional<std::uint16_t> exact_half(double d) { return exact_narrow<std::uint16_t, 10, -14, 15>(d); }

std::optional<std::uint32_t> exact_single(double d) { return exact_narrow<std::uint32_t, 23, -126, 127>(d); }

double half_to_double(std::uint16_t bits) {
  const std::uint64_t sign = static_cast<std::uint64_t>(bits >> 15) << 63;
  const unsigned exp = (bits >> 10) & 0x1f;
  const std::uint64_t man = bits & 0x3ff;
  if (exp == 0x1f) {
    if (man == 0) return std::bit_cast<double>(sign | 0x7ff0000000000000u);
    return std::bit_cast<double>(sign | 0x7ff8000000000000u | (man << 42));
  }
  if (exp == 0) {
    const double magnitude = static_cast<double>(man) * 0x1p-24;  // exact
    return sign ? -magnitude : magnitude;
  }
  return std::bit_cast<double>(sign | (static_cast<std::uint64_t>(exp - 15 + 1023) << 52) | (man << 42));
}

double single_to_double(std::uint32_t bits) { return static_cast<double>(std::bit_cast<float>(bits)); }

}  // namespace ww::cbor
