// Arbitrary JSON documents in MessagePack: the writer's forms, the generic
// reader's acceptance and errors, the nesting limit, skipping nothing.
#include <gtest/gtest.h>

#include <string>

#include "format/json/json_value.h"
#include "format/msgpack/msgpack_json.h"
#include "msgpack_test_util.h"

namespace ww {
namespace {

using testing_msgpack::hex;
using testing_msgpack::mp;

std::string to_msgpack(std::string_view json) {
  auto v = parse_json_text(json);
  if (!v.ok()) return "ERR " + v.error().text();
  std::string out;
  msgpack::write_json_value(*v, out);
  return hex(out);
}

std::string to_json(std::string_view bytes) {
  auto v = msgpack::read_json_value(bytes);
  if (!v.ok()) return "ERR " + v.error().text();
  return to_json_text(*v);
}

struct Case {
  const char* a;
  const char* b;
};

class JsonToMsgpack : public ::testing::TestWithParam<Case> {};

TEST_P(JsonToMsgpack, Writes) { EXPECT_EQ(to_msgpack(GetParam().a), hex(mp(GetParam().b))) << GetParam().a; }

INSTANTIATE_TEST_SUITE_P(
    Forms, JsonToMsgpack,
    ::testing::Values(
        Case{R"({"b":1,"a":[true,null,-1,1.5]})", R"(82 "a" 94 c3 c0 ff cb 3f f8 00 00 00 00 00 00 "b" 01)"},
        Case{"255", "cc ff"}, Case{"256", "cd 01 00"}, Case{"-33", "d0 df"}, Case{"-32", "e0"},
        Case{"-0", "cb 80 00 00 00 00 00 00 00"}, Case{"2.0", "cb 40 00 00 00 00 00 00 00"},
        Case{"18446744073709551615", "cf ff ff ff ff ff ff ff ff"},
        Case{"18446744073709551616", "cb 43 f0 00 00 00 00 00 00"},
        Case{"-9223372036854775809", "cb c3 e0 00 00 00 00 00 00"},
        Case{R"({"a":1,"a":2})", R"(81 "a" 02)"}, Case{"{}", "80"}, Case{"[]", "90"},
        Case{R"("\u00e9")", "a2 c3 a9"}));

class MsgpackToJson : public ::testing::TestWithParam<Case> {};

TEST_P(MsgpackToJson, Reads) { EXPECT_EQ(to_json(mp(GetParam().a)), GetParam().b) << GetParam().a; }

INSTANTIATE_TEST_SUITE_P(
    Items, MsgpackToJson,
    ::testing::Values(
        Case{"01 02", "1"}, Case{"c0", "null"}, Case{"c2", "false"},
        Case{"d0 05", "5"}, Case{"d3 ff ff ff ff ff ff ff ff", "-1"}, Case{"cf ff ff ff ff ff ff ff ff", "18446744073709551615"},
        Case{"ca 3d cc cc cd", "0.10000000149011612"}, Case{"cb 7f f8 00 00 00 00 00 00", "null"},
        Case{"ca ff 80 00 00", "null"}, Case{"cb 80 00 00 00 00 00 00 00", "-0.0"},
        Case{R"(82 "b" 01 "a" 02)", R"({"a":2,"b":1})"}, Case{R"(82 "a" 01 "a" 02)", R"({"a":2})"},
        // Later keys may be UTF-8 bin items; the first must be a str.
        Case{R"(82 "a" 01 c4 01 62 02)", R"({"a":1,"b":2})"},
        Case{R"(82 c4 01 62 02 "a" 01)", "ERR invalid type: byte array, expected a string key"},
        Case{R"(82 "a" 01 c4 01 ff 02)", "ERR invalid value: byte array, expected a string"},
        Case{R"(81 01 02)", "ERR invalid type: integer `1`, expected a string key"},
        Case{R"(82 "a" 01 c0 02)", "ERR invalid type: unit value, expected a string"},
        Case{R"(82 "a" 01 cb 3f f8 00 00 00 00 00 00 02)", "ERR invalid type: floating point `1.5`, expected a string"},
        // A found double: shortest digits, a tie going away from zero; the
        // same double as a value keeps the JSON writer's digits.
        Case{R"(81 ca c4 04 4e 75 01)", "ERR invalid type: floating point `-529.2258911132813`, expected a string key"},
        Case{R"(82 "a" 01 cb 3f 40 08 00 00 00 00 00 02)",
             "ERR invalid type: floating point `0.0004892349243164063`, expected a string"},
        Case{"ca c4 04 4e 75", "-529.2258911132812"},
        // Generic reading expects no number: a wrong item is read whole.
        Case{R"(81 a2 61)", "ERR IO error while reading data: unexpected end of file"},
        Case{R"(81 a1 ff 01)", "ERR string found to be invalid utf8: invalid utf-8 sequence of 1 bytes from index 0"},
        Case{R"(82 "a" 01 a1 ff 01)", "ERR string found to be invalid utf8: invalid utf-8 sequence of 1 bytes from index 0"},
        Case{R"(a2 ed a0)", "ERR string found to be invalid utf8: invalid utf-8 sequence of 1 bytes from index 0"},
        Case{R"(c4 00)", "ERR invalid type: byte array, expected any valid JSON value"},
        Case{R"(c6 00 00 00 01 00)", "ERR invalid type: byte array, expected any valid JSON value"},
        Case{R"(d4 01 02)", "ERR invalid type: newtype struct, expected any valid JSON value"},
        Case{R"(c7 00 01)", "ERR invalid type: newtype struct, expected any valid JSON value"},
        Case{R"(c7)", "ERR IO error while reading data: failed to fill whole buffer"},
        Case{"c1", "ERR wrong msgpack marker Reserved"}, Case{"91 c1", "ERR wrong msgpack marker Reserved"},
        Case{"", "ERR IO error while reading marker: failed to fill whole buffer"},
        Case{"92 01", "ERR IO error while reading marker: failed to fill whole buffer"},
        Case{"dc 00", "ERR IO error while reading data: failed to fill whole buffer"},
        Case{"cb 00 00", "ERR IO error while reading data: failed to fill whole buffer"},
        Case{"a5 61 62", "ERR IO error while reading data: unexpected end of file"},
        Case{"c4 05 61 62", "ERR IO error while reading data: unexpected end of file"},
        Case{"dd ff ff ff ff 01", "ERR IO error while reading marker: failed to fill whole buffer"},
        Case{"df ff ff ff ff", "ERR IO error while reading marker: failed to fill whole buffer"}));

std::string nested(const char* open, int depth, const char* inner = "01") {
  std::string out;
  for (int i = 0; i < depth; ++i) out += mp(open);
  return out + mp(inner);
}

// The start of the text, or the whole error.
std::string head_of(std::string_view bytes) {
  std::string s = to_json(bytes);
  return s.rfind("ERR ", 0) == 0 ? s : s.substr(0, 40);
}

TEST(MsgpackJson, NestingLimitCountsArraysMapsAndExt) {
  EXPECT_EQ(head_of(nested("91", 1023)), std::string(40, '['));
  EXPECT_EQ(head_of(nested("91", 1024)), "ERR depth limit exceeded");
  EXPECT_EQ(head_of(nested(R"(81 "k")", 1023)).substr(0, 6), R"({"k":{)");
  EXPECT_EQ(head_of(nested(R"(81 "k")", 1024)), "ERR depth limit exceeded");
  // An ext item is a level of its own: at the limit it fails on depth.
  EXPECT_EQ(head_of(nested("91", 1022, "d4 01 02")), "ERR invalid type: newtype struct, expected any valid JSON value");
  EXPECT_EQ(head_of(nested("91", 1023, "d4 01 02")), "ERR depth limit exceeded");
}

TEST(MsgpackJson, RoundTripKeepsEveryForm) {
  const char* doc =
      R"({"a":[0,127,128,-1,-32,-33,-129,-32769,-2147483649,4294967296,1.5,-0.0,1e+300],)"
      R"("b":{"":null,"x":"y"},"c":[[],{}],"d":"\u0000\"\\\u00e9\ud83d\ude00"})";
  auto v = parse_json_text(doc);
  ASSERT_TRUE(v.ok());
  std::string bytes;
  msgpack::write_json_value(*v, bytes);
  EXPECT_EQ(to_json(bytes), to_json_text(*v));
}

}  // namespace
}  // namespace ww
