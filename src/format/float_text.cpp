#include "format/float_text.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace ww {
namespace {

// The shortest round-trip digits of |d| (no leading zeros) and the decimal
// exponent of the first digit. d must be finite.
struct Digits {
  char buf[32];
  int len = 0;
  int exp = 0;
  bool negative = false;
};

Digits shortest_digits(double d) {
  Digits r;
  r.negative = std::signbit(d);
  char tmp[40];
  auto res = std::to_chars(tmp, tmp + sizeof tmp, std::fabs(d), std::chars_format::scientific);
  const char* p = tmp;
  for (; p < res.ptr && *p != 'e'; ++p) {
    if (*p != '.') r.buf[r.len++] = *p;
  }
  // p at 'e'
  int e = 0;
  std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), res.ptr, e);
  r.exp = e;
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

// to_chars settles an exact tie between two shortest strings on the even
// one; this takes the one farther from zero instead, as long as it still
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

void append_exponent_form(const Digits& g, std::string& out, bool plus_sign) {
  if (g.negative) out.push_back('-');
  out.push_back(g.buf[0]);
  if (g.len > 1) {
    out.push_back('.');
    out.append(g.buf + 1, g.len - 1);
  }
  out.push_back('e');
  if (g.exp < 0) {
    out.push_back('-');
  } else if (plus_sign) {
    out.push_back('+');
  }
  char tmp[8];
  auto res = std::to_chars(tmp, tmp + sizeof tmp, std::abs(g.exp));
  out.append(tmp, res.ptr);
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

void append_json_double(double d, std::string& out) {
  if (!std::isfinite(d)) {
    out.append("null");
    return;
  }
  Digits g = shortest_digits(d);
  if (g.exp >= -5 && g.exp <= 15) {
    append_fixed(g, out, true);
  } else {
    append_exponent_form(g, out, true);
  }
}

void append_debug_double(double d, std::string& out) {
  if (append_non_finite(d, out)) return;
  Digits g = shortest_digits(d);
  double a = std::fabs(d);
  if (a != 0.0 && (a < 1e-4 || a >= 1e16)) {
    append_exponent_form(g, out, false);
  } else {
    append_fixed(g, out, true);
  }
}

void append_plain_double(double d, std::string& out) {
  if (append_non_finite(d, out)) return;
  Digits g = shortest_digits(d);
  prefer_ties_away(g, d);
  append_fixed(g, out, true);
}

}  // namespace ww
