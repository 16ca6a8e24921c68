// The text forms of doubles and integers, held against the earlier writers
// built on std::to_chars (kept here as the reference) over many generated
// values:
// random bit patterns, ranges, integers, powers of ten and their
// neighbours, subnormals, the edges of the fixed and exponent layouts, and
// every half and many single precision values.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "format/float_text.h"
#include "format/json/json_writer.h"
#include "split_mix.h"

namespace ww {
namespace {

// ---- the reference writers -----------------------------------------------------

namespace reference {

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
  int e = 0;
  std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), res.ptr, e);
  r.exp = e;
  return r;
}

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
  mid = mid * 10 + 5;
  const int p = g.exp - g.len;
  if (e2 != p) return false;
  std::uint64_t small = p < 0 ? odd : mid;
  const std::uint64_t big = p < 0 ? mid : odd;
  for (int i = 0; i < std::abs(p); ++i) {
    if (small > big / 5) return false;
    small *= 5;
  }
  return small == big;
}

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

void append_fixed(const Digits& g, std::string& out) {
  if (g.negative) out.push_back('-');
  if (g.exp >= 0) {
    const int int_digits = g.exp + 1;
    if (g.len <= int_digits) {
      out.append(g.buf, g.len);
      out.append(int_digits - g.len, '0');
      out.append(".0");
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
  out += std::to_string(std::abs(g.exp));
}

std::string json(double d) {
  if (!std::isfinite(d)) return "null";
  std::string out;
  const Digits g = shortest_digits(d);
  if (g.exp >= -5 && g.exp <= 15) {
    append_fixed(g, out);
  } else {
    append_exponent_form(g, out, true);
  }
  return out;
}

std::string non_finite(double d) { return std::isnan(d) ? "NaN" : d < 0 ? "-inf" : "inf"; }

std::string debug(double d) {
  if (!std::isfinite(d)) return non_finite(d);
  std::string out;
  const Digits g = shortest_digits(d);
  const double a = std::fabs(d);
  if (a != 0.0 && (a < 1e-4 || a >= 1e16)) {
    append_exponent_form(g, out, false);
  } else {
    append_fixed(g, out);
  }
  return out;
}

std::string plain(double d) {
  if (!std::isfinite(d)) return non_finite(d);
  std::string out;
  Digits g = shortest_digits(d);
  prefer_ties_away(g, d);
  append_fixed(g, out);
  return out;
}

}  // namespace reference

// ---- generated values ----------------------------------------------------------

using Rng = ww::test_rng::SplitMix;

double from_bits(std::uint64_t b) { return std::bit_cast<double>(b); }

double from_half(std::uint16_t h) {
  const double sign = (h & 0x8000) != 0 ? -1.0 : 1.0;
  const int exp = (h >> 10) & 0x1f;
  const int frac = h & 0x3ff;
  if (exp == 0) return sign * std::ldexp(frac, -24);
  if (exp == 31) return frac == 0 ? sign * INFINITY : std::nan("");
  return sign * std::ldexp(1024 + frac, exp - 25);
}

// Appends d and its neighbours `ulps` steps away on both sides.
void with_neighbours(double d, int ulps, std::vector<double>& out) {
  out.push_back(d);
  double up = d, down = d;
  for (int i = 0; i < ulps; ++i) {
    up = std::nextafter(up, INFINITY);
    down = std::nextafter(down, -INFINITY);
    out.push_back(up);
    out.push_back(down);
  }
}

std::vector<double> generated_doubles() {
  Rng rng{42};
  std::vector<double> v;
  const double specials[] = {0.0, -0.0, INFINITY, -INFINITY, std::nan(""), 5e-324, -5e-324, 2.2250738585072014e-308,
                             2.225073858507201e-308, 1.7976931348623157e308, 9007199254740992.0, 9007199254740993.0,
                             -529.22589111328125, 0.1, 0.2, 0.3, 1.0 / 3, 2.0 / 3, 100.0, 1e15, 1e16, 1e-5, 1e-4,
                             1e-6, 123.456};
  for (double d : specials) v.push_back(d);
  for (int i = 0; i < 60000; ++i) v.push_back(from_bits(rng.next()));
  for (int i = 0; i < 20000; ++i) v.push_back(from_bits(rng.next() & 0x800FFFFFFFFFFFFFull));  // subnormals
  for (int i = 0; i < 20000; ++i) {
    // Powers of two and their neighbours, where the gap below is narrower.
    const std::uint64_t b = (rng.next() & 0x7FF0000000000000ull) | (rng.next() & 0x8000000000000000ull);
    v.push_back(from_bits(b));
    v.push_back(from_bits(b | 1));
    v.push_back(from_bits(b | 0xFFFFFFFFFFFFFull));
  }
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t n = rng.next() >> (rng.next() & 63);
    v.push_back(static_cast<double>(n));
    v.push_back(-static_cast<double>(n));
  }
  for (int i = 0; i < 20000; ++i) {
    v.push_back(rng.unit() * 2e6 - 1e6);
    v.push_back(rng.unit() * 200 - 100);
    v.push_back(rng.unit());
    v.push_back(static_cast<double>(static_cast<std::int64_t>(rng.next() % 2000000) - 1000000) / 1000);
  }
  for (int i = 0; i < 20000; ++i) {
    // Short decimals: few digits at every scale.
    char text[32];
    std::snprintf(text, sizeof text, "%llue%d", static_cast<unsigned long long>(rng.next() % 100000),
                  static_cast<int>(rng.next() % 640) - 330);
    v.push_back(std::strtod(text, nullptr));
  }
  for (int e = -330; e <= 310; ++e) {
    char text[16];
    std::snprintf(text, sizeof text, "1e%d", e);
    with_neighbours(std::strtod(text, nullptr), 3, v);
  }
  // Where the layouts change: around 1e-5, 1e-4, 1e15 and 1e16.
  for (double edge : {1e-5, 1e-4, 1e15, 1e16}) {
    with_neighbours(edge, 2000, v);
    with_neighbours(-edge, 20, v);
  }
  for (std::uint32_t h = 0; h <= 0xFFFF; ++h) v.push_back(from_half(static_cast<std::uint16_t>(h)));
  for (int i = 0; i < 60000; ++i) v.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(rng.next())));
  return v;
}

