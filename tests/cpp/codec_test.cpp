// The codecs through their interface: content types, the patch operations
// (which no module function reaches) and the resolution of codec names.
#include <gtest/gtest.h>

#include <string>

#include "codec/codec_names.h"
#include "diff/patch_json.h"
#include "msgpack_test_util.h"
#include "value/value_json.h"

namespace ww {
namespace {

using testing_msgpack::hex;
using testing_msgpack::mp;

constexpr const char* kPatch =
    R"({"rev":3,"ops":[{"Set":{"path":[{"Key":"a"},{"Index":2}],"value":{"Float":1.5}}},)"
    R"({"Move":{"path":[],"from":2,"to":0}},{"Reorder":{"path":[],"order":[1,0]}}]})";

Patch the_patch() {
  auto p = patch_from_json_text(kPatch);
  EXPECT_TRUE(p.ok());
  return p.ok() ? p.take() : Patch{};
}

struct KindCase {
  CodecKind kind;
  const char* content_type;
};

class Codecs : public ::testing::TestWithParam<KindCase> {};

TEST_P(Codecs, RoundTripsValuesAndPatches) {
  const Codec& codec = codec_of(GetParam().kind);
  EXPECT_EQ(codec.content_type(), GetParam().content_type);

  auto value = value_from_json_text(R"({"Map":{"k":{"List":[{"Int":-7},"Null",{"Submodel":9}]}}})");
  ASSERT_TRUE(value.ok());
  auto back = codec.decode_value(codec.encode_value(*value));
  ASSERT_TRUE(back.ok()) << back.error().text();
  EXPECT_EQ(*back, *value);

  auto patch = codec.decode_patch(codec.encode_patch(the_patch()));
  ASSERT_TRUE(patch.ok()) << patch.error().text();
  EXPECT_EQ(patch_to_json(*patch), kPatch);
}

TEST_P(Codecs, PatchErrorsCarryNoPrefix) {
  auto r = codec_of(GetParam().kind).decode_patch("");
  ASSERT_FALSE(r.ok());
  const std::string text = r.error().text();
  switch (GetParam().kind) {
    case CodecKind::Json: EXPECT_EQ(text, "EOF while parsing a value at line 1 column 0"); break;
    case CodecKind::MessagePack: EXPECT_EQ(text, "IO error while reading marker: failed to fill whole buffer"); break;
    case CodecKind::Cbor:
      EXPECT_EQ(text, R"(Io(Error { kind: UnexpectedEof, message: "failed to fill whole buffer" }))");
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(All, Codecs,
                         ::testing::Values(KindCase{CodecKind::Json, "application/json"},
                                           KindCase{CodecKind::MessagePack, "application/msgpack"},
                                           KindCase{CodecKind::Cbor, "application/cbor"}));

TEST(MsgpackCodec, PatchBytes) {
  const Codec& codec = codec_of(CodecKind::MessagePack);
  auto patch = patch_from_json_text(R"({"rev":0,"ops":[{"Remove":{"path":[{"Index":1}]}}]})");
  ASSERT_TRUE(patch.ok());
  EXPECT_EQ(hex(codec.encode_patch(*patch)), hex(mp(R"(92 00 91 81 "Remove" 91 91 81 "Index" 01)")));
  // Whatever follows the patch is left alone.
  auto read = codec.decode_patch(mp(R"(92 05 90 c1)"));
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read->rev, 5u);
}

struct NameCase {
  const char* name;
  const char* normalized;  // "json", "msgpack", "cbor" or the error text
  const char* media_type;  // the same for the four-name table
};

std::string show(const Result<CodecKind>& r) {
  if (!r.ok()) return r.error().text();
  switch (*r) {
    case CodecKind::Json: return "json";
    case CodecKind::MessagePack: return "msgpack";
    case CodecKind::Cbor: break;
  }
  return "cbor";
}

class CodecNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(CodecNames, Resolve) {
  EXPECT_EQ(show(normalize_codec(GetParam().name)), GetParam().normalized) << GetParam().name;
  EXPECT_EQ(show(codec_by_media_type(GetParam().name)), GetParam().media_type) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CodecNames,
    ::testing::Values(NameCase{"", "json", "unknown codec: "},
                      NameCase{"json", "json", "unknown codec: json"},
                      NameCase{"application/json", "json", "json"},
                      NameCase{"msgpack", "msgpack", "unknown codec: msgpack"},
                      NameCase{"x-msgpack", "msgpack", "unknown codec: x-msgpack"},
                      NameCase{"application/msgpack", "msgpack", "msgpack"},
                      NameCase{"application/x-msgpack", "msgpack", "msgpack"},
                      NameCase{"cbor", "cbor", "unknown codec: cbor"},
                      NameCase{"application/cbor", "cbor", "cbor"},
                      NameCase{"cbor ", "unknown codec: cbor ", "unknown codec: cbor "},
                      NameCase{"JSON", "unknown codec: JSON", "unknown codec: JSON"},
                      NameCase{"application/json;charset=utf-8", "unknown codec: application/json;charset=utf-8",
                               "unknown codec: application/json;charset=utf-8"}));

}  // namespace
}  // namespace ww
