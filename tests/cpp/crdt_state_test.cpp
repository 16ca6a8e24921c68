// The reducer state types: order, debug forms, causal queries, member keys,
// and the saved-state JSON format with every reading message at its place.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "crdt/reducer/causal_context.h"
#include "crdt/reducer/crdt_state.h"
#include "crdt/reducer/member_key.h"
#include "crdt/reducer/state_json.h"
#include "crdt/reducer/state_read.h"
#include "format/json/json_value.h"
#include "format/json/value_de.h"
#include "value/value_json.h"

namespace ww::crdt::reducer {
namespace {

Dot dot(std::uint64_t counter, std::string replica) { return Dot{counter, std::move(replica)}; }

// The state written back, or "error: " and the error text.
std::string reread(std::string_view text) {
  auto state = crdt_state_from_json(text);
  if (!state.ok()) return "error: " + state.error().text();
  return crdt_state_to_json(*state);
}

const std::string kHead = R"({"state_version":1,"spec_hash":"h","context":{},"root":)";

std::string with_root(std::string_view node) { return kHead + std::string(node) + "}"; }

TEST(Dot, OrdersByCounterThenReplicaBytes) {
  EXPECT_LT(dot(2, "b"), dot(10, "a"));
  EXPECT_LT(dot(1, "a"), dot(1, "ab"));
  EXPECT_LT(dot(1, "ab"), dot(1, "b"));
  EXPECT_LT(dot(1, "z"), dot(1, "\xc3\xa9"));  // bytes compare unsigned
  ElementId a{dot(3, "a"), 7};
  ElementId b{dot(3, "a"), 8};
  ElementId c{dot(3, "b"), 0};
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
}

TEST(Dot, DebugForms) {
  EXPECT_EQ(dot_debug(dot(0, "$init")), R"(Dot { counter: 0, replica: "$init" })");
  EXPECT_EQ(dot_debug(dot(18446744073709551615u, "a\"b\n")),
            R"(Dot { counter: 18446744073709551615, replica: "a\"b\n" })");
  EXPECT_EQ(element_id_debug(ElementId{dot(3, "a"), 1}),
            R"(ElementId { dot: Dot { counter: 3, replica: "a" }, index: 1 })");
}

TEST(CausalContext, MaxCounterAnyLooksAtEveryReplica) {
  CausalContext context;
  EXPECT_EQ(context.max_counter_any(), 0u);
  context.compacted = {{"a", 7}};
  context.dots = {dot(3, "b")};
  EXPECT_EQ(context.max_counter_any(), 7u);
  context.dots.insert(dot(9, "c"));
  EXPECT_EQ(context.max_counter_any(), 9u);
}

TEST(CausalContext, SeenThroughPrefixOrDots) {
  CausalContext context;
  context.compacted = {{"a", 5}};
  context.dots = {dot(8, "a"), dot(2, "b")};
  EXPECT_TRUE(context.seen(dot(5, "a")));
  EXPECT_FALSE(context.seen(dot(6, "a")));
  EXPECT_TRUE(context.seen(dot(8, "a")));
  EXPECT_TRUE(context.seen(dot(2, "b")));
  EXPECT_FALSE(context.seen(dot(1, "b")));
  EXPECT_TRUE(context.seen(dot(0, "z")));  // an absent replica's prefix is 0
}

TEST(CausalContext, DotCoveredByFrontier) {
  const ReplicaCounters frontier = {{"a", 5}};
  struct Case {
    Dot d;
    bool covered;
  };
  const std::vector<Case> cases = {
      {dot(5, "a"), true},        {dot(6, "a"), false},  {dot(0, "b"), true},
      {dot(1, "b"), false},       {dot(99, "$init"), true}, {dot(1, "$init2"), false},
      {dot(1, "$INIT"), false},
  };
  for (const auto& c : cases) EXPECT_EQ(dot_covered(c.d, frontier), c.covered) << dot_debug(c.d);
}

TEST(MemberKey, FromWholeValueOrIdentityPaths) {
  auto value = [](std::string_view json) { return *value_from_json_text(json); };
  struct Case {
    std::vector<IdentityPath> paths;
    std::string value;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{}, R"({"Str":"x"})", R"({"Str":"x"})"},
      {{}, R"({"Map":{"b":"Null","a":{"Float":1}}})", R"({"Map":{"a":{"Float":1.0},"b":"Null"}})"},
      {{{"id"}}, R"({"Map":{"id":{"Int":7},"name":{"Str":"x"}}})", R"([[["id"],{"Int":7}]])"},
      {{{"meta", "id"}, {"name"}},
       R"({"Map":{"meta":{"Map":{"id":{"Str":"q"}}},"name":{"Str":"n"}}})",
       R"([[["meta","id"],{"Str":"q"}],[["name"],{"Str":"n"}]])"},
      {{{"id"}}, R"({"Map":{"name":{"Str":"x"}}})", R"(error: set key path ["id"] is missing segment "id")"},
      {{{"id"}}, R"({"List":[]})", R"(error: set key path ["id"] descends through a non-map value)"},
      {{{"meta", "id"}}, R"({"Map":{"meta":{"Int":1}}})",
       R"(error: set key path ["meta", "id"] descends through a non-map value)"},
      // The first failing path decides.
      {{{"a"}, {"b"}}, R"({"Map":{"c":"Null"}})", R"(error: set key path ["a"] is missing segment "a")"},
  };
  for (const auto& c : cases) {
    auto key = member_key(c.paths, value(c.value));
    EXPECT_EQ(key.ok() ? *key : "error: " + key.error().text(), c.expected) << c.value;
  }
}

