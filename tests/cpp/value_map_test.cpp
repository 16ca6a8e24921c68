// Maps held as one sorted vector: every reader sorts members that arrive
// out of order and keeps the last of a repeated key, the container's own
// operations agree with an ordered map, and the applier's batched handling
// of many keys of one map gives what applying the operations one by one
// gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "cbor_test_util.h"
#include "diff/apply.h"
#include "diff/diff.h"
#include "format/json/json_value.h"
#include "msgpack_test_util.h"
#include "value/flat_map.h"
#include "value/value_cbor.h"
#include "value/value_json.h"
#include "value/value_msgpack.h"

namespace ww {
namespace {

using testing_cbor::cb;
using testing_msgpack::mp;

std::string hex2(unsigned v) {
  char buf[3];
  std::snprintf(buf, sizeof buf, "%02x", v);
  return buf;
}

// 90 members whose keys come in a scrambled order, 30 of them repeated
// later; member i holds Int(i). Keys differ in length, so that a proper
// prefix must sort first ("k1" < "k10").
struct Scrambled {
  std::vector<std::string> keys;
  std::string expected;  // the Value's JSON text: ascending keys, last value wins

  Scrambled() {
    std::map<std::string, int> model;
    for (int i = 0; i < 90; ++i) {
      keys.push_back("k" + std::to_string((i * 37) % 60));
      model[keys.back()] = i;
    }
    expected = R"({"Map":{)";
    for (const auto& [k, v] : model) {
      if (expected.back() != '{') expected += ',';
      expected += "\"" + k + "\":{\"Int\":" + std::to_string(v) + "}";
    }
    expected += "}}";
  }
};

TEST(MapReading, EveryReaderSortsAndKeepsTheLastOfARepeatedKey) {
  const Scrambled s;
  std::string json = R"({"Map":{)";
  std::string msgpack = R"(81 "Map" de 00 )" + hex2(static_cast<unsigned>(s.keys.size()));
  std::string cbor = R"(a1 "Map" b8 )" + hex2(static_cast<unsigned>(s.keys.size()));
  for (std::size_t i = 0; i < s.keys.size(); ++i) {
    json += (i ? "," : "") + ("\"" + s.keys[i] + "\":{\"Int\":" + std::to_string(i) + "}");
    msgpack += " \"" + s.keys[i] + "\" 81 \"Int\" " + hex2(static_cast<unsigned>(i));
    cbor += " \"" + s.keys[i] + "\" a1 \"Int\" " + (i < 24 ? "" : "18 ") + hex2(static_cast<unsigned>(i));
  }
  json += "}}";

  auto text = value_from_json_text(json);
  ASSERT_TRUE(text.ok()) << text.error().text();
  EXPECT_EQ(value_to_json(*text), s.expected);
  auto bytes = value_from_json_bytes(json);
  ASSERT_TRUE(bytes.ok());
  EXPECT_EQ(value_to_json(*bytes), s.expected);
  auto parsed = parse_json_text(json);
  ASSERT_TRUE(parsed.ok());
  auto from_parsed = value_from_json_value(*parsed);
  ASSERT_TRUE(from_parsed.ok()) << from_parsed.error().text();
  EXPECT_EQ(value_to_json(*from_parsed), s.expected);
  auto from_msgpack = value_from_msgpack(mp(msgpack));
  ASSERT_TRUE(from_msgpack.ok()) << from_msgpack.error().text();
  EXPECT_EQ(value_to_json(*from_msgpack), s.expected);
  auto from_cbor = value_from_cbor(cb(cbor));
  ASSERT_TRUE(from_cbor.ok()) << from_cbor.error().text();
  EXPECT_EQ(value_to_json(*from_cbor), s.expected);
}

TEST(MapReading, AFailingMemberAfterUnsortedOnesStillFails) {
  auto r = value_from_json_text(R"({"Map":{"b":"Null","a":"Null","a":{"Int":1.5}}})");
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().text(), "invalid type: floating point `1.5`, expected i64 at line 1 column 44");
}

// Random operations on a FlatMap and on std::map side by side.
TEST(FlatMap, AgreesWithAnOrderedMap) {
  std::mt19937_64 rng(7);
  FlatMap<int> flat;
  std::map<std::string, int, std::less<>> model;
  auto key = [&] { return std::string(rng() % 3, 'a') + std::to_string(rng() % 40); };
  for (int step = 0; step < 4000; ++step) {
    const int v = step;
    switch (rng() % 8) {
      case 0: {
        std::string k = key();
        EXPECT_EQ(flat.try_emplace(k, v).second, model.try_emplace(k, v).second);
        break;
      }
      case 1: {
        std::string k = key();
        EXPECT_EQ(flat.insert_or_assign(k, v).second, model.insert_or_assign(k, v).second);
        break;
      }
      case 2: {
        std::string k = key();
        EXPECT_EQ(flat.erase(k), model.erase(k));
        break;
      }
      case 3: {  // a hint that may be wrong
        std::string k = key();
        auto hint = flat.begin() + static_cast<std::ptrdiff_t>(rng() % (flat.size() + 1));
        EXPECT_EQ(flat.emplace_hint(hint, k, v)->first, k);
        model.try_emplace(k, v);
        break;
      }
      case 4: {  // many at once, repeats included: the last counts
        FlatMap<int>::Entries more;
        for (int n = static_cast<int>(rng() % 12); n > 0; --n) {
          more.emplace_back(key(), v + n);
          model.insert_or_assign(more.back().first, more.back().second);
        }
        flat.merge(std::move(more));
        break;
      }
      case 5: {
        std::vector<std::string> ks;
        for (int n = static_cast<int>(rng() % 12); n > 0; --n) ks.push_back(key());
        std::vector<std::string_view> views(ks.begin(), ks.end());
        for (const auto& k : ks) model.erase(k);
        flat.erase_keys(std::move(views));
        break;
      }
      case 6: {
        std::string k = key();
        flat[k] += 1;
        model[k] += 1;
        break;
      }
      default: {
        std::string k = key();
        auto it = flat.find(k);
        EXPECT_EQ(it != flat.end(), model.contains(k));
        if (it != flat.end()) {
          EXPECT_EQ(it->second, model.find(k)->second);
        }
        break;
      }
    }
    ASSERT_EQ(flat.size(), model.size()) << "step " << step;
  }
  auto m = model.begin();
  for (const auto& [k, v] : flat) {
    EXPECT_EQ(k, m->first);
    EXPECT_EQ(v, m->second);
    ++m;
  }
  const FlatMap<int> listed{{"b", 1}, {"a", 2}, {"b", 3}};  // as std::map: the first of a repeated key
  EXPECT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed.find("b")->second, 1);
}

