#include "format/debug_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <span>

#include "format/text_scan.h"

namespace ww {
namespace {

struct CodePointRange {
  char32_t first;
  char32_t last;
};

#include "unicode_tables.inc"

bool in_ranges(std::span<const CodePointRange> table, char32_t c) {
  auto after = std::upper_bound(table.begin(), table.end(), c,
                                [](char32_t v, const CodePointRange& r) { return v < r.first; });
  return after != table.begin() && c <= std::prev(after)->last;
}

// One step of UTF-8 decoding at a position.
struct Decoded {
  enum class Status : std::uint8_t { Ok, Invalid, Truncated };
  Status status;
  // Ok: the sequence length. Invalid: the maximal subpart that was still a
  // valid prefix (at least 1). Truncated: the bytes left in the input.
  std::size_t len;
  char32_t cp;
};

Decoded decode_at(std::string_view s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return {Decoded::Status::Ok, 1, lead};

  // The second byte's range excludes overlongs (E0, F0), surrogates (ED) and
  // code points past U+10FFFF (F4); later bytes are plain continuations.
  std::size_t width;
  unsigned char lo = 0x80, hi = 0xBF;
  char32_t cp;
  if (lead >= 0xC2 && lead <= 0xDF) {
    width = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    width = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    width = 4;
    cp = lead & 0x07;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;
  } else {
    return {Decoded::Status::Invalid, 1, 0};
  }

  for (std::size_t k = 1; k < width; ++k) {
    if (i + k >= s.size()) return {Decoded::Status::Truncated, k, 0};
    const unsigned char b = byte(k);
    if (b < lo || b > hi) return {Decoded::Status::Invalid, k, 0};
    cp = (cp << 6) | (b & 0x3F);
    lo = 0x80;
    hi = 0xBF;
  }
  return {Decoded::Status::Ok, width, cp};
}

bool is_plain_ascii(unsigned char b) { return b >= 0x20 && b < 0x7F && b != '"' && b != '\\'; }

void append_hex(char32_t c, std::string& out) {
  char digits[8];
  int n = 0;
  do {
    digits[n++] = "0123456789abcdef"[c & 0xF];
    c >>= 4;
  } while (c != 0);
  while (n > 0) out.push_back(digits[--n]);
}

void append_escaped_char(char32_t c, std::string& out) {
  switch (c) {
    case U'\0': out += "\\0"; return;
    case U'\t': out += "\\t"; return;
    case U'\r': out += "\\r"; return;
    case U'\n': out += "\\n"; return;
    case U'"': out += "\\\""; return;
    case U'\\': out += "\\\\"; return;
    default: break;
  }
  // A grapheme extender is escaped even when printable, so that it cannot
  // merge visually with the quote or escape in front of it.
  if (is_grapheme_extend(c) || !is_printable(c)) {
    out += "\\u{";
    append_hex(c, out);
    out.push_back('}');
    return;
  }
  const char32_t v = c;
  char buf[4];
  std::size_t n;
  if (v < 0x80) {
    buf[0] = static_cast<char>(v);
    n = 1;
  } else if (v < 0x800) {
    buf[0] = static_cast<char>(0xC0 | (v >> 6));
    buf[1] = static_cast<char>(0x80 | (v & 0x3F));
    n = 2;
  } else if (v < 0x10000) {
    buf[0] = static_cast<char>(0xE0 | (v >> 12));
    buf[1] = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    buf[2] = static_cast<char>(0x80 | (v & 0x3F));
    n = 3;
  } else {
    buf[0] = static_cast<char>(0xF0 | (v >> 18));
    buf[1] = static_cast<char>(0x80 | ((v >> 12) & 0x3F));
    buf[2] = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    buf[3] = static_cast<char>(0x80 | (v & 0x3F));
    n = 4;
  }
  out.append(buf, n);
}

}  // namespace

bool is_printable(char32_t c) { return c <= 0x10FFFF && !in_ranges(kNotPrintable, c); }

bool is_grapheme_extend(char32_t c) { return in_ranges(kGraphemeExtend, c); }

void append_debug_str(std::string_view utf8, std::string& out) {
  out.push_back('"');
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t run = i;
    while (run < utf8.size() && is_plain_ascii(static_cast<unsigned char>(utf8[run]))) ++run;
    out.append(utf8.data() + i, run - i);
    i = run;
    if (i == utf8.size()) break;

    const Decoded d = decode_at(utf8, i);
    if (d.status != Decoded::Status::Ok) {
      std::fprintf(stderr, "ww::append_debug_str: invalid UTF-8 at byte %zu\n", i);
      std::abort();
    }
    append_escaped_char(d.cp, out);
    i += d.len;
  }
  out.push_back('"');
}

std::string debug_str(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + 2);
  append_debug_str(utf8, out);
  return out;
}

void append_debug_str_list(const std::vector<std::string>& items, std::string& out) {
  out.push_back('[');
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (k != 0) out += ", ";
    append_debug_str(items[k], out);
  }
  out.push_back(']');
}

std::optional<Utf8Fault> first_utf8_fault(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  for (;;) {
    // ASCII needs no decoding: skip it in blocks.
    i += scan::find_non_ascii(p + i, n - i);
    if (i == n) return std::nullopt;
    // A run of multi-byte characters; only a fault is decoded in full to
    // tell its kind.
    do {
      const std::size_t width = scan::utf8_sequence_length(p + i, n - i);
      if (width == 0) {
        const Decoded d = decode_at(bytes, i);
        if (d.status == Decoded::Status::Truncated) return Utf8Fault{i, std::nullopt};
        if (d.status == Decoded::Status::Invalid) return Utf8Fault{i, d.len};
        i += d.len;
        continue;
      }
      i += width;
    } while (i < n && p[i] >= 0x80);
  }
}

bool is_valid_utf8(std::string_view bytes) { return !first_utf8_fault(bytes).has_value(); }

std::string describe_utf8_fault(const Utf8Fault& fault) {
  if (fault.error_len) {
    return "invalid utf-8 sequence of " + std::to_string(*fault.error_len) + " bytes from index " +
           std::to_string(fault.valid_up_to);
  }
  return "incomplete utf-8 byte sequence from index " + std::to_string(fault.valid_up_to);
}

std::string utf8_lossy(std::string_view bytes) {
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(bytes.size());
  while (true) {
    const std::optional<Utf8Fault> fault = first_utf8_fault(bytes);
    if (!fault) {
      out.append(bytes);
      return out;
    }
    out.append(bytes.substr(0, fault->valid_up_to));
    out.append(kReplacement);
    // An incomplete sequence can only sit at the very end.
    const std::size_t skip = fault->error_len.value_or(bytes.size() - fault->valid_up_to);
    bytes.remove_prefix(fault->valid_up_to + skip);
  }
}

}  // namespace ww
