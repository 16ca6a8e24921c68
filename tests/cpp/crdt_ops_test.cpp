// Paths, operations, mutations, deltas and effects: their written forms,
// every reading message at its place, and operation fingerprints.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "crdt/reducer/ops_json.h"
#include "crdt/reducer/ops_read.h"
#include "format/json/json_value.h"
#include "format/json/text_de.h"
#include "format/json/value_de.h"
#include "value/value_json.h"

namespace ww::crdt::reducer {
namespace {

std::string ops_text(const std::vector<CrdtOp>& ops) {
  std::string out = "[";
  for (std::size_t i = 0; i < ops.size(); ++i) {
    if (i) out.push_back(',');
    write_crdt_op(ops[i], out);
  }
  out.push_back(']');
  return out;
}

// The operations written back, or "error: " and the error text.
std::string reread_ops(std::string_view text) {
  auto ops = crdt_ops_from_json(text);
  if (!ops.ok()) return "error: " + ops.error().text();
  return ops_text(*ops);
}

std::string read_mutations(std::string_view text) {
  auto m = crdt_mutations_from_json(text);
  if (!m.ok()) return "error: " + m.error().text();
  return "ok " + std::to_string(m->size());
}

std::string reread_path(std::string_view text) {
  auto path = crdt_path_from_json(text);
  if (!path.ok()) return "error: " + path.error().text();
  std::string out;
  write_crdt_path(*path, out);
  return out;
}

const std::string kDot1 = R"({"counter":1,"replica":"a"})";

TEST(OpsFormat, WritesEveryVariant) {
  Dot d{4, "a"};
  CrdtPath items = {CrdtPathSegment::map_key("items")};
  ElementId id{Dot{3, "a"}, 0};
  std::vector<CrdtOp> ops = {
      {CrdtOp::RegisterSet{d, {}, Value::null()}},
      {CrdtOp::MapSet{d, {CrdtPathSegment::member(R"({"Str":"x"})")}, "k", Value::integer(-3)}},
      {CrdtOp::MapRemove{d, items, "k", {}}},
      {CrdtOp::SetAdd{d, {CrdtPathSegment::element(id)}, Value::str("x")}},
      {CrdtOp::SetRemove{d, {}, "m", {Dot{1, "a"}, Dot{2, "b"}}}},
      {CrdtOp::SequenceInsert{d, items, std::nullopt, {Value::str("x"), Value::str("y")}}},
      {CrdtOp::SequenceInsert{d, items, id, {}}},
      {CrdtOp::SequenceDelete{d, items, {id}}},
  };
  const std::vector<std::string> expected = {
      R"({"kind":"register_set","dot":{"counter":4,"replica":"a"},"path":[],"value":"Null"})",
      R"({"kind":"map_set","dot":{"counter":4,"replica":"a"},"path":[{"kind":"member","key":"{\"Str\":\"x\"}"}],"key":"k","value":{"Int":-3}})",
      R"({"kind":"map_remove","dot":{"counter":4,"replica":"a"},"path":[{"kind":"key","key":"items"}],"key":"k","removed":[]})",
      R"({"kind":"set_add","dot":{"counter":4,"replica":"a"},"path":[{"kind":"element","id":{"dot":{"counter":3,"replica":"a"},"index":0}}],"value":{"Str":"x"}})",
      R"({"kind":"set_remove","dot":{"counter":4,"replica":"a"},"path":[],"key":"m","removed":[{"counter":1,"replica":"a"},{"counter":2,"replica":"b"}]})",
      R"({"kind":"sequence_insert","dot":{"counter":4,"replica":"a"},"path":[{"kind":"key","key":"items"}],"after":null,"values":[{"Str":"x"},{"Str":"y"}]})",
      R"({"kind":"sequence_insert","dot":{"counter":4,"replica":"a"},"path":[{"kind":"key","key":"items"}],"after":{"dot":{"counter":3,"replica":"a"},"index":0},"values":[]})",
      R"({"kind":"sequence_delete","dot":{"counter":4,"replica":"a"},"path":[{"kind":"key","key":"items"}],"ids":[{"dot":{"counter":3,"replica":"a"},"index":0}]})",
  };
  ASSERT_EQ(ops.size(), expected.size());
  for (std::size_t i = 0; i < ops.size(); ++i) EXPECT_EQ(crdt_op_to_json(ops[i]), expected[i]);

  // Each reads back as the same operation, and writes the same bytes again.
  std::string text = ops_text(ops);
  auto again = crdt_ops_from_json(text);
  ASSERT_TRUE(again.ok()) << again.error().text();
  EXPECT_EQ(*again, ops);
  EXPECT_EQ(ops_text(*again), text);
}

