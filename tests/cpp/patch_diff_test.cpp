// The structural diff at the level of its C++ interface: paths below the
// root, the positional diff, floats that break the content-key shortcut,
// and diff-then-apply over random lists (which also exercises the walk's
// pointer juggling under the sanitizers).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "diff/apply.h"
#include "diff/diff.h"
#include "diff/patch_json.h"
#include "value/value_json.h"

namespace ww {
namespace {

Value parse(std::string_view json) {
  auto r = value_from_json_text(json);
  EXPECT_TRUE(r.ok()) << json;
  return r.ok() ? r.take() : Value();
}

std::string ops_json(const std::vector<Op>& ops) {
  std::string out;
  write_ops_json(ops, out);
  return out;
}

std::string diffed(const Value& a, const Value& b, const Path& at = {}) {
  std::vector<Op> ops;
  diff::diff_value(at, a, b, ops);
  return ops_json(ops);
}

Value list_of(std::initializer_list<double> xs) {
  Value::List items;
  for (double x : xs) items.push_back(Value::floating(x));
  return Value::list(std::move(items));
}

TEST(Diff, PathsStartAtTheGivenPath) {
  const Path at{PathSeg::key("m"), PathSeg::index(4)};
  EXPECT_EQ(diffed(parse(R"({"List":[{"Int":1},{"Int":2}]})"), parse(R"({"List":[{"Int":2},{"Int":1}]})"), at),
            R"([{"Move":{"path":[{"Key":"m"},{"Index":4}],"from":1,"to":0}}])");
  EXPECT_EQ(diffed(parse(R"({"Map":{"a":"Null"}})"), parse(R"({"Map":{}})"), at),
            R"([{"Remove":{"path":[{"Key":"m"},{"Index":4},{"Key":"a"}]}}])");
  EXPECT_EQ(diff::child_path(at, PathSeg::key("z")), (Path{PathSeg::key("m"), PathSeg::index(4), PathSeg::key("z")}));
}

TEST(Diff, AppendsAfterOperationsAlreadyThere) {
  std::vector<Op> ops{Op::Remove{{}}};
  diff::diff_value({}, Value::integer(1), Value::integer(2), ops);
  EXPECT_EQ(ops_json(ops), R"([{"Remove":{"path":[]}},{"Set":{"path":[],"value":{"Int":2}}}])");
}

TEST(Diff, PositionalDiff) {
  std::vector<Op> ops;
  const Value a = parse(R"({"List":[{"Int":1},{"List":[]},{"Int":3}]})");
  const Value b = parse(R"({"List":[{"Int":1},{"List":["Null"]}]})");
  diff::diff_list_positionally({PathSeg::key("k")}, a.as_list(), b.as_list(), ops);
  EXPECT_EQ(ops_json(ops), R"([{"Insert":{"path":[{"Key":"k"},{"Index":1}],"index":0,"value":"Null"}},)"
                           R"({"RemoveAt":{"path":[{"Key":"k"}],"index":2}}])");
  ops.clear();
  diff::diff_list_positionally({}, b.as_list(), a.as_list(), ops);
  EXPECT_EQ(ops_json(ops), R"([{"RemoveAt":{"path":[{"Index":1}],"index":0}},)"
                           R"({"Insert":{"path":[],"index":2,"value":{"Int":3}}}])");
}

TEST(Diff, NaNEqualsNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(diffed(Value::floating(nan), Value::floating(nan)), R"([{"Set":{"path":[],"value":{"Float":null}}}])");
  EXPECT_EQ(diffed(list_of({nan}), list_of({nan})), R"([{"Set":{"path":[{"Index":0}],"value":{"Float":null}}}])");
}

TEST(Diff, EqualKeysOfUnequalInfinitiesFindNoOrder) {
  // Both infinities are written as null: -inf finds inf first in the queue
  // of that key and the test ends, so the reversal is not a Reorder but,
  // once the walk runs out of budget, the positional diff.
  const double inf = std::numeric_limits<double>::infinity();
  const Value a = list_of({inf, -inf, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  Value::List reversed(a.as_list().rbegin(), a.as_list().rend());
  std::vector<Op> ops;
  diff::diff_value({}, a, Value::list(reversed), ops);
  ASSERT_EQ(ops.size(), 12u);
  for (std::size_t i = 0; i < ops.size(); ++i) {
    EXPECT_EQ(ops[i], Op(Op::Set{{PathSeg::index(i)}, reversed[i]})) << i;
  }
  // The same reversal of finite numbers is a rearrangement.
  const Value finite = list_of({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  Value::List back(finite.as_list().rbegin(), finite.as_list().rend());
  EXPECT_EQ(diffed(finite, Value::list(back)), R"([{"Reorder":{"path":[],"order":[11,10,9,8,7,6,5,4,3,2,1,0]}}])");
}

// ---- diff, then apply: random lists of small integers with edits ----

class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}
  std::uint64_t below(std::uint64_t n) { return engine_() % n; }

  Value element(int depth) {
    if (depth > 0 && below(5) == 0) return list(depth - 1, below(6));
    return Value::integer(static_cast<std::int64_t>(below(6)));
  }
  Value list(int depth, std::uint64_t n) {
    Value::List items;
    for (std::uint64_t i = 0; i < n; ++i) items.push_back(element(depth));
    return Value::list(std::move(items));
  }
  Value edited(const Value& v) {
    Value::List items = v.as_list();
    const std::uint64_t edits = below(6);
    for (std::uint64_t e = 0; e < edits; ++e) {
      switch (below(5)) {
        case 0: items.insert(items.begin() + static_cast<std::ptrdiff_t>(below(items.size() + 1)), element(1)); break;
        case 1:
          if (!items.empty()) items.erase(items.begin() + static_cast<std::ptrdiff_t>(below(items.size())));
          break;
        case 2:
          if (!items.empty()) items[below(items.size())] = element(1);
          break;
        case 3:
          for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[below(i)]);
          break;
        default:
          if (items.size() > 1) std::swap(items[below(items.size())], items[below(items.size())]);
      }
    }
    return Value::list(std::move(items));
  }

 private:
  std::mt19937_64 engine_;
};

TEST(Diff, AppliedOperationsGiveTheNewValue) {
  Random rng(12345);
  std::size_t reorders = 0;
  for (int round = 0; round < 3000; ++round) {
    const Value a = rng.list(2, rng.below(round % 10 == 0 ? 60 : 12));
    const Value b = rng.below(8) == 0 ? rng.list(2, rng.below(12)) : rng.edited(a);
    std::vector<Op> ops;
    diff::diff_value({}, a, b, ops);
    Value patched = a;
    for (const Op& op : ops) {
      ASSERT_TRUE(diff::apply_op(patched, op).ok()) << value_to_json(a) << " -> " << value_to_json(b);
      reorders += op.kind() == Op::Kind::Reorder;
    }
    ASSERT_EQ(patched, b) << value_to_json(a) << " -> " << value_to_json(b);
    std::vector<Op> none;
    diff::diff_value({}, b, b, none);
    ASSERT_TRUE(none.empty()) << value_to_json(b);
  }
  EXPECT_GT(reorders, 0u);
}

TEST(Diff, LongListsAreWalkedWithinTheirBudget) {
  // An insertion, an edit and a swap in a long list cost a few scans of it,
  // well within its budget of 8 units per element.
  Value::List items;
  for (std::int64_t i = 0; i < 100000; ++i) items.push_back(Value::integer(i));
  Value::List edited = items;
  edited.insert(edited.begin() + 500, Value::str("new"));
  edited[90001] = Value::str("edit");
  std::swap(edited[99995], edited[99996]);
  std::vector<Op> ops;
  diff::diff_value({}, Value::list(items), Value::list(edited), ops);
  EXPECT_EQ(ops_json(ops), R"([{"Insert":{"path":[],"index":500,"value":{"Str":"new"}}},)"
                           R"({"Set":{"path":[{"Index":90001}],"value":{"Str":"edit"}}},)"
                           R"({"Move":{"path":[],"from":99996,"to":99995}}])");
  Value patched = Value::list(items);
  ASSERT_TRUE(diff::apply(patched, ops).ok());
  EXPECT_EQ(patched, Value::list(edited));
}

}  // namespace
}  // namespace ww
