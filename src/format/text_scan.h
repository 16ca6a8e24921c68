// Block scanning for the text engines: find the next byte of interest 16
// bytes at a time (SSE2) or 8 at a time (SWAR on a 64-bit word, the portable
// path), never reading past the `n` bytes given. The last block overlaps the
// one before it (its bytes already passed are masked off); input shorter
// than a word is read a byte at a time. Each routine returns the index of
// the first byte of interest, or `n` when there is none.
//
// Both block paths are always compiled (the SSE2 one where the target has
// it) so that the tests can hold each of them against a plain loop; the
// unqualified functions pick the widest.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define WW_TEXT_SCAN_SSE2 1
#endif

namespace ww::scan {

// ---- bytes one at a time ------------------------------------------------------

// What ends a run of string content: the quote, the backslash, or a control
// character (the bytes that the reader stops at and the writer escapes).
constexpr bool is_string_stop(unsigned char c) { return c == '"' || c == '\\' || c < 0x20; }
// The same as a table: one load per byte in the short loops.
inline constexpr struct StringStopTable {
  bool hit[256];
  constexpr StringStopTable() : hit() {
    for (int c = 0; c < 256; ++c) hit[c] = is_string_stop(static_cast<unsigned char>(c));
  }
} kStringStop;
constexpr bool is_json_space(unsigned char c) {
  constexpr std::uint64_t kSpaces = (1ull << ' ') | (1ull << '\n') | (1ull << '\t') | (1ull << '\r');
  return c <= ' ' && ((kSpaces >> c) & 1) != 0;
}
constexpr bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

// The length of the well-formed UTF-8 sequence that starts at p[0] (a byte
// of 0x80 or more), or 0 when it is ill-formed or cut short by the end.
// Overlongs, surrogates and code points past U+10FFFF are ill-formed.
inline std::size_t utf8_sequence_length(const unsigned char* p, std::size_t n) {
  const unsigned char lead = p[0];
  const auto cont = [](unsigned char b) { return (b & 0xC0) == 0x80; };
  if (lead < 0xC2) return 0;
  if (lead < 0xE0) return n >= 2 && cont(p[1]) ? 2 : 0;
  if (lead < 0xF0) {
    if (n < 3) return 0;
    const unsigned char lo = lead == 0xE0 ? 0xA0 : 0x80;
    const unsigned char hi = lead == 0xED ? 0x9F : 0xBF;
    return p[1] >= lo && p[1] <= hi && cont(p[2]) ? 3 : 0;
  }
  if (lead < 0xF5) {
    if (n < 4) return 0;
    const unsigned char lo = lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char hi = lead == 0xF4 ? 0x8F : 0xBF;
    return p[1] >= lo && p[1] <= hi && cont(p[2]) && cont(p[3]) ? 4 : 0;
  }
  return 0;
}

// ---- SWAR: eight bytes in a 64-bit word ----------------------------------------
//
// A word holds the bytes in memory order from its low end (loaded
// little-endian on any machine). The byte tests below are exact: each sets
// 0x80 in precisely the bytes that pass, with no carry or borrow between
// bytes, so the lowest set bit marks the first such byte.

namespace swar {

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHigh = 0x8080808080808080ull;
constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;

inline std::uint64_t load8(const unsigned char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) {
    v = ((v & 0x00000000FFFFFFFFull) << 32) | (v >> 32);
    v = ((v & 0x0000FFFF0000FFFFull) << 16) | ((v >> 16) & 0x0000FFFF0000FFFFull);
    v = ((v & 0x00FF00FF00FF00FFull) << 8) | ((v >> 8) & 0x00FF00FF00FF00FFull);
  }
  return v;
}

inline std::uint64_t zero_bytes(std::uint64_t x) { return ~(((x & kLow7) + kLow7) | x | kLow7); }
inline std::uint64_t bytes_equal(std::uint64_t x, unsigned char c) { return zero_bytes(x ^ (kOnes * c)); }
// Bytes below `n` (1 to 0x80).
inline std::uint64_t bytes_below(std::uint64_t x, unsigned char n) {
  return ~(((x & kLow7) + kOnes * (0x80u - n)) | x) & kHigh;
}
inline std::size_t first_byte(std::uint64_t mask) { return static_cast<std::size_t>(std::countr_zero(mask)) >> 3; }

inline std::uint64_t string_stops(std::uint64_t x) {
  return bytes_equal(x, '"') | bytes_equal(x, '\\') | bytes_below(x, 0x20);
}

// Runs `mask_of(word)` over the words of the input, the last one ending at
// the input's end; fewer than eight bytes go one by one.
template <class Mask, class Byte>
std::size_t find(const unsigned char* p, std::size_t n, Mask mask_of, Byte is_hit) {
  if (n < 8) {
    for (std::size_t i = 0; i < n; ++i) {
      if (is_hit(p[i])) return i;
    }
    return n;
  }
  std::size_t i = 0;
  for (; n - i > 8; i += 8) {
    const std::uint64_t m = mask_of(load8(p + i));
    if (m != 0) return i + first_byte(m);
  }
  // The first i + 8 - n bytes of the last word have been looked at.
  const std::uint64_t m = mask_of(load8(p + n - 8)) & (~std::uint64_t{0} << (8 * (i + 8 - n)));
  return m != 0 ? n - 8 + first_byte(m) : n;
}

inline std::size_t find_string_stop(const unsigned char* p, std::size_t n) {
  return find(p, n, string_stops, [](unsigned char c) { return kStringStop.hit[c]; });
}
inline std::size_t find_string_stop_or_non_ascii(const unsigned char* p, std::size_t n) {
  return find(
      p, n, [](std::uint64_t x) { return string_stops(x) | (x & kHigh); },
      [](unsigned char c) { return is_string_stop(c) || c >= 0x80; });
}
inline std::size_t find_non_ascii(const unsigned char* p, std::size_t n) {
  return find(p, n, [](std::uint64_t x) { return x & kHigh; }, [](unsigned char c) { return c >= 0x80; });
}

}  // namespace swar