TEST(OpsFormat, WritesDeltasAndEffects) {
  EXPECT_EQ([] {
    std::string out;
    write_crdt_effect(CrdtEffect{}, out);
    return out;
  }(), R"({"patch":{"rev":0,"ops":[]},"deltas":[],"applied":0})");

  ElementId id{Dot{2, "b"}, 1};
  CrdtEffect effect;
  effect.patch.ops.push_back(Op::Set{{PathSeg::key("a")}, Value::boolean(true)});
  effect.deltas = {
      {CrdtDelta::RegisterSet{{}, Value::floating(1e16)}},
      {CrdtDelta::MapSet{{}, "k", Value::null()}},
      {CrdtDelta::MapRemove{{}, "k"}},
      {CrdtDelta::SetAdd{{}, R"({"Int":1})", Value::integer(1)}},
      {CrdtDelta::SetRemove{{}, "m"}},
      {CrdtDelta::SequenceInsert{{CrdtPathSegment::map_key("s")}, id, {SequenceDeltaElement{id, Value::str("c")}}}},
      {CrdtDelta::SequenceDelete{{}, {}}},
  };
  effect.applied = 7;
  std::string out;
  write_crdt_effect(effect, out);
  EXPECT_EQ(out,
            R"({"patch":{"rev":0,"ops":[{"Set":{"path":[{"Key":"a"}],"value":{"Bool":true}}}]},"deltas":[)"
            R"({"kind":"register_set","path":[],"value":{"Float":1e+16}},)"
            R"({"kind":"map_set","path":[],"key":"k","value":"Null"},)"
            R"({"kind":"map_remove","path":[],"key":"k"},)"
            R"({"kind":"set_add","path":[],"key":"{\"Int\":1}","value":{"Int":1}},)"
            R"({"kind":"set_remove","path":[],"key":"m"},)"
            R"({"kind":"sequence_insert","path":[{"kind":"key","key":"s"}],"after":{"dot":{"counter":2,"replica":"b"},"index":1},)"
            R"("elements":[{"id":{"dot":{"counter":2,"replica":"b"},"index":1},"value":{"Str":"c"}}]},)"
            R"({"kind":"sequence_delete","path":[],"ids":[]}],"applied":7})");
}

TEST(OpsFormat, FingerprintIsTheDigestOfTheWrittenText) {
  auto fingerprint = [](std::string_view text) {
    auto ops = crdt_ops_from_json(text);
    EXPECT_TRUE(ops.ok()) << ops.error().text();
    return *op_fingerprint(ops->at(0));
  };
  // sha256 of {"kind":"register_set","dot":{"counter":1,"replica":"a"},"path":[],"value":"Null"}
  EXPECT_EQ(fingerprint(R"([{"kind":"register_set","dot":{"counter":1,"replica":"a"},"path":[],"value":"Null"}])"),
            "sha256:a721f5f89c220ef8a6f9ade3d63ca3bca2ec9ac105de8b5a2d113e1f7620a2d2");
  // Member order, spacing, escapes and number spelling do not matter.
  const std::string written =
      "sha256:840a2af1569de43bb92168a7fb7c1f46ffb3fd01e57d41a7e09323f5118e4d22";
  EXPECT_EQ(fingerprint(R"([{"path":[],"value":{"Int":1},"kind":"register_set","dot":{"counter":1,"replica":"a"}}])"),
            written);
  EXPECT_EQ(fingerprint(R"([ ["register_set", {"replica":"\u0061","counter":1}, [], {"Int":1}] ])"), written);
}