// Every node kind, every entry field, a compacted context and fingerprints.
CrdtState rich_state() {
  CrdtState state;
  state.spec_hash = "sha256:x";
  state.context.compacted = {{"b", 2}, {"a", 1}};
  state.context.dots = {dot(4, "b"), dot(3, "a")};
  state.fingerprints = {{dot(4, "b"), "f4"}, {dot(3, "a"), "f3"}};
  MapState map;
  map.entries["t"] = MapEntryState{RegisterState{Value::integer(1), dot(2, "a")}, {dot(2, "a")}, {}, {}};
  SequenceState seq;
  seq.entries[ElementId{dot(3, "a"), 0}] = SequenceEntryState{std::nullopt, RegisterState{Value::str("x"), dot(3, "a")}, true};
  seq.entries[ElementId{dot(3, "a"), 1}] = SequenceEntryState{ElementId{dot(3, "a"), 0}, std::nullopt, false};
  seq.deletes[ElementId{dot(3, "a"), 0}] = {dot(5, "b"), dot(4, "b")};
  map.entries["s"] = MapEntryState{seq, {dot(3, "a")}, {dot(1, "a")}, {dot(2, "b")}};
  SetState set;
  set.entries["k"] = SetEntryState{RegisterState{}, {dot(1, "c")}, {}, {dot(6, "c")}};
  map.entries["m"] = MapEntryState{set, {}, {}, {}};
  state.root = map;
  return state;
}

TEST(StateFormat, WritesEveryFormExactly) {
  CrdtState state = rich_state();

  EXPECT_EQ(crdt_state_to_json(state),
            R"({"state_version":1,"spec_hash":"sha256:x",)"
            R"("context":{"compacted":{"a":1,"b":2},"dots":[{"counter":3,"replica":"a"},{"counter":4,"replica":"b"}]},)"
            R"("fingerprints":[[{"counter":3,"replica":"a"},"f3"],[{"counter":4,"replica":"b"},"f4"]],)"
            R"("root":{"kind":"map","entries":{)"
            R"("m":{"node":{"kind":"set","entries":{"k":{"node":{"kind":"register","value":null,"dot":null},)"
            R"("adds":[{"counter":1,"replica":"c"}],"removal_ops":[{"counter":6,"replica":"c"}]}}}},)"
            R"("s":{"node":{"kind":"sequence","entries":[)"
            R"([{"dot":{"counter":3,"replica":"a"},"index":0},{"after":null,"node":{"kind":"register","value":{"Str":"x"},"dot":{"counter":3,"replica":"a"}},"inserted":true}],)"
            R"([{"dot":{"counter":3,"replica":"a"},"index":1},{"after":{"dot":{"counter":3,"replica":"a"},"index":0},"node":null,"inserted":false}]],)"
            R"("deletes":[[{"dot":{"counter":3,"replica":"a"},"index":0},[{"counter":4,"replica":"b"},{"counter":5,"replica":"b"}]]]},)"
            R"("dots":[{"counter":3,"replica":"a"}],"removed":[{"counter":1,"replica":"a"}],"removal_ops":[{"counter":2,"replica":"b"}]},)"
            R"("t":{"node":{"kind":"register","value":{"Int":1},"dot":{"counter":2,"replica":"a"}},"dots":[{"counter":2,"replica":"a"}]}}}})");

  // Read back: the same state, and writing it again gives the same bytes.
  std::string text = crdt_state_to_json(state);
  auto again = crdt_state_from_json(text);
  ASSERT_TRUE(again.ok()) << again.error().text();
  EXPECT_EQ(*again, state);
  EXPECT_EQ(crdt_state_to_json(*again), text);
}

