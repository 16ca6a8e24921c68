// The MessagePack form of a Value: the writer's bytes, and what the reader
// accepts (kind by name, bin name or index; bin as a list of bytes; any
// integer width that fits) and how it fails.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "msgpack_test_util.h"
#include "value/value_json.h"
#include "value/value_msgpack.h"

namespace ww {
namespace {

using testing_msgpack::hex;
using testing_msgpack::mp;

std::string read(std::string_view bytes) {
  auto r = value_from_msgpack(bytes);
  if (!r.ok()) return "ERR " + r.error().text();
  return value_to_json(*r);
}

std::string written(const Value& v) {
  std::string out;
  write_value_msgpack(v, out);
  return out;
}

struct WriteCase {
  const char* json;
  const char* bytes;  // in the notation of msgpack_test_util.h
};

class MsgpackValueWrites : public ::testing::TestWithParam<WriteCase> {};

TEST_P(MsgpackValueWrites, BytesAndBack) {
  auto v = value_from_json_text(GetParam().json);
  ASSERT_TRUE(v.ok()) << v.error().text();
  EXPECT_EQ(hex(written(*v)), hex(mp(GetParam().bytes))) << GetParam().json;
  EXPECT_EQ(read(written(*v)), value_to_json(*v));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MsgpackValueWrites,
    ::testing::Values(
        WriteCase{R"("Null")", R"("Null")"},
        WriteCase{R"({"Bool":false})", R"(81 "Bool" c2)"},
        WriteCase{R"({"Int":1})", R"(81 "Int" 01)"},
        WriteCase{R"({"Int":200})", R"(81 "Int" cc c8)"},
        WriteCase{R"({"Int":-1})", R"(81 "Int" ff)"},
        WriteCase{R"({"Int":-9223372036854775808})", R"(81 "Int" d3 80 00 00 00 00 00 00 00)"},
        WriteCase{R"({"Float":1.0})", R"(81 "Float" cb 3f f0 00 00 00 00 00 00)"},
        WriteCase{R"({"Float":3})", R"(81 "Float" cb 40 08 00 00 00 00 00 00)"},
        WriteCase{R"({"Str":"x"})", R"(81 "Str" "x")"},
        WriteCase{R"({"List":[]})", R"(81 "List" 90)"},
        WriteCase{R"({"List":[{"Int":1},"Null"]})", R"(81 "List" 92 81 "Int" 01 "Null")"},
        WriteCase{R"({"Map":{"b":"Null","a":{"Submodel":7}}})", R"(81 "Map" 82 "a" 81 "Submodel" 07 "b" "Null")"},
        WriteCase{R"({"Submodel":18446744073709551615})", R"(81 "Submodel" cf ff ff ff ff ff ff ff ff)"}));

TEST(MsgpackValue, NonFiniteFloatsKeepTheirBits) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(hex(written(Value::floating(nan))), hex(mp(R"(81 "Float" cb 7f f8 00 00 00 00 00 00)")));
  EXPECT_EQ(hex(written(Value::floating(-inf))), hex(mp(R"(81 "Float" cb ff f0 00 00 00 00 00 00)")));
  auto back = value_from_msgpack(written(Value::floating(-inf)));
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back->as_float(), -inf);
  back = value_from_msgpack(written(Value::floating(nan)));
  ASSERT_TRUE(back.ok());
  EXPECT_TRUE(std::isnan(back->as_float()));
}

struct ReadCase {
  const char* bytes;
  const char* expected;  // the value's JSON text, or "ERR <message>"
};

class MsgpackValueReads : public ::testing::TestWithParam<ReadCase> {};

TEST_P(MsgpackValueReads, Reads) { EXPECT_EQ(read(mp(GetParam().bytes)), GetParam().expected) << GetParam().bytes; }