struct ReadCase {
  const char* what;
  std::string text;
  std::string expected;  // the array written back, or "error: ..."
};

TEST(OpsFormat, ReadingOperations) {
  const std::string rs = R"({"kind":"register_set","dot":{"counter":1,"replica":"a"},"path":[],"value":"Null"})";
  const std::vector<ReadCase> cases = {
      {"kind anywhere", R"([{"path":[],"value":"Null","dot":{"counter":1,"replica":"a"},"kind":"register_set"}])",
       "[" + rs + "]"},
      {"array form", R"([["set_add",{"counter":2,"replica":"b"},[],{"Str":"x"}]])",
       R"([{"kind":"set_add","dot":{"counter":2,"replica":"b"},"path":[],"value":{"Str":"x"}}])"},
      {"insert without after", R"([{"kind":"sequence_insert","dot":)" + kDot1 + R"(,"path":[],"values":[]}])",
       R"([{"kind":"sequence_insert","dot":{"counter":1,"replica":"a"},"path":[],"after":null,"values":[]}])"},
      {"insert with after null", R"([{"kind":"sequence_insert","after":null,"dot":)" + kDot1 + R"(,"path":[],"values":[]}])",
       R"([{"kind":"sequence_insert","dot":{"counter":1,"replica":"a"},"path":[],"after":null,"values":[]}])"},
      {"remove with empty removed", R"([{"kind":"map_remove","dot":)" + kDot1 + R"(,"path":[],"key":"k","removed":[]}])",
       R"([{"kind":"map_remove","dot":{"counter":1,"replica":"a"},"path":[],"key":"k","removed":[]}])"},
      {"integer kinds inside the path", R"([{"kind":"register_set","dot":)" + kDot1 +
       R"(,"path":[{"kind":0,"key":"a"},{"kind":1,"key":"m"},{"kind":2,"id":{"dot":)" + kDot1 + R"(,"index":3}}],"value":"Null"}])",
       R"([{"kind":"register_set","dot":{"counter":1,"replica":"a"},"path":[{"kind":"key","key":"a"},{"kind":"member","key":"m"},)"
       R"({"kind":"element","id":{"dot":{"counter":1,"replica":"a"},"index":3}}],"value":"Null"}])"},
      {"segment as array inside the path", R"([{"kind":"register_set","dot":)" + kDot1 + R"(,"path":[["key","a"]],"value":"Null"}])",
       R"([{"kind":"register_set","dot":{"counter":1,"replica":"a"},"path":[{"kind":"key","key":"a"}],"value":"Null"}])"},
      {"empty list", "[]", "[]"},
      // Faults found while an operation is built are placed after the array
      // that holds it, or past the comma (and spaces) before the next one.
      {"unknown member", R"([{"kind":"register_set","dot":{"counter":1,"replica":"a"},"path":[],"value":"Null","extra":1}])",
       "error: unknown field `extra`, expected one of `dot`, `path`, `value` at line 1 column 94"},
      {"fault before a comma", "[" + rs.substr(0, rs.size() - 1) + R"(,"x":1}, )" + rs + "]",
       "error: unknown field `x`, expected one of `dot`, `path`, `value` at line 1 column 91"},
      {"map_remove without removed", R"([{"kind":"map_remove","dot":)" + kDot1 + R"(,"path":[],"key":"k"}])",
       "error: missing field `removed` at line 1 column 77"},
      {"missing fields in field order", R"([{"kind":"map_set"}])", "error: missing field `dot` at line 1 column 20"},
      {"kind case-sensitive", R"([{"kind":"Register_Set"}])",
       "error: unknown variant `Register_Set`, expected one of `register_set`, `map_set`, `map_remove`, `set_add`, "
       "`set_remove`, `sequence_insert`, `sequence_delete` at line 1 column 23"},
      {"kind by index", R"([{"kind":3}])", "error: invalid type: integer `3`, expected variant identifier at line 1 column 10"},
      {"kind null", R"([{"kind":null}])", "error: invalid type: null, expected variant identifier at line 1 column 13"},
      // A kind is checked when it is met, before a later syntax error.
      {"kind before syntax", R"([{"kind":"bad","x":[}])",
       "error: unknown variant `bad`, expected one of `register_set`, `map_set`, `map_remove`, `set_add`, "
       "`set_remove`, `sequence_insert`, `sequence_delete` at line 1 column 14"},
      {"syntax before a field fault", R"([{"kind":"register_set","x":[}])", "error: expected value at line 1 column 30"},
      {"kind twice", R"([{"kind":"set_add","kind":"set_add"}])", "error: duplicate field `kind` at line 1 column 25"},
      {"no kind", R"([{"path":[]}])", "error: missing field `kind` at line 1 column 12"},
      {"field twice", R"([{"kind":"register_set","path":[],"path":[]}])", "error: duplicate field `path` at line 1 column 45"},
      {"array too short", R"([["set_add",{"counter":2,"replica":"b"},[]]])",
       "error: invalid length 2, expected struct variant CrdtOp::SetAdd with 3 elements at line 1 column 44"},
      {"array too long", R"([["set_add",{"counter":2,"replica":"b"},[],"Null",1]])",
       "error: invalid length 4, expected 3 elements in sequence at line 1 column 53"},
      {"array without after", R"([["sequence_insert",{"counter":2,"replica":"b"},[]]])",
       "error: invalid length 2, expected struct variant CrdtOp::SequenceInsert with 4 elements at line 1 column 52"},
      {"empty array", "[[]]", "error: missing field `kind` at line 1 column 3"},
      {"not a record", "[5]", "error: invalid type: integer `5`, expected internally tagged enum CrdtOp at line 1 column 2"},
      {"not a list", "{}", "error: invalid type: map, expected a sequence at line 1 column 0"},
      {"segment kind out of range", R"([{"kind":"register_set","dot":)" + kDot1 + R"(,"path":[{"kind":3,"key":"a"}],"value":"Null"}])",
       "error: invalid value: integer `3`, expected variant index 0 <= i < 3 at line 1 column 104"},
      {"segment unknown member", R"([{"kind":"register_set","dot":)" + kDot1 + R"(,"path":[{"kind":"key","id":1}],"value":"Null"}])",
       "error: unknown field `id`, expected `key` at line 1 column 105"},
      {"path not a list", R"([{"kind":"register_set","dot":)" + kDot1 + R"(,"path":{},"value":"Null"}])",
       "error: invalid type: map, expected a sequence at line 1 column 84"},
      {"key not a text", R"([{"kind":"map_set","dot":)" + kDot1 + R"(,"path":[],"key":1,"value":"Null"}])",
       "error: invalid type: integer `1`, expected a string at line 1 column 87"},
      {"bad value", R"([{"kind":"set_add","dot":)" + kDot1 + R"(,"path":[],"value":{"Int":1.5}}])",
       "error: invalid type: floating point `1.5`, expected i64 at line 1 column 84"},
      {"dot of wrong type", R"([{"kind":"set_add","dot":[1],"path":[],"value":"Null"}])",
       "error: invalid length 1, expected struct Dot with 2 elements at line 1 column 55"},
      {"removed not a list", R"([{"kind":"set_remove","dot":)" + kDot1 + R"(,"path":[],"key":"k","removed":{}}])",
       "error: invalid type: map, expected a sequence at line 1 column 90"},
      {"after of wrong type", R"([{"kind":"sequence_insert","dot":)" + kDot1 + R"(,"path":[],"after":5,"values":[]}])",
       "error: invalid type: integer `5`, expected struct ElementId at line 1 column 94"},
      {"ids not a list", R"([{"kind":"sequence_delete","dot":)" + kDot1 + R"(,"path":[],"ids":"x"}])",
       R"(error: invalid type: string "x", expected a sequence at line 1 column 82)"},
  };
  for (const auto& c : cases) EXPECT_EQ(reread_ops(c.text), c.expected) << c.what;
}