TEST(StateFormat, EmptyStateAndDefaults) {
  CrdtState state;
  EXPECT_EQ(crdt_state_to_json(state),
            R"({"state_version":1,"spec_hash":"","context":{},"root":{"kind":"register","value":null,"dot":null}})");
  // No "fingerprints", an empty context, members in any order, whitespace.
  EXPECT_EQ(reread(" { \"root\" : {\"kind\":\"register\"}, \"context\":{}, \"spec_hash\":\"\", \"state_version\":1 } "),
            crdt_state_to_json(state));
  // The array form, with the fingerprint list left out at its end only.
  EXPECT_EQ(reread(R"([1,"",{},[],{"kind":"register"}])"), crdt_state_to_json(state));
}

struct NodeCase {
  const char* what;
  std::string node;
  std::string expected;  // the node written back, or the message (positioned after the whole text)
};

TEST(StateFormat, NodeStatesReadInTwoSteps) {
  const std::vector<NodeCase> cases = {
      {"bare register", R"({"kind":"register"})", R"({"kind":"register","value":null,"dot":null})"},
      {"null value", R"({"kind":"register","value":null})", R"({"kind":"register","value":null,"dot":null})"},
      {"Null is a value", R"({"value":"Null","kind":"register"})", R"({"kind":"register","value":"Null","dot":null})"},
      {"register as array", R"(["register",{"Int":1},{"counter":1,"replica":"a"}])",
       R"({"kind":"register","value":{"Int":1},"dot":{"counter":1,"replica":"a"}})"},
      {"register array short", R"(["register",null])",
       "invalid length 1, expected struct variant NodeState::Register with 2 elements"},
      {"register array long", R"(["register",null,null,1])", "invalid length 3, expected 2 elements in sequence"},
      {"map array short", R"(["map"])", "invalid length 0, expected struct variant NodeState::Map with 1 elements"},
      {"set array short", R"(["set"])", "invalid length 0, expected struct variant NodeState::Set with 1 elements"},
      {"sequence array short", R"(["sequence",[]])",
       "invalid length 1, expected struct variant NodeState::Sequence with 2 elements"},
      {"register unknown member", R"({"kind":"register","x":1})", "unknown field `x`, expected `value` or `dot`"},
      {"map without entries", R"({"kind":"map"})", "missing field `entries`"},
      {"map unknown member", R"({"kind":"map","entries":{},"x":1})", "unknown field `x`, expected `entries`"},
      {"set unknown member", R"({"kind":"set","x":1,"entries":{}})", "unknown field `x`, expected `entries`"},
      {"sequence unknown member", R"({"kind":"sequence","entries":[],"deletes":[],"x":1})",
       "unknown field `x`, expected `entries` or `deletes`"},
      {"sequence without deletes", R"({"kind":"sequence","entries":[]})", "missing field `deletes`"},
      {"sequence without either", R"({"kind":"sequence"})", "missing field `entries`"},
      {"empty sequence", R"({"kind":"sequence","entries":[],"deletes":[]})",
       R"({"kind":"sequence","entries":[],"deletes":[]})"},
      {"duplicate member", R"({"kind":"map","entries":{},"entries":{}})", "duplicate field `entries`"},
      {"entries of wrong type", R"({"kind":"map","entries":[]})", "invalid type: sequence, expected a map"},
      {"bad value", R"({"kind":"register","value":{"Bad":1}})",
       "unknown variant `Bad`, expected one of `Null`, `Bool`, `Int`, `Float`, `Str`, `List`, `Map`, `Submodel`"},
      {"bad dot", R"({"kind":"register","dot":{"counter":1}})", "missing field `replica`"},
      // Map and set entries.
      {"map entry extra member dropped", R"({"kind":"map","entries":{"a":{"x":[1,{}],"node":{"kind":"register"}}}})",
       R"({"kind":"map","entries":{"a":{"node":{"kind":"register","value":null,"dot":null}}}})"},
      {"map entry empty sets", R"({"kind":"map","entries":{"a":{"node":["map",{}],"dots":[],"removed":[],"removal_ops":[]}}})",
       R"({"kind":"map","entries":{"a":{"node":{"kind":"map","entries":{}}}}})"},
      {"map entry as array", R"({"kind":"map","entries":{"a":[{"kind":"register"},[{"counter":1,"replica":"a"}]]}})",
       R"({"kind":"map","entries":{"a":{"node":{"kind":"register","value":null,"dot":null},"dots":[{"counter":1,"replica":"a"}]}}})"},
      {"map entry array empty", R"({"kind":"map","entries":{"a":[]}})",
       "invalid length 0, expected struct MapEntryState with 4 elements"},
      {"map entry array long", R"({"kind":"map","entries":{"a":[{"kind":"register"},[],[],[],0]}})",
       "invalid length 5, expected 4 elements in sequence"},
      {"map entry without node", R"({"kind":"map","entries":{"a":{"dots":[]}}})", "missing field `node`"},
      {"map entry dots null", R"({"kind":"map","entries":{"a":{"node":{"kind":"register"},"dots":null}}})",
       "invalid type: null, expected a sequence"},
      {"map entry wrong type", R"({"kind":"map","entries":{"a":5}})",
       "invalid type: integer `5`, expected struct MapEntryState"},
      {"repeated dot kept once", R"({"kind":"set","entries":{"k":{"node":{"kind":"register"},"adds":[{"counter":1,"replica":"a"},{"counter":1,"replica":"a"}]}}})",
       R"({"kind":"set","entries":{"k":{"node":{"kind":"register","value":null,"dot":null},"adds":[{"counter":1,"replica":"a"}]}}})"},
      {"repeated entry key keeps the last", R"({"kind":"map","entries":{"a":{"node":{"kind":"map","entries":{}}},"a":{"node":{"kind":"register"}}}})",
       R"({"kind":"map","entries":{"a":{"node":{"kind":"register","value":null,"dot":null}}}})"},
      {"set entry wrong type", R"({"kind":"set","entries":{"k":[]}})",
       "invalid length 0, expected struct SetEntryState with 4 elements"},
      // Nested node states may name their kind by index.
      {"nested kind by index", R"({"kind":"map","entries":{"a":{"node":{"kind":3,"entries":[],"deletes":[]}}}})",
       R"({"kind":"map","entries":{"a":{"node":{"kind":"sequence","entries":[],"deletes":[]}}}})"},
      {"nested kind index too large", R"({"kind":"map","entries":{"a":{"node":{"kind":4}}}})",
       "invalid value: integer `4`, expected variant index 0 <= i < 4"},
      {"nested kind negative", R"({"kind":"map","entries":{"a":{"node":{"kind":-1}}}})",
       "invalid type: integer `-1`, expected variant identifier"},
      {"nested kind unknown", R"({"kind":"map","entries":{"a":{"node":{"kind":"Map"}}}})",
       "unknown variant `Map`, expected one of `register`, `map`, `set`, `sequence`"},
      {"nested kind missing", R"({"kind":"map","entries":{"a":{"node":{"entries":{}}}}})", "missing field `kind`"},
      {"nested kind twice", R"({"kind":"map","entries":{"a":{"node":{"kind":"map","kind":"map"}}}})",
       "duplicate field `kind`"},
      {"nested node null", R"({"kind":"map","entries":{"a":{"node":null}}})",
       "invalid type: null, expected internally tagged enum NodeState"},
      // Sequence pair lists.
      {"sequence entries", R"({"kind":"sequence","deletes":[[{"dot":{"counter":1,"replica":"a"},"index":0},[]]],"entries":[[{"dot":{"counter":1,"replica":"a"},"index":0},{"inserted":true}]]})",
       R"({"kind":"sequence","entries":[[{"dot":{"counter":1,"replica":"a"},"index":0},{"after":null,"node":null,"inserted":true}]],"deletes":[[{"dot":{"counter":1,"replica":"a"},"index":0},[]]]})"},
      {"duplicate element id", R"({"kind":"sequence","entries":[[{"dot":{"counter":1,"replica":"a"},"index":0},{"inserted":true}],[{"dot":{"counter":1,"replica":"a"},"index":0},{"inserted":true}]],"deletes":[]})",
       "duplicate sequence element ID"},
      {"duplicate deletion id", R"({"kind":"sequence","entries":[],"deletes":[[{"dot":{"counter":1,"replica":"a"},"index":0},[]],[{"dot":{"counter":1,"replica":"a"},"index":0},[]]]})",
       "duplicate sequence deletion ID"},
      // The whole list is read before a duplicate is looked for.
      {"fault after duplicate", R"({"kind":"sequence","entries":[],"deletes":[[{"dot":{"counter":1,"replica":"a"},"index":0},[]],[{"dot":{"counter":1,"replica":"a"},"index":0},[]],5]})",
       "invalid type: integer `5`, expected a tuple of size 2"},
      {"pair too short", R"({"kind":"sequence","entries":[[{"dot":{"counter":1,"replica":"a"},"index":0}]],"deletes":[]})",
       "invalid length 1, expected a tuple of size 2"},
      {"pair empty", R"({"kind":"sequence","entries":[[]],"deletes":[]})", "invalid length 0, expected a tuple of size 2"},
      {"pair too long", R"({"kind":"sequence","entries":[],"deletes":[[{"dot":{"counter":1,"replica":"a"},"index":0},[],[]]]})",
       "invalid length 3, expected 2 elements in sequence"},
      {"pair list not a list", R"({"kind":"sequence","entries":{},"deletes":[]})",
       "invalid type: map, expected a sequence"},
      {"element index out of range", R"({"kind":"sequence","entries":[],"deletes":[[{"dot":{"counter":1,"replica":"a"},"index":4294967296},[]]]})",
       "invalid value: integer `4294967296`, expected u32"},
      {"element id unknown member", R"({"kind":"sequence","entries":[],"deletes":[[{"dot":{"counter":1,"replica":"a"},"index":0,"x":0},[]]]})",
       "unknown field `x`, expected `dot` or `index`"},
      {"element id short array", R"({"kind":"sequence","entries":[],"deletes":[[[{"counter":1,"replica":"a"}],[]]]})",
       "invalid length 1, expected struct ElementId with 2 elements"},
      {"dot counter negative", R"({"kind":"sequence","entries":[],"deletes":[[{"dot":{"counter":-1,"replica":"a"},"index":0},[]]]})",
       "invalid value: integer `-1`, expected u64"},
      {"dot counter float", R"({"kind":"sequence","entries":[],"deletes":[[{"dot":{"counter":1.0,"replica":"a"},"index":0},[]]]})",
       "invalid type: floating point `1.0`, expected u64"},
      {"dot unknown member", R"({"kind":"register","dot":{"counter":1,"replica":"a","x":0}})",
       "unknown field `x`, expected `counter` or `replica`"},
      {"dot wrong type", R"({"kind":"register","dot":"a"})", R"(invalid type: string "a", expected struct Dot)"},
      // Sequence entry states.
      {"sequence entry array", R"({"kind":"sequence","entries":[[{"dot":{"counter":1,"replica":"a"},"index":1},[{"dot":{"counter":1,"replica":"a"},"index":0},["register",null,null],false]]],"deletes":[]})",
       R"({"kind":"sequence","entries":[[{"dot":{"counter":1,"replica":"a"},"index":1},{"after":{"dot":{"counter":1,"replica":"a"},"index":0},"node":{"kind":"register","value":null,"dot":null},"inserted":false}]],"deletes":[]})"},
      {"sequence entry array short", R"({"kind":"sequence","entries":[[{"dot":{"counter":1,"replica":"a"},"index":0},[null,null]]],"deletes":[]})",
       "invalid length 2, expected struct SequenceEntryState with 3 elements"},
      {"sequence entry array long", R"({"kind":"sequence","entries":[[{"dot":{"counter":1,"replica":"a"},"index":0},[null,null,true,1]]],"deletes":[]})",
       "invalid length 4, expected 3 elements in sequence"},
      {"sequence entry without inserted", R"({"kind":"sequence","entries":[[{"dot":{"counter":1,"replica":"a"},"index":0},{"after":null,"x":1}]],"deletes":[]})",
       "missing field `inserted`"},
      {"inserted not a boolean", R"({"kind":"sequence","entries":[[{"dot":{"counter":1,"replica":"a"},"index":0},{"inserted":"yes"}]],"deletes":[]})",
       R"(invalid type: string "yes", expected a boolean)"},
  };
  for (const auto& c : cases) {
    std::string text = with_root(c.node);
    bool is_error = c.expected.front() != '{';
    std::string expected = is_error ? "error: " + c.expected + " at line 1 column " + std::to_string(text.size())
                                    : with_root(c.expected);
    EXPECT_EQ(reread(text), expected) << c.what;
  }
}

