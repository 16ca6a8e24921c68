// The MessagePack form of paths, operations and patches, and the codecs'
// patch operations: positional writing, and reading records as arrays or
// as maps keyed by name, bin name or index.
#include <gtest/gtest.h>

#include <string>

#include "diff/patch_json.h"
#include "diff/patch_msgpack.h"
#include "msgpack_test_util.h"

namespace ww {
namespace {

using testing_msgpack::hex;
using testing_msgpack::mp;

std::string read(std::string_view bytes) {
  auto r = patch_from_msgpack(bytes);
  if (!r.ok()) return "ERR " + r.error().text();
  return patch_to_json(*r);
}

// A patch of one operation, given as the operation's bytes.
std::string read_op(std::string_view op) { return read(mp("92 00 91") + std::string(op)); }

Patch parse(std::string_view json) {
  auto p = patch_from_json_text(json);
  EXPECT_TRUE(p.ok()) << p.error().text();
  return p.ok() ? p.take() : Patch{};
}

std::string written(std::string_view json) {
  std::string out;
  write_patch_msgpack(parse(json), out);
  return hex(out);
}

TEST(MsgpackPatch, WritesPositionally) {
  EXPECT_EQ(written(R"({"rev":0,"ops":[{"Move":{"path":[{"Key":"a"}],"from":2,"to":0}}]})"),
            hex(mp(R"(92 00 91 81 "Move" 93 91 81 "Key" "a" 02 00)")));
  EXPECT_EQ(written(R"({"rev":0,"ops":[{"Insert":{"path":[],"index":300,"value":"Null"}}]})"),
            hex(mp(R"(92 00 91 81 "Insert" 93 90 cd 01 2c "Null")")));
  EXPECT_EQ(written(R"({"rev":0,"ops":[{"Remove":{"path":[{"Index":1}]}}]})"),
            hex(mp(R"(92 00 91 81 "Remove" 91 91 81 "Index" 01)")));
  EXPECT_EQ(written(R"({"rev":70000,"ops":[{"Set":{"path":[],"value":{"Int":-1}}},)"
                    R"({"RemoveAt":{"path":[],"index":3}},{"Reorder":{"path":[],"order":[1,0]}}]})"),
            hex(mp(R"(92 ce 00 01 11 70 93 81 "Set" 92 90 81 "Int" ff 81 "RemoveAt" 92 90 03)"
                   R"( 81 "Reorder" 92 90 92 01 00)")));
}

TEST(MsgpackPatch, RoundTripsEveryKind) {
  const char* json =
      R"({"rev":18446744073709551615,"ops":[{"Set":{"path":[{"Key":"a"},{"Index":2}],"value":{"Map":{"k":{"List":[{"Float":1.5}]}}}}},)"
      R"({"Remove":{"path":[{"Key":""}]}},{"Insert":{"path":[],"index":0,"value":{"Str":"x"}}},)"
      R"({"RemoveAt":{"path":[],"index":65536}},{"Move":{"path":[],"from":1,"to":0}},{"Reorder":{"path":[],"order":[]}}]})";
  std::string bytes;
  write_patch_msgpack(parse(json), bytes);
  EXPECT_EQ(read(bytes), json);
}

struct Case {
  const char* bytes;
  const char* expected;  // the patch's JSON text, or "ERR <message>"
};

class MsgpackPatchReads : public ::testing::TestWithParam<Case> {};
TEST_P(MsgpackPatchReads, Patch) { EXPECT_EQ(read(mp(GetParam().bytes)), GetParam().expected) << GetParam().bytes; }

class MsgpackOpReads : public ::testing::TestWithParam<Case> {};
TEST_P(MsgpackOpReads, Op) {
  std::string want = GetParam().expected;
  if (want.rfind("ERR ", 0) != 0) want = R"({"rev":0,"ops":[)" + want + "]}";
  EXPECT_EQ(read_op(mp(GetParam().bytes)), want) << GetParam().bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Records, MsgpackPatchReads,
    ::testing::Values(
        Case{"92 07 90", R"({"rev":7,"ops":[]})"},
        Case{"92 d0 07 c4 00 ff", R"({"rev":7,"ops":[]})"},
        Case{"90", "ERR invalid length 0, expected struct Patch with 2 elements"},
        Case{"91 07", "ERR invalid length 1, expected struct Patch with 2 elements"},
        Case{"93 07 90 00", "ERR array had incorrect length, expected 2"},
        Case{R"(82 "ops" 90 "rev" 05)", R"({"rev":5,"ops":[]})"},
        Case{R"(82 c4 03 6f 70 73 90 00 05)", R"({"rev":5,"ops":[]})"},
        Case{R"(82 01 90 00 05)", R"({"rev":5,"ops":[]})"},
        // Unknown keys are skipped with their values, whatever these hold.
        Case{R"(85 02 91 91 01 "x" d4 01 02 cc ff a1 ff "rev" 01 "ops" 90)", R"({"rev":1,"ops":[]})"},
        Case{R"(83 "rev" 01 "ops" 90 "x" 92 01)", "ERR IO error while reading marker: failed to fill whole buffer"},
        Case{R"(83 "rev" 01 "ops" 90 "x" d9 02 61)", "ERR IO error while reading data: unexpected end of file"},
        Case{R"(83 "rev" 01 "ops" 90 "x" c1)", "ERR wrong msgpack marker Reserved"},
        Case{R"(82 c0 01 "ops" 90)", "ERR invalid type: unit value, expected field identifier"},
        Case{R"(82 ff 01 "ops" 90)", "ERR invalid type: integer `-1`, expected field identifier"},
        Case{R"(82 90 01 "ops" 90)", "ERR invalid type: sequence, expected field identifier"},
        Case{R"(82 "rev" 01 "rev" 02)", "ERR duplicate field `rev`"},
        Case{R"(81 "ops" 90)", "ERR missing field `rev`"},
        Case{R"(81 "rev" 01)", "ERR missing field `ops`"},
        Case{"80", "ERR missing field `rev`"},
        Case{R"(82 "rev" ff "ops" 90)", "ERR invalid value: integer `-1`, expected u64"},
        Case{"c0", "ERR invalid type: unit value, expected struct Patch"},
        Case{R"("x")", R"(ERR invalid type: string "x", expected struct Patch)"},
        // A bin item stands for the list of its bytes: the first is the revision.
        Case{"c4 00", "ERR invalid length 0, expected struct Patch with 2 elements"},
        Case{"c4 01 07", "ERR invalid length 1, expected struct Patch with 2 elements"},
        Case{"c4 02 07 09", "ERR invalid type: integer `9`, expected a sequence"},
        Case{"92 00 c4 01 05", "ERR invalid type: integer `5`, expected enum Op"},
        Case{"92 00 81", "ERR invalid type: map, expected a sequence"},
        Case{"92 00 91", "ERR IO error while reading marker: failed to fill whole buffer"},
        Case{"", "ERR IO error while reading marker: failed to fill whole buffer"}));

INSTANTIATE_TEST_SUITE_P(
    Operations, MsgpackOpReads,
    ::testing::Values(
        Case{R"(81 "Move" 93 91 81 "Key" "a" 02 00)", R"({"Move":{"path":[{"Key":"a"}],"from":2,"to":0}})"},
        Case{R"(81 04 93 90 02 00)", R"({"Move":{"path":[],"from":2,"to":0}})"},
        Case{R"(81 c4 04 4d 6f 76 65 93 90 02 00)", R"({"Move":{"path":[],"from":2,"to":0}})"},
        Case{R"(81 "Move" 83 "path" 90 "from" 02 "to" 00)", R"({"Move":{"path":[],"from":2,"to":0}})"},
        Case{R"(81 04 83 00 90 01 02 02 00)", R"({"Move":{"path":[],"from":2,"to":0}})"},
        Case{R"(81 04 84 03 c0 00 90 01 02 02 00)", R"({"Move":{"path":[],"from":2,"to":0}})"},
        Case{R"(81 "Remove" 82 "path" 90 "value" "Null")", R"({"Remove":{"path":[]}})"},
        Case{R"(81 "Reorder" 92 90 c4 03 02 00 01)", R"({"Reorder":{"path":[],"order":[2,0,1]}})"},
        Case{R"(81 "Reorder" 92 c4 00 c4 00)", R"({"Reorder":{"path":[],"order":[]}})"},
        Case{R"(81 "Set" 92 91 81 01 d1 01 00 81 02 05)", R"({"Set":{"path":[{"Index":256}],"value":{"Int":5}}})"},
        Case{R"(82 "Set" 90 "Move" 90)", "ERR array had incorrect length, expected 2"},
        Case{"80", "ERR array had incorrect length, expected 0"},
        Case{R"(81 06 90)", "ERR invalid value: integer `6`, expected variant index 0 <= i < 6"},
        Case{R"(81 "set" 90)",
             "ERR unknown variant `set`, expected one of `Set`, `Remove`, `Insert`, `RemoveAt`, `Move`, `Reorder`"},
        Case{R"(81 c0 90)", "ERR invalid type: unit value, expected variant identifier"},
        Case{R"("Set")", "ERR invalid type: unit variant, expected struct variant"},
        Case{"00", "ERR invalid type: unit variant, expected struct variant"},
        Case{R"(81 "Move" 92 90 02)", "ERR invalid length 2, expected struct variant Op::Move with 3 elements"},
        Case{R"(81 "Remove" 90)", "ERR invalid length 0, expected struct variant Op::Remove with 1 element"},
        Case{R"(81 "Move" 94 90 02 00 09)", "ERR array had incorrect length, expected 3"},
        Case{R"(81 "Move" 05)", "ERR invalid type: integer `5`, expected struct variant Op::Move"},
        Case{R"(81 "Move" c0)", "ERR invalid type: unit value, expected struct variant Op::Move"},
        Case{R"(81 "Move" c4 00)", "ERR invalid length 0, expected struct variant Op::Move with 3 elements"},
        Case{R"(81 "Move" c4 01 05)", "ERR invalid type: integer `5`, expected a sequence"},
        Case{R"(81 "Move" 82 "path" 90 "to" 01)", "ERR missing field `from`"},
        Case{R"(81 "Move" 81 "to" 01)", "ERR missing field `path`"},
        Case{R"(81 "Move" 82 "from" 01 01 02)", "ERR duplicate field `from`"},
        Case{R"(81 "Move" 83 "path" 90 "from" ff "to" 00)", "ERR invalid value: integer `-1`, expected usize"},
        Case{R"(81 "Remove" 91 c4 01 05)", "ERR invalid type: integer `5`, expected enum PathSeg"},
        Case{R"(81 "Remove" 91 91 82 "Key" "a" "Index" 00)", "ERR array had incorrect length, expected 2"},
        Case{R"(81 "Remove" 91 91 81 02 00)", "ERR invalid value: integer `2`, expected variant index 0 <= i < 2"},
        Case{R"(81 "Remove" 91 91 "Key")", "ERR invalid type: unit variant, expected newtype variant"},
        Case{R"(81 "Remove" 91 91 81 "key" 00)", "ERR unknown variant `key`, expected `Key` or `Index`"},
        Case{R"(81 "Remove" 91 91 81 "Index" cb 40 00 00 00 00 00 00 00)",
             "ERR invalid type: floating point `2.0`, expected usize"}));

// Every number of a patch is judged by its marker alone: nil is a found
// unit value, any other item that is no number a wrong marker, refused
// before any of its bytes is read.
INSTANTIATE_TEST_SUITE_P(
    NumberFields, MsgpackPatchReads,
    ::testing::Values(
        Case{R"(92 "x" 90)", "ERR wrong msgpack marker FixStr(1)"},
        Case{"92 c0 90", "ERR invalid type: unit value, expected u64"},
        Case{R"(82 "rev" 80 "ops" 90)", "ERR wrong msgpack marker FixMap(0)"},
        Case{R"(82 "ops" 90 "rev" c7)", "ERR wrong msgpack marker Ext8"},
        Case{"92 dd 00 00 00 00 90", "ERR wrong msgpack marker Array32"},
        Case{"92 c4 00 90", "ERR wrong msgpack marker Bin8"},
        // A bin item read as a list still gives its bytes as numbers.
        Case{"c4 02 07 90", "ERR invalid type: integer `144`, expected a sequence"}));

INSTANTIATE_TEST_SUITE_P(
    NumberFields, MsgpackOpReads,
    ::testing::Values(
        Case{R"(81 "RemoveAt" 92 90 c4 00)", "ERR wrong msgpack marker Bin8"},
        Case{R"(81 "RemoveAt" 92 90 c0)", "ERR invalid type: unit value, expected usize"},
        Case{R"(81 "Insert" 93 90 de 00 00 "Null")", "ERR wrong msgpack marker Map16"},
        Case{R"(81 "Insert" 83 "index" a3 "path" 90)", "ERR wrong msgpack marker FixStr(3)"},
        Case{R"(81 "Move" 93 90 a0 00)", "ERR wrong msgpack marker FixStr(0)"},
        Case{R"(81 "Move" 93 90 00 d4)", "ERR wrong msgpack marker FixExt1"},
        Case{R"(81 "Move" 93 90 00 c1)", "ERR wrong msgpack marker Reserved"},
        Case{R"(81 "Move" 93 90 00 c3)", "ERR invalid type: boolean `true`, expected usize"},
        Case{R"(81 "Reorder" 92 90 92 00 90)", "ERR wrong msgpack marker FixArray(0)"},
        Case{R"(81 "Reorder" 92 90 91 db ff ff ff ff)", "ERR wrong msgpack marker Str32"},
        Case{R"(81 "Reorder" 92 90 91 c0)", "ERR invalid type: unit value, expected usize"},
        Case{R"(81 "Reorder" 92 90 91 ca 40 00 00 00)", "ERR invalid type: floating point `2.0`, expected usize"},
        Case{R"(81 "Remove" 91 91 81 "Index" 9f)", "ERR wrong msgpack marker FixArray(15)"},
        Case{R"(81 "Remove" 91 91 81 "Index" a1 ff)", "ERR wrong msgpack marker FixStr(1)"},
        Case{R"(81 "Remove" 91 91 81 "Index" c0)", "ERR invalid type: unit value, expected usize"},
        Case{R"(81 "Remove" 91 91 81 01 c6 00 00 00 01)", "ERR wrong msgpack marker Bin32"},
        Case{R"(81 "Remove" 91 91 81 "Index" ca c4 04 4e 75)",
             "ERR invalid type: floating point `-529.2258911132813`, expected usize"},
        // The value of a Set keeps its own rules; a key step still reads a text.
        Case{R"(81 "Set" 92 90 81 "Int" 80)", "ERR wrong msgpack marker FixMap(0)"},
        Case{R"(81 "Remove" 91 91 81 "Key" a2 61)", "ERR IO error while reading data: unexpected end of file"}));

}  // namespace
}  // namespace ww
