// The JSON form of paths, operations and patches: the writer, the reader
// over whole text (positions, "trailing characters", both shapes of an
// operation's fields) and the reader over parsed JSON (no positions,
// "elements in sequence", single-key objects).
#include <gtest/gtest.h>

#include <string>

#include "diff/patch_json.h"
#include "format/json/json_value.h"

namespace ww {
namespace {

std::string from_text(std::string_view text) {
  auto r = patch_from_json_text(text);
  return r.ok() ? patch_to_json(*r) : "ERR " + r.error().text();
}

std::string from_value(std::string_view text) {
  auto parsed = parse_json_text(text);
  EXPECT_TRUE(parsed.ok()) << text;
  if (!parsed.ok()) return "";
  auto r = patch_from_json_value(*parsed);
  return r.ok() ? patch_to_json(*r) : "ERR " + r.error().text();
}

// A patch holding one operation given as text.
std::string with_op(std::string_view op) { return R"({"rev":0,"ops":[)" + std::string(op) + "]}"; }

TEST(PatchJson, WritesCompactlyInDeclarationOrder) {
  Patch p{0,
          {Op::Set{{PathSeg::key("a"), PathSeg::index(2)}, Value::integer(1)},
           Op::Remove{{PathSeg::key("q\"\n")}},
           Op::Insert{{}, 300, Value::null()},
           Op::RemoveAt{{}, 18446744073709551615u},
           Op::Move{{PathSeg::key("b")}, 2, 0},
           Op::Reorder{{}, {1, 0}},
           Op::Reorder{{}, {}}}};
  EXPECT_EQ(patch_to_json(p),
            R"({"rev":0,"ops":[{"Set":{"path":[{"Key":"a"},{"Index":2}],"value":{"Int":1}}},)"
            R"({"Remove":{"path":[{"Key":"q\"\n"}]}},{"Insert":{"path":[],"index":300,"value":"Null"}},)"
            R"({"RemoveAt":{"path":[],"index":18446744073709551615}},{"Move":{"path":[{"Key":"b"}],"from":2,"to":0}},)"
            R"({"Reorder":{"path":[],"order":[1,0]}},{"Reorder":{"path":[],"order":[]}}]})");
  EXPECT_EQ(patch_to_json(Patch{}), R"({"rev":0,"ops":[]})");
}

struct Case {
  std::string input;
  const char* expected;  // compact patch, or "ERR <message>"
};

class PatchFromText : public ::testing::TestWithParam<Case> {};

TEST_P(PatchFromText, Reads) { EXPECT_EQ(from_text(GetParam().input), GetParam().expected) << GetParam().input; }

INSTANTIATE_TEST_SUITE_P(
    Record, PatchFromText,
    ::testing::Values(
        Case{R"( {"ops" : [ ], "rev" : 5} )", R"({"rev":5,"ops":[]})"},
        Case{R"({"rev":1,"ops":[],"note":{"deep":[1,{"x":null}]}})", R"({"rev":1,"ops":[]})"},
        Case{"[7,[]]", R"({"rev":7,"ops":[]})"},
        Case{"[]", "ERR invalid length 0, expected struct Patch with 2 elements at line 1 column 2"},
        Case{"[7]", "ERR invalid length 1, expected struct Patch with 2 elements at line 1 column 3"},
        Case{"[7,[],1]", "ERR trailing characters at line 1 column 7"},
        Case{"[7,[],]", "ERR trailing comma at line 1 column 7"},
        Case{"{}", "ERR missing field `rev` at line 1 column 2"},
        Case{R"({"ops":[]})", "ERR missing field `rev` at line 1 column 10"},
        Case{R"({"rev":1})", "ERR missing field `ops` at line 1 column 9"},
        Case{R"({"rev":1,"ops":[],"rev":2})", "ERR duplicate field `rev` at line 1 column 23"},
        Case{R"({"ops":[],"ops":[]})", "ERR duplicate field `ops` at line 1 column 15"},
        Case{R"({"rev":-1,"ops":[]})", "ERR invalid value: integer `-1`, expected u64 at line 1 column 9"},
        Case{R"({"rev":1.0,"ops":[]})", "ERR invalid type: floating point `1.0`, expected u64 at line 1 column 10"},
        Case{R"({"rev":18446744073709551615,"ops":[]})", R"({"rev":18446744073709551615,"ops":[]})"},
        Case{R"({"rev":18446744073709551616,"ops":[]})",
             "ERR invalid type: floating point `1.8446744073709552e+19`, expected u64 at line 1 column 27"},
        Case{R"({"rev":0,"ops":{}})", "ERR invalid type: map, expected a sequence at line 1 column 15"},
        Case{R"("x")", R"(ERR invalid type: string "x", expected struct Patch at line 1 column 3)"},
        Case{"null", "ERR invalid type: null, expected struct Patch at line 1 column 4"},
        Case{"x", "ERR expected value at line 1 column 1"},
        Case{"", "ERR EOF while parsing a value at line 1 column 0"},
        Case{R"({"rev":0,"ops":[]} x)", "ERR trailing characters at line 1 column 20"}));

