// Numbers read from JSON text: the reader's one-pass path for the common
// forms must give exactly what the digit-by-digit reader (parse_integer)
// gives, the same kind, bit-identical doubles, the same end, and the same
// error with its position, for generated numbers of every form.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "format/json/json_value.h"
#include "format/json/text_de.h"
#include "split_mix.h"

namespace ww {
namespace {

// What one reading of a number gave, as comparable text.
std::string describe(const Result<JsonValue>& r) {
  if (!r.ok()) return "ERR " + r.error().text();
  switch (r->kind()) {
    case JsonValue::Kind::U64: return "u64 " + std::to_string(r->as_u64());
    case JsonValue::Kind::I64: return "i64 " + std::to_string(r->as_i64());
    case JsonValue::Kind::F64: return "f64 " + std::to_string(std::bit_cast<std::uint64_t>(r->as_f64()));
    default: return "other";
  }
}

// The digit-by-digit reader, then the end of the document.
Result<JsonValue> read_slowly(std::string_view text) {
  json::TextDe de(text, false);
  const bool positive = text.empty() || text[0] != '-';
  if (!positive) de.eat_char();
  auto n = de.parse_integer(positive);
  if (!n.ok()) return n.take_error();
  Status end = de.end();
  if (!end.ok()) return end.take_error();
  switch (n->kind) {
    case json::Number::Kind::U64: return JsonValue::u64(n->u);
    case json::Number::Kind::I64: return JsonValue::i64(n->i);
    case json::Number::Kind::F64: break;
  }
  return JsonValue::f64(n->f);
}

using Rng = ww::test_rng::SplitMix;

std::string digits(Rng& rng, std::uint64_t n) {
  std::string s;
  for (std::uint64_t i = 0; i < n; ++i) s.push_back(static_cast<char>('0' + rng.below(10)));
  return s;
}

// A number in any of its forms, well-formed or not: leading zeros, up to
// 26 digits before and after the point, exponents of up to five digits,
// and now and then a missing part or a stray byte.
std::string generated_number(Rng& rng) {
  std::string s;
  if (rng.below(3) == 0) s += '-';
  switch (rng.below(10)) {
    case 0: s += '0'; break;
    case 1: s += "0" + digits(rng, 1 + rng.below(3)); break;
    case 2: s += digits(rng, 18 + rng.below(4)); break;
    default: s += static_cast<char>('1' + rng.below(9)) + digits(rng, rng.below(26)); break;
  }
  if (rng.below(2) == 0) s += "." + digits(rng, rng.below(8) == 0 ? 0 : rng.below(27));
  if (rng.below(3) == 0) {
    s += rng.below(2) == 0 ? 'e' : 'E';
    const std::uint64_t sign = rng.below(3);
    if (sign == 1) s += '+';
    if (sign == 2) s += '-';
    const std::uint64_t width = rng.below(10) == 0 ? 0 : 1 + rng.below(rng.below(4) == 0 ? 5 : 3);
    s += digits(rng, width);
  }
  if (rng.below(20) == 0) s += "x.e-"[rng.below(4)];
  return s;
}

TEST(JsonNumberRead, OnePassMatchesDigitByDigit) {
  std::vector<std::string> numbers = {
      "0", "-0", "-0.0", "0.0", "0e5", "1e308", "1e309", "-1e309", "1.7976931348623157e308", "1.8e308",
      "1e-308", "1e-309", "1e-400", "0.0000000000000000001e-290", "9999999999999999999", "10000000000000000000",
      "18446744073709551615", "18446744073709551616", "-9223372036854775808", "-9223372036854775809",
      "1234567890123456789.5", "123456789012345678.9e3", "1.000000000000000000", "1e+999", "1e-999", "1e1000",
      "00", "-", "-x", "1.", "1.e5", "1e", "1e+", "1E-", "1.5e5x", "12345678", "1234567812345678",
  };
  Rng rng{2024};
  for (int i = 0; i < 100000; ++i) numbers.push_back(generated_number(rng));
  int failures = 0;
  for (const std::string& n : numbers) {
    // Alone at the end of the text, and with room after it for the
    // one-pass path.
    for (const std::string& text : {n, n + std::string(40, ' ')}) {
      const std::string got = describe(parse_json_text(text));
      const std::string want = describe(read_slowly(text));
      if (got != want && ++failures <= 10) ADD_FAILURE() << "\"" << text << "\": " << got << " vs " << want;
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(JsonNumberRead, InsideDocuments) {
  // Numbers followed by the bytes that usually come next.
  auto r = parse_json_text(R"({"a":[-12.5,3,-4,1e2,0.000125,18446744073709551615],"b":-0,"c":1.5E-3})");
  ASSERT_TRUE(r.ok()) << r.error().text();
  EXPECT_EQ(to_json_text(*r), R"({"a":[-12.5,3,-4,100.0,0.000125,18446744073709551615],"b":-0.0,"c":0.0015})");
}

}  // namespace
}  // namespace ww
