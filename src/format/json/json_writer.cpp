#include "format/json/json_writer.h"

#include <algorithm>

#include "format/text_scan.h"

namespace ww::json {
namespace {

// For each byte that scan::find_string_stop stops at: the escape letter,
// or 'u' for \u00xx.
constexpr char kEscape[256] = {
    'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'b', 't', 'n', 'u', 'f', 'r', 'u', 'u',
    'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u',
    0,   0,   '"', 0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   '\\', 0,  0,   0,
};

// The escape for byte c (one that scan::find_string_stop stops at) at p;
// returns its end (2 or 6 bytes).
char* put_escape(unsigned char c, char* p) {
  static constexpr char kHex[] = "0123456789abcdef";
  const char esc = kEscape[c];
  p[0] = '\\';
  p[1] = esc;
  if (esc != 'u') return p + 2;
  p[2] = '0';
  p[3] = '0';
  p[4] = kHex[c >> 4];
  p[5] = kHex[c & 0xf];
  return p + 6;
}

std::uint32_t load4(const unsigned char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// Whether none of the n < 16 bytes at p needs an escape: short strings
// (most keys and many values) are checked in one block, loaded as two
// overlapping halves rather than past the end.
bool short_plain(const unsigned char* p, std::size_t n) {
  if (n < 4) {
    for (std::size_t i = 0; i < n; ++i) {
      if (scan::kStringStop.hit[p[i]]) return false;
    }
    return true;
  }
  std::uint64_t lo, hi;
  if (n >= 8) {
    lo = scan::swar::load8(p);
    hi = scan::swar::load8(p + n - 8);
  } else {
    // Byte order does not matter: every byte is tested on its own.
    lo = load4(p) | (std::uint64_t{load4(p + n - 4)} << 32);
    hi = lo;
  }
#if WW_TEXT_SCAN_SSE2
  const __m128i v = _mm_set_epi64x(static_cast<long long>(hi), static_cast<long long>(lo));
  return _mm_movemask_epi8(scan::sse2::string_stops(v)) == 0;
#else
  return (scan::swar::string_stops(lo) | scan::swar::string_stops(hi)) == 0;
#endif
}

// Copies n < 16 bytes without a call: two overlapping moves cover
// anything up to twice their width.
void copy_short(char* d, const unsigned char* s, std::size_t n) {
  if (n >= 8) {
    std::uint64_t a, b;
    std::memcpy(&a, s, 8);
    std::memcpy(&b, s + n - 8, 8);
    std::memcpy(d, &a, 8);
    std::memcpy(d + n - 8, &b, 8);
  } else if (n >= 4) {
    const std::uint32_t a = load4(s), b = load4(s + n - 4);
    std::memcpy(d, &a, 4);
    std::memcpy(d + n - 4, &b, 4);
  } else if (n > 0) {
    d[0] = static_cast<char>(s[0]);
    d[n / 2] = static_cast<char>(s[n / 2]);
    d[n - 1] = static_cast<char>(s[n - 1]);
  }
}

// append_str past its opening quote, for strings that are long or need
// escapes; kept apart so that the short path needs few registers.
[[gnu::noinline]] void append_str_rest(const unsigned char* p, std::size_t left, std::string& out) {
  for (;;) {
    // Copy the run that needs no escape in one piece.
    const std::size_t run = scan::find_string_stop(p, left);
    out.append(reinterpret_cast<const char*>(p), run);
    if (run == left) break;
    char buf[6];
    out.append(buf, static_cast<std::size_t>(put_escape(p[run], buf) - buf));
    p += run + 1;
    left -= run + 1;
  }
  out.push_back('"');
}

[[gnu::noinline]] void append_str_rest(const unsigned char* p, std::size_t left, char* d, TextOut& out) {
  for (;;) {
    const std::size_t run = scan::find_string_stop(p, left);
    std::memcpy(d, p, run);
    d += run;
    if (run == left) break;
    out.advance(d);
    d = out.room(6 + (left - run - 1) + 1);
    d = put_escape(p[run], d);
    p += run + 1;
    left -= run + 1;
  }
  *d++ = '"';
  out.advance(d);
}

}  // namespace

TextOut::TextOut(std::string& s, std::size_t expected) : s_(&s) {
  const std::size_t start = s.size();
  s.resize(start + std::max<std::size_t>(expected, 64));
  base_ = s.data();
  cur_ = base_ + start;
  end_ = base_ + s.size();
}

void TextOut::grow(std::size_t n) {
  const std::size_t used = size();
  s_->resize(std::max(used + n, 2 * s_->size()));
  base_ = s_->data();
  cur_ = base_ + used;
  end_ = base_ + s_->size();
}

void TextOut::close() {
  if (s_ == nullptr) return;
  s_->resize(size());
  s_ = nullptr;
}

void append_str(std::string_view s, std::string& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  if (n < 16 && short_plain(p, n)) {
    // Quoted in a block on the stack and appended once: each append to
    // the string pays for its own bookkeeping.
    char quoted[24];
    quoted[0] = '"';
    copy_short(quoted + 1, p, n);
    quoted[n + 1] = '"';
    out.append(quoted, n + 2);
    return;
  }
  out.push_back('"');
  append_str_rest(p, n, out);
}

void append_str(std::string_view s, TextOut& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  // Room for the text with no escapes; each escape makes room for itself.
  char* d = out.room(n + 2);
  *d++ = '"';
  if (n < 16 && short_plain(p, n)) {
    copy_short(d, p, n);
    d[n] = '"';
    out.advance(d + n + 1);
    return;
  }
  append_str_rest(p, n, d, out);
}

}  // namespace ww::json
