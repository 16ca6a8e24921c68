// The JSON text reader: a deserializer (see format/record/visitor.h) that
// works straight from the input bytes.
//
// Positions: an error raised while a scalar is read is placed just after the
// scalar; an error that rises out of an object or array without a position
// is placed after the reader has tried to close that object or array. Line
// and column are computed from the byte offset only when an error is made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "format/record/unit_variant.h"
#include "format/record/visitor.h"
#include "format/result.h"
#include "format/text_scan.h"

namespace ww::json {

enum class Code : std::uint8_t {
  EofWhileParsingList,
  EofWhileParsingObject,
  EofWhileParsingString,
  EofWhileParsingValue,
  ExpectedColon,
  ExpectedListCommaOrEnd,
  ExpectedObjectCommaOrEnd,
  ExpectedSomeIdent,
  ExpectedSomeValue,
  ExpectedDoubleQuote,
  InvalidEscape,
  InvalidNumber,
  NumberOutOfRange,
  InvalidUnicodeCodePoint,
  ControlCharacterWhileParsingString,
  KeyMustBeAString,
  ExpectedNumericKey,
  FloatKeyMustBeFinite,
  LoneLeadingSurrogateInHexEscape,
  TrailingComma,
  TrailingCharacters,
  UnexpectedEndOfHexEscape,
  RecursionLimitExceeded,
};

const char* code_message(Code code);

// Line (from 1) and column (bytes of that line before `index`).
struct Position {
  std::uint64_t line;
  std::uint64_t column;
};
Position position_of(std::string_view input, std::size_t index);

// A number as the reader found it.
struct Number {
  enum class Kind : std::uint8_t { U64, I64, F64 } kind;
  std::uint64_t u = 0;
  std::int64_t i = 0;
  double f = 0;

  template <class V>
  Result<rec::OutOf<V>> visit(V& v) const {
    rec::Ctx c{rec::Family::Json};
    switch (kind) {
      case Kind::U64: return v.visit_u64(c, u);
      case Kind::I64: return v.visit_i64(c, i);
      case Kind::F64: break;
    }
    return v.visit_f64(c, f);
  }
  rec::Unexpected unexpected() const;
};

inline constexpr int kJsonDepthLimit = 128;

class TextDe;

// Map keys: always JSON strings; numeric targets read the number inside the
// quotes.
class KeyDe {
 public:
  static constexpr rec::Family family = rec::Family::Json;
  explicit KeyDe(TextDe& de) : de_(&de) {}

