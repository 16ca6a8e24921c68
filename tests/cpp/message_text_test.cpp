// The direct reader of known messages against the generic road (parse the
// whole text, classify, then only whitespace after), on random messages
// with the oddities that reader must leave to the generic road: repeats,
// unknown members, "t" elsewhere, wrong types, deep nesting, escapes, bad
// UTF-8, trailing text.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "format/json/json_value_read.h"
#include "format/json/text_de.h"
#include "message/message.h"
#include "message/message_text.h"

namespace ww {
namespace {

Result<Message> generic_road(std::string_view text, bool validate_utf8) {
  json::TextDe de(text, validate_utf8);
  WW_TRY_ASSIGN(JsonValue v, json::read_json_value(de));
  WW_TRY_ASSIGN(Message m, Message::classify(v));
  WW_TRY(de.end());
  return m;
}

// Random message texts: mostly well-formed known messages, with a few
// oddities sprinkled in.
class Gen {
 public:
  explicit Gen(unsigned seed) : rng_(seed) {}

  std::string message(int depth) {
    static const char* kKinds[] = {"snapshot", "crdt_snapshot", "patch", "crdt", "ack", "reject", "awareness", "batch"};
    if (odd(40)) return json(depth);
    const std::string kind = odd(30) ? pick({"ping", "Ack", "ack "}) : kKinds[pick_index(8)];
    std::vector<std::pair<std::string, std::string>> members;
    auto add = [&](const char* key, std::string value, bool optional) {
      if (optional && odd(3)) return;
      if (optional && odd(4)) value = "null";
      if (odd(60)) return;  // a required member missing
      members.emplace_back(key, std::move(value));
    };
    if (kind == "batch") {
      std::string msgs = "[";
      const int n = depth > 6 ? 0 : pick_index(4);
      for (int i = 0; i < n; ++i) msgs += (i ? "," : "") + message(depth + 1);
      add("msgs", msgs + "]", false);
    } else {
      add("id", number(), false);
      if (kind == "snapshot" || kind == "crdt_snapshot") {
        add("type", str(), false);
        add("value", value(0), false);
      }
      if (kind == "crdt_snapshot") {
        add("spec", json(0), false);
        add("state", json(0), false);
      }
      if (kind == "patch") add("patch", patch(), false);
      if (kind != "patch" && kind != "awareness") add("rev", number(), false);
      if (kind == "crdt") {
        add("ops", list(), false);
        add("effect", json(0), true);
      }
      if (kind == "reject") {
        add("error", str(), false);
        add("crdt_ops", list(), true);
      }
      add("proposal", str(), kind != "ack");
      if (kind == "awareness") {
        add("peer", str(), true);
        add("state", json(0), true);
      }
    }
    std::shuffle(members.begin(), members.end(), rng_);
    const std::string tag = odd(80) ? R"("\u0061ck")" : '"' + kind + '"';
    members.insert(odd(15) ? members.end() : members.begin(), {"t", tag});
    if (odd(20)) members.emplace_back(odd(2) ? "t" : "id", odd(2) ? tag : number());  // a repeat
    if (odd(20)) members.emplace_back("zz", json(0));                                 // unknown
    std::string out = "{";
    for (std::size_t i = 0; i < members.size(); ++i) {
      out += (i ? "," : "") + space() + '"' + members[i].first + '"' + space() + ":" + space() + members[i].second;
    }
    return out + space() + "}";
  }

  bool odd(int one_in) { return std::uniform_int_distribution<int>(1, one_in)(rng_) == 1; }