TEST(DoubleText, MatchesReferenceWriters) {
  int failures = 0;
  for (double d : generated_doubles()) {
    std::string j, g, p;
    append_json_double(d, j);
    append_debug_double(d, g);
    append_plain_double(d, p);
    const bool same = j == reference::json(d) && g == reference::debug(d) && p == reference::plain(d);
    if (!same && ++failures <= 10) {
      ADD_FAILURE() << std::hexfloat << d << ": json " << j << " vs " << reference::json(d) << ", debug " << g
                    << " vs " << reference::debug(d) << ", plain " << p << " vs " << reference::plain(d);
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(DoubleText, AppendsToWhatIsThere) {
  std::string out = "x=";
  append_json_double(-1.5e-7, out);
  out += ",";
  append_json_double(1234567.0, out);
  EXPECT_EQ(out, "x=-1.5e-7,1234567.0");
}

TEST(IntegerText, MatchesToChars) {
  std::vector<std::uint64_t> values = {0, std::numeric_limits<std::uint64_t>::max()};
  for (std::uint64_t p = 1; p <= 1000000000000000000ull; p *= 10) {
    values.insert(values.end(), {p - 1, p, p + 1, 2 * p - 1, 9 * p, 10 * p - 1});
  }
  Rng rng{7};
  for (int i = 0; i < 20000; ++i) values.push_back(rng.next() >> (rng.next() & 63));
  for (std::uint64_t u : values) {
    char ref[24];
    std::string out;
    json::append_u64(u, out);
    EXPECT_EQ(out, std::string(ref, std::to_chars(ref, ref + sizeof ref, u).ptr));
    for (std::int64_t i : {static_cast<std::int64_t>(u), -static_cast<std::int64_t>(u)}) {
      out.clear();
      json::append_i64(i, out);
      EXPECT_EQ(out, std::string(ref, std::to_chars(ref, ref + sizeof ref, i).ptr));
    }
  }
}

}  // namespace
}  // namespace ww