INSTANTIATE_TEST_SUITE_P(
    Identifiers, MsgpackValueReads,
    ::testing::Values(
        ReadCase{R"("Null")", R"("Null")"},
        ReadCase{"00", R"("Null")"},
        ReadCase{R"(c4 04 4e 75 6c 6c)", R"("Null")"},
        ReadCase{R"(81 "Null" c0)", R"("Null")"},
        ReadCase{R"(81 00 c0)", R"("Null")"},
        ReadCase{R"(81 02 05)", R"({"Int":5})"},
        ReadCase{R"(81 c4 03 49 6e 74 05)", R"({"Int":5})"},
        ReadCase{R"(81 cc 07 09)", R"({"Submodel":9})"},
        ReadCase{R"("Int")", "ERR invalid type: unit variant, expected newtype variant"},
        ReadCase{"02", "ERR invalid type: unit variant, expected newtype variant"},
        ReadCase{"08", "ERR invalid value: integer `8`, expected variant index 0 <= i < 8"},
        ReadCase{R"(81 08 c0)", "ERR invalid value: integer `8`, expected variant index 0 <= i < 8"},
        // A signed form is never an index, whatever its value.
        ReadCase{R"(81 d0 02 05)", "ERR invalid type: integer `2`, expected variant identifier"},
        ReadCase{R"(81 ff 05)", "ERR invalid type: integer `-1`, expected variant identifier"},
        ReadCase{R"(81 c0 05)", "ERR invalid type: unit value, expected variant identifier"},
        ReadCase{R"(81 cb 3f f8 00 00 00 00 00 00 05)",
                 "ERR invalid type: floating point `1.5`, expected variant identifier"},
        ReadCase{R"(81 "int" 05)",
                 "ERR unknown variant `int`, expected one of `Null`, `Bool`, `Int`, `Float`, `Str`, `List`, `Map`, "
                 "`Submodel`"},
        // A str name must be UTF-8; a bin name that is not is quoted with U+FFFD.
        ReadCase{R"(81 a2 49 ff 05)", "ERR string found to be invalid utf8: invalid utf-8 sequence of 1 bytes from index 1"},
        ReadCase{R"(c4 02 ff 49)",
                 "ERR unknown variant `\xEF\xBF\xBDI`, expected one of `Null`, `Bool`, `Int`, `Float`, `Str`, "
                 "`List`, `Map`, `Submodel`"},
        ReadCase{"80", "ERR array had incorrect length, expected 0"},
        ReadCase{R"(82 "Int" 01 "Str" "x")", "ERR array had incorrect length, expected 2"},
        ReadCase{R"(de 00 01 "Int" 01)", R"({"Int":1})"},
        ReadCase{R"(df 00 00 00 03)", "ERR array had incorrect length, expected 3"},
        ReadCase{"90", "ERR invalid type: sequence, expected variant identifier"},
        ReadCase{"c0", "ERR invalid type: unit value, expected variant identifier"},
        ReadCase{"c3", "ERR invalid type: boolean `true`, expected variant identifier"},
        ReadCase{"c1", "ERR wrong msgpack marker Reserved"}));

