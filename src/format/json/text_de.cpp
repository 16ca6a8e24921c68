#include "format/json/text_de.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "format/text_scan.h"

namespace ww::json {
namespace {

// The exact doubles 1e0 .. 1e308.
struct Pow10Table {
  double v[309];
  Pow10Table() {
    // Built by repeated multiplication would round; parse each literal instead.
    for (int i = 0; i <= 308; ++i) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "1e%d", i);
      v[i] = std::strtod(buf, nullptr);
    }
  }
};
const Pow10Table kPow10;

// Hexadecimal digits' values; 0x10 marks every other byte.
constexpr struct HexTable {
  unsigned char v[256];
  constexpr HexTable() : v() {
    for (int c = 0; c < 256; ++c) {
      v[c] = c >= '0' && c <= '9'   ? static_cast<unsigned char>(c - '0')
             : c >= 'a' && c <= 'f' ? static_cast<unsigned char>(c - 'a' + 10)
             : c >= 'A' && c <= 'F' ? static_cast<unsigned char>(c - 'A' + 10)
                                    : 0x10;
    }
  }
} kHex;

// What a one-letter escape stands for; 0 for letters that are no escape.
constexpr struct UnescapeTable {
  char v[256];
  constexpr UnescapeTable() : v() {
    v['"'] = '"';
    v['\\'] = '\\';
    v['/'] = '/';
    v['b'] = '\b';
    v['f'] = '\f';
    v['n'] = '\n';
    v['r'] = '\r';
    v['t'] = '\t';
  }
} kUnescaped;

bool mul10_add_overflows(std::uint64_t a, std::uint64_t digit) {
  constexpr std::uint64_t m = UINT64_MAX;
  return a >= m / 10 && (a > m / 10 || digit > m % 10);
}

}  // namespace

const char* code_message(Code code) {
  switch (code) {
    case Code::EofWhileParsingList: return "EOF while parsing a list";
    case Code::EofWhileParsingObject: return "EOF while parsing an object";
    case Code::EofWhileParsingString: return "EOF while parsing a string";
    case Code::EofWhileParsingValue: return "EOF while parsing a value";
    case Code::ExpectedColon: return "expected `:`";
    case Code::ExpectedListCommaOrEnd: return "expected `,` or `]`";
    case Code::ExpectedObjectCommaOrEnd: return "expected `,` or `}`";
    case Code::ExpectedSomeIdent: return "expected ident";
    case Code::ExpectedSomeValue: return "expected value";
    case Code::ExpectedDoubleQuote: return "expected `\"`";
    case Code::InvalidEscape: return "invalid escape";
    case Code::InvalidNumber: return "invalid number";
    case Code::NumberOutOfRange: return "number out of range";
    case Code::InvalidUnicodeCodePoint: return "invalid unicode code point";
    case Code::ControlCharacterWhileParsingString:
      return "control character (\\u0000-\\u001F) found while parsing a string";
    case Code::KeyMustBeAString: return "key must be a string";
    case Code::ExpectedNumericKey: return "invalid value: expected key to be a number in quotes";
    case Code::FloatKeyMustBeFinite: return "float key must be finite (got NaN or +/-inf)";
    case Code::LoneLeadingSurrogateInHexEscape: return "lone leading surrogate in hex escape";
    case Code::TrailingComma: return "trailing comma";
    case Code::TrailingCharacters: return "trailing characters";
    case Code::UnexpectedEndOfHexEscape: return "unexpected end of hex escape";
    case Code::RecursionLimitExceeded: return "recursion limit exceeded";
  }
  return "";
}

Position position_of(std::string_view input, std::size_t index) {
  index = std::min(index, input.size());
  std::size_t start_of_line = 0;
  std::uint64_t line = 1;
  const char* base = input.data();
  for (const char* p = base; p < base + index;) {
    const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(base + index - p));
    if (!nl) break;
    p = static_cast<const char*>(nl) + 1;
    start_of_line = static_cast<std::size_t>(p - base);
    ++line;
  }
  return {line, index - start_of_line};
}

