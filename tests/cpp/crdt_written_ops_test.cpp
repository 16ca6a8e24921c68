// The reader of operations in their written form: it accepts the texts this
// system writes, and whatever it accepts, the general reader reads alike,
// with each operation's text being exactly its written form (the text its
// fingerprint is taken over).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "crdt/reducer/ops_json.h"
#include "crdt/reducer/ops_written_read.h"
#include "text_damage.h"

namespace ww::crdt::reducer {
namespace {

Dot dot(std::uint64_t counter, std::string replica) { return Dot{counter, std::move(replica)}; }
ElementId eid(std::uint64_t counter, std::uint32_t index) { return ElementId{dot(counter, "r"), index}; }

std::vector<CrdtOp> sample_ops() {
  const CrdtPath path = {CrdtPathSegment::map_key("text"), CrdtPathSegment::member("[[[\"id\"],{\"Int\":1}]]"),
                         CrdtPathSegment::element(eid(7, 4294967295u))};
  std::vector<CrdtOp> ops;
  ops.push_back({CrdtOp::RegisterSet{dot(1, "a"), {}, Value::null()}});
  ops.push_back({CrdtOp::MapSet{dot(18446744073709551615ull, "b"), path, "k", Value::integer(-9223372036854775807 - 1)}});
  ops.push_back({CrdtOp::MapRemove{dot(3, "héllo"), path, "", {dot(1, "a"), dot(2, "b\\")}}});
  ops.push_back({CrdtOp::SetAdd{dot(4, "a"), path, Value::boolean(true)}});
  ops.push_back({CrdtOp::SetRemove{dot(5, "a"), {}, "m", {}}});
  ops.push_back({CrdtOp::SequenceInsert{dot(6, "a"), path, std::nullopt, {Value::str("x"), Value::boolean(false)}}});
  ops.push_back({CrdtOp::SequenceInsert{dot(10, "a"), path, eid(0, 0), {Value::integer(0), Value::str("")}}});
  ops.push_back({CrdtOp::SequenceDelete{dot(11, "a"), path, {eid(6, 0), eid(6, 1)}}});
  return ops;
}

std::string array_of(const std::vector<CrdtOp>& ops) {
  std::string out = "[";
  for (const CrdtOp& op : ops) {
    if (out.size() > 1) out.push_back(',');
    write_crdt_op(op, out);
  }
  out.push_back(']');
  return out;
}

// Returns whether the written-form reader accepted the text.
bool expect_same_reading(const std::string& text) {
  std::vector<CrdtOp> ops;
  std::vector<std::string_view> texts;
  if (!read_written_ops(text, ops, texts)) return false;
  auto reference = crdt_ops_from_json(text);
  EXPECT_TRUE(reference.ok()) << text;
  if (!reference.ok()) return true;
  EXPECT_EQ(ops, *reference) << text;
  EXPECT_EQ(texts.size(), ops.size());
  for (std::size_t i = 0; i < ops.size() && i < texts.size(); ++i) {
    EXPECT_EQ(texts[i], crdt_op_to_json(ops[i]));
  }
  return true;
}

TEST(WrittenOps, ReadsWhatTheWriterWrites) {
  const std::vector<CrdtOp> ops = sample_ops();
  EXPECT_TRUE(expect_same_reading("[]"));
  EXPECT_TRUE(expect_same_reading(array_of(ops)));
  for (const CrdtOp& op : ops) {
    EXPECT_TRUE(expect_same_reading(array_of({op}))) << crdt_op_to_json(op);
  }
}

TEST(WrittenOps, RefusesOtherFormsThatTheGeneralReaderReads) {
  const std::string base = R"({"kind":"sequence_insert","dot":{"counter":6,"replica":"a"},"path":[],"after":null,"values":[)";
  const char* refused[] = {
      // Escapes, spaces, other number forms, fields in another order, values
      // of other kinds: read alike by the general reader, but not written so.
      R"([{"kind":"set_remove","dot":{"counter":5,"replica":"a"},"path":[],"key":"\u0041","removed":[]}])",
      R"([ {"kind":"set_remove","dot":{"counter":5,"replica":"a"},"path":[],"key":"m","removed":[]}])",
      R"([{"kind":"set_remove","dot":{"replica":"a","counter":5},"path":[],"key":"m","removed":[]}])",
      R"([{"dot":{"counter":5,"replica":"a"},"kind":"set_remove","path":[],"key":"m","removed":[]}])",
      R"([{"kind":"set_remove","dot":{"counter":5,"replica":"a"},"path":[],"key":"m","removed":[]}] )",
      R"([{"kind":"sequence_insert","dot":{"counter":6,"replica":"a"},"path":[],"values":[]}])",
  };
  for (const char* text : refused) {
    std::vector<CrdtOp> ops;
    std::vector<std::string_view> texts;
    EXPECT_TRUE(crdt_ops_from_json(text).ok()) << text;
    EXPECT_FALSE(read_written_ops(text, ops, texts)) << text;
  }
  for (const char* value : {R"({"Float":1.5})", R"({"Int":-0})", R"({"Int":01})", R"({"Int":9223372036854775808})",
                            R"({"List":[]})", R"({"Map":{}})", R"({"Str":"a\nb"})", R"({"Str":"a\/b"})"}) {
    std::vector<CrdtOp> ops;
    std::vector<std::string_view> texts;
    EXPECT_FALSE(read_written_ops(base + value + "]}]", ops, texts)) << value;
  }
}

TEST(WrittenOps, AcceptsOnlyWhatTheGeneralReaderReadsAlike) {
  std::mt19937 rng(5);
  const std::string alphabet = "{}[],:\"\\ 0123456789-.eEnulltruefalsekindStrIntBool";
  const std::string whole = array_of(sample_ops());
  int accepted = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text = whole;
    test_damage::damage(text, rng, alphabet);
    if (expect_same_reading(text)) ++accepted;
  }
  // Damage inside strings and numbers leaves texts that are still read.
  EXPECT_GT(accepted, 0);
}

// Mutations as callers write them, spaced or not: whatever the plain reader
// accepts, the general reader reads alike.
bool expect_same_mutations(const std::string& text) {
  std::vector<CrdtMutation> mutations;
  if (!read_plain_mutations(text, mutations)) return false;
  auto reference = crdt_mutations_from_json(text);
  EXPECT_TRUE(reference.ok()) << text;
  if (reference.ok()) {
    EXPECT_EQ(mutations, *reference) << text;
  }
  return true;
}

TEST(PlainMutations, AcceptsOnlyWhatTheGeneralReaderReadsAlike) {
  const char* texts[] = {
      R"([{"kind":"sequence_splice","path":[{"kind":"key","key":"text"}],"index":3,"delete_count":1,"values":[{"Str":"x"}]}])",
      R"([ {"kind": "sequence_splice", "path": [{"kind": "key", "key": "text"}], "index": 0, "delete_count": 0,
          "values": [{"Str": "a\\\"b"}, {"Int": -5}, "Null", {"Bool": true}]} ] )",
      R"([{"kind":"map_set","path":[],"key":"k","value":{"Int":1}},{"kind":"map_remove","path":[],"key":"k"}])",
      R"([{"kind":"sequence_insert","path":[{"kind":"element","id":{"dot":{"counter":1,"replica":"a"},"index":0}}],
          "after":null,"values":[]}])",
      R"([{"kind":"sequence_delete","path":[],"ids":[{"dot":{"counter":1,"replica":"a"},"index":2}]},
          {"kind":"set_add","path":[],"value":{"Bool":false}},{"kind":"set_remove","path":[],"key":"m"},
          {"kind":"register_set","path":[],"value":"Null"}])",
  };
  for (const char* text : texts) EXPECT_TRUE(expect_same_mutations(text)) << text;
  // Refused here: spaces inside a word or a number (not JSON), and fields
  // in another order or `after` left out (read by the general reader).
  const char* refused[] = {
      R"([{"kind":"register_set","path":[],"value":{"Bool":t rue}}])",
      R"([{"kind":"register_set","path":[],"value":{"Int":- 5}}])",
      R"([{"kind":"map_set","key":"k","path":[],"value":{"Int":1}}])",
      R"([{"kind":"sequence_insert","path":[],"values":[]}])",
  };
  for (const char* text : refused) EXPECT_FALSE(expect_same_mutations(text)) << text;

  std::mt19937 rng(9);
  const std::string alphabet = "{}[],:\"\\ \n0123456789-.eEnulltruefalsekindStrIntBool";
  int accepted = 0;
  for (const char* base : texts) {
    for (int round = 0; round < 600; ++round) {
      std::string text = base;
      const std::size_t at = rng() % text.size();
      switch (rng() % 3) {
        case 0: text[at] = alphabet[rng() % alphabet.size()]; break;
        case 1: text.erase(at, 1 + rng() % 4); break;
        default: text.insert(at, 1, alphabet[rng() % alphabet.size()]);
      }
      if (expect_same_mutations(text)) ++accepted;
    }
  }
  EXPECT_GT(accepted, 0);
}

}  // namespace
}  // namespace ww::crdt::reducer