struct StateCase {
  const char* what;
  std::string text;
  std::string expected;  // the error text, or "same" for a state written back unchanged
};

TEST(StateFormat, SavedStateRecordMessages) {
  const std::string root = R"({"kind":"register","value":null,"dot":null})";
  const std::string fp = R"({"counter":1,"replica":"a"})";
  const std::vector<StateCase> cases = {
      {"no context", R"({"state_version":1,"spec_hash":"h","root":{"kind":"register"}})",
       "missing field `context` at line 1 column 62"},
      {"unknown member", R"({"state_version":1,"x":1})",
       "unknown field `x`, expected one of `state_version`, `spec_hash`, `context`, `fingerprints`, `root` "
       "at line 1 column 22"},
      {"repeated member", R"({"state_version":1,"state_version":1})", "duplicate field `state_version` at line 1 column 34"},
      {"version not a number", R"({"state_version":"1"})", R"(invalid type: string "1", expected u32 at line 1 column 20)"},
      {"version too large", R"({"state_version":4294967296})",
       "invalid value: integer `4294967296`, expected u32 at line 1 column 27"},
      {"not a record", "[1,\"h\",{}]", "invalid length 4, expected struct CrdtState with 5 elements at line 1 column 10"},
      {"array surplus", "[1,\"h\",{},[]," + root + ",5]", "trailing characters at line 1 column 58"},
      {"not an object", "null", "invalid type: null, expected struct CrdtState at line 1 column 4"},
      {"fingerprints", kHead.substr(0, kHead.size() - 7) + R"("fingerprints":[[)" + fp + R"(,"f"]],"root":)" + root + "}",
       "same"},
      {"duplicate fingerprint dot",
       kHead.substr(0, kHead.size() - 7) + R"("fingerprints":[[)" + fp + R"(,"f"],[)" + fp + R"(,"g"]],"root":)" + root + "}",
       "duplicate operation fingerprint dot at line 1 column 132"},
      {"fingerprint pair too long (read from text)",
       kHead.substr(0, kHead.size() - 7) + R"("fingerprints":[[)" + fp + R"(,"f",1]],"root":)" + root + "}",
       "trailing characters at line 1 column 98"},
      {"fingerprint pair too short", kHead.substr(0, kHead.size() - 7) + R"("fingerprints":[[)" + fp + R"(]],"root":)" + root + "}",
       "invalid length 1, expected a tuple of size 2 at line 1 column 93"},
      {"fingerprint not a pair", kHead.substr(0, kHead.size() - 7) + R"("fingerprints":[5],"root":)" + root + "}",
       "invalid type: integer `5`, expected a tuple of size 2 at line 1 column 65"},
      {"context members", R"({"state_version":1,"spec_hash":"h","context":{"dots":[{"counter":2,"replica":"b"}],"compacted":{"a":1,"a":3}},"root":)" + root + "}",
       R"({"state_version":1,"spec_hash":"h","context":{"compacted":{"a":3},"dots":[{"counter":2,"replica":"b"}]},"root":)" + root + "}"},
      {"context unknown member", R"({"state_version":1,"spec_hash":"h","context":{"x":1}})",
       "unknown field `x`, expected `compacted` or `dots` at line 1 column 49"},
      {"context as array", R"({"state_version":1,"spec_hash":"h","context":[{"a":1},[],5]})", "trailing characters at line 1 column 58"},
      {"compacted not a map", R"({"state_version":1,"spec_hash":"h","context":{"compacted":[]}})",
       "invalid type: sequence, expected a map at line 1 column 58"},
      {"compacted counter negative", R"({"state_version":1,"spec_hash":"h","context":{"compacted":{"a":-2}}})",
       "invalid value: integer `-2`, expected u64 at line 1 column 65"},
      {"dot inside context, on line 2", "{\"state_version\":1,\"spec_hash\":\"h\",\n\"context\":{\"dots\":[{\"counter\":\"x\"}]}}",
       R"(invalid type: string "x", expected u64 at line 2 column 33)"},
      // The root node's kind is read with the text: only a name is accepted.
      {"root kind by index", kHead + R"({"kind":0}})", "invalid type: integer `0`, expected variant identifier at line 1 column 64"},
      {"root kind unknown", kHead + R"({"kind":"tree","entries":[}})",
       "unknown variant `tree`, expected one of `register`, `map`, `set`, `sequence` at line 1 column 69"},
      {"root kind twice", kHead + R"({"kind":"map","kind":"map"})",
       "duplicate field `kind` at line 1 column 75"},
      {"root kind missing", kHead + R"({"entries":{}},"x":1})", "missing field `kind` at line 1 column 69"},
      {"root array without kind", kHead + "[]}", "missing field `kind` at line 1 column 57"},
      {"root not a record", kHead + "5}", "invalid type: integer `5`, expected internally tagged enum NodeState at line 1 column 56"},
      // A syntax error anywhere in the root comes before its second-step faults.
      {"syntax after a fault", kHead + R"({"kind":"register","x":1,"y":[1,}})", "expected value at line 1 column 88"},
      // Second-step faults are placed where the reader stands after the state
      // object: before a member that follows the root, or past the closing brace.
      {"fault before another member", kHead + R"({"kind":"map"} ,"spec_hash":"h"})",
       "missing field `entries` at line 1 column 70"},
  };
  for (const auto& c : cases) {
    std::string got = reread(c.text);
    if (c.expected == "same") {
      EXPECT_EQ(got, c.text) << c.what;
    } else if (c.expected.front() == '{') {
      EXPECT_EQ(got, c.expected) << c.what;
    } else {
      EXPECT_EQ(got, "error: " + c.expected) << c.what;
    }
  }
}

