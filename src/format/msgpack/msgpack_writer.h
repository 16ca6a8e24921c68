// MessagePack output pieces, appended to one growing buffer: integers and
// headers in their shortest form, every double as float 64, big-endian.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace ww::msgpack {

namespace detail {

// `marker` followed by the low `N` bytes of `v`, most significant first.
template <int N>
inline void put_be(std::string& out, std::uint8_t marker, std::uint64_t v) {
  char buf[1 + N];
  buf[0] = static_cast<char>(marker);
  for (int i = 0; i < N; ++i) buf[1 + i] = static_cast<char>(v >> (8 * (N - 1 - i)));
  out.append(buf, sizeof buf);
}

// Counts beyond 32 bits have no header; no input of the system gets near.
[[noreturn]] void count_too_large();

// A header: the fix form below `fix_limit`, else the 16- or 32-bit form.
inline void put_header(std::string& out, std::uint8_t fix_base, std::uint64_t fix_limit,
                       std::uint8_t m16, std::uint64_t n) {
  if (n < fix_limit) {
    out.push_back(static_cast<char>(fix_base | n));
  } else if (n <= 0xffff) {
    put_be<2>(out, m16, n);
  } else if (n <= 0xffffffffu) {
    put_be<4>(out, static_cast<std::uint8_t>(m16 + 1), n);
  } else {
    count_too_large();
  }
}

}  // namespace detail

// The primitives are named as the CBOR writer (cbor::Writer) names its own,
// so that output written once for both formats takes either writer as a
// template argument.
struct Writer {
  // Arrays and maps of fewer than kShortCount items have a one-byte header:
  // kShortArray or kShortMap with the count in its low bits.
  static constexpr std::uint64_t kShortCount = 16;
  static constexpr std::uint8_t kShortArray = 0x90;
  static constexpr std::uint8_t kShortMap = 0x80;
  // Texts shorter than kShortStrLength bytes have a one-byte header:
  // kShortStr with the length in its low bits.
  static constexpr std::uint64_t kShortStrLength = 32;
  static constexpr std::uint8_t kShortStr = 0xa0;

  static void put_null(std::string& out) { out.push_back(static_cast<char>(0xc0)); }

  static void put_bool(std::string& out, bool b) { out.push_back(static_cast<char>(b ? 0xc3 : 0xc2)); }

  static void put_uint(std::string& out, std::uint64_t v) {
    if (v < 0x80) {
      out.push_back(static_cast<char>(v));
    } else if (v <= 0xff) {
      detail::put_be<1>(out, 0xcc, v);
    } else if (v <= 0xffff) {
      detail::put_be<2>(out, 0xcd, v);
    } else if (v <= 0xffffffffu) {
      detail::put_be<4>(out, 0xce, v);
    } else {
      detail::put_be<8>(out, 0xcf, v);
    }
  }

  // A value of 0 or more is written exactly as the unsigned value.
  static void put_int(std::string& out, std::int64_t v) {
    if (v >= 0) {
      put_uint(out, static_cast<std::uint64_t>(v));
      return;
    }
    const auto bits = static_cast<std::uint64_t>(v);
    if (v >= -32) {
      out.push_back(static_cast<char>(bits));
    } else if (v >= -128) {
      detail::put_be<1>(out, 0xd0, bits);
    } else if (v >= -32768) {
      detail::put_be<2>(out, 0xd1, bits);
    } else if (v >= INT32_MIN) {
      detail::put_be<4>(out, 0xd2, bits);
    } else {
      detail::put_be<8>(out, 0xd3, bits);
    }
  }

  // Always float 64, the bits unchanged (NaN payloads and the sign of zero kept).
  static void put_f64(std::string& out, double d) { detail::put_be<8>(out, 0xcb, std::bit_cast<std::uint64_t>(d)); }

  static void put_str(std::string& out, std::string_view s) {
    if (s.size() < kShortStrLength) {
      out.push_back(static_cast<char>(kShortStr | s.size()));
    } else if (s.size() <= 0xff) {
      detail::put_be<1>(out, 0xd9, s.size());
    } else {
      detail::put_header(out, kShortStr, kShortStrLength, 0xda, s.size());  // past the fix and 8-bit forms
    }
    out.append(s);
  }

  static void put_array_header(std::string& out, std::uint64_t n) {
    detail::put_header(out, kShortArray, kShortCount, 0xdc, n);
  }
  static void put_map_header(std::string& out, std::uint64_t n) {
    detail::put_header(out, kShortMap, kShortCount, 0xde, n);
  }

  // The codecs write a record as the array of its field values in
  // declaration order, without names.
  static void put_record_header(std::string& out, std::uint64_t fields) { put_array_header(out, fields); }
  static void put_field_name(std::string&, std::string_view) {}
};

}  // namespace ww::msgpack
