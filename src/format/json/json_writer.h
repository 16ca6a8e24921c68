// Compact JSON text pieces, appended to one growing buffer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "format/decimal_digits.h"
#include "format/float_text.h"

namespace ww::json {

// A JSON string: `"` and `\` escaped, \b \t \n \f \r, other control
// characters as \u00xx, everything else as UTF-8.
void append_str(std::string_view s, std::string& out);

inline void append_u64(std::uint64_t v, std::string& out) {
  char buf[24];
  out.append(buf, digits::put(buf, v));
}

inline void append_i64(std::int64_t v, std::string& out) {
  char buf[24];
  char* p = buf;
  auto magnitude = static_cast<std::uint64_t>(v);
  if (v < 0) {
    *p++ = '-';
    magnitude = 0 - magnitude;
  }
  out.append(buf, digits::put(p, magnitude));
}

inline void append_f64(double v, std::string& out) { append_json_double(v, out); }

}  // namespace ww::json