INSTANTIATE_TEST_SUITE_P(
    Payloads, MsgpackValueReads,
    ::testing::Values(
        ReadCase{R"(81 "Null" 01)", "ERR wrong msgpack marker FixPos(1)"},
        ReadCase{R"(81 "Null" 90)", "ERR wrong msgpack marker FixArray(0)"},
        ReadCase{R"(81 "Null")", "ERR IO error while reading marker: failed to fill whole buffer"},
        ReadCase{R"(81 "Bool" c3)", R"({"Bool":true})"},
        ReadCase{R"(81 "Bool" c0)", "ERR invalid type: unit value, expected a boolean"},
        ReadCase{R"(81 "Bool" 01)", "ERR invalid type: integer `1`, expected a boolean"},
        ReadCase{R"(81 "Int" d3 80 00 00 00 00 00 00 00)", R"({"Int":-9223372036854775808})"},
        ReadCase{R"(81 "Int" cf 7f ff ff ff ff ff ff ff)", R"({"Int":9223372036854775807})"},
        ReadCase{R"(81 "Int" cf 80 00 00 00 00 00 00 00)",
                 "ERR invalid value: integer `9223372036854775808`, expected i64"},
        ReadCase{R"(81 "Int" cb 3f f0 00 00 00 00 00 00)", "ERR invalid type: floating point `1.0`, expected i64"},
        ReadCase{R"(81 "Int" ca 3f c0 00 00)", "ERR invalid type: floating point `1.5`, expected i64"},
        ReadCase{R"(81 "Int" cb 43 70 00 00 00 00 00 00)",
                 "ERR invalid type: floating point `72057594037927940.0`, expected i64"},
        ReadCase{R"(81 "Int" "1")", "ERR wrong msgpack marker FixStr(1)"},
        ReadCase{R"(81 "Float" ca 3d cc cc cd)", R"({"Float":0.10000000149011612})"},
        ReadCase{R"(81 "Float" d0 80)", R"({"Float":-128.0})"},
        ReadCase{R"(81 "Float" cf ff ff ff ff ff ff ff ff)", R"({"Float":1.8446744073709552e+19})"},
        ReadCase{R"(81 "Float" c0)", "ERR invalid type: unit value, expected f64"},
        ReadCase{R"(81 "Str" "hi")", R"({"Str":"hi"})"},
        ReadCase{R"(81 "Str" c4 02 68 69)", R"({"Str":"hi"})"},
        ReadCase{R"(81 "Str" c4 01 ff)", "ERR invalid value: byte array, expected a string"},
        ReadCase{R"(81 "Str" a3 61 e2 82)", "ERR string found to be invalid utf8: incomplete utf-8 byte sequence from index 1"},
        ReadCase{R"(81 "Str" a3 61 ff 61)", "ERR string found to be invalid utf8: invalid utf-8 sequence of 1 bytes from index 1"},
        ReadCase{R"(81 "Str" a4 f0 90 80 41)", "ERR string found to be invalid utf8: invalid utf-8 sequence of 3 bytes from index 0"},
        ReadCase{R"(81 "Str" 05)", "ERR invalid type: integer `5`, expected a string"},
        ReadCase{R"(81 "List" c4 00)", R"({"List":[]})"},
        ReadCase{R"(81 "List" c4 01 05)", "ERR invalid type: integer `5`, expected enum Value"},
        ReadCase{R"(81 "List" 80)", "ERR invalid type: map, expected a sequence"},
        ReadCase{R"(81 "List" 92 "Null")", "ERR IO error while reading marker: failed to fill whole buffer"},
        // A declared length is no promise: four billion elements fail at the end of the input.
        ReadCase{R"(81 "List" dd ff ff ff ff "Null")", "ERR IO error while reading marker: failed to fill whole buffer"},
        ReadCase{R"(81 "Map" 82 "b" "Null" "a" 81 "Int" 01)", R"({"Map":{"a":{"Int":1},"b":"Null"}})"},
        ReadCase{R"(81 "Map" 82 "a" "Null" "a" 81 "Int" 01)", R"({"Map":{"a":{"Int":1}}})"},
        ReadCase{R"(81 "Map" 81 c4 01 6b "Null")", R"({"Map":{"k":"Null"}})"},
        ReadCase{R"(81 "Map" 81 01 "Null")", "ERR invalid type: integer `1`, expected a string"},
        ReadCase{R"(81 "Map" c4 00)", "ERR invalid type: byte array, expected a map"},
        ReadCase{R"(81 "Map" 90)", "ERR invalid type: sequence, expected a map"},
        ReadCase{R"(81 "Submodel" d0 05)", R"({"Submodel":5})"},
        ReadCase{R"(81 "Submodel" ff)", "ERR invalid value: integer `-1`, expected u64"},
        ReadCase{R"(81 "Submodel" d4 01 02)", "ERR wrong msgpack marker FixExt1"}));