TEST(OpsFormat, ReadingMutations) {
  const std::vector<ReadCase> cases = {
      {"every kind", R"([{"kind":"register_set","path":[],"value":"Null"},{"kind":"map_set","path":[],"key":"k","value":"Null"},)"
       R"({"kind":"map_remove","path":[],"key":"k"},{"kind":"set_add","path":[],"value":"Null"},)"
       R"({"kind":"set_remove","path":[],"key":"k"},{"kind":"sequence_insert","path":[],"values":[]},)"
       R"({"kind":"sequence_delete","path":[],"ids":[]},{"kind":"sequence_splice","path":[],"index":0,"delete_count":1,"values":[]}])",
       "ok 8"},
      {"splice as array", R"([["sequence_splice",[],2,0,[{"Str":"x"}]]])", "ok 1"},
      {"splice without values", R"([{"kind":"sequence_splice","path":[],"index":0,"delete_count":1}])",
       "error: missing field `values` at line 1 column 65"},
      {"negative index", R"([{"kind":"sequence_splice","path":[],"index":-1,"delete_count":1,"values":[]}])",
       "error: invalid value: integer `-1`, expected u64 at line 1 column 78"},
      {"mutations carry no dot", R"([{"kind":"register_set","dot":{"counter":1,"replica":"a"},"path":[],"value":"Null"}])",
       "error: unknown field `dot`, expected `path` or `value` at line 1 column 84"},
      {"unknown member of a splice", R"([{"kind":"sequence_splice","x":0}])",
       "error: unknown field `x`, expected one of `path`, `index`, `delete_count`, `values` at line 1 column 34"},
      {"unknown member of a remove", R"([{"kind":"set_remove","x":0}])",
       "error: unknown field `x`, expected `path` or `key` at line 1 column 29"},
      {"unknown kind", R"([{"kind":"splice"}])",
       "error: unknown variant `splice`, expected one of `register_set`, `map_set`, `map_remove`, `set_add`, "
       "`set_remove`, `sequence_insert`, `sequence_delete`, `sequence_splice` at line 1 column 17"},
      {"array too short", R"([["sequence_splice",[],2,0]])",
       "error: invalid length 3, expected struct variant CrdtMutation::SequenceSplice with 4 elements at line 1 column 28"},
  };
  for (const auto& c : cases) EXPECT_EQ(read_mutations(c.text), c.expected) << c.what;

  auto read = crdt_mutations_from_json(R"([{"kind":"sequence_splice","values":[{"Int":2}],"delete_count":3,"path":[],"index":1}])");
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read->at(0), (CrdtMutation{CrdtMutation::SequenceSplice{{}, 1, 3, {Value::integer(2)}}}));
}

