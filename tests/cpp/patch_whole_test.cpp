// All-or-nothing application: random patches of every operation kind,
// keyed runs among them, end in an operation that fails; the value must
// come back exactly as it was, and the error must be the one-by-one
// applier's. Without the failing operation the result is the one-by-one
// result.
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "diff/apply.h"
#include "value/value_json.h"

namespace ww {
namespace {

Value start_value() {
  Value::Map m;
  for (int i = 0; i < 20; ++i) m.insert_or_assign("k" + std::to_string(i), Value::integer(i));
  Value::List l;
  for (int i = 0; i < 12; ++i) l.push_back(Value::str("e" + std::to_string(i)));
  return Value::map({{"m", Value::map(std::move(m))}, {"l", Value::list(std::move(l))}, {"s", Value::null()}});
}

PathSeg k(const std::string& s) { return PathSeg::key(s); }

// A patch of `n` operations that all succeed one by one on `start`.
std::vector<Op> random_patch(std::mt19937_64& rng, const Value& start, int n) {
  Value sim = start;
  std::vector<Op> ops;
  auto len = [&] { return static_cast<std::uint64_t>(sim.as_map().find("l")->second.as_list().size()); };
  auto key = [&] { return k("k" + std::to_string(rng() % 30)); };
  while (static_cast<int>(ops.size()) < n) {
    std::vector<Op> next;
    const std::uint64_t size = len();
    switch (rng() % 10) {
      case 0:  // a keyed run of Sets
        for (int r = static_cast<int>(rng() % 6) + 2; r > 0; --r) {
          next.push_back(Op::Set{{k("m"), key()}, Value::integer(static_cast<std::int64_t>(rng() % 100))});
        }
        break;
      case 1:  // a keyed run of Removes
        for (int r = static_cast<int>(rng() % 6) + 2; r > 0; --r) next.push_back(Op::Remove{{k("m"), key()}});
        break;
      case 2: next.push_back(Op::Set{{k("m"), key()}, Value::str("one")}); break;
      case 3: next.push_back(Op::Insert{{k("l")}, rng() % (size + 1), Value::str("new")}); break;
      case 4:
        if (size > 0) next.push_back(Op::RemoveAt{{k("l")}, rng() % size});
        break;
      case 5:
        if (size > 0) next.push_back(Op::Remove{{k("l"), PathSeg::index(rng() % size)}});
        break;
      case 6:
        if (size > 0) next.push_back(Op::Move{{k("l")}, rng() % size, rng() % size});
        break;
      case 7: {
        std::vector<std::uint64_t> order(size);
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), rng);
        next.push_back(Op::Reorder{{k("l")}, order});
        break;
      }
      case 8:
        if (size > 0) next.push_back(Op::Set{{k("l"), PathSeg::index(rng() % size)}, Value::boolean(true)});
        break;
      default:  // a whole subtree, or the root
        if (rng() % 4 == 0) {
          Value root = sim;
          root.as_map().insert_or_assign("s", Value::integer(static_cast<std::int64_t>(ops.size())));
          next.push_back(Op::Set{{}, std::move(root)});
        } else {
          next.push_back(Op::Set{{k("s")}, Value::list({Value::null()})});
        }
        break;
    }
    for (Op& op : next) {
      EXPECT_TRUE(diff::apply_op(sim, op).ok());
      ops.push_back(std::move(op));
    }
  }
  return ops;
}

TEST(ApplyWhole, AFailureLeavesTheValueAsItWas) {
  const std::vector<Op> failing{
      Op::Set{{k("nope"), k("a")}, Value::null()},
      Op::RemoveAt{{k("l")}, 1000},
      Op::Set{{k("m"), k("k1"), k("deeper")}, Value::null()},
      Op::Reorder{{k("l")}, std::vector<std::uint64_t>(1000, 0)},
      Op::Remove{{}},
  };
  std::mt19937_64 rng(5);
  for (int round = 0; round < 200; ++round) {
    const Value start = start_value();
    std::vector<Op> ops = random_patch(rng, start, static_cast<int>(rng() % 40));

    Value expected = start;
    ASSERT_TRUE(diff::apply(expected, ops).ok());
    std::vector<Op> good = ops;
    Value whole = start;
    ASSERT_TRUE(diff::apply_whole(whole, good).ok());
    EXPECT_EQ(value_to_json(whole), value_to_json(expected)) << "round " << round;

    ops.push_back(failing[round % failing.size()]);
    Value one_by_one = start;
    const Status s = diff::apply(one_by_one, ops);
    ASSERT_FALSE(s.ok());
    Value rolled_back = start;
    const Status w = diff::apply_whole(rolled_back, ops);
    ASSERT_FALSE(w.ok());
    EXPECT_EQ(w.error().text(), s.error().text());
    EXPECT_EQ(value_to_json(rolled_back), value_to_json(start)) << "round " << round;
  }
}

}  // namespace
}  // namespace ww
