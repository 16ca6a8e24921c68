#include "format/float_text.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "format/decimal_digits.h"
#include "format/shortest_decimal.h"

namespace ww {
namespace {

// The shortest round-trip digits of |d| (no leading zeros) and the decimal
// exponent of the first digit. d must be finite. Sixteen '0's follow the
// digits, and the buffer is long enough for the layouts below to copy
// fixed-size blocks.
struct Digits {
  char buf[48];
  int len = 0;
  int exp = 0;
  bool negative = false;
};

Digits shortest_digits(double d) {
  Digits r;
  r.negative = std::signbit(d);
  const Decimal dec = shortest_decimal(d);
  r.len = digits::length(dec.digits);
  digits::write(r.buf, dec.digits, r.len);
  std::memcpy(r.buf + r.len, "0000000000000000", 16);
  r.exp = dec.exponent + r.len - 1;
  return r;
}

// Whether |d| lies exactly halfway between the digits g and the next digit
// string of the same length, away from zero. With D the digits of g as an
// integer, that midpoint is mid * 10^p where mid = 10 * D + 5 and p is the
// exponent of the digit after g's last. Writing |d| = odd * 2^e2, the two
// are equal exactly when e2 == p (mid is odd, so the powers of two must
// match) and odd * 5^-p == mid for p < 0, or odd == mid * 5^p for p >= 0.
bool halfway_above(const Digits& g, double d) {
  const auto bits = std::bit_cast<std::uint64_t>(d);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  std::uint64_t odd = bits & ((std::uint64_t{1} << 52) - 1);
  int e2 = -1074;
  if (biased != 0) {
    odd |= std::uint64_t{1} << 52;
    e2 = biased - 1075;
  }
  if (odd == 0) return false;
  const int zeros = std::countr_zero(odd);
  odd >>= zeros;
  e2 += zeros;

  std::uint64_t mid = 0;
  for (int i = 0; i < g.len; ++i) mid = mid * 10 + static_cast<std::uint64_t>(g.buf[i] - '0');
  mid = mid * 10 + 5;  // at most 18 digits
  const int p = g.exp - g.len;
  if (e2 != p) return false;
  // Scale the smaller side by 5^|p|; a product past 64 bits cannot match.
  std::uint64_t small = p < 0 ? odd : mid;
  const std::uint64_t big = p < 0 ? mid : odd;
  for (int i = 0; i < std::abs(p); ++i) {
    if (small > big / 5) return false;
    small *= 5;
  }
  return small == big;
}

// shortest_decimal settles an exact tie between two shortest strings on the
// even one; this takes the one farther from zero instead, as long as it still
// reads back to d. The last digit of the even string is at most 8, so the
// step up never carries.
void prefer_ties_away(Digits& g, double d) {
  if (d == 0 || (g.buf[g.len - 1] - '0') % 2 != 0 || !halfway_above(g, d)) return;
  Digits up = g;
  ++up.buf[up.len - 1];
  char text[48];
  char* p = text;
  for (int i = 0; i < up.len; ++i) *p++ = up.buf[i];
  *p++ = 'e';
  p = std::to_chars(p, text + sizeof text, up.exp - up.len + 1).ptr;
  double back = 0;
  std::from_chars(text, p, back);
  if (back == std::fabs(d)) g = up;
}

void append_fixed(const Digits& g, std::string& out, bool force_fraction) {
  if (g.negative) out.push_back('-');
  if (g.exp >= 0) {
    int int_digits = g.exp + 1;
    if (g.len <= int_digits) {
      out.append(g.buf, g.len);
      out.append(int_digits - g.len, '0');
      if (force_fraction) out.append(".0");
    } else {
      out.append(g.buf, int_digits);
      out.push_back('.');
      out.append(g.buf + int_digits, g.len - int_digits);
    }
  } else {
    out.append("0.");
    out.append(-g.exp - 1, '0');
    out.append(g.buf, g.len);
  }
}

// The layouts of a double whose first digit has a decimal exponent in
// -5..15 (fixed) or any (exponent form), written at p with room for
// kJsonDoubleRoom bytes; both return the end. They copy fixed-size blocks of g.buf and step
// by the real length, so the bytes after the end are scratch.
char* put_fixed(const Digits& g, char* p) {
  if (g.negative) *p++ = '-';
  if (g.exp >= 0) {
    const int int_digits = g.exp + 1;
    std::memcpy(p, g.buf, 16);
    p += int_digits;
    if (g.len <= int_digits) {
      // The '0's after the digits fill the integer part.
      std::memcpy(p, ".0", 2);
      return p + 2;
    }
    *p++ = '.';
    std::memcpy(p, g.buf + int_digits, 16);
    return p + (g.len - int_digits);
  }
  std::memcpy(p, "0.0000", 6);
  p += 2 + (-g.exp - 1);
  std::memcpy(p, g.buf, 24);
  return p + g.len;
}

char* put_exponent_form(const Digits& g, char* p, bool plus_sign) {
  if (g.negative) *p++ = '-';
  *p++ = g.buf[0];
  if (g.len > 1) {
    *p++ = '.';
    std::memcpy(p, g.buf + 1, 16);
    p += g.len - 1;
  }
  *p++ = 'e';
  int e = g.exp;
  if (e < 0) {
    *p++ = '-';
    e = -e;
  } else if (plus_sign) {
    *p++ = '+';
  }
  if (e >= 100) {
    *p++ = static_cast<char>('0' + e / 100);
    e %= 100;
    *p++ = static_cast<char>('0' + e / 10);
  } else if (e >= 10) {
    *p++ = static_cast<char>('0' + e / 10);
  }
  *p++ = static_cast<char>('0' + e % 10);
  return p;
}

bool append_non_finite(double d, std::string& out) {
  if (std::isnan(d)) {
    out.append("NaN");
    return true;
  }
  if (std::isinf(d)) {
    out.append(d < 0 ? "-inf" : "inf");
    return true;
  }
  return false;
}

}  // namespace

char* write_json_double(double d, char* p) {
  if (!std::isfinite(d)) {
    std::memcpy(p, "null", 4);
    return p + 4;
  }
  const Digits g = shortest_digits(d);
  return g.exp >= -5 && g.exp <= 15 ? put_fixed(g, p) : put_exponent_form(g, p, true);
}

void append_json_double(double d, std::string& out) {
  char text[kJsonDoubleRoom];
  const char* end = write_json_double(d, text);
  out.append(text, static_cast<std::size_t>(end - text));
}

void append_debug_double(double d, std::string& out) {
  if (append_non_finite(d, out)) return;
  const Digits g = shortest_digits(d);
  const double a = std::fabs(d);
  char text[kJsonDoubleRoom];
  char* end = nullptr;
  if (a != 0.0 && (a < 1e-4 || a >= 1e16)) {
    end = put_exponent_form(g, text, false);
  } else if (g.exp >= -5 && g.exp <= 15) {
    end = put_fixed(g, text);
  } else {
    append_fixed(g, out, true);
    return;
  }
  out.append(text, static_cast<std::size_t>(end - text));
}

void append_plain_double(double d, std::string& out) {
  if (append_non_finite(d, out)) return;
  Digits g = shortest_digits(d);
  prefer_ties_away(g, d);
  append_fixed(g, out, true);
}

}  // namespace ww