// ---- SSE2: sixteen bytes in a vector ---------------------------------------------

#if WW_TEXT_SCAN_SSE2
namespace sse2 {

inline __m128i load16(const unsigned char* p) {
  __m128i v;
  std::memcpy(&v, p, 16);
  return v;
}

inline __m128i string_stops(__m128i v) {
  const __m128i quote = _mm_cmpeq_epi8(v, _mm_set1_epi8('"'));
  const __m128i backslash = _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'));
  // Unsigned v <= 0x1F exactly when min(v, 0x1F) == v.
  const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x1F)), v);
  return _mm_or_si128(_mm_or_si128(quote, backslash), control);
}

// Runs `bits_of(block)` (one bit per byte that is a hit) over the blocks of
// the input, the last one ending at the input's end; shorter input goes to
// the SWAR path.
template <class Bits, class Short>
std::size_t find(const unsigned char* p, std::size_t n, Bits bits_of, Short short_input) {
  if (n < 16) return short_input(p, n);
  std::size_t i = 0;
  for (; n - i > 16; i += 16) {
    const unsigned m = bits_of(load16(p + i));
    if (m != 0) return i + static_cast<std::size_t>(std::countr_zero(m));
  }
  const unsigned m = bits_of(load16(p + n - 16)) & (0xFFFFu << (i + 16 - n));
  return m != 0 ? n - 16 + static_cast<std::size_t>(std::countr_zero(m)) : n;
}

inline std::size_t find_string_stop(const unsigned char* p, std::size_t n) {
  return find(
      p, n, [](__m128i v) { return static_cast<unsigned>(_mm_movemask_epi8(string_stops(v))); },
      swar::find_string_stop);
}
inline std::size_t find_string_stop_or_non_ascii(const unsigned char* p, std::size_t n) {
  return find(
      p, n, [](__m128i v) { return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(string_stops(v), v))); },
      swar::find_string_stop_or_non_ascii);
}
inline std::size_t find_non_ascii(const unsigned char* p, std::size_t n) {
  return find(p, n, [](__m128i v) { return static_cast<unsigned>(_mm_movemask_epi8(v)); }, swar::find_non_ascii);
}

}  // namespace sse2
#endif

// ---- the widest path this target has ---------------------------------------------

#if WW_TEXT_SCAN_SSE2
namespace wide = sse2;
#else
namespace wide = swar;
#endif

// The first quote, backslash or control character.
inline std::size_t find_string_stop(const unsigned char* p, std::size_t n) { return wide::find_string_stop(p, n); }
// The same, or the first byte of 0x80 or more.
inline std::size_t find_string_stop_or_non_ascii(const unsigned char* p, std::size_t n) {
  return wide::find_string_stop_or_non_ascii(p, n);
}
inline std::size_t find_non_ascii(const unsigned char* p, std::size_t n) { return wide::find_non_ascii(p, n); }

// ---- decimal digits eight at a time ----------------------------------------------

// The number of leading ASCII digits in a word of eight bytes (0 to 8).
inline unsigned leading_digits(std::uint64_t word) {
  // With '0' taken from every byte, a digit is a byte of at most 9. Bytes
  // after the first non-digit may take a borrow or carry from it; only the
  // first flag counts, so that is harmless (and cheaper than an exact test).
  const std::uint64_t t = word - swar::kOnes * '0';
  const std::uint64_t m = ((t + swar::kOnes * 0x76) | t) & swar::kHigh;
  return m == 0 ? 8u : static_cast<unsigned>(swar::first_byte(m));
}

// The value of the first `k` bytes (1 to 8) of a word, all ASCII digits,
// read as a decimal number.
inline std::uint64_t digits_value(std::uint64_t word, unsigned k) {
  // Digits minus '0' borrow nothing; what follows them is shifted out, and
  // the zero bytes shifted in are leading zero digits.
  std::uint64_t v = (word - swar::kOnes * '0') << (8 * (8 - k));
  v = v * 10 + (v >> 8);  // pairs of digits in every second byte
  v = (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
       (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
      32;
  return v;
}

inline constexpr std::uint64_t kPow10U64[9] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// The largest s for which s * 10^k plus any k digits stays below 2^64.
inline constexpr struct MaxBeforeDigits {
  std::uint64_t v[9];
  constexpr MaxBeforeDigits() : v() {
    for (int k = 0; k <= 8; ++k) v[k] = (UINT64_MAX - (kPow10U64[k] - 1)) / kPow10U64[k];
  }
  constexpr std::uint64_t operator[](unsigned k) const { return v[k]; }
} kMaxBeforeDigits;

}  // namespace ww::scan
