#include "format/json/json_writer.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ww::json {
namespace {

// 0: copy; otherwise the escape letter, or 'u' for \u00xx.
constexpr char kEscape[256] = {
    'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'b', 't', 'n', 'u', 'f', 'r', 'u', 'u',
    'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u',
    0,   0,   '"', 0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   '\\', 0,  0,   0,
};

// Whether any byte of the word needs an escape: a control character, `"`
// or `\`. Exact for the word as a whole (never for which byte it is).
inline bool needs_escape(std::uint64_t w) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  const std::uint64_t quote = w ^ (kOnes * '"');
  const std::uint64_t backslash = w ^ (kOnes * '\\');
  const std::uint64_t control = (w - kOnes * 0x20) & ~w;
  const std::uint64_t zero_quote = (quote - kOnes) & ~quote;
  const std::uint64_t zero_backslash = (backslash - kOnes) & ~backslash;
  return ((control | zero_quote | zero_backslash) & kHigh) != 0;
}

}  // namespace

void append_str(std::string_view s, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.reserve(out.size() + s.size() + 2);
  out.push_back('"');
  const char* p = s.data();
  const char* end = p + s.size();
  const char* run = p;
  while (p < end) {
    // Whole blocks without anything to escape are copied as part of the run.
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i space = _mm_set1_epi8(0x20);
    while (end - p >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      // Bytes below 0x20 compare below as signed bytes; so do 0x80 and up,
      // which the second test excludes again.
      const __m128i control = _mm_andnot_si128(_mm_cmplt_epi8(v, _mm_setzero_si128()), _mm_cmplt_epi8(v, space));
      const __m128i special = _mm_or_si128(control, _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)));
      if (_mm_movemask_epi8(special) != 0) break;
      p += 16;
    }
#endif
    while (end - p >= 8) {
      std::uint64_t w;
      std::memcpy(&w, p, sizeof w);
      if (needs_escape(w)) break;
      p += 8;
    }
    for (const char* stop = end - p > 8 ? p + 8 : end; p < stop; ++p) {
      char esc = kEscape[static_cast<unsigned char>(*p)];
      if (esc == 0) continue;
      out.append(run, p);
      if (esc == 'u') {
        unsigned char c = static_cast<unsigned char>(*p);
        char buf[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xf]};
        out.append(buf, 6);
      } else {
        out.push_back('\\');
        out.push_back(esc);
      }
      run = p + 1;
    }
  }
  out.append(run, end);
  out.push_back('"');
}

}  // namespace ww::json