TEST(StateFormat, NestedReaderOverParsedJson) {
  // Read from already parsed JSON, errors carry no position.
  auto json = parse_json_text(R"({"kind":1,"entries":{"a":{"node":{"kind":"register","x":1}}}})");
  ASSERT_TRUE(json.ok());
  json::ValueDe de(*json);
  auto node = read_node_state(de);
  ASSERT_FALSE(node.ok());
  EXPECT_EQ(node.error().text(), "unknown field `x`, expected `value` or `dot`");
}

TEST(StateFormat, DeepNodeTreeWithinTheJsonLimit) {
  // A chain of maps as deep as the reader allows reads, writes back the same
  // and one level more is refused by the JSON reader.
  auto nested = [](int levels) {
    std::string node = R"({"kind":"register","value":null,"dot":null})";
    for (int i = 0; i < levels; ++i) node = R"({"kind":"map","entries":{"k":{"node":)" + node + "}}}";
    return with_root(node);
  };
  // The state object, then three levels per map, then the register.
  std::string deepest = nested(41);
  EXPECT_EQ(reread(deepest), deepest);
  std::string too_deep = nested(42);
  EXPECT_NE(reread(too_deep).find("recursion limit exceeded"), std::string::npos);
}

// Damaged texts: each is refused with a message, or read as a state whose
// written form reads back to the same state.
TEST(StateFormat, DamagedTextsAreRefusedOrReadConsistently) {
  const std::string base = crdt_state_to_json(rich_state());
  const std::string pieces = "{}[]\",:-019ae\\ \n";
  std::mt19937 rng(7);
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
    auto state = crdt_state_from_json(text);
    if (!state.ok()) {
      EXPECT_FALSE(state.error().message().empty());
      continue;
    }
    ++accepted;
    std::string written = crdt_state_to_json(*state);
    auto again = crdt_state_from_json(written);
    ASSERT_TRUE(again.ok()) << written;
    EXPECT_EQ(*again, *state) << text;
  }
  EXPECT_GT(accepted, 0);
}

}  // namespace
}  // namespace ww::crdt::reducer
