// The CBOR form of a Value: the writer's bytes, and what the reader accepts
// (tags skipped, names as text or bytes, byte strings as lists, bignums)
// and how it fails.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "cbor_test_util.h"
#include "value/value_cbor.h"
#include "value/value_json.h"

namespace ww {
namespace {

using testing_cbor::cb;
using testing_cbor::hex;
using testing_cbor::kIoEof;
using testing_cbor::nested;

std::string read(std::string_view bytes) {
  Result<Value> r = value_from_cbor(bytes);
  if (!r.ok()) return r.error().text();
  return value_to_json(*r);
}

std::string written(const Value& v) {
  std::string out;
  write_value_cbor(v, out);
  return out;
}

const char* const kKinds = "expected one of `Null`, `Bool`, `Int`, `Float`, `Str`, `List`, `Map`, `Submodel`";

TEST(CborValue, WritesEachKind) {
  struct Case {
    const char* json;
    const char* bytes;
  };
  const Case cases[] = {
      {R"("Null")", R"("Null")"},
      {R"({"Bool":true})", R"(a1 "Bool" f5)"},
      {R"({"Bool":false})", R"(a1 "Bool" f4)"},
      {R"({"Int":-3})", R"(a1 "Int" 22)"},
      {R"({"Int":300})", R"(a1 "Int" 19 01 2c)"},
      {R"({"Int":-9223372036854775808})", R"(a1 "Int" 3b 7f ff ff ff ff ff ff ff)"},
      {R"({"Float":1.5})", R"(a1 "Float" f9 3e 00)"},
      {R"({"Float":1.1})", R"(a1 "Float" fb 3f f1 99 99 99 99 99 9a)"},
      {R"({"Str":"x"})", R"(a1 "Str" "x")"},
      {R"({"List":[{"Int":1},"Null"]})", R"(a1 "List" 82 a1 "Int" 01 "Null")"},
      {R"({"List":[]})", R"(a1 "List" 80)"},
      {R"({"Map":{"b":"Null","a":{"Submodel":7}}})", R"(a1 "Map" a2 "a" a1 "Submodel" 07 "b" "Null")"},
      {R"({"Submodel":18446744073709551615})", R"(a1 "Submodel" 1b ff ff ff ff ff ff ff ff)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    Result<Value> v = value_from_json_text(c.json);
    ASSERT_TRUE(v.ok()) << v.error().text();
    EXPECT_EQ(hex(written(*v)), hex(cb(c.bytes)));
    EXPECT_EQ(read(cb(c.bytes)), value_to_json(*v));
  }
  EXPECT_EQ(hex(written(Value::floating(std::numeric_limits<double>::quiet_NaN()))), hex(cb(R"(a1 "Float" f9 7e 00)")));
}

struct ReadCase {
  const char* what;
  std::string bytes;
  std::string expected;  // the JSON form, or the error text
};

std::string semantic(const std::string& message) {
  std::string out = "Semantic(None, \"";
  for (char c : message) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\")";
}

TEST(CborValue, ReadsAndRefuses) {
  const std::string unknown = std::string(", ") + kKinds;
  const ReadCase cases[] = {
      // the two shapes of a Value
      {"text Null", cb(R"("Null")"), R"("Null")"},
      {"Null with a null payload", cb(R"(a1 "Null" f6)"), R"("Null")"},
      {"Null with another payload", cb(R"(a1 "Null" 01)"), semantic("invalid type: integer `1`, expected unit")},
      {"a kind with payload named alone", cb(R"("Int")"),
       semantic("invalid type: unit variant, expected newtype variant")},
      {"a kind named alone before its payload", cb(R"("Int" 01)"),
       semantic("invalid type: unit variant, expected newtype variant")},
      {"two entries", cb(R"(a2 "Int" 01 "Str" "x")"), semantic("invalid type: map, expected enum")},
      {"indefinite map", cb(R"(bf "Int" 01 ff)"), semantic("invalid type: map, expected enum")},
      {"array", cb("80"), semantic("invalid type: sequence, expected enum")},
      {"integer", cb("05"), semantic("invalid type: integer `5`, expected enum")},
      {"null", cb("f6"), semantic("invalid type: null, expected enum")},
      {"float", cb("f9 3c 00"), semantic("invalid type: floating point `1.0`, expected enum")},
      {"break", cb("ff"), semantic("invalid type: break, expected enum")},
      // names
      {"unknown name", cb(R"(a1 "int" 01)"), semantic("unknown variant `int`" + unknown)},
      {"name quoted in debug form", cb("a1 63 61 22 62 01"), semantic("unknown variant `a\"b`" + unknown)},
      {"name as bytes", cb("a1 43 49 6e 74 01"), R"({"Int":1})"},
      {"bytes name that is not UTF-8", cb("a1 42 ff 61 01"), semantic("unknown variant `\xef\xbf\xbd" "a`" + unknown)},
      {"name as an integer", cb("a1 04 01"), semantic("invalid type: integer `4`, expected str or bytes")},
      {"name as indefinite text", cb(R"(a1 7f "Int" ff 01)"), semantic("invalid type: string, expected str or bytes")},
      {"name that is not UTF-8", cb("a1 62 c3 28 01"), "Syntax(1)"},
      {"tags skipped everywhere", cb(R"(c1 a1 c6 "Int" c7 01)"), R"({"Int":1})"},
      // payloads
      {"bool", cb(R"(a1 "Bool" c1 f5)"), R"({"Bool":true})"},
      {"bool from an integer", cb(R"(a1 "Bool" 01)"), R"(Semantic(Some(6), "expected bool"))"},
      {"bool from null after a tag", cb(R"(a1 "Bool" c1 f6)"), R"(Semantic(Some(7), "expected bool"))"},
      {"largest int", cb(R"(a1 "Int" 1b 7f ff ff ff ff ff ff ff)"), R"({"Int":9223372036854775807})"},
      {"int past i64", cb(R"(a1 "Int" 1b 80 00 00 00 00 00 00 00)"), semantic("integer too large")},
      {"lowest int", cb(R"(a1 "Int" 3b 7f ff ff ff ff ff ff ff)"), R"({"Int":-9223372036854775808})"},
      {"int below i64", cb(R"(a1 "Int" 3b 80 00 00 00 00 00 00 00)"), semantic("integer too large")},
      {"int from a bignum", cb(R"(a1 "Int" c2 41 05)"), R"({"Int":5})"},
      {"int from a negative bignum", cb(R"(a1 "Int" c3 41 05)"), R"({"Int":-6})"},
      {"int from a long bignum", cb(R"(a1 "Int" c2 58 12 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 09)"),
       R"({"Int":9})"},
      {"int from a bignum over indefinite bytes", cb(R"(a1 "Int" c2 5f 41 00 41 03 ff)"), R"({"Int":3})"},
      {"bignum past 16 bytes", cb(R"(a1 "Int" c2 51 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00)"),
       semantic("bigint too large")},
      {"bignum over text", cb(R"(a1 "Int" c2 "x")"), semantic("invalid type: string, expected bytes")},
      {"int from text", cb(R"(a1 "Int" "x")"), semantic("invalid type: string, expected integer")},
      {"int from a float", cb(R"(a1 "Int" f9 3e 00)"), semantic("invalid type: floating point `1.5`, expected integer")},
      {"int from null", cb(R"(a1 "Int" f6)"), semantic("invalid type: null, expected integer")},
      {"int from undefined", cb(R"(a1 "Int" f7)"), semantic("invalid type: undefined, expected integer")},
      {"int from the lowest negative head", cb(R"(a1 "Int" 3b ff ff ff ff ff ff ff ff)"), semantic("integer too large")},
      {"float from half", cb(R"(a1 "Float" f9 3e 00)"), R"({"Float":1.5})"},
      {"float from single", cb(R"(a1 "Float" fa 47 c3 50 00)"), R"({"Float":100000.0})"},
      {"NaN float", cb(R"(a1 "Float" f9 7e 00)"), R"({"Float":null})"},
      {"float from an integer", cb(R"(a1 "Float" 03)"), semantic("invalid type: integer `3`, expected float")},
      {"float from a negative", cb(R"(a1 "Float" 20)"), semantic("invalid type: integer `-1`, expected float")},
      {"float from a big negative head", cb(R"(a1 "Float" 3b ff ff ff ff ff ff ff ff)"),
       semantic("invalid type: integer `0`, expected float")},
      {"str", cb(R"(a1 "Str" "caf")"), R"({"Str":"caf"})"},
      {"str from indefinite text", cb(R"(a1 "Str" 7f "ab" "c" ff)"), R"({"Str":"abc"})"},
      {"str from bytes", cb(R"(a1 "Str" 41 61)"), semantic("invalid type: bytes, expected string")},
      {"str that is not UTF-8", cb(R"(a1 "Str" 61 ff)"), "Syntax(5)"},
      {"list", cb(R"(a1 "List" 9f "Null" a1 "Int" 01 ff)"), R"({"List":["Null",{"Int":1}]})"},
      {"list from empty bytes", cb(R"(a1 "List" 40)"), R"({"List":[]})"},
      {"list from bytes", cb(R"(a1 "List" 41 05)"), semantic("invalid type: integer `5`, expected enum Value")},
      {"list from a map", cb(R"(a1 "List" a0)"), semantic("invalid type: map, expected array")},
      {"map", cb(R"(a1 "Map" a2 "b" "Null" "a" a1 "Int" 01)"), R"({"Map":{"a":{"Int":1},"b":"Null"}})"},
      {"map repeats keep the last", cb(R"(a1 "Map" a2 "a" "Null" "a" a1 "Int" 02)"), R"({"Map":{"a":{"Int":2}}})"},
      {"map with an indefinite key", cb(R"(a1 "Map" a1 7f "k" ff "Null")"), R"({"Map":{"k":"Null"}})"},
      {"map with a bytes key", cb(R"(a1 "Map" a1 41 61 "Null")"), semantic("invalid type: bytes, expected string")},
      {"map from an array", cb(R"(a1 "Map" 80)"), semantic("invalid type: sequence, expected map")},
      {"submodel", cb(R"(a1 "Submodel" 1b ff ff ff ff ff ff ff ff)"), R"({"Submodel":18446744073709551615})"},
      {"negative submodel", cb(R"(a1 "Submodel" 20)"), semantic("unexpected negative integer")},
      {"submodel from the lowest negative head", cb(R"(a1 "Submodel" 3b ff ff ff ff ff ff ff ff)"),
       semantic("unexpected negative integer")},
      {"submodel from a negative bignum", cb(R"(a1 "Submodel" c3 41 05)"), semantic("unexpected negative integer")},
      {"submodel from an empty negative bignum", cb(R"(a1 "Submodel" c3 40)"), semantic("unexpected negative integer")},
      {"submodel from a 128-bit negative bignum", cb(R"(a1 "Submodel" c3 50 ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff)"),
       semantic("unexpected negative integer")},
      {"submodel from a bignum past u64", cb(R"(a1 "Submodel" c2 49 01 00 00 00 00 00 00 00 00)"),
       semantic("integer too large")},
      {"submodel from a negative bignum past 16 bytes", cb(R"(a1 "Submodel" c3 51 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00)"),
       semantic("bigint too large")},
      {"submodel from a bignum", cb(R"(a1 "Submodel" c2 42 01 00)"), R"({"Submodel":256})"},
      // a found double quoted with its shortest digits, ties away from zero
      {"int from a half that ties", cb(R"(a1 "Int" f9 01 74)"),
       semantic("invalid type: floating point `0.000022172927856445313`, expected integer")},
      {"int from a negative single that ties", cb(R"(a1 "Int" fa c4 04 4e 75)"),
       semantic("invalid type: floating point `-529.2258911132813`, expected integer")},
      {"int from a half that ties up to even", cb(R"(a1 "Int" f9 06 b8)"),
       semantic("invalid type: floating point `0.00010251998901367188`, expected integer")},
      // the item alone is read
      {"trailing bytes", cb(R"(a1 "Int" 01 ff ff)"), R"({"Int":1})"},
      {"empty input", "", kIoEof},
      {"payload missing", cb(R"(a1 "Int")"), kIoEof},
      {"malformed payload head", cb(R"(a1 "Int" 1c)"), "Syntax(5)"},
      {"huge list", cb(R"(a1 "List" 9b ff ff ff ff ff ff ff ff "Null")"), kIoEof},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(read(c.bytes), c.expected);
  }
}

// Each Value takes a level, and the array or map of a List or Map another.
TEST(CborValue, NestingLimit) {
  const std::string open = cb(R"(a1 "List" 81)");
  const std::string open_empty = cb(R"(a1 "List" 80)");
  EXPECT_EQ(read(nested(127, open, open_empty)).substr(0, 9), R"({"List":[)");  // 256 levels
  EXPECT_EQ(read(nested(128, open, cb(R"("Null")"))), "RecursionLimitExceeded");  // 257
  const std::string map_open = cb(R"(a1 "Map" a1 "k")");
  EXPECT_EQ(read(nested(127, map_open, cb(R"(a1 "Map" a0)"))).substr(0, 9), R"({"Map":{")");
  EXPECT_EQ(read(nested(128, map_open, cb(R"("Null")"))), "RecursionLimitExceeded");
}

Value random_value(std::mt19937_64& rng, int depth) {
  const int kind = static_cast<int>(rng() % (depth > 3 ? 5 : 8));
  switch (kind) {
    case 0: return Value::null();
    case 1: return Value::boolean(rng() % 2 == 0);
    case 2: return Value::integer(static_cast<std::int64_t>(rng()) >> (rng() % 64));
    case 3: {
      const double picks[] = {std::ldexp(static_cast<double>(rng() % 2048), static_cast<int>(rng() % 60) - 40),
                              static_cast<double>(static_cast<float>(rng() % 100000) / 7.0f),
                              static_cast<double>(rng()) / 3.0, -0.0,
                              std::numeric_limits<double>::infinity()};
      return Value::floating(picks[rng() % 5]);
    }
    case 4: {
      static const char* const texts[] = {"", "a", "caf\xc3\xa9", "\xe2\x82\xac\"\\", "twenty-four bytes long!!"};
      return Value::str(texts[rng() % 5]);
    }
    case 5: {
      Value::List items;
      for (std::uint64_t n = rng() % 4; n > 0; --n) items.push_back(random_value(rng, depth + 1));
      return Value::list(std::move(items));
    }
    case 6: {
      Value::Map m;
      for (std::uint64_t n = rng() % 4; n > 0; --n) m.insert_or_assign(std::to_string(rng() % 30), random_value(rng, depth + 1));
      return Value::map(std::move(m));
    }
    default: return Value::submodel(ModelId{rng()});
  }
}

TEST(CborValue, RandomValuesRoundTripAndEveryCutIsAnIoError) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 300; ++i) {
    const Value v = random_value(rng, 0);
    const std::string bytes = written(v);
    Result<Value> back = value_from_cbor(bytes);
    ASSERT_TRUE(back.ok()) << back.error().text() << " for " << hex(bytes);
    EXPECT_EQ(written(*back), bytes);
    EXPECT_TRUE(*back == v) << debug_text(v);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
      ASSERT_EQ(read(bytes.substr(0, cut)), kIoEof) << hex(bytes) << " cut at " << cut;
    }
  }
}

}  // namespace
}  // namespace ww