INSTANTIATE_TEST_SUITE_P(
    Operation, PatchFromText,
    ::testing::Values(
        Case{with_op(R"({"Move":[[],2,0]})"), R"({"rev":0,"ops":[{"Move":{"path":[],"from":2,"to":0}}]})"},
        Case{with_op(R"({"Move":{"to":0,"from":2,"path":[],"value":"Null"}})"),
             R"({"rev":0,"ops":[{"Move":{"path":[],"from":2,"to":0}}]})"},
        Case{with_op(R"({"Remove":{"path":[],"extra":[1,2]}})"), R"({"rev":0,"ops":[{"Remove":{"path":[]}}]})"},
        Case{with_op(R"({"Reorder":{"path":[],"order":[]}})"), R"({"rev":0,"ops":[{"Reorder":{"path":[],"order":[]}}]})"},
        Case{with_op(R"({"Move":[[],2]})"),
             "ERR invalid length 2, expected struct variant Op::Move with 3 elements at line 1 column 30"},
        Case{with_op(R"({"Remove":[]})"),
             "ERR invalid length 0, expected struct variant Op::Remove with 1 element at line 1 column 28"},
        Case{with_op(R"({"Move":[[],2,0,9]})"), "ERR trailing characters at line 1 column 33"},
        Case{with_op(R"({"Set":{"value":"Null"}})"), "ERR missing field `path` at line 1 column 39"},
        Case{with_op(R"({"Move":{"to":1}})"), "ERR missing field `path` at line 1 column 32"},
        Case{with_op(R"({"Move":{"path":[],"to":1}})"), "ERR missing field `from` at line 1 column 42"},
        Case{with_op(R"({"Set":{"path":[],"path":[],"value":"Null"}})"), "ERR duplicate field `path` at line 1 column 40"},
        Case{with_op(R"("Set")"), "ERR invalid type: unit variant, expected struct variant at line 1 column 22"},
        Case{with_op(R"({"set":{"path":[]}})"),
             "ERR unknown variant `set`, expected one of `Set`, `Remove`, `Insert`, `RemoveAt`, `Move`, `Reorder` "
             "at line 1 column 22"},
        Case{with_op(R"({"Set":{"path":[],"value":"Null"},"Remove":{"path":[]}})"), "ERR expected value at line 1 column 49"},
        Case{with_op("{}"), "ERR expected value at line 1 column 18"},
        Case{with_op("{5:1}"), "ERR key must be a string at line 1 column 18"},
        Case{with_op("5"), "ERR expected value at line 1 column 17"},
        Case{with_op(R"({"Remove":5})"), "ERR invalid type: integer `5`, expected struct variant Op::Remove at line 1 column 27"},
        Case{R"({"rev":0,"ops":[{"Set")", "ERR EOF while parsing an object at line 1 column 22"},
        Case{R"({"rev":0,"ops":[{"Set":)", "ERR EOF while parsing a value at line 1 column 23"},
        Case{with_op(R"({"Insert":{"path":[],"index":-1,"value":"Null"}})"),
             "ERR invalid value: integer `-1`, expected usize at line 1 column 47"},
        Case{with_op(R"({"Insert":{"path":[],"index":1e0,"value":"Null"}})"),
             "ERR invalid type: floating point `1.0`, expected usize at line 1 column 48"},
        Case{with_op(R"({"Reorder":{"path":[],"order":[1,-2]}})"),
             "ERR invalid value: integer `-2`, expected usize at line 1 column 51"},
        Case{with_op(R"({"Reorder":{"path":[],"order":5}})"),
             "ERR invalid type: integer `5`, expected a sequence at line 1 column 47"},
        Case{with_op(R"({"Set":{"path":[],"value":{"Int":1,"Str":"x"}}})"), "ERR expected value at line 1 column 50"}));

INSTANTIATE_TEST_SUITE_P(
    PathStep, PatchFromText,
    ::testing::Values(
        Case{with_op(R"({"Set":{"path":[{"Key":""},{"Index":18446744073709551615}],"value":"Null"}})"),
             R"({"rev":0,"ops":[{"Set":{"path":[{"Key":""},{"Index":18446744073709551615}],"value":"Null"}}]})"},
        Case{with_op(R"({"Set":{"path":[{"Index":2.0}],"value":"Null"}})"),
             "ERR invalid type: floating point `2.0`, expected usize at line 1 column 44"},
        Case{with_op(R"({"Set":{"path":[{"Key":5}],"value":"Null"}})"),
             "ERR invalid type: integer `5`, expected a string at line 1 column 40"},
        Case{with_op(R"({"Set":{"path":[{"Key":"a","Index":0}],"value":"Null"}})"), "ERR expected value at line 1 column 42"},
        Case{with_op(R"({"Set":{"path":["Key"],"value":"Null"}})"),
             "ERR invalid type: unit variant, expected newtype variant at line 1 column 38"},
        Case{with_op(R"({"Set":{"path":[{"Idx":0}],"value":"Null"}})"),
             "ERR unknown variant `Idx`, expected `Key` or `Index` at line 1 column 38"},
        Case{with_op(R"({"Set":{"path":{},"value":"Null"}})"),
             "ERR invalid type: map, expected a sequence at line 1 column 31"}));