TEST(OpsFormat, ReadingAPathFromText) {
  const std::vector<ReadCase> cases = {
      {"each kind", R"([{"kind":"key","key":"a"},{"key":"m","kind":"member"},["element",{"dot":{"counter":1,"replica":"a"},"index":0}]])",
       R"([{"kind":"key","key":"a"},{"kind":"member","key":"m"},{"kind":"element","id":{"dot":{"counter":1,"replica":"a"},"index":0}}])"},
      // Read straight from text, a segment names its kind by text only.
      {"kind by index", R"([{"kind":0,"key":"a"}])", "error: invalid type: integer `0`, expected variant identifier at line 1 column 10"},
      {"unknown kind", R"([{"kind":"Key"}])", "error: unknown variant `Key`, expected one of `key`, `member`, `element` at line 1 column 14"},
      {"unknown member", R"([{"kind":"member","key":"k","id":1}])", "error: unknown field `id`, expected `key` at line 1 column 36"},
      {"missing id", R"([{"kind":"element"}])", "error: missing field `id` at line 1 column 20"},
      {"array too short", R"([["key"]])", "error: invalid length 0, expected struct variant CrdtPathSegment::Key with 1 element at line 1 column 9"},
      {"array too long", R"([["key","a","b"]])", "error: invalid length 2, expected 1 element in sequence at line 1 column 17"},
      {"not a segment", R"(["a"])", R"(error: invalid type: string "a", expected internally tagged enum CrdtPathSegment at line 1 column 4)"},
      {"not a list", R"("a")", R"(error: invalid type: string "a", expected a sequence at line 1 column 3)"},
      {"trailing text", "[] x", "error: trailing characters at line 1 column 4"},
  };
  for (const auto& c : cases) EXPECT_EQ(reread_path(c.text), c.expected) << c.what;
}

