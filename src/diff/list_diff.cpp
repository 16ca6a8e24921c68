// The list diff: a greedy left-to-right walk over a working copy of the old
// list, within a budget of work per list; past the budget, one Reorder when
// the new list is a rearrangement of the old one, else the positional diff.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

#include "diff/differ.h"
#include "diff/permutation.h"

namespace ww::diff {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) { return b > kMax - a ? kMax : a + b; }
std::uint64_t saturating_mul(std::uint64_t a, std::uint64_t b) {
  return (a != 0 && b > kMax / a) ? kMax : a * b;
}

// The walk's spending: each addition is tested before the step it pays for,
// and only a cost above the budget ends the walk.
class Cost {
 public:
  explicit Cost(std::uint64_t budget) : budget_(budget) {}
  bool pay(std::uint64_t units) {
    spent_ = saturating_add(spent_, units);
    return spent_ <= budget_;
  }

 private:
  std::uint64_t budget_;
  std::uint64_t spent_ = 0;
};

std::size_t identical_prefix(const Value::List& a, const Value::List& b) {
  std::size_t p = 0;
  while (p < a.size() && p < b.size() && identical(a[p], b[p])) ++p;
  return p;
}

}  // namespace

void Differ::list(const Value::List& old_list, const Value::List& new_list) {
  const std::size_t n = old_list.size();
  const std::size_t m = new_list.size();
  const std::uint64_t budget = std::max<std::uint64_t>(64, saturating_mul(8, std::max(n, m)));

  // Permutation test and reorder shortcut. Identical leading elements take
  // their own positions in the order and cost the walk nothing, so both
  // start after them; two identical lists need no work at all.
  std::size_t start = 0;
  std::optional<std::vector<std::uint64_t>> order;
  if (n == m) {
    start = identical_prefix(old_list, new_list);
    if (start == n) return;
    order = rearrangement_order(old_list, new_list, start);
    if (order) {
      const std::uint64_t sorted = start + longest_increasing_run(*order, start);
      if (saturating_mul(n - sorted, n) > budget) {
        emit(Op::Reorder{here(), std::move(*order)});
        return;
      }
    }
  }

  // The working copy W holds pointers: to elements of the old list, and to
  // elements of the new list once they have been inserted or put in place.
  std::vector<const Value*> w;
  w.reserve(std::max(n, m));
  for (const Value& v : old_list) w.push_back(&v);

  const std::size_t mark = ops_.size();  // the walk's own operations start here
  std::optional<Path> path_cache;
  auto path = [&]() -> const Path& {
    if (!path_cache) path_cache = here();
    return *path_cache;
  };
  Cost cost(budget);
  bool aborted = false;
  std::size_t f = start;

  while (f < m) {
    if (f >= w.size()) {
      emit(Op::Insert{path(), f, new_list[f]});
      w.push_back(&new_list[f]);
      ++f;
      continue;
    }
    if (*w[f] == new_list[f]) {
      ++f;
      continue;
    }
    if (!cost.pay(w.size() - f - 1)) {
      aborted = true;
      break;
    }
    auto found = std::find_if(w.begin() + static_cast<std::ptrdiff_t>(f) + 1, w.end(),
                              [&](const Value* x) { return *x == new_list[f]; });
    if (found != w.end()) {
      if (!cost.pay(w.size())) {
        aborted = true;
        break;
      }
      const auto j = static_cast<std::size_t>(found - w.begin());
      emit(Op::Move{path(), j, f});
      std::rotate(w.begin() + static_cast<std::ptrdiff_t>(f), found, found + 1);
      ++f;
      continue;
    }
    if (!cost.pay(m - f - 1)) {
      aborted = true;
      break;
    }
    if (f + 1 < m) {
      const Value& current = *w[f];
      auto later = std::find_if(new_list.begin() + static_cast<std::ptrdiff_t>(f) + 1, new_list.end(),
                                [&](const Value& x) { return x == current; });
      if (later != new_list.end()) {
        if (!cost.pay(w.size())) {
          aborted = true;
          break;
        }
        if (w.size() < m) {
          emit(Op::Insert{path(), f, new_list[f]});
          w.insert(w.begin() + static_cast<std::ptrdiff_t>(f), &new_list[f]);
          ++f;
          continue;
        }
        if (!(*w[f + 1] == *w[f])) {
          const auto k = static_cast<std::size_t>(later - new_list.begin());
          emit(Op::Move{path(), f, k});
          auto at = w.begin() + static_cast<std::ptrdiff_t>(f);
          std::rotate(at, at + 1, w.begin() + static_cast<std::ptrdiff_t>(k) + 1);
          continue;
        }
        // The next element equals the current one: replace in place.
      }
    }
    push_index(f);
    value(*w[f], new_list[f]);
    pop();
    w[f] = &new_list[f];
    ++f;
  }

  if (aborted) {
    // Everything the walk emitted, nested diffs included, is dropped.
    ops_.erase(ops_.begin() + static_cast<std::ptrdiff_t>(mark), ops_.end());
    if (order) {
      emit(Op::Reorder{path(), std::move(*order)});
    } else {
      positional(old_list, new_list);
    }
    return;
  }
  for (std::size_t r = w.size(); r-- > m;) emit(Op::RemoveAt{path(), r});
}

}  // namespace ww::diff