rec::Unexpected Number::unexpected() const {
  switch (kind) {
    case Kind::U64: return rec::Unexpected::unsigned_(u);
    case Kind::I64: return rec::Unexpected::signed_(i);
    case Kind::F64: break;
  }
  return rec::Unexpected::floating(f);
}

Error TextDe::error(Code code) const {
  Position pos = position_of(input(), index_);
  return Error::at(code_message(code), pos.line, pos.column);
}

Error TextDe::peek_error(Code code) const {
  Position pos = position_of(input(), std::min(len_, index_ + 1));
  return Error::at(code_message(code), pos.line, pos.column);
}

Error TextDe::fix(Error e) const {
  if (!e.has_position()) {
    Position pos = position_of(input(), index_);
    e.fix_position(pos.line, pos.column);
  }
  return e;
}

int TextDe::skip_whitespace_run() {
  unsigned char c = p_[index_];
  if (!scan::is_json_space(c)) return c;
  ++index_;
  // Whitespace runs are mostly spaces (": ", indentation after a line
  // feed): eight at a time, a word of spaces XORed with spaces being zero
  // up to the first other byte.
  while (len_ - index_ >= 8) {
    const std::uint64_t x = scan::swar::load8(p_ + index_) ^ (scan::swar::kOnes * ' ');
    if (x == 0) {
      index_ += 8;
      continue;
    }
    index_ += static_cast<std::size_t>(std::countr_zero(x)) >> 3;
    c = p_[index_];
    if (!scan::is_json_space(c)) return c;
    ++index_;
  }
  for (; index_ < len_; ++index_) {
    c = p_[index_];
    if (!scan::is_json_space(c)) return c;
  }
  return -1;
}

Status TextDe::enter() {
  if (--remaining_depth_ == 0) return peek_error(Code::RecursionLimitExceeded);
  return {};
}

Status TextDe::end() {
  if (parse_whitespace() >= 0) return peek_error(Code::TrailingCharacters);
  return {};
}

Status TextDe::parse_object_colon() {
  int c = parse_whitespace();
  if (c == ':') {
    eat_char();
    return {};
  }
  if (c >= 0) return peek_error(Code::ExpectedColon);
  return peek_error(Code::EofWhileParsingObject);
}

Status TextDe::parse_ident(const char* rest) {
  for (const char* e = rest; *e; ++e) {
    if (index_ >= len_) return error(Code::EofWhileParsingValue);
    unsigned char c = p_[index_++];
    if (c != static_cast<unsigned char>(*e)) return error(Code::ExpectedSomeIdent);
  }
  return {};
}

Status TextDe::end_seq() {
  int c = parse_whitespace();
  if (c == ']') {
    eat_char();
    return {};
  }
  if (c == ',') {
    eat_char();
    if (parse_whitespace() == ']') return peek_error(Code::TrailingComma);
    return peek_error(Code::TrailingCharacters);
  }
  if (c >= 0) return peek_error(Code::TrailingCharacters);
  return peek_error(Code::EofWhileParsingList);
}

Status TextDe::end_map() {
  int c = parse_whitespace();
  if (c == '}') {
    eat_char();
    return {};
  }
  if (c == ',') return peek_error(Code::TrailingComma);
  if (c >= 0) return peek_error(Code::TrailingCharacters);
  return peek_error(Code::EofWhileParsingObject);
}

