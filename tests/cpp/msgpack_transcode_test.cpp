// The one-pass conversions against the JsonValue road they stand in for:
// the same bytes, or the same error, for generated documents and for
// damaged encodings of them.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "format/json/json_value.h"
#include "format/msgpack/msgpack_json.h"
#include "format/msgpack/transcode.h"
#include "msgpack_test_util.h"

namespace ww {
namespace {

using testing_msgpack::hex;
using testing_msgpack::mp;

std::string via_json_value(std::string_view text) {
  auto v = parse_json_text(text);
  if (!v.ok()) return "ERR " + v.error().text();
  std::string out;
  msgpack::write_json_value(*v, out);
  return hex(out);
}

std::string direct(std::string_view text) {
  auto r = msgpack::from_json_text(text);
  return r.ok() ? hex(*r) : "ERR " + r.error().text();
}

std::string back_via_json_value(std::string_view bytes) {
  auto v = msgpack::read_json_value(bytes);
  return v.ok() ? to_json_text(*v) : "ERR " + v.error().text();
}

std::string back_direct(std::string_view bytes) {
  auto r = msgpack::to_json_text(bytes);
  return r.ok() ? *r : "ERR " + r.error().text();
}

// Random JSON texts with repeated and unsorted keys, long containers and
// the odd syntax error.
class Docs {
 public:
  explicit Docs(unsigned seed) : rng_(seed) {}
  std::string text(int depth = 0) {
    switch (pick(depth < 6 ? 8 : 5)) {
      case 0: return pick(2) ? "null" : "true";
      case 1: return std::to_string(static_cast<std::int64_t>(rng_()) >> pick(64));
      case 2: return std::to_string(rng_() >> pick(64)) + (pick(2) ? ".5e-3" : "");
      case 3: return key();
      case 4: return pick(20) == 0 ? "[1,]" : "-0";
      case 5: case 6: {
        std::string s = "{";
        for (int i = 0, n = count(); i < n; ++i) s += (i ? "," : "") + key() + ":" + text(depth + 1);
        return s + "}";
      }
      default: {
        std::string s = "[";
        for (int i = 0, n = count(); i < n; ++i) s += (i ? "," : "") + text(depth + 1);
        return s + "]";
      }
    }
  }

 private:
  int pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }
  int count() { return pick(4) == 0 ? 14 + pick(6) : pick(5); }
  std::string key() {
    static const char* const kKeys[] = {R"("a")", R"("b")", R"("")", R"("\u00e9")", R"("ab")", R"("\ud83d\ude00")",
                                        R"("B")", R"("a\u0000")"};
    return kKeys[pick(8)];
  }
  std::mt19937 rng_;
};

TEST(MsgpackTranscode, JsonTextToMsgpackMatchesTheJsonValueRoad) {
  Docs docs(1);
  for (int i = 0; i < 400; ++i) {
    const std::string text = docs.text();
    ASSERT_EQ(direct(text), via_json_value(text)) << text;
  }
  for (const char* text : {"", " [1, 2] x", "{\"a\":1,}", "[[[[", "{\"a\" 1}", "\"\\ud800\""}) {
    EXPECT_EQ(direct(text), via_json_value(text)) << text;
  }
}

TEST(MsgpackTranscode, MsgpackToJsonTextMatchesTheJsonValueRoad) {
  Docs docs(2);
  std::mt19937 rng(3);
  for (int i = 0; i < 400; ++i) {
    auto v = parse_json_text(docs.text());
    if (!v.ok()) continue;
    std::string bytes;
    msgpack::write_json_value(*v, bytes);
    ASSERT_EQ(back_direct(bytes), back_via_json_value(bytes));
    // Damaged copies: a changed byte, a cut, a bin key, a non-UTF-8 text.
    for (int k = 0; k < 8; ++k) {
      std::string bad = bytes;
      bad[rng() % bad.size()] = static_cast<char>(rng());
      if (k == 0) bad.resize(rng() % bad.size());
      ASSERT_EQ(back_direct(bad), back_via_json_value(bad)) << hex(bad);
    }
  }
  for (const char* spec : {R"(82 "a" 01 c4 01 62 02)", R"(82 c4 01 62 02 "a" 01)", R"(82 "a" 01 c4 01 ff 02)",
                           R"(83 "b" 01 "a" 02 "b" 03)", R"(81 a1 ff 01)", "dc 00 10 01 02", "c7 00 01", "91 c1"}) {
    EXPECT_EQ(back_direct(mp(spec)), back_via_json_value(mp(spec))) << spec;
  }
}

}  // namespace
}  // namespace ww