  template <class V> Result<rec::OutOf<V>> any(V&& v);
  template <class V> Result<rec::OutOf<V>> str(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> identifier(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> boolean(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> bytes(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> unit(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> seq(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> map(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> struct_(std::string_view, rec::Names, V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> enum_(std::string_view, rec::Names, V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> option(V&& v) { return v.visit_some(rec::Ctx{family}, *this); }
  template <class V> Result<rec::OutOf<V>> u64(V&& v) { return numeric(v); }
  template <class V> Result<rec::OutOf<V>> i64(V&& v) { return numeric(v); }
  template <class V> Result<rec::OutOf<V>> f64(V&& v) { return numeric(v); }
  Status ignored_any();

 private:
  template <class V> Result<rec::OutOf<V>> numeric(V& v);
  TextDe* de_;
};

namespace detail {
// The exact doubles 1e0 .. 1e308, by which numbers read as doubles are
// scaled.
struct Pow10Table {
  double v[309];
  Pow10Table();
};
extern const Pow10Table kPow10;
}  // namespace detail

class TextSeq;
class TextMap;
class TextVariant;

class TextDe {
 public:
  static constexpr rec::Family family = rec::Family::Json;

  // `validate_utf8`: the input is raw bytes whose strings must hold UTF-8.
  TextDe(std::string_view input, bool validate_utf8)
      : p_(reinterpret_cast<const unsigned char*>(input.data())), len_(input.size()), validate_(validate_utf8) {}

  // ---- entry points ----
  template <class V> Result<rec::OutOf<V>> any(V&& v);
  template <class V> Result<rec::OutOf<V>> boolean(V&& v);
  template <class V> Result<rec::OutOf<V>> u64(V&& v) { return number(v); }
  template <class V> Result<rec::OutOf<V>> i64(V&& v) { return number(v); }
  template <class V> Result<rec::OutOf<V>> f64(V&& v) { return number(v); }
  template <class V> Result<rec::OutOf<V>> str(V&& v);
  template <class V> Result<rec::OutOf<V>> bytes(V&& v) { return str(v); }
  template <class V> Result<rec::OutOf<V>> identifier(V&& v) { return str(v); }
  template <class V> Result<rec::OutOf<V>> unit(V&& v);
  template <class V> Result<rec::OutOf<V>> option(V&& v);
  template <class V> Result<rec::OutOf<V>> seq(V&& v);
  template <class V> Result<rec::OutOf<V>> map(V&& v);
  template <class V> Result<rec::OutOf<V>> struct_(std::string_view name, rec::Names fields, V&& v);
  template <class V> Result<rec::OutOf<V>> enum_(std::string_view name, rec::Names variants, V&& v);
  Status ignored_any() { return ignore_value(); }

  // After a whole document: only whitespace may follow.
  Status end();

  // ---- primitives, also used by the access objects ----
  int peek() const { return index_ < len_ ? p_[index_] : -1; }
  void eat_char() { ++index_; }
  // Skips whitespace; the next byte, or -1 at the end. Compact text has
  // none to skip, so only a byte that could be whitespace leaves the inline
  // path.
  int parse_whitespace() {
    if (index_ < len_) {
      const unsigned char c = p_[index_];
      if (c > ' ') return c;
      return skip_whitespace_run();
    }
    return -1;
  }
  std::size_t index() const { return index_; }
  std::string_view input() const { return {reinterpret_cast<const char*>(p_), len_}; }

  // Errors at the current offset, or including the next byte.
  Error error(Code code) const;
  Error peek_error(Code code) const;
  // Attaches the current offset to an error that has no position yet.
  Error fix(Error e) const;

  Status parse_object_colon();
  Status parse_ident(const char* rest);
  // Reads a string whose opening quote has been consumed.
  Result<std::string_view> parse_str();
  Result<Number> parse_integer(bool positive);
  Error peek_invalid_type(const std::string& expected);
  Status end_seq();
  Status end_map();
  Status enter();  // the recursion check before an opening bracket
  void leave() { ++remaining_depth_; }

 private:
  template <class V> Result<rec::OutOf<V>> number(V& v);
  // The number ahead (its '-' included) in its common forms, read straight
  // into `n`: at most 19 digits, an exponent of at most three digits, and
  // the same result as parse_integer. Anything else returns false with
  // nothing consumed, for parse_signed_number to read or refuse. Inlined
  // into the readers of values, where numbers are the most common scalar.
  [[gnu::always_inline]] inline bool parse_number_fast(Number& n);
  Result<Number> parse_signed_number();
  int skip_whitespace_run();
  // Moves past string content up to the next quote, backslash, control
  // character or the end; when `bad_utf8` is given, also checks UTF-8 on
  // the way and sets it at the first ill-formed sequence.
  void skip_string_content(bool* bad_utf8);
  // Appends the digits ahead to `significand` eight at a time while they
  // surely fit (not near the end of the input); returns how many it took.
  std::size_t gather_digits(std::uint64_t& significand);
  std::size_t skip_digits();
  Status ignore_value();
  Status ignore_integer();
  Status ignore_str();
  Status ignore_escape();
  // parse_str past the first stop that is not a plain closing quote.
  Result<std::string_view> parse_str_rest(std::size_t start, bool bad_utf8);
  bool unescape_common();
  Status parse_escape();
  Status parse_unicode_escape();
  Result<std::uint16_t> decode_hex_escape();
  Result<Number> parse_number(bool positive, std::uint64_t significand);
  Result<double> parse_decimal(bool positive, std::uint64_t significand, int exponent_before);
  Result<double> parse_exponent(bool positive, std::uint64_t significand, int starting_exp);
  Result<double> parse_long_integer(bool positive, std::uint64_t significand);
  Result<double> parse_decimal_overflow(bool positive, std::uint64_t significand, int exponent);
  Result<double> parse_exponent_overflow(bool positive, bool zero_significand, bool positive_exp);
  Result<double> f64_from_parts(bool positive, std::uint64_t significand, int exponent);
  void push_codepoint(std::uint32_t cp);

  const unsigned char* p_;
  std::size_t len_;
  std::size_t index_ = 0;
  int remaining_depth_ = kJsonDepthLimit;
  bool validate_;
  std::string scratch_;
};

// ---- access objects --------------------------------------------------------

class TextSeq {
 public:
  explicit TextSeq(TextDe& de) : de_(&de) {}
  std::size_t size_hint() const { return 0; }
  // Always inlined: a list's loop then steps through its elements without
  // a call for each.
  template <class F>
  [[gnu::always_inline]] Result<bool> next(F&& f) {
    int c = de_->parse_whitespace();
    if (c == ']') return false;
    if (c == ',' && !first_) {
      de_->eat_char();
      c = de_->parse_whitespace();
    } else if (c >= 0) {
      if (!first_) return de_->peek_error(Code::ExpectedListCommaOrEnd);
      first_ = false;
    } else {
      return de_->peek_error(Code::EofWhileParsingList);
    }
    if (c == ']') return de_->peek_error(Code::TrailingComma);
    if (c < 0) return de_->peek_error(Code::EofWhileParsingValue);
    WW_TRY(f(*de_));
    return true;
  }

 private:
  TextDe* de_;
  bool first_ = true;
};

class TextMap {
 public:
  explicit TextMap(TextDe& de) : de_(&de) {}
  std::size_t size_hint() const { return 0; }
  template <class F>
  Result<bool> next_key(F&& f) {
    int c = de_->parse_whitespace();
    if (c == '}') return false;
    if (c == ',' && !first_) {
      de_->eat_char();
      c = de_->parse_whitespace();
    } else if (c >= 0) {
      if (!first_) return de_->peek_error(Code::ExpectedObjectCommaOrEnd);
      first_ = false;
    } else {
      return de_->peek_error(Code::EofWhileParsingObject);
    }
    if (c == '"') {
      KeyDe key(*de_);
      WW_TRY(f(key));
      return true;
    }
    if (c == '}') return de_->peek_error(Code::TrailingComma);
    if (c < 0) return de_->peek_error(Code::EofWhileParsingValue);
    return de_->peek_error(Code::KeyMustBeAString);
  }
  template <class F>
  Status next_value(F&& f) {
    WW_TRY(de_->parse_object_colon());
    return f(*de_);
  }

 private:
  TextDe* de_;
  bool first_ = true;
};

// {"Name": payload}: the opening brace has been consumed.
class TextVariant {
 public:
  explicit TextVariant(TextDe& de) : de_(&de) {}
  template <class F>
  Result<TextVariant> variant(F&& f) {
    int c = de_->parse_whitespace();
    if (c == '"') {
      // The name is a scalar: its errors are placed right after it.
      KeyDe key(*de_);
      auto r = f(key);
      if (!r) return de_->fix(r.take_error());
    } else if (c == '}') {
      return de_->peek_error(Code::ExpectedSomeValue);
    } else if (c < 0) {
      return de_->peek_error(Code::EofWhileParsingObject);
    } else {
      return de_->peek_error(Code::KeyMustBeAString);
    }
    WW_TRY(de_->parse_object_colon());
    return *this;
  }
  Status unit_variant() { return rec::read_unit(*de_); }
  template <class F>
  Status newtype(F&& f) { return f(*de_); }
  template <class V>
  Result<rec::OutOf<V>> tuple_variant(std::size_t, V&& v) { return de_->seq(v); }
  template <class V>
  Result<rec::OutOf<V>> struct_variant(rec::Names fields, V&& v) { return de_->struct_("", fields, v); }

 private:
  TextDe* de_;
};

// "Name" alone: a kind without payload.
using TextUnitVariant = rec::UnitVariantAccess<TextDe>;

// ---- numbers in their common forms -------------------------------------------

namespace detail {

// The longest number that parse_number_fast reads, with the eight bytes
// that its last load may look at beyond it: a sign, 19 digits, a point,
// then e, a sign and three digits and the byte after them.
inline constexpr std::size_t kFastNumberRoom = 32;

// The digits that start at p, up to eight, appended to `significand`;
// returns how many there were.
[[gnu::always_inline]] inline unsigned take_digits(const unsigned char* p, std::uint64_t& significand) {
  const std::uint64_t word = scan::swar::load8(p);
  const unsigned k = scan::leading_digits(word);
  if (k != 0) significand = significand * scan::kPow10U64[k] + scan::digits_value(word, k);
  return k;
}

}  // namespace detail

inline bool TextDe::parse_number_fast(Number& n) {
  if (len_ - index_ < detail::kFastNumberRoom) return false;
  const unsigned char* p = p_ + index_;
  const bool positive = *p != '-';
  const unsigned char* first = positive ? p : p + 1;
  // Digits are taken eight at a time; the significand may wrap while
  // digits are taken, but then there are more than 19 and the slow path
  // takes over. Each check on the count comes before a load that could
  // reach past the room checked above.
  std::uint64_t significand = 0;
  const unsigned char* q = first;
  unsigned k = detail::take_digits(q, significand);
  if (k == 0 || (*first == '0' && k > 1)) return false;  // a leading zero: refused by the slow path
  q += k;
  while (k == 8) {
    if (q - first > 19) return false;
    k = detail::take_digits(q, significand);
    q += k;
  }
  if (q - first > 19) return false;
  bool is_float = false;
  int exponent = 0;
  if (*q == '.') {
    const unsigned char* fraction = q + 1;
    q = fraction;
    do {
      if (q - first > 20) return false;
      k = detail::take_digits(q, significand);
      q += k;
    } while (k == 8);
    if (q == fraction || q - first > 20) return false;
    exponent = static_cast<int>(fraction - q);
    is_float = true;
  }
  if ((*q | 0x20) == 'e') {
    ++q;
    bool negative_exp = false;
    if (*q == '+' || *q == '-') {
      negative_exp = *q == '-';
      ++q;
    }
    if (!scan::is_digit(*q)) return false;
    int e = *q++ - '0';
    for (int d = 0; d < 2 && scan::is_digit(*q); ++d) e = e * 10 + (*q++ - '0');
    if (scan::is_digit(*q)) return false;
    exponent += negative_exp ? -e : e;
    is_float = true;
  }
  if (!is_float) {
    if (positive) {
      n = Number{Number::Kind::U64, significand, 0, 0};
    } else {
      // As parse_number: a signed integer, or a double for -0 and below i64.
      const auto neg = static_cast<std::int64_t>(0 - significand);
      n = neg >= 0 ? Number{Number::Kind::F64, 0, 0, -static_cast<double>(significand)}
                   : Number{Number::Kind::I64, 0, neg, 0};
    }
  } else {
    // f64_from_parts for exponents within the table; the rest and overflow
    // go the slow way.
    double f = static_cast<double>(significand);
    if (exponent >= 0) {
      if (exponent > 308) return false;
      f *= detail::kPow10.v[exponent];
      if (f - f != 0) return false;
    } else {
      if (exponent < -308) return false;
      f /= detail::kPow10.v[-exponent];
    }
    n = Number{Number::Kind::F64, 0, 0, positive ? f : -f};
  }
  index_ = static_cast<std::size_t>(q - p_);
  return true;
}

// ---- TextDe entry points ----------------------------------------------------

template <class V>
Result<rec::OutOf<V>> TextDe::any(V&& v) {
  using T = rec::OutOf<V>;
  rec::Ctx c{family};
  int peek = parse_whitespace();
  Result<T> r = Error();
  switch (peek) {
    case -1: return peek_error(Code::EofWhileParsingValue);
    case 'n':
      eat_char();
      WW_TRY(parse_ident("ull"));
      r = v.visit_unit(c);
      break;
    case 't':
      eat_char();
      WW_TRY(parse_ident("rue"));
      r = v.visit_bool(c, true);
      break;
    case 'f':
      eat_char();
      WW_TRY(parse_ident("alse"));
      r = v.visit_bool(c, false);
      break;
    case '-':
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9': {
      Number n{};
      if (!parse_number_fast(n)) {
        WW_TRY_ASSIGN(n, parse_signed_number());
      }
      r = n.visit(v);
      break;
    }
    case '"': {
      eat_char();
      WW_TRY_ASSIGN(std::string_view s, parse_str());
      r = v.visit_str(c, s);
      break;
    }
    case '[': {
      WW_TRY(enter());
      eat_char();
      TextSeq seq(*this);
      r = v.visit_seq(c, seq);
      leave();
      Status closed = end_seq();
      if (r.ok() && !closed.ok()) r = closed.take_error();
      break;
    }
    case '{': {
      WW_TRY(enter());
      eat_char();
      TextMap m(*this);
      r = v.visit_map(c, m);
      leave();
      Status closed = end_map();
      if (r.ok() && !closed.ok()) r = closed.take_error();
      break;
    }
    default: return peek_error(Code::ExpectedSomeValue);
  }
  if (!r.ok()) return fix(r.take_error());
  return r;
}

template <class V>
Result<rec::OutOf<V>> TextDe::boolean(V&& v) {
  rec::Ctx c{family};
  int peek = parse_whitespace();
  if (peek < 0) return peek_error(Code::EofWhileParsingValue);
  Result<rec::OutOf<V>> r = Error();
  if (peek == 't') {
    eat_char();
    WW_TRY(parse_ident("rue"));
    r = v.visit_bool(c, true);
  } else if (peek == 'f') {
    eat_char();
    WW_TRY(parse_ident("alse"));
    r = v.visit_bool(c, false);
  } else {
    return peek_invalid_type(v.expecting());
  }
  if (!r.ok()) return fix(r.take_error());
  return r;
}

template <class V>
Result<rec::OutOf<V>> TextDe::number(V& v) {
  int peek = parse_whitespace();
  if (peek < 0) return peek_error(Code::EofWhileParsingValue);
  Result<rec::OutOf<V>> r = Error();
  if (peek == '-' || (peek >= '0' && peek <= '9')) {
    Number n{};
    if (!parse_number_fast(n)) {
      WW_TRY_ASSIGN(n, parse_signed_number());
    }
    r = n.visit(v);
  } else {
    return peek_invalid_type(v.expecting());
  }
  if (!r.ok()) return fix(r.take_error());
  return r;
}

template <class V>
Result<rec::OutOf<V>> TextDe::str(V&& v) {
  int peek = parse_whitespace();
  if (peek < 0) return peek_error(Code::EofWhileParsingValue);
  if (peek != '"') return peek_invalid_type(v.expecting());
  eat_char();
  WW_TRY_ASSIGN(std::string_view s, parse_str());
  auto r = v.visit_str(rec::Ctx{family}, s);
  if (!r.ok()) return fix(r.take_error());
  return r;
}

template <class V>
Result<rec::OutOf<V>> TextDe::unit(V&& v) {
  int peek = parse_whitespace();
  if (peek < 0) return peek_error(Code::EofWhileParsingValue);
  if (peek != 'n') return peek_invalid_type(v.expecting());
  eat_char();
  WW_TRY(parse_ident("ull"));
  auto r = v.visit_unit(rec::Ctx{family});
  if (!r.ok()) return fix(r.take_error());
  return r;
}

template <class V>
Result<rec::OutOf<V>> TextDe::option(V&& v) {
  if (parse_whitespace() == 'n') {
    eat_char();
    WW_TRY(parse_ident("ull"));
    return v.visit_none(rec::Ctx{family});
  }
  return v.visit_some(rec::Ctx{family}, *this);
}

template <class V>
Result<rec::OutOf<V>> TextDe::seq(V&& v) {
  int peek = parse_whitespace();
  if (peek < 0) return peek_error(Code::EofWhileParsingValue);
  if (peek != '[') return peek_invalid_type(v.expecting());
  WW_TRY(enter());
  eat_char();
  TextSeq s(*this);
  auto r = v.visit_seq(rec::Ctx{family}, s);
  leave();
  Status closed = end_seq();
  if (!r.ok()) return fix(r.take_error());
  if (!closed.ok()) return closed.take_error();
  return r;
}

template <class V>
Result<rec::OutOf<V>> TextDe::map(V&& v) {
  int peek = parse_whitespace();
  if (peek < 0) return peek_error(Code::EofWhileParsingValue);
  if (peek != '{') return peek_invalid_type(v.expecting());
  WW_TRY(enter());
  eat_char();
  TextMap m(*this);
  auto r = v.visit_map(rec::Ctx{family}, m);
  leave();
  Status closed = end_map();
  if (!r.ok()) return fix(r.take_error());
  if (!closed.ok()) return closed.take_error();
  return r;
}

template <class V>
Result<rec::OutOf<V>> TextDe::struct_(std::string_view, rec::Names, V&& v) {
  int peek = parse_whitespace();
  if (peek < 0) return peek_error(Code::EofWhileParsingValue);
  if (peek == '[') {
    WW_TRY(enter());
    eat_char();
    TextSeq s(*this);
    auto r = v.visit_seq(rec::Ctx{family}, s);
    leave();
    Status closed = end_seq();
    if (!r.ok()) return fix(r.take_error());
    if (!closed.ok()) return closed.take_error();
    return r;
  }
  if (peek == '{') {
    WW_TRY(enter());
    eat_char();
    TextMap m(*this);
    auto r = v.visit_map(rec::Ctx{family}, m);
    leave();
    Status closed = end_map();
    if (!r.ok()) return fix(r.take_error());
    if (!closed.ok()) return closed.take_error();
    return r;
  }
  return peek_invalid_type(v.expecting());
}

template <class V>
Result<rec::OutOf<V>> TextDe::enum_(std::string_view, rec::Names, V&& v) {
  int peek = parse_whitespace();
  if (peek == '{') {
    WW_TRY(enter());
    eat_char();
    TextVariant access(*this);
    auto r = v.visit_enum(rec::Ctx{family}, access);
    leave();
    if (!r.ok()) return r;
    int c = parse_whitespace();
    if (c == '}') {
      eat_char();
      return r;
    }
    if (c >= 0) return error(Code::ExpectedSomeValue);
    return error(Code::EofWhileParsingObject);
  }
  if (peek == '"') {
    TextUnitVariant access(*this);
    return v.visit_enum(rec::Ctx{family}, access);
  }
  if (peek < 0) return peek_error(Code::EofWhileParsingValue);
  return peek_error(Code::ExpectedSomeValue);
}

// ---- KeyDe ----------------------------------------------------------------

template <class V>
Result<rec::OutOf<V>> KeyDe::any(V&& v) {
  de_->eat_char();
  WW_TRY_ASSIGN(std::string_view s, de_->parse_str());
  return v.visit_str(rec::Ctx{family}, s);
}

template <class V>
Result<rec::OutOf<V>> KeyDe::numeric(V& v) {
  de_->eat_char();
  int c = de_->peek();
  if (!((c >= '0' && c <= '9') || c == '-')) return de_->error(Code::ExpectedNumericKey);
  WW_TRY_ASSIGN(auto value, de_->u64(v));
  if (de_->peek() != '"') return de_->peek_error(Code::ExpectedDoubleQuote);
  de_->eat_char();
  return value;
}

inline Status KeyDe::ignored_any() {
  de_->eat_char();
  WW_TRY(de_->parse_str());
  return {};
}

// Reads one whole document of T from text: `read(de)` then only whitespace.
template <class F>
auto read_whole(std::string_view input, bool validate_utf8, F&& read) -> decltype(read(std::declval<TextDe&>())) {
  TextDe de(input, validate_utf8);
  auto r = read(de);
  if (!r.ok()) return r;
  Status tail = de.end();
  if (!tail.ok()) return tail.take_error();
  return r;
}

}  // namespace ww::json