Error TextDe::peek_invalid_type(const std::string& expected) {
  rec::Unexpected found = rec::Unexpected::of(rec::Unexpected::Kind::Unit);
  std::string_view text;
  switch (index_ < len_ ? p_[index_] : 0) {
    case 'n': {
      eat_char();
      Status s = parse_ident("ull");
      if (!s.ok()) return s.take_error();
      break;
    }
    case 't': {
      eat_char();
      Status s = parse_ident("rue");
      if (!s.ok()) return s.take_error();
      found = rec::Unexpected::boolean(true);
      break;
    }
    case 'f': {
      eat_char();
      Status s = parse_ident("alse");
      if (!s.ok()) return s.take_error();
      found = rec::Unexpected::boolean(false);
      break;
    }
    case '-': {
      eat_char();
      auto n = parse_integer(false);
      if (!n.ok()) return n.take_error();
      found = n->unexpected();
      break;
    }
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9': {
      auto n = parse_integer(true);
      if (!n.ok()) return n.take_error();
      found = n->unexpected();
      break;
    }
    case '"': {
      eat_char();
      auto s = parse_str();
      if (!s.ok()) return s.take_error();
      found = rec::Unexpected::str(*s);
      break;
    }
    case '[': found = rec::Unexpected::of(rec::Unexpected::Kind::Seq); break;
    case '{': found = rec::Unexpected::of(rec::Unexpected::Kind::Map); break;
    default: return peek_error(Code::ExpectedSomeValue);
  }
  return fix(rec::invalid_type(rec::Family::Json, found, expected));
}

// ---- strings ----------------------------------------------------------------

void TextDe::skip_string_content(bool* bad_utf8) {
  if (bad_utf8 == nullptr || *bad_utf8) {
    index_ += scan::find_string_stop(p_ + index_, len_ - index_);
    return;
  }
  for (;;) {
    index_ += scan::find_string_stop_or_non_ascii(p_ + index_, len_ - index_);
    // A run of multi-byte characters, checked one by one. A sequence cut
    // short by a quote, backslash or control character is ill-formed, and
    // so is the string whatever an escape adds after it: escapes produce
    // whole characters, which never continue a sequence.
    // Single ASCII bytes between them (a space between words) are taken
    // here too; two in a row send the scan back to blocks.
    for (;;) {
      if (index_ == len_) return;
      const unsigned char c = p_[index_];
      if (c >= 0x80) {
        const std::size_t width = scan::utf8_sequence_length(p_ + index_, len_ - index_);
        if (width == 0) {
          *bad_utf8 = true;
          ++index_;
          index_ += scan::find_string_stop(p_ + index_, len_ - index_);
          return;
        }
        index_ += width;
        continue;
      }
      if (scan::kStringStop.hit[c]) return;
      ++index_;
      if (index_ < len_ && p_[index_] < 0x80 && !scan::kStringStop.hit[p_[index_]]) break;
    }
  }
}

// The escapes that need no check beyond their own bytes: a one-letter
// escape, or \u and four hex digits outside the surrogates. Anything else
// (also every error) is left to parse_escape, with nothing consumed.
inline bool TextDe::unescape_common() {
  if (index_ >= len_) return false;
  const unsigned char letter = p_[index_];
  if (letter != 'u') {
    const char c = kUnescaped.v[letter];
    if (c == 0) return false;
    scratch_.push_back(c);
    ++index_;
    return true;
  }
  if (len_ - index_ < 5) return false;
  const unsigned char* h = p_ + index_ + 1;
  const unsigned a = kHex.v[h[0]], b = kHex.v[h[1]], c = kHex.v[h[2]], d = kHex.v[h[3]];
  if ((a | b | c | d) & 0x10) return false;
  const std::uint32_t cp = (a << 12) | (b << 8) | (c << 4) | d;
  if (cp >= 0xD800 && cp <= 0xDFFF) return false;
  push_codepoint(cp);
  index_ += 5;
  return true;
}

Result<std::string_view> TextDe::parse_str() {
  // Most strings hold no escape and end in a quote: a view of the input.
  const std::size_t start = index_;
  bool bad_utf8 = false;
  skip_string_content(validate_ ? &bad_utf8 : nullptr);
  if (index_ < len_ && p_[index_] == '"' && !bad_utf8) {
    ++index_;
    return std::string_view(reinterpret_cast<const char*>(p_ + start), index_ - 1 - start);
  }
  return parse_str_rest(start, bad_utf8);
}

