// Small helpers shared by the fuzz targets: failing loudly, turning raw
// bytes into the valid UTF-8 text that every text parameter receives, and
// splitting an input into the pieces of a structured run.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "format/debug_text.h"
#include "format/json/json_value.h"

namespace ww::fuzz {

// An oracle that does not hold: say which and stop.
[[noreturn]] inline void fail(const char* what, std::string_view a = {}, std::string_view b = {}) {
  std::fprintf(stderr, "oracle failed: %s\n  %.*s\n  %.*s\n", what, static_cast<int>(a.size()), a.data(),
               static_cast<int>(b.size()), b.data());
  std::abort();
}

}  // namespace ww::fuzz

// Fails with the description and texts unless `cond` holds; the texts are
// only computed on failure.
#define WW_FUZZ_CHECK(cond, ...)                 \
  do {                                           \
    if (!(cond)) ::ww::fuzz::fail(__VA_ARGS__);  \
  } while (0)

namespace ww::fuzz {

inline std::string_view as_bytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Text parameters only ever hold valid UTF-8: invalid input is repaired the
// way a caller's decoder would.
inline std::string as_text(std::string_view bytes) {
  return is_valid_utf8(bytes) ? std::string(bytes) : utf8_lossy(bytes);
}

// Whether `text` ends with " at line <L> column <C>", L at least 1.
inline bool ends_with_position(std::string_view text) {
  auto digits_back = [&](std::size_t end) {
    std::size_t i = end;
    while (i > 0 && text[i - 1] >= '0' && text[i - 1] <= '9') --i;
    return i;
  };
  std::size_t col = digits_back(text.size());
  if (col == text.size()) return false;
  constexpr std::string_view kColumn = " column ";
  if (col < kColumn.size() || text.substr(col - kColumn.size(), kColumn.size()) != kColumn) return false;
  const std::size_t line_end = col - kColumn.size();
  const std::size_t line = digits_back(line_end);
  if (line == line_end || text[line] == '0') return false;
  constexpr std::string_view kLine = " at line ";
  return line >= kLine.size() && text.substr(line - kLine.size(), kLine.size()) == kLine;
}

// Whether two doubles lie at most a few representable steps apart.
inline bool nearly_equal(double a, double b) {
  if (a == b) return true;
  auto ordered = [](double d) {
    const auto bits = std::bit_cast<std::int64_t>(d);
    return bits < 0 ? -(bits & INT64_MAX) : bits;
  };
  const std::int64_t x = ordered(a);
  const std::int64_t y = ordered(b);
  return (x > y ? x - y : y - x) <= 8;
}

inline bool same_but_float_rounding(const JsonValue& a, const JsonValue& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case JsonValue::Kind::F64: return nearly_equal(a.as_f64(), b.as_f64());
    case JsonValue::Kind::Array: {
      const auto& x = a.as_array();
      const auto& y = b.as_array();
      if (x.size() != y.size()) return false;
      for (std::size_t i = 0; i < x.size(); ++i) {
        if (!same_but_float_rounding(x[i], y[i])) return false;
      }
      return true;
    }
    case JsonValue::Kind::Object: {
      const auto& x = a.as_object();
      const auto& y = b.as_object();
      if (x.size() != y.size()) return false;
      for (std::size_t i = 0; i < x.size(); ++i) {
        if (x[i].first != y[i].first || !same_but_float_rounding(x[i].second, y[i].second)) return false;
      }
      return true;
    }
    default: return a == b;
  }
}

// Whether two JSON texts are the same but for the last digits of their
// doubles. The JSON reader does not always give the nearest double (by
// design), so a double can move by an ulp or two each time it passes
// through text; everything else must match exactly.
inline bool same_but_float_rounding(std::string_view a, std::string_view b) {
  if (a == b) return true;
  auto x = parse_json_text(a);
  auto y = parse_json_text(b);
  return x.ok() && y.ok() && same_but_float_rounding(*x, *y);
}

// The pieces of `input` between `sep` bytes (always at least one).
inline std::vector<std::string_view> split(std::string_view input, char sep) {
  std::vector<std::string_view> out;
  for (;;) {
    const std::size_t at = input.find(sep);
    if (at == std::string_view::npos) {
      out.push_back(input);
      return out;
    }
    out.push_back(input.substr(0, at));
    input.remove_prefix(at + 1);
  }
}

}  // namespace ww::fuzz