 private:
  int pick_index(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  std::string pick(std::initializer_list<const char*> items) { return *(items.begin() + pick_index(items.size())); }
  std::string space() { return odd(10) ? " \n" : ""; }
  std::string number() {
    if (odd(30)) return pick({"-1", "1.5", "\"7\"", "null", "18446744073709551616", "1e2"});
    return std::to_string(std::uniform_int_distribution<std::uint64_t>()(rng_) >> pick_index(64));
  }
  std::string str() {
    if (odd(40)) return pick({"5", "null", "\"\\ud800\"", "\"\xff\"", "\"a\\u00e9\\n\""});
    return pick({"\"p\"", "\"\"", "\"Bj\xc3\xb6rn\"", "\"x y\""});
  }
  std::string deep(int n) { return std::string(n, '[') + std::string(n, ']'); }
  // Free-form JSON, with repeated keys and odd strings now and then.
  std::string json(int depth) {
    switch (pick_index(depth > 2 ? 4 : 7)) {
      case 0: return number();
      case 1: return str();
      case 2: return pick({"true", "null", "-0", "2.50", "[]", "{}"});
      case 3: return odd(30) ? deep(130) : "[1,{\"b\":1,\"a\":2}]";
      case 4: return "{\"k\":" + json(depth + 1) + ",\"a\":" + json(depth + 1) + (odd(5) ? ",\"k\":1}" : "}");
      case 5: return "[" + json(depth + 1) + "," + json(depth + 1) + "]";
      default: return list();
    }
  }
  std::string list() { return odd(20) ? "null" : "[" + json(3) + "," + json(3) + "]"; }
  std::string value(int depth) {
    switch (pick_index(depth > 2 ? 5 : 8)) {
      case 0: return pick({"\"Null\"", "{\"Null\":null}", "{\"Null\":{}}"});
      case 1: return "{\"Int\":" + pick({"-3", "4", "1.5", "9223372036854775808"}) + "}";
      case 2: return "{\"Float\":" + pick({"1", "-0.5", "1e300", "\"x\""}) + "}";
      case 3: return "{\"Str\":" + str() + "}";
      case 4: return "{\"Submodel\":" + number() + "}";
      case 5: return "{\"List\":[" + value(depth + 1) + "," + value(depth + 1) + "]}";
      case 6: return odd(40) ? "{\"Int\":1,\"Int\":2}" : "{\"Bool\":true}";
      default: {
        const std::string k = odd(4) ? "a" : "b";
        return "{\"Map\":{\"a\":" + value(depth + 1) + ",\"" + k + "\":" + value(depth + 1) + "}}";
      }
    }
  }
  std::string path() {
    std::string p = "[{\"Key\":\"items\"}";
    if (odd(2)) p += ",{\"Index\":" + number() + "}";
    return p + "]";
  }
  std::string op() {
    std::string fields;
    switch (pick_index(6)) {
      case 0: fields = "{\"Set\":{\"path\":" + path() + ",\"value\":" + value(0); break;
      case 1: fields = "{\"Insert\":{\"index\":2,\"path\":" + path() + ",\"value\":" + value(0); break;
      case 2: fields = "{\"Remove\":{\"path\":" + path(); break;
      case 3: fields = "{\"RemoveAt\":{\"path\":[],\"index\":" + number(); break;
      case 4: return odd(3) ? "{\"Move\":[[],2,0]}" : "{\"Move\":{\"path\":[],\"from\":1,\"to\":0}}";
      default: fields = "{\"Reorder\":{\"path\":[],\"order\":[1,0]"; break;
    }
    // An unknown member: skipped by either road, but only the generic one
    // checks its nesting and strings.
    if (odd(8)) fields += ",\"x\":" + pick({"1", "\"\\ud800\"", "\"\xff\""}) + (odd(2) ? deep(130) : "");
    if (odd(30)) fields += ",\"path\":[]";  // a repeat
    return fields + "}}";
  }
  std::string patch() {
    if (odd(30)) return "[1,[]]";
    std::string ops = "[";
    for (int i = 0, n = pick_index(4); i < n; ++i) ops += (i ? "," : "") + op();
    return "{\"rev\":" + number() + ",\"ops\":" + ops + "]" + (odd(20) ? ",\"z\":[]}" : "}");
  }

  std::mt19937 rng_;
};

TEST(MessageText, AgreesWithTheGenericRoad) {
  Gen gen(20261210);
  int direct = 0, total = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string text = gen.message(0);
    if (gen.odd(40)) text = std::string(60, ' ') + "{\"t\":\"batch\",\"msgs\":[" + text + "]}";
    if (gen.odd(30)) text += gen.odd(2) ? " x" : " \n";
    if (gen.odd(50)) text.resize(text.size() / 2);
    for (bool validate : {false, true}) {
      ++total;
      Result<Message> generic = generic_road(text, validate);
      std::optional<Message> fast = read_known_message_text(text, validate);
      if (fast) {
        ++direct;
        ASSERT_TRUE(generic.ok()) << text << "\n" << generic.error().text();
        ASSERT_TRUE(*fast == *generic) << text;
      }
      // Through the public entry points: the same result or the same error.
      Result<Message> got = validate ? Message::decode(text, CodecKind::Json) : Message::from_json(text);
      ASSERT_EQ(got.ok(), generic.ok()) << text;
      if (got.ok()) {
        ASSERT_TRUE(*got == *generic) << text;
      } else {
        ASSERT_EQ(got.error().text(), generic.error().text()) << text;
      }
    }
  }
  // Most of the stream is plain known messages, which the direct reader takes.
  EXPECT_GT(direct, total / 4);
}

TEST(MessageText, DeepBatchesKeepTheNestingLimit) {
  for (int n : {62, 63, 64, 65}) {
    std::string text;
    for (int i = 0; i < n; ++i) text += "{\"t\":\"batch\",\"msgs\":[";
    for (int i = 0; i < n; ++i) text += "]}";
    Result<Message> generic = generic_road(text, false);
    std::optional<Message> fast = read_known_message_text(text, false);
    EXPECT_EQ(fast.has_value(), generic.ok()) << n;
    if (fast) {
      EXPECT_TRUE(*fast == *generic);
    }
  }
}

}  // namespace
}  // namespace ww
