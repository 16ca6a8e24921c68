// Specifications built in code: the canonical writer repeats the checks of
// the reader and leaves the specification as it was.
#include <gtest/gtest.h>

#include <string>

#include "crdt/crdt_spec.h"

namespace ww::crdt {
namespace {

SetPolicy set_with_keys(std::vector<IdentityPath> keys) {
  MapPolicy element;
  element.fields["id"] = RegisterPolicy{};
  element.fields["name"] = RegisterPolicy{};
  SetPolicy set;
  set.keys = std::move(keys);
  *set.element = std::move(element);
  return set;
}

TEST(CrdtSpec, ToJsonRefusesWhatTheReaderRefuses) {
  CrdtSpec spec;
  spec.version = 2;
  EXPECT_EQ(CrdtSpec::to_json(spec).error().text(), "unsupported CRDT spec version 2; expected 1");
  EXPECT_EQ(CrdtSpec::hash(spec).error().text(), "unsupported CRDT spec version 2; expected 1");

  spec.version = 1;
  MapPolicy map;
  map.fields["t"] = set_with_keys({{"id"}, {"id"}});
  spec.root = map;
  EXPECT_EQ(CrdtSpec::to_json(spec).error().text(), R"(root.fields.t.keys contains duplicate path ["id"])");

  SequencePolicy seq;
  seq.materialization = SequenceMaterialization::String;
  *seq.element = MapPolicy{};
  spec.root = seq;
  EXPECT_EQ(CrdtSpec::hash(spec).error().text(), "root.element must be a register for string materialization");
}

TEST(CrdtSpec, ToJsonWritesNormalisedWithoutChangingTheSpec) {
  CrdtSpec spec;
  spec.root = set_with_keys({{"name"}, {"id"}});
  const CrdtSpec before = spec;
  auto text = CrdtSpec::to_json(spec);
  ASSERT_TRUE(text.ok());
  EXPECT_EQ(*text,
            R"({"version":1,"root":{"kind":"set","keys":[["id"],["name"]],"element":{"kind":"map","fields":)"
            R"({"id":{"kind":"register"},"name":{"kind":"register"}},"values":{"kind":"register"}}}})");
  EXPECT_EQ(spec, before);
  EXPECT_EQ(spec.root.set()->keys.front(), IdentityPath{"name"});

  // Reading the text gives the normalised tree, whose text is the same.
  auto read = CrdtSpec::from_json(*text);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read->root.set()->keys.front(), IdentityPath{"id"});
  EXPECT_EQ(*CrdtSpec::to_json(*read), *text);
  EXPECT_EQ(*CrdtSpec::hash(*read), *CrdtSpec::hash(spec));
}

TEST(CrdtSpec, PolicyTreeHelpers) {
  MapPolicy map;
  map.fields["a"] = SetPolicy{};
  *map.values = SequencePolicy{};
  EXPECT_TRUE(map.child("a").is(CrdtPolicy::Kind::Set));
  EXPECT_TRUE(map.child("b").is(CrdtPolicy::Kind::Sequence));
  // Copies are deep.
  CrdtPolicy original = map;
  CrdtPolicy copy = original;
  copy.map()->values->sequence()->materialization = SequenceMaterialization::String;
  EXPECT_EQ(original.map()->values->sequence()->materialization, SequenceMaterialization::List);
  EXPECT_NE(copy, original);
}

}  // namespace
}  // namespace ww::crdt
