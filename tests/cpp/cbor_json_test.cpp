// Reading arbitrary JSON documents from CBOR: what maps onto JSON, and the
// reader's exact errors (Io, Syntax offsets, Semantic texts, depth).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cbor_test_util.h"
#include "format/cbor/cbor_json.h"
#include "format/cbor/cbor_transcode.h"
#include "format/json/json_value.h"

namespace ww {
namespace {

using testing_cbor::cb;
using testing_cbor::kIoEof;
using testing_cbor::nested;

// Both roads, through a JsonValue and in one pass, must give the same text
// or the same error.
std::string read(std::string_view bytes) {
  Result<JsonValue> r = cbor::read_json_value(bytes);
  Result<std::string> direct = cbor::to_json_text(bytes);
  const std::string want = r.ok() ? to_json_text(*r) : r.error().text();
  EXPECT_EQ(direct.ok() ? *direct : direct.error().text(), want);
  return want;
}

struct ReadCase {
  const char* what;
  const char* bytes;
  const char* expected;  // the JSON text, or the error text
};

TEST(CborJsonRead, ItemsAndTheirErrors) {
  const ReadCase cases[] = {
      // integers and bignums
      {"unsigned", "1b ff ff ff ff ff ff ff ff", "18446744073709551615"},
      {"lowest i64", "3b 7f ff ff ff ff ff ff ff", "-9223372036854775808"},
      {"below i64", "3b 80 00 00 00 00 00 00 00", R"(Semantic(None, "JSON number out of range"))"},
      {"lowest negative head", "3b ff ff ff ff ff ff ff ff", R"(Semantic(None, "JSON number out of range"))"},
      {"bignum one", "c2 41 01", "1"},
      {"bignum with leading zeros", "c2 50 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 07", "7"},
      {"empty bignum", "c2 40", "0"},
      {"largest u64 bignum", "c2 48 ff ff ff ff ff ff ff ff", "18446744073709551615"},
      {"bignum past u64", "c2 49 01 00 00 00 00 00 00 00 00", R"(Semantic(None, "JSON number out of range"))"},
      {"negative bignum", "c3 41 00", "-1"},
      {"lowest i64 as negative bignum", "c3 48 7f ff ff ff ff ff ff ff", "-9223372036854775808"},
      {"negative bignum below i64", "c3 48 80 00 00 00 00 00 00 00", R"(Semantic(None, "JSON number out of range"))"},
      {"negative bignum below i128", "c3 50 80 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
       R"(Semantic(None, "integer too large"))"},
      {"negative bignum at i128", "c3 50 7f ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff",
       R"(Semantic(None, "JSON number out of range"))"},
      {"bignum over 17 bytes", "c2 51 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01",
       R"(Semantic(None, "invalid type: enum, expected any valid JSON value"))"},
      {"bignum over indefinite bytes", "c2 5f 41 01 ff",
       R"(Semantic(None, "invalid type: enum, expected any valid JSON value"))"},
      {"bignum over an integer", "c2 01", R"(Semantic(None, "invalid type: enum, expected any valid JSON value"))"},
      {"bignum cut short", "c2 42 01", kIoEof},
      {"other tag", "c1 00", R"(Semantic(None, "invalid type: enum, expected any valid JSON value"))"},
      {"tag with nothing after it", "c1", kIoEof},
      {"tag over a malformed head", "c1 1c", "Syntax(1)"},
      // simple values and floats
      {"false true null undefined", "84 f4 f5 f6 f7", "[false,true,null,null]"},
      {"two-byte simple false", "f8 14", "false"},
      {"simple 16", "f0", R"(Semantic(None, "invalid type: simple, expected known simple value"))"},
      {"two-byte simple 255", "f8 ff", R"(Semantic(None, "invalid type: simple, expected known simple value"))"},
      {"half", "f9 3e 00", "1.5"},
      {"half subnormal", "f9 00 01", "5.960464477539063e-8"},
      {"single 0.1", "fa 3d cc cc cd", "0.10000000149011612"},
      {"double", "fb 3f f1 99 99 99 99 99 9a", "1.1"},
      {"NaN and infinities", "83 f9 7e 00 fa 7f 80 00 00 fb ff f0 00 00 00 00 00 00", "[null,null,null]"},
      {"break alone", "ff", R"(Semantic(None, "invalid type: break, expected non-break"))"},
      {"break in a definite array", "82 01 ff", R"(Semantic(None, "invalid type: break, expected non-break"))"},
      // byte and text strings
      {"byte string", "41 00", R"(Semantic(None, "invalid type: byte array, expected any valid JSON value"))"},
      {"indefinite byte string", "5f 41 00 ff",
       R"(Semantic(None, "invalid type: byte array, expected any valid JSON value"))"},
      {"byte string cut short", "42 00", kIoEof},
      {"text", R"("caf" )", R"("caf")"},
      {"escaped on the way out", "63 22 0a 7f", R"("\"\n)" "\x7f\"" },
      {"indefinite text", R"(7f "ab" "" "c" ff)", R"("abc")"},
      {"nested indefinite text", R"(7f 7f "a" ff "b" ff)", R"("ab")"},
      {"byte chunk in a text", R"(7f "a" 41 62 ff)", "Syntax(3)"},
      {"text without its break", R"(7f "a")", kIoEof},
      {"invalid UTF-8", "82 01 61 ff", "Syntax(2)"},
      {"character split across chunks", "7f 62 e2 82 61 ac ff", "Syntax(1)"},
      {"text cut short", "62 61", kIoEof},
      // containers
      {"indefinite array", "9f 01 02 ff", "[1,2]"},
      {"indefinite map", R"(bf "b" 01 "a" 02 ff)", R"({"a":2,"b":1})"},
      {"keys sorted, last repeat kept", R"(a3 "b" 01 "a" 02 "b" 03)", R"({"a":2,"b":3})"},
      {"array without its break", "9f 01", kIoEof},
      {"map cut after a key", R"(a1 "a")", kIoEof},
      // map keys: the first must be a short definite text
      {"integer first key", "a1 01 02", R"(Semantic(None, "invalid type: integer `1`, expected str"))"},
      {"negative first key", "a1 20 02", R"(Semantic(None, "invalid type: integer `-1`, expected str"))"},
      {"integer later key", R"(a2 "a" 01 02 03)", R"(Semantic(None, "invalid type: integer `2`, expected string"))"},
      {"float key", "a1 f9 3e 00 01", R"(Semantic(None, "invalid type: floating point `1.5`, expected str"))"},
      {"integral float key", "a1 f9 3c 00 01", R"(Semantic(None, "invalid type: floating point `1.0`, expected str"))"},
      {"float key that ties", "a1 f9 01 74",
       R"(Semantic(None, "invalid type: floating point `0.000022172927856445313`, expected str"))"},
      {"later float key that ties", R"(a2 "a" 01 f9 86 a8 02)",
       R"(Semantic(None, "invalid type: floating point `-0.00010156631469726563`, expected string"))"},
      {"float value that ties", "f9 01 74", "0.000022172927856445312"},
      {"bool key", "a1 f5 01", R"(Semantic(None, "invalid type: boolean `true`, expected str"))"},
      {"bytes key", "a1 41 61 01", R"(Semantic(None, "invalid type: bytes, expected str"))"},
      {"array key", "a1 80 01", R"(Semantic(None, "invalid type: sequence, expected str"))"},
      {"map key", "a1 a0 01", R"(Semantic(None, "invalid type: map, expected str"))"},
      {"tagged key", "a1 c1 00 01", R"(Semantic(None, "invalid type: integer `0`, expected str"))"},
      {"null key", "a1 f6 01", R"(Semantic(None, "invalid type: null, expected str"))"},
      {"undefined key", "a1 f7 01", R"(Semantic(None, "invalid type: undefined, expected str"))"},
      {"simple key", "a1 f0 01", R"(Semantic(None, "invalid type: simple, expected str"))"},
      {"break key", "a1 ff 01", R"(Semantic(None, "invalid type: break, expected str"))"},
      {"indefinite text as first key", R"(a1 7f "a" ff 01)", R"(Semantic(None, "invalid type: string, expected str"))"},
      {"indefinite text as later key", R"(a2 "b" 01 7f "a" ff 02)", R"({"a":2,"b":1})"},
      // malformed heads
      {"reserved additional information", "1c", "Syntax(0)"},
      {"reserved inside an array", "82 01 1d", "Syntax(2)"},
      {"indefinite integer", "1f", "Syntax(0)"},
      {"indefinite tag", "df ff", "Syntax(0)"},
      {"indefinite negative", "82 00 3f", "Syntax(2)"},
      {"reserved simple head", "fc", "Syntax(0)"},
      {"head cut short", "19 01", kIoEof},
      {"empty input", "", kIoEof},
      // one item is read, the rest ignored
      {"trailing bytes", "01 02", "1"},
      {"trailing garbage", "80 ff ff 1c", "[]"},
      // declared lengths are not trusted
      {"huge array", "9b ff ff ff ff ff ff ff ff 01", kIoEof},
      {"huge map", "bb 00 00 00 01 00 00 00 00", kIoEof},
      {"huge text", "7b ff ff ff ff ff ff ff ff 61", kIoEof},
      {"huge byte string", "5b 00 00 00 ff 00 00 00 00", kIoEof},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(read(cb(c.bytes)), c.expected);
  }
}

TEST(CborJsonRead, NestingLimitCountsArraysMapsAndTags) {
  EXPECT_EQ(read(nested(256, cb("81"), cb("01"))), nested(256, "[", "1", "]"));
  EXPECT_EQ(read(nested(257, cb("81"), cb("01"))), "RecursionLimitExceeded");
  EXPECT_EQ(read(nested(256, cb("9f"), "", cb("ff"))), nested(256, "[", "", "]"));
  EXPECT_EQ(read(nested(257, cb("9f"), "", cb("ff"))), "RecursionLimitExceeded");
  EXPECT_EQ(read(nested(255, cb(R"(a1 "k")"), "\xa0")), nested(255, R"({"k":)", "{}", "}"));
  EXPECT_EQ(read(nested(256, cb(R"(a1 "k")"), "\xa0")), "RecursionLimitExceeded");
  // A tag takes a level before it is refused.
  EXPECT_EQ(read(nested(255, "\x81", cb("c1 00"))),
            R"(Semantic(None, "invalid type: enum, expected any valid JSON value"))");
  EXPECT_EQ(read(nested(256, "\x81", cb("c1 00"))), "RecursionLimitExceeded");
  // The limit is checked once the head has been read.
  EXPECT_EQ(read(nested(256, "\x81", "\x98")), kIoEof);
}

std::string text_head(std::size_t n) {
  std::string out = "\x7a";  // a text string with a 4-byte length
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((n >> shift) & 0xff));
  return out;
}

// Long texts are read in 4096-byte chunks: a bad chunk is found before the
// input runs out, but only once the chunk is there.
TEST(CborJsonRead, LongTextsAreCheckedChunkByChunk) {
  const std::string valid(5000, 'a');
  EXPECT_EQ(read(text_head(5000) + valid), "\"" + valid + "\"");

  std::string bad = valid;
  bad[10] = '\xff';
  EXPECT_EQ(read(text_head(5000) + bad), "Syntax(0)");
  EXPECT_EQ(read("\x81" + text_head(5000) + bad.substr(0, 4500)), "Syntax(1)");
  EXPECT_EQ(read(text_head(5000) + bad.substr(0, 2000)), kIoEof);
  // Within the scratch size the whole text is read before it is checked.
  EXPECT_EQ(read(text_head(4000) + bad.substr(0, 3000)), kIoEof);

  // A character split by the chunk boundary is carried over.
  std::string split(4095, 'a');
  split += "\xe2\x82\xac";  // U+20AC straddles bytes 4095..4097
  split += std::string(6000, 'b');
  EXPECT_EQ(read(text_head(split.size()) + split).size(), split.size() + 2);
  // The second chunk starts with the carried lead byte: valid, so the end
  // of the input is met in the third.
  EXPECT_EQ(read(text_head(split.size()) + split.substr(0, 9000)), kIoEof);
  // An invalid byte ending a chunk is only judged with the next chunk.
  std::string tail(4095, 'a');
  tail += "\xff";
  tail += std::string(5000, 'b');
  EXPECT_EQ(read(text_head(tail.size()) + tail.substr(0, 4100)), kIoEof);
  EXPECT_EQ(read(text_head(tail.size()) + tail.substr(0, 8200)), "Syntax(0)");
  // Up to three invalid bytes at the very end fail once the text is over.
  std::string end(5000, 'a');
  end += "\xe2\x82";
  EXPECT_EQ(read(text_head(end.size()) + end), "Syntax(0)");
}

TEST(CborJsonRead, LongKeys) {
  const std::string key(5000, 'k');
  const std::string entry = text_head(key.size()) + key + "\x01";
  EXPECT_EQ(read("\xa1" + entry), R"(Semantic(None, "invalid type: string, expected str"))");
  EXPECT_EQ(read(cb(R"(a2 "a" 00)") + entry), R"({"a":0,")" + key + R"(":1})");
}

// Every cut of a valid encoding ends inside an item.
TEST(CborJsonRead, EveryTruncationIsAnIoError) {
  Result<JsonValue> doc = parse_json_text(
      R"({"a":[1,-300,70000,-5000000000,1.5,100000.0,1.1,true,false,null],"b":{"c":"text","d":[]},"e":"\u00e9\u20ac"})");
  ASSERT_TRUE(doc.ok());
  std::string bytes;
  cbor::write_json_value(*doc, bytes);
  EXPECT_EQ(read(bytes), to_json_text(*doc));
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(read(bytes.substr(0, cut)), kIoEof);
  }
}

}  // namespace
}  // namespace ww
