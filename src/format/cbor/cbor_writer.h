// CBOR pieces appended to one growing buffer: the shortest head for every
// integer and length, the narrowest float width that holds a double
// exactly, definite lengths only, no tags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ww::cbor {

// Major types.
enum class Major : std::uint8_t { Unsigned = 0, Negative = 1, Bytes = 2, Text = 3, Array = 4, Map = 5, Tag = 6, Simple = 7 };

// The argument in the initial byte up to 23, else in 1, 2, 4 or 8 bytes.
void put_head(std::string& out, Major major, std::uint64_t arg);

inline void put_uint(std::string& out, std::uint64_t v) { put_head(out, Major::Unsigned, v); }
// A negative n as major type 1 carrying -1 - n; 0 or more as major type 0.
inline void put_int(std::string& out, std::int64_t v) {
  if (v >= 0) {
    put_head(out, Major::Unsigned, static_cast<std::uint64_t>(v));
  } else {
    put_head(out, Major::Negative, ~static_cast<std::uint64_t>(v));
  }
}
// Half (f9), single (fa) or double (fb) precision, the first that gives
// back the same 64 bits.
void put_f64(std::string& out, double v);
inline void put_bool(std::string& out, bool v) { out.push_back(static_cast<char>(v ? 0xf5 : 0xf4)); }
inline void put_null(std::string& out) { out.push_back(static_cast<char>(0xf6)); }
inline void put_text(std::string& out, std::string_view s) {
  put_head(out, Major::Text, s.size());
  out.append(s);
}
inline void put_array_head(std::string& out, std::size_t n) { put_head(out, Major::Array, n); }
inline void put_map_head(std::string& out, std::size_t n) { put_head(out, Major::Map, n); }

}  // namespace ww::cbor
