// The storage of the compact document against the plain containers it
// stands for: sorted blocks and interned dot sets under random insertions
// and removals in any order (blocks split, sets change representation),
// register values in 16 bytes, and slabs whose entries never move.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "crdt/reducer/interned_dot_set.h"
#include "crdt/reducer/slab.h"
#include "crdt/reducer/sorted_blocks.h"
#include "crdt/reducer/stored_value.h"
#include "value/value_json.h"

namespace ww::crdt::reducer {
namespace {

TEST(SortedBlocks, KeepsOrderThroughInsertionsAnywhereAndRemovals) {
  std::mt19937 rng(3);
  SortedBlocks<std::uint32_t> blocks;
  std::multiset<std::uint32_t> plain;
  for (int step = 0; step < 20000; ++step) {
    // Mostly ascending, at times anywhere: appends, middles and fronts.
    const std::uint32_t v = rng() % 3 ? static_cast<std::uint32_t>(step) * 7 : rng() % 140000;
    if (rng() % 11 == 0 && !plain.empty()) {
      const std::uint32_t gone = *plain.begin();
      blocks.erase(blocks.lower_bound([&](std::uint32_t x) { return x < gone; }));
      plain.erase(plain.begin());
      continue;
    }
    blocks.insert(blocks.lower_bound([&](std::uint32_t x) { return x < v; }), v);
    plain.insert(v);
  }
  ASSERT_EQ(blocks.size(), plain.size());
  EXPECT_TRUE(std::equal(blocks.begin(), blocks.end(), plain.begin(), plain.end()));
  const std::size_t odd = blocks.erase_if([](std::uint32_t x) { return x % 2 == 1; });
  EXPECT_EQ(odd, std::erase_if(plain, [](std::uint32_t x) { return x % 2 == 1; }));
  EXPECT_TRUE(std::equal(blocks.begin(), blocks.end(), plain.begin(), plain.end()));
}

TEST(InternedDotSet, AgreesWithAnOrderedSetOfDots) {
  std::mt19937 rng(9);
  ReplicaTable replicas;
  // Names that are prefixes of each other, and counters that repeat.
  const std::vector<std::string> names = {"a", "ab", "b", "$init", "\xc3\xa9"};
  for (int round = 0; round < 40; ++round) {
    InternedDotSet set;
    std::set<Dot> plain;
    const int steps = round % 4 == 0 ? 2000 : 1 + static_cast<int>(rng() % 12);
    for (int step = 0; step < steps; ++step) {
      const Dot d{rng() % 600, names[rng() % names.size()]};
      const InternedDot id = replicas.intern(d);
      switch (rng() % 4) {
        case 0:
          EXPECT_EQ(set.erase(id, replicas), plain.erase(d) == 1);
          break;
        case 1:
          EXPECT_EQ(set.contains(id, replicas), plain.contains(d));
          break;
        default:
          EXPECT_EQ(set.insert(id, replicas), plain.insert(d).second);
      }
      ASSERT_EQ(set.size(), plain.size());
    }
    std::vector<Dot> held;
    set.for_each([&](const InternedDot& d) { held.push_back(replicas.wire(d)); });
    ASSERT_EQ(held, std::vector<Dot>(plain.begin(), plain.end())) << round;
    InternedDotSet copy = set;
    set.erase_if([](const InternedDot& d) { return d.counter % 3 != 0; });
    std::erase_if(plain, [](const Dot& d) { return d.counter % 3 != 0; });
    held.clear();
    set.for_each([&](const InternedDot& d) { held.push_back(replicas.wire(d)); });
    EXPECT_EQ(held, std::vector<Dot>(plain.begin(), plain.end()));
    EXPECT_GE(copy.size(), set.size());
  }
}

TEST(StoredValue, HoldsEveryValueAndWritesItsJson) {
  Value::Map map;
  map.emplace("k", Value::integer(1));
  std::vector<Value> values = {
      Value::null(), Value::boolean(true), Value::boolean(false), Value::integer(-5), Value::floating(-0.0),
      Value::floating(1e300), Value::submodel(ModelId{7}), Value::str(""), Value::str("x"),
      Value::str("\xf0\x9f\x98\x80"), Value::str("14 bytes long."), Value::str("fifteen bytes!!"),
      Value::str("a\"\\\n\x01 quoted"), Value::list({Value::integer(1)}), Value::map(map)};
  for (const Value& v : values) {
    const StoredValue held(v);
    ASSERT_TRUE(held.present());
    EXPECT_EQ(held.kind(), v.kind());
    EXPECT_TRUE(held.get() == v) << value_to_json(v);
    EXPECT_TRUE(held.equals(v)) << value_to_json(v);
    std::string json;
    held.write_json(json);
    EXPECT_EQ(json, value_to_json(v));
    char buf[StoredValue::kMaxPut];
    if (char* end = held.put_inline_str(buf)) {
      EXPECT_EQ(std::string(buf, end), json);
    }
    StoredValue copied = held;
    StoredValue moved = std::move(copied);
    EXPECT_TRUE(moved.get() == v);
    EXPECT_FALSE(copied.present());  // NOLINT: the moved-from state is "no value"
  }
  const StoredValue nan(Value::floating(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(nan.equals(nan.get()));
  EXPECT_FALSE(StoredValue().present());
  EXPECT_FALSE(StoredValue().equals(Value::null()));
}

TEST(Slab, EntriesKeepTheirAddressesAsItGrows) {
  Slab<std::string> slab;
  std::vector<const std::string*> where;
  for (int i = 0; i < 3000; ++i) {
    const std::uint32_t h = slab.push(std::to_string(i));
    ASSERT_EQ(h, static_cast<std::uint32_t>(i));
    where.push_back(&slab[h]);
  }
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(&slab[static_cast<std::uint32_t>(i)], where[static_cast<std::size_t>(i)]);
    ASSERT_EQ(slab[static_cast<std::uint32_t>(i)], std::to_string(i));
  }
  while (slab.size() > 100) slab.pop();
  EXPECT_EQ(slab[99], "99");
  EXPECT_EQ(slab.push("again"), 100u);
  EXPECT_EQ(slab[100], "again");
}

}  // namespace
}  // namespace ww::crdt::reducer