Value keyed_map(int n) {
  Value::Map m;
  for (int i = 0; i < n; i += 2) m.insert_or_assign("k" + std::to_string(i), Value::integer(i));
  return Value::map(std::move(m));
}

// Runs of Sets and Removes on one map, nested below the root and at it,
// with keys present, absent and repeated, applied as a patch and one by one.
TEST(ApplyKeyedRuns, GiveWhatOneByOneGives) {
  std::mt19937_64 rng(11);
  for (int round = 0; round < 60; ++round) {
    const bool nested = round % 2 == 1;
    Value root = nested ? Value::map({{"m", keyed_map(200)}, {"z", Value::null()}}) : keyed_map(200);
    const Path base = nested ? Path{PathSeg::key("m")} : Path{};
    std::vector<Op> ops;
    for (int run = 0; run < 4; ++run) {
      const bool sets = rng() % 2 == 0;
      for (int n = static_cast<int>(rng() % 40); n > 0; --n) {
        Path path = base;
        path.push_back(PathSeg::key("k" + std::to_string(rng() % 300)));
        if (sets) {
          ops.push_back(Op::Set{path, Value::integer(static_cast<std::int64_t>(rng() % 1000))});
        } else {
          ops.push_back(Op::Remove{path});
        }
      }
      if (nested) ops.push_back(Op::Set{{PathSeg::key("z")}, Value::integer(run)});  // ends the run
    }
    Value one_by_one = root;
    for (const Op& op : ops) ASSERT_TRUE(diff::apply_op(one_by_one, op).ok());
    Value batched = root;
    ASSERT_TRUE(diff::apply(batched, ops).ok());
    EXPECT_EQ(value_to_json(batched), value_to_json(one_by_one)) << "round " << round;
    std::vector<Op> owned = ops;
    Value taking = root;
    ASSERT_TRUE(diff::apply_taking(taking, owned).ok());
    EXPECT_EQ(value_to_json(taking), value_to_json(one_by_one)) << "round " << round;
  }
}