TEST(OpsFormat, SingleOperationAsWholeTextHasNoPositionForItsFields) {
  // A tagged record that is the whole text leaves no position for the faults
  // found while it is built.
  auto op = json::read_whole(R"({"kind":"register_set","x":1})", false,
                             [](json::TextDe& de) { return read_crdt_op(de); });
  ASSERT_FALSE(op.ok());
  EXPECT_EQ(op.error().text(), "unknown field `x`, expected one of `dot`, `path`, `value`");
}

TEST(OpsFormat, ReadsOverParsedJson) {
  auto json = parse_json_text(R"({"kind":"set_add","dot":{"counter":2,"replica":"b"},"path":[{"kind":1,"key":"m"}],"value":"Null"})");
  ASSERT_TRUE(json.ok());
  json::ValueDe de(*json);
  auto op = read_crdt_op(de);
  ASSERT_TRUE(op.ok()) << op.error().text();
  EXPECT_EQ(*op, (CrdtOp{CrdtOp::SetAdd{Dot{2, "b"}, {CrdtPathSegment::member("m")}, Value::null()}}));
  EXPECT_EQ(op->dot(), (Dot{2, "b"}));
  EXPECT_EQ(op->path().size(), 1u);
}

// Damaged operation lists are refused with a message, or read as operations
// whose written form reads back the same.
TEST(OpsFormat, DamagedTextsAreRefusedOrReadConsistently) {
  const std::string base =
      R"([{"kind":"map_set","dot":{"counter":4,"replica":"a"},"path":[{"kind":"member","key":"{\"Str\":\"x\"}"},)"
      R"({"kind":"element","id":{"dot":{"counter":3,"replica":"a"},"index":0}}],"key":"k","value":{"List":[{"Int":-3}]}},)"
      R"(["sequence_insert",{"counter":5,"replica":"b"},[{"kind":"key","key":"s"}],null,[{"Map":{"a":"Null"}}]],)"
      R"({"kind":"set_remove","dot":{"counter":6,"replica":"a"},"path":[],"key":"m","removed":[{"counter":1,"replica":"a"}]}])";
  ASSERT_TRUE(crdt_ops_from_json(base).ok());
  const std::string pieces = "{}[]\",:-019ae\\ ";
  std::mt19937 rng(11);
  int accepted = 0;
  for (int trial = 0; trial < 4000; ++trial) {
    std::string text = base;
    int edits = 1 + static_cast<int>(rng() % 3);
    for (int e = 0; e < edits && !text.empty(); ++e) {
      std::size_t at = rng() % text.size();
      char c = pieces[rng() % pieces.size()];
      switch (rng() % 3) {
        case 0: text[at] = c; break;
        case 1: text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), c); break;
        default: text.erase(at, 1 + rng() % 8); break;
      }
    }
    auto ops = crdt_ops_from_json(text);
    auto mutations = crdt_mutations_from_json(text);  // the same shapes, another reader
    (void)mutations;
    if (!ops.ok()) continue;
    ++accepted;
    std::string written = ops_text(*ops);
    auto again = crdt_ops_from_json(written);
    ASSERT_TRUE(again.ok()) << written;
    EXPECT_EQ(*again, *ops) << text;
    EXPECT_EQ(ops_text(*again), written);
  }
  EXPECT_GT(accepted, 0);
}

}  // namespace
}  // namespace ww::crdt::reducer
