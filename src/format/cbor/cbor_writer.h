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

// The primitives are named as the MessagePack writer (msgpack::Writer)
// names its own, so that output written once for both formats takes either
// writer as a template argument.
struct Writer {
  // Arrays and maps of fewer than kShortCount items have a one-byte head:
  // kShortArray or kShortMap with the count in its low bits.
  static constexpr std::uint64_t kShortCount = 24;
  static constexpr std::uint8_t kShortArray = static_cast<std::uint8_t>(Major::Array) << 5;
  static constexpr std::uint8_t kShortMap = static_cast<std::uint8_t>(Major::Map) << 5;
  // Texts shorter than kShortStrLength bytes have a one-byte head likewise.
  static constexpr std::uint64_t kShortStrLength = 24;
  static constexpr std::uint8_t kShortStr = static_cast<std::uint8_t>(Major::Text) << 5;

  static void put_null(std::string& out) { out.push_back(static_cast<char>(0xf6)); }
  static void put_bool(std::string& out, bool v) { out.push_back(static_cast<char>(v ? 0xf5 : 0xf4)); }
  static void put_uint(std::string& out, std::uint64_t v) { put_head(out, Major::Unsigned, v); }
  // A negative n as major type 1 carrying -1 - n; 0 or more as major type 0.
  static void put_int(std::string& out, std::int64_t v) {
    if (v >= 0) {
      put_head(out, Major::Unsigned, static_cast<std::uint64_t>(v));
    } else {
      put_head(out, Major::Negative, ~static_cast<std::uint64_t>(v));
    }
  }
  // Half (f9), single (fa) or double (fb) precision, the first that gives
  // back the same 64 bits.
  static void put_f64(std::string& out, double v);
  static void put_str(std::string& out, std::string_view s) {
    put_head(out, Major::Text, s.size());
    out.append(s);
  }
  static void put_array_header(std::string& out, std::uint64_t n) { put_head(out, Major::Array, n); }
  static void put_map_header(std::string& out, std::uint64_t n) { put_head(out, Major::Map, n); }

  // A record is a map keyed by field name, fields in declaration order.
  static void put_record_header(std::string& out, std::uint64_t fields) { put_map_header(out, fields); }
  static void put_field_name(std::string& out, std::string_view name) { put_str(out, name); }
};

}  // namespace ww::cbor
