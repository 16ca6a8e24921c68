// The JSON text reader and writer: syntax errors with their positions,
// number reading, string escapes, nesting, and the compact writer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "format/float_text.h"
#include "format/json/json_value.h"
#include "format/json/json_writer.h"

namespace ww {
namespace {

std::string roundtrip(std::string_view text, bool bytes = false) {
  auto r = bytes ? parse_json_bytes(text) : parse_json_text(text);
  if (!r.ok()) return "ERR " + r.error().text();
  return to_json_text(*r);
}

struct Case {
  const char* input;
  const char* expected;  // compact output, or "ERR <message with position>"
};

class JsonTextCases : public ::testing::TestWithParam<Case> {};

TEST_P(JsonTextCases, ReadsAndWrites) {
  EXPECT_EQ(roundtrip(GetParam().input), GetParam().expected) << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, JsonTextCases,
    ::testing::Values(
        Case{"", "ERR EOF while parsing a value at line 1 column 0"},
        Case{"   ", "ERR EOF while parsing a value at line 1 column 3"},
        Case{"[1,2", "ERR EOF while parsing a list at line 1 column 4"},
        Case{"{\"a\":1", "ERR EOF while parsing an object at line 1 column 6"},
        Case{"\"abc", "ERR EOF while parsing a string at line 1 column 4"},
        Case{"{\"a\" 1}", "ERR expected `:` at line 1 column 6"},
        Case{"[1 2]", "ERR expected `,` or `]` at line 1 column 4"},
        Case{"{\"a\":1 \"b\":2}", "ERR expected `,` or `}` at line 1 column 8"},
        Case{"nul", "ERR EOF while parsing a value at line 1 column 3"},
        Case{"nulx", "ERR expected ident at line 1 column 4"},
        Case{"x", "ERR expected value at line 1 column 1"},
        Case{"\"\\x\"", "ERR invalid escape at line 1 column 3"},
        Case{"\"\\u12G4\"", "ERR invalid escape at line 1 column 7"},
        Case{"01", "ERR invalid number at line 1 column 2"},
        Case{"-", "ERR EOF while parsing a value at line 1 column 1"},
        Case{"-x", "ERR invalid number at line 1 column 2"},
        Case{"1.", "ERR EOF while parsing a value at line 1 column 2"},
        Case{"1.x", "ERR invalid number at line 1 column 3"},
        Case{"1e", "ERR EOF while parsing a value at line 1 column 2"},
        Case{"1e+x", "ERR invalid number at line 1 column 4"},
        Case{"1e309", "ERR number out of range at line 1 column 5"},
        Case{"\"a\tb\"", "ERR control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
        Case{"{1:2}", "ERR key must be a string at line 1 column 2"},
        Case{"\"\\udc00\"", "ERR lone leading surrogate in hex escape at line 1 column 7"},
        Case{"\"\\ud800\\u0041\"", "ERR lone leading surrogate in hex escape at line 1 column 13"},
        Case{"\"\\ud800x\"", "ERR unexpected end of hex escape at line 1 column 8"},
        Case{"\"\\ud800\\n\"", "ERR unexpected end of hex escape at line 1 column 9"},
        Case{"[1,]", "ERR trailing comma at line 1 column 4"},
        Case{"{\"a\":1,}", "ERR trailing comma at line 1 column 8"},
        Case{"1 2", "ERR trailing characters at line 1 column 3"},
        Case{"[1]\n\n  x", "ERR trailing characters at line 3 column 3"},
        Case{"{\"\xc3\xa9\":tru}", "ERR expected ident at line 1 column 10"},
        Case{" [1] \t\r\n", "[1]"}));

INSTANTIATE_TEST_SUITE_P(
    Numbers, JsonTextCases,
    ::testing::Values(
        Case{"18446744073709551615", "18446744073709551615"},
        Case{"18446744073709551616", "1.8446744073709552e+19"},
        Case{"-9223372036854775808", "-9223372036854775808"},
        Case{"-9223372036854775809", "-9.223372036854776e+18"},
        Case{"-0", "-0.0"},
        Case{"0", "0"},
        Case{"1.5", "1.5"},
        Case{"100", "100"},
        Case{"100.0", "100.0"},
        Case{"1e16", "1e+16"},
        Case{"1e15", "1000000000000000.0"},
        Case{"0.00001", "0.00001"},
        Case{"0.000001", "1e-6"},
        Case{"1.5e-7", "1.5e-7"},
        Case{"-2.5E+20", "-2.5e+20"},
        Case{"1e-400", "0.0"},
        Case{"-1e-400", "-0.0"},
        Case{"0e999999999999", "0.0"},
        Case{"1e-99999999999", "0.0"},
        Case{"123456789012345678901234567890", "1.2345678901234568e+29"},
        Case{"0.1234567890123456789012345", "0.12345678901234568"},
        Case{"1.7976931348623157e308", "1.7976931348623157e+308"}));

INSTANTIATE_TEST_SUITE_P(
    Strings, JsonTextCases,
    ::testing::Values(
        Case{"\"\\ud83d\\ude00\"", "\"\xf0\x9f\x98\x80\""},
        Case{"\"\\u00e9\\/\\b\\f\\n\\r\\t\\\"\\\\\"", "\"\xc3\xa9/\\b\\f\\n\\r\\t\\\"\\\\\""},
        Case{"\"\\u0001\\u001f\\u007f\"", "\"\\u0001\\u001f\x7f\""},
        Case{"{\"b\":1,\"a\":2,\"b\":3}", "{\"a\":2,\"b\":3}"},
        Case{"{\"\":[],\"a\":{}}", "{\"\":[],\"a\":{}}"}));

TEST(JsonText, BytesMustHoldUtf8InStrings) {
  EXPECT_EQ(roundtrip("\"a\xff\"", true), "ERR invalid unicode code point at line 1 column 4");
  EXPECT_EQ(roundtrip("[\"\xc3\xa9\"]", true), "[\"\xc3\xa9\"]");
  // Outside strings an invalid byte is just an unexpected character.
  EXPECT_EQ(roundtrip("\xff", true), "ERR expected value at line 1 column 1");
}

TEST(JsonText, PositionCountsBytesOfTheLine) {
  // Two-byte characters count twice; a line feed starts a new line.
  EXPECT_EQ(roundtrip("[\"\xc3\xa9\xc3\xa9\",\n x]"), "ERR expected value at line 2 column 2");
  EXPECT_EQ(roundtrip("\n\n"), "ERR EOF while parsing a value at line 3 column 0");
}

TEST(JsonText, NestingLimit) {
  std::string ok(127, '['), deep(128, '[');
  ok += std::string(127, ']');
  EXPECT_EQ(roundtrip(ok), ok);
  EXPECT_EQ(roundtrip(deep), "ERR recursion limit exceeded at line 1 column 128");
  // Ten million brackets fail the same way without exhausting the stack.
  std::string huge(10'000'000, '[');
  EXPECT_EQ(roundtrip(huge), "ERR recursion limit exceeded at line 1 column 128");
  std::string objects;
  for (int i = 0; i < 200; ++i) objects += "{\"a\":";
  EXPECT_EQ(roundtrip(objects), "ERR recursion limit exceeded at line 1 column 636");
}

TEST(JsonWriter, DoubleForms) {
  struct D {
    double v;
    const char* json;
    const char* debug;
    const char* plain;
  };
  const D cases[] = {
      {1.0, "1.0", "1.0", "1.0"},
      {-0.0, "-0.0", "-0.0", "-0.0"},
      {1e16, "1e+16", "1e16", "10000000000000000.0"},
      {1.5e-7, "1.5e-7", "1.5e-7", "0.00000015"},
      {0.0001, "0.0001", "0.0001", "0.0001"},
      {123.456, "123.456", "123.456", "123.456"},
      {-2.5e20, "-2.5e+20", "-2.5e20", "-250000000000000000000.0"},
      {std::nan(""), "null", "NaN", "NaN"},
      {INFINITY, "null", "inf", "inf"},
      {-INFINITY, "null", "-inf", "-inf"},
  };
  for (const D& c : cases) {
    std::string j, d, p;
    append_json_double(c.v, j);
    append_debug_double(c.v, d);
    append_plain_double(c.v, p);
    EXPECT_EQ(j, c.json);
    EXPECT_EQ(d, c.debug);
    EXPECT_EQ(p, c.plain);
  }
}

TEST(JsonWriter, EscapesStrings) {
  std::string out;
  json::append_str(std::string_view("q\"b\\\b\t\n\f\r\x01\x1f\x7f\xc3\xa9\0", 15), out);
  EXPECT_EQ(out, "\"q\\\"b\\\\\\b\\t\\n\\f\\r\\u0001\\u001f\x7f\xc3\xa9\\u0000\"");
}

}  // namespace
}  // namespace ww