// Where a boolean, an integer or a float is expected, the marker alone
// decides; nothing of a refused item is read, so its truncation, its bytes
// and its nesting cannot fail first.
INSTANTIATE_TEST_SUITE_P(
    NumberPayloads, MsgpackValueReads,
    ::testing::Values(
        ReadCase{R"(81 "Int" 85 01 02)", "ERR wrong msgpack marker FixMap(5)"},
        ReadCase{R"(81 "Bool" 82 01)", "ERR wrong msgpack marker FixMap(2)"},
        ReadCase{R"(81 "Float" 9f 01 02)", "ERR wrong msgpack marker FixArray(15)"},
        ReadCase{R"(81 "Int" a2)", "ERR wrong msgpack marker FixStr(2)"},
        ReadCase{R"(81 "Int" d9 c2)", "ERR wrong msgpack marker Str8"},
        ReadCase{R"(81 "Int" a2 ff ff)", "ERR wrong msgpack marker FixStr(2)"},
        ReadCase{R"(81 "Submodel" c4 00)", "ERR wrong msgpack marker Bin8"},
        ReadCase{R"(81 "Int" d5 01 02 03)", "ERR wrong msgpack marker FixExt2"},
        ReadCase{R"(81 "Int" de 00 00)", "ERR wrong msgpack marker Map16"},
        ReadCase{R"(81 "Int" a0)", "ERR wrong msgpack marker FixStr(0)"},
        ReadCase{R"(81 "Float" c1)", "ERR wrong msgpack marker Reserved"},
        ReadCase{R"(81 "Bool" 91 91 91 91)", "ERR wrong msgpack marker FixArray(1)"},
        // nil is a found unit value; the number forms are read as before.
        ReadCase{R"(81 "Int" c0)", "ERR invalid type: unit value, expected i64"},
        ReadCase{R"(81 "Submodel" c0)", "ERR invalid type: unit value, expected u64"},
        ReadCase{R"(81 "Bool" c2)", R"({"Bool":false})"},
        ReadCase{R"(81 "Bool" ca 3f c0 00 00)", "ERR invalid type: floating point `1.5`, expected a boolean"},
        ReadCase{R"(81 "Submodel" cb 3f f0 00 00 00 00 00 00)", "ERR invalid type: floating point `1.0`, expected u64"},
        ReadCase{R"(81 "Submodel" c3)", "ERR invalid type: boolean `true`, expected u64"},
        ReadCase{R"(81 "Float" e0)", R"({"Float":-32.0})"},
        ReadCase{R"(81 "Int" d1)", "ERR IO error while reading data: failed to fill whole buffer"},
        // Where a text or a list is expected, a wrong item is still read.
        ReadCase{R"(81 "Str" a2 61)", "ERR IO error while reading data: unexpected end of file"},
        ReadCase{R"(81 "List" a2 ff ff)", "ERR string found to be invalid utf8: invalid utf-8 sequence of 1 bytes from index 0"}));

// A found double is quoted with its shortest digits; of two equally near
// strings of that length the one farther from zero.
INSTANTIATE_TEST_SUITE_P(
    FoundFloats, MsgpackValueReads,
    ::testing::Values(
        ReadCase{R"(81 "Int" ca c4 04 4e 75)", "ERR invalid type: floating point `-529.2258911132813`, expected i64"},
        ReadCase{R"(81 "Int" ca 44 04 4e 75)", "ERR invalid type: floating point `529.2258911132813`, expected i64"},
        ReadCase{R"(81 "Submodel" ca 38 d5 00 00)",
                 "ERR invalid type: floating point `0.00010156631469726563`, expected u64"},
        // a tie that the nearest-even digit already settles away from zero
        ReadCase{R"(81 "Submodel" ca 38 d7 00 00)",
                 "ERR invalid type: floating point `0.00010251998901367188`, expected u64"},
        ReadCase{R"(81 "Bool" cb 3f 40 08 00 00 00 00 00)",
                 "ERR invalid type: floating point `0.0004892349243164063`, expected a boolean"},
        // no tie
        ReadCase{R"(81 "Int" ca 3d cc cc cd)", "ERR invalid type: floating point `0.10000000149011612`, expected i64"}));