Result<std::string_view> TextDe::parse_str_rest(std::size_t start, bool bad_utf8) {
  // Ill-formed UTF-8 is reported only once the closing quote has been read,
  // after any other error of the string.
  bool copied = false;
  scratch_.clear();
  for (;;) {
    if (index_ == len_) return error(Code::EofWhileParsingString);
    unsigned char c = p_[index_];
    if (c == '"') {
      std::string_view s;
      if (!copied) {
        s = std::string_view(reinterpret_cast<const char*>(p_ + start), index_ - start);
      } else {
        scratch_.append(reinterpret_cast<const char*>(p_ + start), index_ - start);
        s = scratch_;
      }
      ++index_;
      if (bad_utf8) return error(Code::InvalidUnicodeCodePoint);
      return s;
    }
    if (c == '\\') {
      scratch_.append(reinterpret_cast<const char*>(p_ + start), index_ - start);
      copied = true;
      ++index_;
      if (!unescape_common()) WW_TRY(parse_escape());
      start = index_;
      skip_string_content(validate_ ? &bad_utf8 : nullptr);
      continue;
    }
    ++index_;
    return error(Code::ControlCharacterWhileParsingString);
  }
}

Status TextDe::parse_escape() {
  if (index_ >= len_) return error(Code::EofWhileParsingString);
  unsigned char ch = p_[index_++];
  switch (ch) {
    case '"': scratch_.push_back('"'); break;
    case '\\': scratch_.push_back('\\'); break;
    case '/': scratch_.push_back('/'); break;
    case 'b': scratch_.push_back('\b'); break;
    case 'f': scratch_.push_back('\f'); break;
    case 'n': scratch_.push_back('\n'); break;
    case 'r': scratch_.push_back('\r'); break;
    case 't': scratch_.push_back('\t'); break;
    case 'u': return parse_unicode_escape();
    default: return error(Code::InvalidEscape);
  }
  return {};
}

Result<std::uint16_t> TextDe::decode_hex_escape() {
  if (len_ - index_ < 4) {
    index_ = len_;
    return error(Code::EofWhileParsingString);
  }
  const unsigned char* h = p_ + index_;
  const unsigned a = kHex.v[h[0]], b = kHex.v[h[1]], c = kHex.v[h[2]], d = kHex.v[h[3]];
  index_ += 4;
  if ((a | b | c | d) & 0x10) return error(Code::InvalidEscape);
  return static_cast<std::uint16_t>((a << 12) | (b << 8) | (c << 4) | d);
}