TEST(ApplyKeyedRuns, ARunOnANonMapFailsAsItsFirstOperation) {
  Value root = Value::map({{"l", Value::list({Value::integer(1)})}});
  const Value before = root;
  const std::vector<Op> ops{
      Op::Set{{PathSeg::key("l"), PathSeg::key("a")}, Value::null()},
      Op::Set{{PathSeg::key("l"), PathSeg::key("b")}, Value::null()},
  };
  Status s = diff::apply(root, ops);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.error().text(), "expected Value::Map, found List([Int(1)])");
  EXPECT_EQ(root, before);
  const std::vector<Op> missing{Op::Remove{{PathSeg::key("x"), PathSeg::key("a")}},
                                Op::Remove{{PathSeg::key("x"), PathSeg::key("b")}}};
  EXPECT_EQ(diff::apply(root, missing).error().text(), R"(path key "x" not found)");
  EXPECT_EQ(root, before);
}

// A large map diff: changed, added and removed keys interleaved. The new
// keys' operations come first in key order, then the removals in key
// order, and the patch turns old into new.
TEST(MapDiff, LargeMapsWithKeysAddedRemovedAndChanged) {
  Value::Map old_map;
  Value::Map new_map;
  for (int i = 0; i < 3000; ++i) {
    const std::string k = "k" + std::to_string(i);
    if (i % 3 != 0) old_map.insert_or_assign(k, Value::integer(i));
    if (i % 5 != 0) new_map.insert_or_assign(k, Value::integer(i % 7 == 0 ? -i : i));
  }
  const Value old_value = Value::map(old_map);
  const Value new_value = Value::map(new_map);
  std::vector<Op> ops;
  diff::diff_value({}, old_value, new_value, ops);
  std::size_t sets = 0;
  std::size_t removes = 0;
  std::string last_set;
  std::string last_remove;
  for (const Op& op : ops) {
    const std::string& k = op.path().back().as_key();
    if (op.kind() == Op::Kind::Set) {
      EXPECT_EQ(removes, 0u) << "a Set after a Remove";
      EXPECT_LT(last_set, k);
      last_set = k;
      ++sets;
    } else {
      ASSERT_EQ(op.kind(), Op::Kind::Remove);
      EXPECT_LT(last_remove, k);
      last_remove = k;
      ++removes;
    }
  }
  // Added: i % 3 == 0 and i % 5 != 0 (800); changed: in both and i % 7 == 0
  // (229); removed: i % 5 == 0 and i % 3 != 0 (400).
  EXPECT_EQ(sets, 800u + 229u);
  EXPECT_EQ(removes, 400u);
  Value patched = old_value;
  ASSERT_TRUE(diff::apply(patched, ops).ok());
  EXPECT_EQ(patched, new_value);
  std::vector<Op> none;
  diff::diff_value({}, new_value, new_value, none);
  EXPECT_TRUE(none.empty());
}

}  // namespace
}  // namespace ww