TEST(PatchJson, NestingCountsEveryLevel) {
  // The patch, "ops", the operation and its fields hold four levels; each
  // List value two more and an Int one: 127 open at once is the most.
  const std::string head = R"({"rev":0,"ops":[{"Set":{"path":[],"value":)";
  std::string deepest = head;
  for (int i = 0; i < 61; ++i) deepest += R"({"List":[)";
  deepest += R"({"Int":1})";
  for (int i = 0; i < 61; ++i) deepest += "]}";
  EXPECT_EQ(from_text(deepest + "}}]}").substr(0, 30), R"({"rev":0,"ops":[{"Set":{"path")");
  std::string too_deep = head;
  for (int i = 0; i < 62; ++i) too_deep += R"({"List":[)";
  EXPECT_EQ(from_text(too_deep), "ERR recursion limit exceeded at line 1 column " + std::to_string(too_deep.size()));
}

TEST(PatchJson, ReadsAListOfOperations) {
  auto ok = ops_from_json_text(R"([{"Remove":{"path":[]}},{"RemoveAt":[[],3]}])");
  ASSERT_TRUE(ok.ok());
  ASSERT_EQ(ok->size(), 2u);
  EXPECT_EQ((*ok)[1], Op(Op::RemoveAt{{}, 3}));
  EXPECT_EQ(ops_from_json_text("{}").error().text(), "invalid type: map, expected a sequence at line 1 column 0");
  EXPECT_EQ(ops_from_json_text(R"([{"Remove":{"path":[]}},"Set"])").error().text(),
            "invalid type: unit variant, expected struct variant at line 1 column 30");
}

TEST(PatchJson, BytesMustHoldUtf8) {
  EXPECT_TRUE(patch_from_json_bytes(R"({"rev":0,"ops":[]})").ok());
  EXPECT_TRUE(patch_from_json_text("{\"rev\":0,\"ops\":[],\"\xff\":1}").ok());
  EXPECT_FALSE(patch_from_json_bytes("{\"rev\":0,\"ops\":[],\"\xff\":1}").ok());
}

class PatchFromValue : public ::testing::TestWithParam<Case> {};

TEST_P(PatchFromValue, Reads) { EXPECT_EQ(from_value(GetParam().input), GetParam().expected) << GetParam().input; }

INSTANTIATE_TEST_SUITE_P(
    Parsed, PatchFromValue,
    ::testing::Values(
        // a repeated key is reduced to its last value when the message is parsed
        Case{R"({"rev":1,"rev":2,"ops":[]})", R"({"rev":2,"ops":[]})"},
        Case{with_op(R"({"Set":{"path":[],"value":"Null","path":[{"Key":"x"}]}})"),
             R"({"rev":0,"ops":[{"Set":{"path":[{"Key":"x"}],"value":"Null"}}]})"},
        Case{with_op(R"({"Set":{"path":[],"value":{"Null":{}}}})"), R"({"rev":0,"ops":[{"Set":{"path":[],"value":"Null"}}]})"},
        Case{"[0,[],1]", "ERR invalid length 3, expected 2 elements in sequence"},
        Case{"[0]", "ERR invalid length 1, expected struct Patch with 2 elements"},
        Case{R"({"rev":0})", "ERR missing field `ops`"},
        Case{"5", "ERR invalid type: integer `5`, expected struct Patch"},
        Case{with_op(R"({"Move":[[],2,0,9]})"), "ERR invalid length 4, expected 3 elements in sequence"},
        Case{with_op(R"({"Remove":[[],1]})"), "ERR invalid length 2, expected 1 element in sequence"},
        Case{with_op(R"({"Move":[[],2]})"), "ERR invalid length 2, expected struct variant Op::Move with 3 elements"},
        Case{with_op(R"({"Set":{"path":[],"value":"Null"},"Remove":{"path":[]}})"),
             "ERR invalid value: map, expected map with a single key"},
        Case{with_op("{}"), "ERR invalid value: map, expected map with a single key"},
        Case{with_op("5"), "ERR invalid type: integer `5`, expected string or map"},
        Case{with_op(R"("Set")"), "ERR invalid type: unit variant, expected struct variant"},
        Case{with_op(R"({"Remove":5})"), "ERR invalid type: integer `5`, expected struct variant"},
        Case{with_op(R"({"Remove":null})"), "ERR invalid type: null, expected struct variant"},
        Case{with_op(R"({"Set":{"path":[{"Index":2.0}],"value":"Null"}})"),
             "ERR invalid type: floating point `2.0`, expected usize"},
        Case{with_op(R"({"Set":{"path":["Key"],"value":"Null"}})"), "ERR invalid type: unit variant, expected newtype variant"},
        Case{with_op(R"({"Set":{"path":[{"Key":"a","Index":0}],"value":"Null"}})"),
             "ERR invalid value: map, expected map with a single key"},
        Case{with_op(R"({"Set":{"path":[[]],"value":"Null"}})"), "ERR invalid type: sequence, expected string or map"}));

}  // namespace
}  // namespace ww
