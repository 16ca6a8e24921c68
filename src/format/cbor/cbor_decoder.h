// The CBOR item heads and the low-level reading of the input bytes: one
// head at a time, with one head of look-ahead, and the segments of byte and
// text strings. Offsets count bytes from the start of the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "format/cbor/cbor_errors.h"
#include "format/result.h"

namespace ww::cbor {

// Byte and text strings up to this length are read in one piece; longer
// ones, and the chunks of indefinite-length ones, in pieces of this size.
inline constexpr std::size_t kScratchSize = 4096;

// Simple values with a meaning of their own.
inline constexpr std::uint64_t kFalse = 20;
inline constexpr std::uint64_t kTrue = 21;
inline constexpr std::uint64_t kNull = 22;
inline constexpr std::uint64_t kUndefined = 23;

// Bignum tags.
inline constexpr std::uint64_t kTagPositiveBignum = 2;
inline constexpr std::uint64_t kTagNegativeBignum = 3;

struct Header {
  enum class Type : std::uint8_t { Positive, Negative, Bytes, Text, Array, Map, Tag, Simple, Float, Break };
  Type type = Type::Break;
  bool definite = true;    // Bytes, Text, Array, Map: a length was given
  std::uint64_t arg = 0;   // the integer, length, tag number or simple value
  double f = 0;            // Float
  std::size_t offset = 0;  // where the head starts

  bool is(Type t) const { return type == t; }
  bool is_simple(std::uint64_t v) const { return type == Type::Simple && arg == v; }
};

// "invalid type: <found>, expected <what>" for a head the reader itself
// refuses: integers, booleans and floats with their value, the rest by
// kind ("bytes", "string", "sequence", "map", "tag", "null", "undefined",
// "simple", "break").
Error refuse_head(const Header& h, std::string_view what);

class Decoder {
 public:
  explicit Decoder(std::string_view input)
      : p_(reinterpret_cast<const unsigned char*>(input.data())), len_(input.size()) {}

  std::size_t offset() const { return pos_; }
  std::size_t remaining() const { return len_ - pos_; }

  // The next head; Io at the end of the input, Syntax for a reserved
  // additional-information value or an indefinite integer or tag.
  Result<Header> pull();
  // Puts back the head just pulled: the next pull returns it again.
  void push(const Header& h) { pos_ = h.offset; }

  // The next `n` bytes, or Io.
  Result<std::string_view> take(std::uint64_t n) {
    if (n > remaining()) return io_eof();
    std::string_view s(reinterpret_cast<const char*>(p_ + pos_), static_cast<std::size_t>(n));
    pos_ += static_cast<std::size_t>(n);
    return s;
  }

  // The content of a text string whose head `h` has just been pulled, read
  // segment by segment in scratch-sized chunks: a definite string that is
  // all there is a view of the input; otherwise it is gathered in `buf`.
  // A chunk that is not UTF-8 (once up to 3 bytes of an unfinished
  // character are carried over to the next chunk) fails with the Syntax
  // offset of its segment's head; running out of input gives Io.
  Result<std::string_view> text(const Header& h, std::string& buf);
  // The same for a byte string.
  Result<std::string_view> bytes(const Header& h, std::string& buf);

  // Walks the segments of the string whose head `first` has just been
  // pulled, calling on_segment(length, head_offset) for each; a segment of
  // another kind is Syntax at its head. Indefinite segments may nest.
  template <class F>
  Status segments(const Header& first, F&& on_segment);

 private:
  Status text_segment(std::uint64_t len, std::size_t head, std::string& out);
  // A text segment that runs past the end of the input: which error comes
  // first, a chunk that is not UTF-8 or the end.
  Error short_text_segment(std::uint64_t len, std::size_t head);

  const unsigned char* p_;
  std::size_t len_;
  std::size_t pos_ = 0;
};

template <class F>
Status Decoder::segments(const Header& first, F&& on_segment) {
  int nested = 0;
  Header h = first;
  for (bool have = true;; have = false) {
    if (!have) {
      WW_TRY_ASSIGN(h, pull());
    }
    if (h.is(Header::Type::Break) && nested == 1) return {};
    if (h.is(Header::Type::Break) && nested > 1) {
      --nested;
      continue;
    }
    if (h.type != first.type) return syntax(h.offset);
    if (!h.definite) {
      ++nested;
      continue;
    }
    WW_TRY(on_segment(h.arg, h.offset));
    if (nested == 0) return {};
  }
}

}  // namespace ww::cbor