// Every marker that is neither nil, a boolean, an integer nor a float, in
// front of each number payload: with nothing after it, and with bytes that
// would fail the item's own reading if it were read.
TEST(MsgpackValue, EveryOtherMarkerIsWrongForANumber) {
  struct Marker {
    const char* byte;
    const char* name;
  };
  const Marker markers[] = {
      {"80", "FixMap(0)"},    {"8f", "FixMap(15)"},   {"90", "FixArray(0)"}, {"9f", "FixArray(15)"},
      {"a0", "FixStr(0)"},    {"bf", "FixStr(31)"},   {"c1", "Reserved"},    {"c4", "Bin8"},
      {"c5", "Bin16"},        {"c6", "Bin32"},        {"c7", "Ext8"},        {"c8", "Ext16"},
      {"c9", "Ext32"},        {"d4", "FixExt1"},      {"d5", "FixExt2"},     {"d6", "FixExt4"},
      {"d7", "FixExt8"},      {"d8", "FixExt16"},     {"d9", "Str8"},        {"da", "Str16"},
      {"db", "Str32"},        {"dc", "Array16"},      {"dd", "Array32"},     {"de", "Map16"},
      {"df", "Map32"},
  };
  for (const char* kind : {"Bool", "Int", "Float", "Submodel"}) {
    for (const Marker& m : markers) {
      const std::string head = std::string(R"(81 ")") + kind + R"(" )" + m.byte;
      const std::string want = std::string("ERR wrong msgpack marker ") + m.name;
      EXPECT_EQ(read(mp(head)), want) << head;
      EXPECT_EQ(read(mp(head + " ff ff ff ff c1")), want) << head;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Truncated, MsgpackValueReads,
    ::testing::Values(
        ReadCase{"", "ERR IO error while reading marker: failed to fill whole buffer"},
        ReadCase{"a4 4e 75", "ERR IO error while reading data: unexpected end of file"},
        ReadCase{"de", "ERR IO error while reading data: failed to fill whole buffer"},
        ReadCase{"de 00", "ERR IO error while reading data: failed to fill whole buffer"},
        ReadCase{R"(81 "Int" cd 01)", "ERR IO error while reading data: failed to fill whole buffer"},
        ReadCase{R"(81 "Float" cb 3f f0)", "ERR IO error while reading data: failed to fill whole buffer"},
        ReadCase{R"(81 "Str" d9)", "ERR IO error while reading data: failed to fill whole buffer"},
        ReadCase{R"(81 "Str" d9 05 61)", "ERR IO error while reading data: unexpected end of file"},
        // Only the first item counts.
        ReadCase{R"(81 "Int" 01 c1 ff)", R"({"Int":1})"}));

// Each nested List is one array level; the enum maps around them are not.
std::string nested_lists(int depth) {
  std::string out;
  for (int i = 0; i < depth; ++i) out += mp(R"(81 "List" 91)");
  return out + mp(R"("Null")");
}

TEST(MsgpackValue, NestingLimit) {
  EXPECT_EQ(read(nested_lists(1023)).substr(0, 10), R"({"List":[{)");
  EXPECT_EQ(read(nested_lists(1024)), "ERR depth limit exceeded");
  // An ext item takes a level where it is read, and is not read where a
  // number is expected.
  std::string deep;
  for (int i = 0; i < 1023; ++i) deep += mp(R"(81 "List" 91)");
  EXPECT_EQ(read(deep + mp(R"(81 "Str" d4 01 02)")), "ERR depth limit exceeded");
  EXPECT_EQ(read(deep + mp(R"(81 "Int" d4 01 02)")), "ERR wrong msgpack marker FixExt1");
}

}  // namespace
}  // namespace ww
