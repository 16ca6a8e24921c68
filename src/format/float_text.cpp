#include "format/float_text.h"

#include <charconv>
#include <cmath>
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
  append_fixed(shortest_digits(d), out, true);
}

}  // namespace ww