void TextDe::push_codepoint(std::uint32_t cp) {
  if (cp < 0x80) {
    scratch_.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    scratch_.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    scratch_.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    scratch_.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    scratch_.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    scratch_.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    scratch_.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    scratch_.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    scratch_.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    scratch_.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

Status TextDe::parse_unicode_escape() {
  WW_TRY_ASSIGN(std::uint16_t n, decode_hex_escape());
  // A trailing surrogate cannot start a character.
  if (n >= 0xDC00 && n <= 0xDFFF) return error(Code::LoneLeadingSurrogateInHexEscape);
  if (n < 0xD800 || n > 0xDBFF) {
    push_codepoint(n);
    return {};
  }
  // A leading surrogate must be followed by \u and a trailing one.
  if (index_ >= len_) return error(Code::EofWhileParsingString);
  if (p_[index_] != '\\') {
    ++index_;
    return error(Code::UnexpectedEndOfHexEscape);
  }
  ++index_;
  if (index_ >= len_) return error(Code::EofWhileParsingString);
  if (p_[index_] != 'u') {
    ++index_;
    return error(Code::UnexpectedEndOfHexEscape);
  }
  ++index_;
  WW_TRY_ASSIGN(std::uint16_t n2, decode_hex_escape());
  if (n2 < 0xDC00 || n2 > 0xDFFF) return error(Code::LoneLeadingSurrogateInHexEscape);
  std::uint32_t cp = ((static_cast<std::uint32_t>(n - 0xD800) << 10) | (n2 - 0xDC00)) + 0x10000;
  push_codepoint(cp);
  return {};
}

// ---- numbers ----------------------------------------------------------------

inline std::size_t TextDe::gather_digits(std::uint64_t& significand) {
  std::size_t taken = 0;
  while (len_ - index_ >= 8) {
    const std::uint64_t word = scan::swar::load8(p_ + index_);
    const unsigned k = scan::leading_digits(word);
    // Only digits that all fit: the one-by-one loop after this call meets
    // the digit that overflows, as it would without this shortcut.
    if (k == 0 || significand > scan::kMaxBeforeDigits[k]) break;
    significand = significand * scan::kPow10U64[k] + scan::digits_value(word, k);
    index_ += k;
    taken += k;
    if (k < 8) break;
  }
  return taken;
}

Result<Number> TextDe::parse_integer(bool positive) {
  if (index_ >= len_) return error(Code::EofWhileParsingValue);
  unsigned char c = p_[index_++];
  if (c == '0') {
    // Only one leading zero.
    int next = peek();
    if (next >= '0' && next <= '9') return peek_error(Code::InvalidNumber);
    return parse_number(positive, 0);
  }
  if (c >= '1' && c <= '9') {
    std::uint64_t significand = c - '0';
    gather_digits(significand);
    for (;;) {
      int d = peek();
      if (d < '0' || d > '9') return parse_number(positive, significand);
      std::uint64_t digit = static_cast<std::uint64_t>(d - '0');
      if (mul10_add_overflows(significand, digit)) {
        WW_TRY_ASSIGN(double f, parse_long_integer(positive, significand));
        return Number{Number::Kind::F64, 0, 0, f};
      }
      eat_char();
      significand = significand * 10 + digit;
    }
  }
  return error(Code::InvalidNumber);
}

Result<Number> TextDe::parse_number(bool positive, std::uint64_t significand) {
  int c = peek();
  if (c == '.') {
    WW_TRY_ASSIGN(double f, parse_decimal(positive, significand, 0));
    return Number{Number::Kind::F64, 0, 0, f};
  }
  if (c == 'e' || c == 'E') {
    WW_TRY_ASSIGN(double f, parse_exponent(positive, significand, 0));
    return Number{Number::Kind::F64, 0, 0, f};
  }
  if (positive) return Number{Number::Kind::U64, significand, 0, 0};
  // Negative: a signed integer, or a double on underflow and for -0.
  std::int64_t neg = static_cast<std::int64_t>(0 - significand);
  if (neg >= 0) return Number{Number::Kind::F64, 0, 0, -static_cast<double>(significand)};
  return Number{Number::Kind::I64, 0, neg, 0};
}

Result<double> TextDe::parse_decimal(bool positive, std::uint64_t significand, int exponent_before) {
  eat_char();
  int exponent_after = 0;
  exponent_after -= static_cast<int>(gather_digits(significand));
  for (;;) {
    int c = peek();
    if (c < '0' || c > '9') break;
    std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (mul10_add_overflows(significand, digit)) {
      return parse_decimal_overflow(positive, significand, exponent_before + exponent_after);
    }
    eat_char();
    significand = significand * 10 + digit;
    exponent_after -= 1;
  }
  // At least one digit after the point.
  if (exponent_after == 0) {
    if (index_ < len_) return peek_error(Code::InvalidNumber);
    return peek_error(Code::EofWhileParsingValue);
  }
  int final_exponent = exponent_before + exponent_after;
  int c = peek();
  if (c == 'e' || c == 'E') return parse_exponent(positive, significand, final_exponent);
  return f64_from_parts(positive, significand, final_exponent);
}

Result<double> TextDe::parse_exponent(bool positive, std::uint64_t significand, int starting_exp) {
  eat_char();
  bool positive_exp = true;
  int c = peek();
  if (c == '+') {
    eat_char();
  } else if (c == '-') {
    eat_char();
    positive_exp = false;
  }
  if (index_ >= len_) return error(Code::EofWhileParsingValue);
  unsigned char next = p_[index_++];
  if (next < '0' || next > '9') return error(Code::InvalidNumber);
  int exp = next - '0';
  for (;;) {
    int d = peek();
    if (d < '0' || d > '9') break;
    eat_char();
    int digit = d - '0';
    if (exp >= INT32_MAX / 10 && (exp > INT32_MAX / 10 || digit > INT32_MAX % 10)) {
      return parse_exponent_overflow(positive, significand == 0, positive_exp);
    }
    exp = exp * 10 + digit;
  }
  long long fe = positive_exp ? static_cast<long long>(starting_exp) + exp : static_cast<long long>(starting_exp) - exp;
  fe = std::clamp<long long>(fe, INT32_MIN, INT32_MAX);
  return f64_from_parts(positive, significand, static_cast<int>(fe));
}

Result<double> TextDe::parse_exponent_overflow(bool positive, bool zero_significand, bool positive_exp) {
  // An exponent this large is infinity unless the significand is zero.
  if (!zero_significand && positive_exp) return error(Code::NumberOutOfRange);
  skip_digits();
  return positive ? 0.0 : -0.0;
}

Result<double> TextDe::parse_long_integer(bool positive, std::uint64_t significand) {
  // Each further digit before the point raises the exponent by one. The
  // count saturates: 2^31 digits would overflow it, and far fewer already
  // make the number out of range.
  const int exponent = static_cast<int>(std::min<std::size_t>(skip_digits(), INT32_MAX));
  int c = peek();
  if (c == '.') return parse_decimal(positive, significand, exponent);
  if (c == 'e' || c == 'E') return parse_exponent(positive, significand, exponent);
  return f64_from_parts(positive, significand, exponent);
}

Result<double> TextDe::parse_decimal_overflow(bool positive, std::uint64_t significand, int exponent) {
  // Further digits cannot change the significand: drop them.
  skip_digits();
  int c = peek();
  if (c == 'e' || c == 'E') return parse_exponent(positive, significand, exponent);
  return f64_from_parts(positive, significand, exponent);
}

Result<double> TextDe::f64_from_parts(bool positive, std::uint64_t significand, int exponent) {
  double f = static_cast<double>(significand);
  for (;;) {
    unsigned mag = exponent < 0 ? 0u - static_cast<unsigned>(exponent) : static_cast<unsigned>(exponent);
    if (mag <= 308) {
      if (exponent >= 0) {
        f *= kPow10.v[mag];
        if (f - f != 0) return error(Code::NumberOutOfRange);
      } else {
        f /= kPow10.v[mag];
      }
      break;
    }
    if (f == 0.0) break;
    if (exponent >= 0) return error(Code::NumberOutOfRange);
    f /= 1e308;
    exponent += 308;
  }
  return positive ? f : -f;
}

// ---- skipping ---------------------------------------------------------------

Status TextDe::ignore_str() {
  for (;;) {
    skip_string_content(nullptr);
    if (index_ == len_) return error(Code::EofWhileParsingString);
    unsigned char c = p_[index_];
    if (c == '"') {
      ++index_;
      return {};
    }
    if (c == '\\') {
      ++index_;
      WW_TRY(ignore_escape());
      continue;
    }
    return error(Code::ControlCharacterWhileParsingString);
  }
}

Status TextDe::ignore_escape() {
  if (index_ >= len_) return error(Code::EofWhileParsingString);
  unsigned char ch = p_[index_++];
  switch (ch) {
    case '"': case '\\': case '/': case 'b': case 'f': case 'n': case 'r': case 't': return {};
    case 'u': {
      // Whether the code point is valid does not matter when skipping.
      auto r = decode_hex_escape();
      if (!r.ok()) return r.take_error();
      return {};
    }
    default: return error(Code::InvalidEscape);
  }
}

Status TextDe::ignore_integer() {
  unsigned char c = index_ < len_ ? p_[index_++] : 0;
  if (c == '0') {
    int next = peek();
    if (next >= '0' && next <= '9') return peek_error(Code::InvalidNumber);
  } else if (c >= '1' && c <= '9') {
    skip_digits();
  } else {
    return error(Code::InvalidNumber);
  }
  int next = peek();
  if (next == '.') {
    eat_char();
    if (skip_digits() == 0) return peek_error(Code::InvalidNumber);
    next = peek();
  }
  if (next == 'e' || next == 'E') {
    eat_char();
    if (peek() == '+' || peek() == '-') eat_char();
    unsigned char d = index_ < len_ ? p_[index_++] : 0;
    if (d < '0' || d > '9') return error(Code::InvalidNumber);
    skip_digits();
  }
  return {};
}

std::size_t TextDe::skip_digits() {
  const std::size_t start = index_;
  while (len_ - index_ >= 8) {
    const unsigned k = scan::leading_digits(scan::swar::load8(p_ + index_));
    index_ += k;
    if (k < 8) return index_ - start;
  }
  while (index_ < len_ && scan::is_digit(p_[index_])) ++index_;
  return index_ - start;
}

// Skips one value with an explicit stack of open brackets, so skipping has
// no recursion (and no nesting limit).
Status TextDe::ignore_value() {
  std::vector<unsigned char> stack;
  int enclosing = 0;
  for (;;) {
    int peek = parse_whitespace();
    if (peek < 0) return peek_error(Code::EofWhileParsingValue);
    int frame = 0;
    switch (peek) {
      case 'n': eat_char(); WW_TRY(parse_ident("ull")); break;
      case 't': eat_char(); WW_TRY(parse_ident("rue")); break;
      case 'f': eat_char(); WW_TRY(parse_ident("alse")); break;
      case '-': eat_char(); WW_TRY(ignore_integer()); break;
      case '0': case '1': case '2': case '3': case '4':
      case '5': case '6': case '7': case '8': case '9': WW_TRY(ignore_integer()); break;
      case '"': eat_char(); WW_TRY(ignore_str()); break;
      case '[': case '{':
        if (enclosing) stack.push_back(static_cast<unsigned char>(enclosing));
        enclosing = 0;
        eat_char();
        frame = peek;
        break;
      default: return peek_error(Code::ExpectedSomeValue);
    }
    bool accept_comma;
    if (frame) {
      accept_comma = false;
    } else if (enclosing) {
      frame = enclosing;
      enclosing = 0;
      accept_comma = true;
    } else if (!stack.empty()) {
      frame = stack.back();
      stack.pop_back();
      accept_comma = true;
    } else {
      return {};
    }
    for (;;) {
      int c = parse_whitespace();
      if (c == ',' && accept_comma) {
        eat_char();
        break;
      }
      if ((c == ']' && frame == '[') || (c == '}' && frame == '{')) {
        eat_char();
        if (stack.empty()) return {};
        frame = stack.back();
        stack.pop_back();
        accept_comma = true;
        continue;
      }
      if (c >= 0) {
        if (accept_comma) {
          return peek_error(frame == '[' ? Code::ExpectedListCommaOrEnd : Code::ExpectedObjectCommaOrEnd);
        }
        break;
      }
      return peek_error(frame == '[' ? Code::EofWhileParsingList : Code::EofWhileParsingObject);
    }
    if (frame == '{') {
      int c = parse_whitespace();
      if (c == '"') {
        eat_char();
      } else if (c >= 0) {
        return peek_error(Code::KeyMustBeAString);
      } else {
        return peek_error(Code::EofWhileParsingObject);
      }
      WW_TRY(ignore_str());
      c = parse_whitespace();
      if (c == ':') {
        eat_char();
      } else if (c >= 0) {
        return peek_error(Code::ExpectedColon);
      } else {
        return peek_error(Code::EofWhileParsingObject);
      }
    }
    enclosing = frame;
  }
}

}  // namespace ww::json
