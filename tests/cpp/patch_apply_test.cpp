// The patch applier on hostile operations: positions near 2^64, orders with
// duplicate or out-of-range entries, and the guarantee that a failing
// operation changes nothing (checked under the sanitizers as well).
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "diff/apply.h"
#include "diff/patch_json.h"
#include "value/value_json.h"

namespace ww {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kHalf = std::uint64_t{1} << 63;

Value abc() { return Value::list({Value::str("a"), Value::str("b"), Value::str("c")}); }

struct Failure {
  Op op;
  std::string message;
};

class FailingOp : public ::testing::TestWithParam<Failure> {};

TEST_P(FailingOp, FailsCleanlyAndChangesNothing) {
  Value root = Value::map({{"l", abc()}, {"e", Value::list({})}});
  const Value before = root;
  Status s = diff::apply_op(root, GetParam().op);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.error().text(), GetParam().message);
  EXPECT_EQ(root, before);
}

const Path kL{PathSeg::key("l")};
const Path kE{PathSeg::key("e")};

INSTANTIATE_TEST_SUITE_P(
    Positions, FailingOp,
    ::testing::Values(
        Failure{Op::Insert{kL, kMax, Value()}, "insert index 18446744073709551615 out of bounds (len 3)"},
        Failure{Op::Insert{kL, kHalf, Value()}, "insert index 9223372036854775808 out of bounds (len 3)"},
        Failure{Op::Insert{kL, 4, Value()}, "insert index 4 out of bounds (len 3)"},
        Failure{Op::RemoveAt{kL, kMax}, "remove index 18446744073709551615 out of bounds (len 3)"},
        Failure{Op::RemoveAt{kE, 0}, "remove index 0 out of bounds (len 0)"},
        Failure{Op::Move{kL, kMax, 0}, "move source index 18446744073709551615 out of bounds (len 3)"},
        Failure{Op::Move{kL, 0, kHalf}, "move destination index 9223372036854775808 out of bounds (len 3)"},
        Failure{Op::Move{kE, 0, 0}, "move source index 0 out of bounds (len 0)"},
        Failure{Op::Set{{PathSeg::key("l"), PathSeg::index(kMax)}, Value()}, "set index 18446744073709551615 out of bounds"},
        Failure{Op::Set{{PathSeg::key("l"), PathSeg::index(kMax), PathSeg::key("x")}, Value()},
                "path index 18446744073709551615 out of bounds"},
        Failure{Op::Remove{{PathSeg::key("l"), PathSeg::index(kMax)}},
                "remove index 18446744073709551615 out of bounds (len 3)"}));

INSTANTIATE_TEST_SUITE_P(
    Orders, FailingOp,
    ::testing::Values(
        Failure{Op::Reorder{kL, {kMax, 0, 1}}, "reorder index 18446744073709551615 out of bounds (len 3)"},
        Failure{Op::Reorder{kL, {2, 1, 3}}, "reorder index 3 out of bounds (len 3)"},
        Failure{Op::Reorder{kL, {2, 2, kMax}}, "reorder index 2 is duplicated"},
        Failure{Op::Reorder{kL, {1, 0, 1}}, "reorder index 1 is duplicated"},
        Failure{Op::Reorder{kL, {0, 1, 2, 3}}, "reorder length 4 does not match list length 3"},
        Failure{Op::Reorder{kL, {}}, "reorder length 0 does not match list length 3"},
        Failure{Op::Reorder{kE, {0}}, "reorder length 1 does not match list length 0"}));

INSTANTIATE_TEST_SUITE_P(
    Kinds, FailingOp,
    ::testing::Values(
        Failure{Op::Reorder{{}, {}}, R"(expected Value::List, found Map({"e": List([]), "l": List([Str("a"), Str("b"), Str("c")])}))"},
        Failure{Op::Set{{PathSeg::key("l"), PathSeg::key("x")}, Value()},
                R"(expected Value::Map, found List([Str("a"), Str("b"), Str("c")]))"},
        Failure{Op::Insert{{PathSeg::key("l"), PathSeg::index(0)}, 0, Value()}, R"(expected Value::List, found Str("a"))"},
        Failure{Op::Remove{{PathSeg::key("zz"), PathSeg::key("a")}}, R"(path key "zz" not found)"},
        Failure{Op::Remove{{}}, "remove path is empty"}));

TEST(Apply, ValueAtMutReachesTheElement) {
  Value root = Value::map({{"l", abc()}});
  const Path path{PathSeg::key("l"), PathSeg::index(2)};
  auto at = diff::value_at_mut(root, path);
  ASSERT_TRUE(at.ok());
  **at = Value::integer(7);
  EXPECT_EQ(value_to_json(root), R"({"Map":{"l":{"List":[{"Str":"a"},{"Str":"b"},{"Int":7}]}}})");
  EXPECT_EQ(*diff::value_at_mut(root, {}), &root);
}

TEST(Apply, StopsAtTheFirstFailureWithEarlierOperationsApplied) {
  Value root = abc();
  const std::vector<Op> ops{Op::RemoveAt{{}, 0}, Op::RemoveAt{{}, 5}, Op::RemoveAt{{}, 0}};
  Status s = diff::apply(root, ops);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.error().text(), "remove index 5 out of bounds (len 2)");
  EXPECT_EQ(value_to_json(root), R"({"List":[{"Str":"b"},{"Str":"c"}]})");
}

TEST(Apply, LargeReorderAndMoves) {
  const std::uint64_t n = 50000;
  Value::List items;
  std::vector<std::uint64_t> order;
  for (std::uint64_t i = 0; i < n; ++i) {
    items.push_back(Value::integer(static_cast<std::int64_t>(i)));
    order.push_back((i * 7919) % n);  // a permutation: 7919 is prime to n
  }
  Value root = Value::list(items);
  ASSERT_TRUE(diff::apply_op(root, Op::Reorder{{}, order}).ok());
  for (std::uint64_t k = 0; k < n; k += 997) {
    EXPECT_EQ(root.as_list()[k].as_int(), static_cast<std::int64_t>(order[k]));
  }
  ASSERT_TRUE(diff::apply_op(root, Op::Move{{}, n - 1, 0}).ok());
  ASSERT_TRUE(diff::apply_op(root, Op::Move{{}, 0, n - 1}).ok());
  EXPECT_EQ(root.as_list()[n - 1].as_int(), static_cast<std::int64_t>(order[n - 1]));
  order[0] = order[1];
  Value unchanged = root;
  EXPECT_EQ(diff::apply_op(root, Op::Reorder{{}, order}).error().text(),
            "reorder index " + std::to_string(order[1]) + " is duplicated");
  EXPECT_EQ(root, unchanged);
}

}  // namespace
}  // namespace ww
