// The CBOR form of paths, operations and patches: records as maps keyed by
// field name, and what the generic patch reader makes of CBOR input.
#include <gtest/gtest.h>

#include <string>

#include "cbor_test_util.h"
#include "diff/patch_cbor.h"
#include "diff/patch_json.h"

namespace ww {
namespace {

using testing_cbor::cb;
using testing_cbor::hex;
using testing_cbor::kIoEof;

std::string read(std::string_view bytes) {
  Result<Patch> r = patch_from_cbor(bytes);
  if (!r.ok()) return r.error().text();
  return patch_to_json(*r);
}

// A patch of revision 0 holding one operation, given as the operation's bytes.
std::string read_op(const std::string& op) { return read(cb(R"(a2 "rev" 00 "ops" 81)") + op); }

std::string written(std::string_view json) {
  Result<Patch> p = patch_from_json_text(json);
  EXPECT_TRUE(p.ok()) << p.error().text();
  std::string out;
  if (p.ok()) write_patch_cbor(*p, out);
  return hex(out);
}

TEST(CborPatch, WritesRecordsAsNamedMaps) {
  EXPECT_EQ(written(R"({"rev":0,"ops":[{"Remove":{"path":[{"Index":1}]}}]})"),
            "a2 63 72 65 76 00 63 6f 70 73 81 a1 66 52 65 6d 6f 76 65 a1 64 70 61 74 68 81 a1 65 49 6e 64 65 78 01");
  EXPECT_EQ(written(R"({"rev":0,"ops":[{"Move":{"path":[{"Key":"a"}],"from":2,"to":0}}]})"),
            hex(cb(R"(a2 "rev" 00 "ops" 81)")) + " " +
                "a1 64 4d 6f 76 65 a3 64 70 61 74 68 81 a1 63 4b 65 79 61 61 64 66 72 6f 6d 02 62 74 6f 00");
  EXPECT_EQ(written(R"({"rev":300,"ops":[{"Set":{"path":[],"value":{"Int":-1}}},)"
                    R"({"Insert":{"path":[],"index":1,"value":"Null"}},)"
                    R"({"RemoveAt":{"path":[],"index":24}},{"Reorder":{"path":[],"order":[1,0]}}]})"),
            hex(cb(R"(a2 "rev" 19 01 2c "ops" 84 a1 "Set" a2 "path" 80 "value" a1 "Int" 20)"
                   R"( a1 "Insert" a3 "path" 80 "index" 01 "value" "Null")"
                   R"( a1 "RemoveAt" a2 "path" 80 "index" 18 18)"
                   R"( a1 "Reorder" a2 "path" 80 "order" 82 01 00)")));
}

TEST(CborPatch, RoundTripsEveryKind) {
  const char* json =
      R"({"rev":18446744073709551615,"ops":[{"Set":{"path":[{"Key":"a"},{"Index":2}],"value":{"Map":{"k":{"List":[{"Float":1.5}]}}}}},)"
      R"({"Remove":{"path":[{"Key":""}]}},{"Insert":{"path":[],"index":0,"value":{"Str":"x"}}},)"
      R"({"RemoveAt":{"path":[],"index":65536}},{"Move":{"path":[],"from":1,"to":0}},{"Reorder":{"path":[],"order":[]}}]})";
  Result<Patch> p = patch_from_json_text(json);
  ASSERT_TRUE(p.ok());
  std::string bytes;
  write_patch_cbor(*p, bytes);
  EXPECT_EQ(read(bytes), json);
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    ASSERT_EQ(read(bytes.substr(0, cut)), kIoEof) << "cut at " << cut;
  }
}

struct Case {
  const char* what;
  std::string bytes;
  const char* expected;  // the patch as JSON, or the error text
};

TEST(CborPatch, ReadingRules) {
  const Case cases[] = {
      // the patch record
      {"fields in any order, unknown keys skipped", cb(R"(a3 "note" c1 a1 01 9f f6 ff "ops" 80 "rev" 05)"),
       R"({"rev":5,"ops":[]})"},
      {"field names as byte strings", cb("a2 43 72 65 76 01 43 6f 70 73 80"), R"({"rev":1,"ops":[]})"},
      {"indefinite map", cb(R"(bf "rev" 01 "ops" 9f ff ff)"), R"({"rev":1,"ops":[]})"},
      {"an array is no patch", cb("82 00 80"), R"(Semantic(None, "invalid type: sequence, expected map"))"},
      {"an integer is no patch", cb("07"), R"(Semantic(None, "invalid type: integer `7`, expected map"))"},
      {"integer key", cb(R"(a2 00 01 "ops" 80)"), R"(Semantic(None, "invalid type: integer `0`, expected str or bytes"))"},
      {"missing rev", cb(R"(a1 "ops" 80)"), R"(Semantic(None, "missing field `rev`"))"},
      {"missing ops", cb(R"(a1 "rev" 01)"), R"(Semantic(None, "missing field `ops`"))"},
      {"duplicate rev", cb(R"(a3 "rev" 01 "ops" 80 "rev" 02)"), R"(Semantic(None, "duplicate field `rev`"))"},
      {"negative rev", cb(R"(a2 "rev" 20 "ops" 80)"), R"(Semantic(None, "unexpected negative integer"))"},
      {"rev as a negative bignum", cb(R"(a2 "rev" c3 40 "ops" 80)"), R"(Semantic(None, "unexpected negative integer"))"},
      {"rev past u64", cb(R"(a2 "rev" c2 49 01 00 00 00 00 00 00 00 00 "ops" 80)"),
       R"(Semantic(None, "integer too large"))"},
      {"rev as text", cb(R"(a2 "rev" "1" "ops" 80)"), R"(Semantic(None, "invalid type: string, expected integer"))"},
      {"ops as empty bytes", cb(R"(a2 "rev" 00 "ops" 40)"), R"({"rev":0,"ops":[]})"},
      {"ops as bytes", cb(R"(a2 "rev" 00 "ops" 41 05)"), R"(Semantic(None, "invalid type: integer `5`, expected enum Op"))"},
      {"skipped value that has no reading", cb(R"(a3 "x" f0 "rev" 00 "ops" 80)"),
       R"(Semantic(None, "invalid type: simple, expected known simple value"))"},
      {"tagged value skipped", cb(R"(a3 "x" c1 c1 c1 80 "rev" 00 "ops" 80)"), R"({"rev":0,"ops":[]})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(read(c.bytes), c.expected);
  }
}

TEST(CborPatch, OperationRules) {
  const Case cases[] = {
      {"fields as an array", cb(R"(a1 "Move" 83 80 02 00)"), R"({"rev":0,"ops":[{"Move":{"path":[],"from":2,"to":0}}]})"},
      {"fields as a map, unknown keys skipped", cb(R"(a1 "Remove" a2 "extra" 82 01 02 "path" 80)"),
       R"({"rev":0,"ops":[{"Remove":{"path":[]}}]})"},
      {"name as bytes", cb(R"(a1 46 52 65 6d 6f 76 65 a1 "path" 80)"), R"({"rev":0,"ops":[{"Remove":{"path":[]}}]})"},
      {"order as bytes", cb(R"(a1 "Reorder" a2 "path" 80 "order" 43 02 00 01)"),
       R"({"rev":0,"ops":[{"Reorder":{"path":[],"order":[2,0,1]}}]})"},
      {"short field array", cb(R"(a1 "Move" 82 80 02)"),
       R"(Semantic(None, "invalid length 2, expected struct variant Op::Move with 3 elements"))"},
      {"missing field", cb(R"(a1 "Move" a2 "path" 80 "to" 01)"), R"(Semantic(None, "missing field `from`"))"},
      {"duplicate field", cb(R"(a1 "Remove" a2 "path" 80 "path" 80)"), R"(Semantic(None, "duplicate field `path`"))"},
      {"fields as an integer", cb(R"(a1 "Remove" 05)"),
       R"(Semantic(None, "invalid type: integer `5`, expected struct variant Op::Remove"))"},
      {"fields as text", cb(R"(a1 "Remove" "x")"),
       R"(Semantic(None, "invalid type: string \"x\", expected struct variant Op::Remove"))"},
      {"fields as null", cb(R"(a1 "Remove" f6)"),
       R"(Semantic(None, "invalid type: Option value, expected struct variant Op::Remove"))"},
      {"kind named alone", cb(R"("Set")"), R"(Semantic(None, "invalid type: unit variant, expected struct variant"))"},
      {"kind keyed by an index", cb(R"(a1 04 83 80 02 00)"),
       R"(Semantic(None, "invalid type: integer `4`, expected str or bytes"))"},
      {"unknown kind", cb(R"(a1 "set" a0)"),
       R"(Semantic(None, "unknown variant `set`, expected one of `Set`, `Remove`, `Insert`, `RemoveAt`, `Move`, `Reorder`"))"},
      {"two entries", cb(R"(a2 "Set" a0 "Remove" a0)"), R"(Semantic(None, "invalid type: map, expected enum"))"},
      {"an array is no operation", cb("80"), R"(Semantic(None, "invalid type: sequence, expected enum"))"},
      {"negative index", cb(R"(a1 "RemoveAt" a2 "path" 80 "index" 20)"), R"(Semantic(None, "unexpected negative integer"))"},
      {"negative insert index", cb(R"(a1 "Insert" 83 80 38 ff "Null")"), R"(Semantic(None, "unexpected negative integer"))"},
      {"negative from", cb(R"(a1 "Move" a3 "path" 80 "from" 3b ff ff ff ff ff ff ff ff "to" 00)"),
       R"(Semantic(None, "unexpected negative integer"))"},
      {"to as a negative bignum", cb(R"(a1 "Move" 83 80 00 c3 41 00)"), R"(Semantic(None, "unexpected negative integer"))"},
      {"to past u64", cb(R"(a1 "Move" 83 80 00 c2 49 01 00 00 00 00 00 00 00 00)"), R"(Semantic(None, "integer too large"))"},
      {"negative order element", cb(R"(a1 "Reorder" a2 "path" 80 "order" 82 00 20)"),
       R"(Semantic(None, "unexpected negative integer"))"},
      {"index float that ties", cb(R"(a1 "RemoveAt" a2 "path" 80 "index" f9 01 74)"),
       R"(Semantic(None, "invalid type: floating point `0.000022172927856445313`, expected integer"))"},
      // path steps
      {"steps of both kinds", cb(R"(a1 "Remove" a1 "path" 82 a1 "Key" "a" a1 "Index" 18 ff)"),
       R"({"rev":0,"ops":[{"Remove":{"path":[{"Key":"a"},{"Index":255}]}}]})"},
      {"step kind named alone", cb(R"(a1 "Remove" a1 "path" 81 "Key")"),
       R"(Semantic(None, "invalid type: unit variant, expected newtype variant"))"},
      {"unknown step kind", cb(R"(a1 "Remove" a1 "path" 81 a1 "key" "a")"),
       R"(Semantic(None, "unknown variant `key`, expected `Key` or `Index`"))"},
      {"key from bytes", cb(R"(a1 "Remove" a1 "path" 81 a1 "Key" 41 61)"),
       R"(Semantic(None, "invalid type: bytes, expected string"))"},
      {"negative index step", cb(R"(a1 "Remove" a1 "path" 81 a1 "Index" 20)"),
       R"(Semantic(None, "unexpected negative integer"))"},
      {"index step as a negative bignum", cb(R"(a1 "Remove" a1 "path" 81 a1 "Index" c3 42 01 00)"),
       R"(Semantic(None, "unexpected negative integer"))"},
      {"path as bytes", cb(R"(a1 "Remove" a1 "path" 41 07)"),
       R"(Semantic(None, "invalid type: integer `7`, expected enum PathSeg"))"},
      {"path as a map", cb(R"(a1 "Remove" a1 "path" a0)"), R"(Semantic(None, "invalid type: map, expected array"))"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(read_op(c.bytes), c.expected);
  }
}

// Surplus elements of a positional field array are not drained: reading
// goes on from the first of them as if it were the next item.
TEST(CborPatch, SurplusFieldsAreReadAsTheNextItem) {
  EXPECT_EQ(read(cb(R"(a2 "ops" 81 a1 "Remove" 82 80 "rev" 07)")), R"({"rev":7,"ops":[{"Remove":{"path":[]}}]})");
  EXPECT_EQ(read(cb(R"(a3 "rev" 00 "ops" 81 a1 "Remove" 82 80 05 "x" 00)")),
            R"(Semantic(None, "invalid type: integer `5`, expected str or bytes"))");
}

}  // namespace
}  // namespace ww
