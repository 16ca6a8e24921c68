// Compact JSON text pieces, appended to one growing buffer: a std::string,
// or a TextOut that writes into room reserved ahead in one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "format/decimal_digits.h"
#include "format/float_text.h"

namespace ww::json {

// Text written at a cursor into room kept at the end of a string: while it
// is open, the string's size includes the room (zeros), and a piece of text
// costs a check for room and a copy, with none of the string's own
// bookkeeping. close(), or the destructor, cuts the string back to the
// text written; the string must not be touched directly until then.
class TextOut {
 public:
  // Writes after what `s` holds, with room for `expected` bytes to start.
  TextOut(std::string& s, std::size_t expected);
  ~TextOut() { close(); }
  TextOut(const TextOut&) = delete;
  TextOut& operator=(const TextOut&) = delete;

  // The string's length so far, as std::string::size() would give it.
  std::size_t size() const { return static_cast<std::size_t>(cur_ - base_); }
  // The string's bytes; valid until the next call that makes room.
  char* data() { return base_; }

  // Where the next `n` bytes go; after writing (some of) them, `advance`
  // moves the end of the text past them.
  char* room(std::size_t n) {
    if (static_cast<std::size_t>(end_ - cur_) < n) grow(n);
    return cur_;
  }
  void advance(char* end) { cur_ = end; }

  void put(char c) { *room(1) = c; ++cur_; }
  void put(std::string_view s) {
    char* p = room(s.size());
    std::memcpy(p, s.data(), s.size());
    cur_ = p + s.size();
  }
  // Cuts the text back to its first `n` bytes.
  void truncate(std::size_t n) { cur_ = base_ + n; }

  void close();

 private:
  void grow(std::size_t n);

  std::string* s_;
  char* base_;
  char* cur_;
  char* end_;
};

// A JSON string: `"` and `\` escaped, \b \t \n \f \r, other control
// characters as \u00xx, everything else as UTF-8.
void append_str(std::string_view s, std::string& out);
void append_str(std::string_view s, TextOut& out);

inline void append_u64(std::uint64_t v, std::string& out) {
  char buf[24];
  out.append(buf, static_cast<std::size_t>(digits::put(buf, v) - buf));
}

// Writes v at p (room for 21 bytes) and returns the end.
inline char* write_i64(std::int64_t v, char* p) {
  auto magnitude = static_cast<std::uint64_t>(v);
  if (v < 0) {
    *p++ = '-';
    magnitude = 0 - magnitude;
  }
  return digits::put(p, magnitude);
}

inline void append_i64(std::int64_t v, std::string& out) {
  char buf[24];
  out.append(buf, static_cast<std::size_t>(write_i64(v, buf) - buf));
}

inline void append_f64(double v, std::string& out) { append_json_double(v, out); }

inline void append_u64(std::uint64_t v, TextOut& out) { out.advance(digits::put(out.room(20), v)); }
inline void append_i64(std::int64_t v, TextOut& out) { out.advance(write_i64(v, out.room(21))); }
inline void append_f64(double v, TextOut& out) { out.advance(write_json_double(v, out.room(kJsonDoubleRoom))); }

}  // namespace ww::json
