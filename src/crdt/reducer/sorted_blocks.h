// A sorted table held in blocks of contiguous entries: lookups by binary
// search, an insertion moves the entries of one block only, and there is one
// allocation per block rather than per entry. Entries keep the order in
// which the caller inserts them; the caller finds the place with a
// predicate, so the order may depend on context (interned replicas).
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <utility>
#include <vector>

namespace ww::crdt::reducer {

template <class T>
class SortedBlocks {
 public:
  // Entries per block: about 4 KiB, so one insertion moves little.
  static constexpr std::size_t kBlock = sizeof(T) >= 256 ? 16 : 4096 / sizeof(T);

  struct Pos {
    std::size_t block = 0;
    std::size_t slot = 0;
  };

  template <bool Const>
  class Iter {
   public:
    using Blocks = std::conditional_t<Const, const std::vector<std::vector<T>>, std::vector<std::vector<T>>>;
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using reference = std::conditional_t<Const, const T&, T&>;
    using pointer = std::conditional_t<Const, const T*, T*>;

    Iter() = default;
    Iter(Blocks* blocks, std::size_t block, std::size_t slot) : blocks_(blocks), block_(block), slot_(slot) {}
    reference operator*() const { return (*blocks_)[block_][slot_]; }
    pointer operator->() const { return &(*blocks_)[block_][slot_]; }
    Iter& operator++() {
      if (++slot_ == (*blocks_)[block_].size()) {
        ++block_;
        slot_ = 0;
      }
      return *this;
    }
    Iter operator++(int) {
      Iter old = *this;
      ++*this;
      return old;
    }
    friend bool operator==(const Iter& a, const Iter& b) { return a.block_ == b.block_ && a.slot_ == b.slot_; }
    Pos pos() const { return {block_, slot_}; }

   private:
    Blocks* blocks_ = nullptr;
    std::size_t block_ = 0;
    std::size_t slot_ = 0;
  };
  using iterator = Iter<false>;
  using const_iterator = Iter<true>;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  iterator begin() { return iterator(&blocks_, 0, 0); }
  iterator end() { return iterator(&blocks_, blocks_.size(), 0); }
  const_iterator begin() const { return const_iterator(&blocks_, 0, 0); }
  const_iterator end() const { return const_iterator(&blocks_, blocks_.size(), 0); }
  iterator at_iter(Pos p) { return at_end(p) ? end() : iterator(&blocks_, p.block, p.slot); }
  const_iterator at_iter(Pos p) const { return at_end(p) ? end() : const_iterator(&blocks_, p.block, p.slot); }

  T& front() { return blocks_.front().front(); }
  const T& front() const { return blocks_.front().front(); }
  T& back() { return blocks_.back().back(); }
  const T& back() const { return blocks_.back().back(); }

  // The first entry for which `before(entry)` is false, the entries being
  // partitioned by it (every entry for which it holds comes first).
  template <class Before>
  Pos lower_bound(Before before) const {
    if (blocks_.empty()) return {};
    std::size_t lo = 0;
    std::size_t hi = blocks_.size();
    while (lo < hi) {
      const std::size_t mid = lo + (hi - lo) / 2;
      if (before(blocks_[mid].back())) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    if (lo == blocks_.size()) return {lo - 1, blocks_.back().size()};
    const std::vector<T>& b = blocks_[lo];
    return {lo, static_cast<std::size_t>(std::partition_point(b.begin(), b.end(), before) - b.begin())};
  }

  // Whether `p` is the end (a position that lower_bound gave).
  bool at_end(Pos p) const { return blocks_.empty() || p.block >= blocks_.size() || p.slot == blocks_[p.block].size(); }
  T& at(Pos p) { return blocks_[p.block][p.slot]; }
  const T& at(Pos p) const { return blocks_[p.block][p.slot]; }

  // Inserts before `p` (a position that lower_bound gave); the new entry's position.
  Pos insert(Pos p, T value) {
    ++size_;
    if (blocks_.empty()) {
      new_block(0).push_back(std::move(value));
      return {0, 0};
    }
    std::vector<T>& b = blocks_[p.block];
    if (b.size() < kBlock) {
      grow(b);
      b.insert(b.begin() + static_cast<std::ptrdiff_t>(p.slot), std::move(value));
      return p;
    }
    if (p.block + 1 == blocks_.size() && p.slot == b.size()) {
      // Appending: a new block, so that appended runs fill their blocks.
      new_block(p.block + 1).push_back(std::move(value));
      return {p.block + 1, 0};
    }
    const std::size_t half = b.size() / 2;
    std::vector<T>& upper = new_block(p.block + 1);
    std::vector<T>& lower = blocks_[p.block];
    upper.insert(upper.end(), std::make_move_iterator(lower.begin() + static_cast<std::ptrdiff_t>(half)),
                 std::make_move_iterator(lower.end()));
    lower.erase(lower.begin() + static_cast<std::ptrdiff_t>(half), lower.end());
    if (p.slot <= half) {
      grow(lower);
      lower.insert(lower.begin() + static_cast<std::ptrdiff_t>(p.slot), std::move(value));
      return p;
    }
    grow(upper);
    upper.insert(upper.begin() + static_cast<std::ptrdiff_t>(p.slot - half), std::move(value));
    return {p.block + 1, p.slot - half};
  }

  // Appends an entry that does not sort before the last one.
  void push_back(T value) {
    ++size_;
    if (blocks_.empty() || blocks_.back().size() == kBlock) new_block(blocks_.size());
    grow(blocks_.back());
    blocks_.back().push_back(std::move(value));
  }

  void erase(Pos p) {
    --size_;
    std::vector<T>& b = blocks_[p.block];
    b.erase(b.begin() + static_cast<std::ptrdiff_t>(p.slot));
    if (b.empty()) blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(p.block));
  }

  template <class Pred>
  std::size_t erase_if(Pred pred) {
    std::size_t n = 0;
    for (std::vector<T>& b : blocks_) n += std::erase_if(b, pred);
    std::erase_if(blocks_, [](const std::vector<T>& b) { return b.empty(); });
    size_ -= n;
    return n;
  }

  void clear() {
    blocks_.clear();
    size_ = 0;
  }

 private:
  std::vector<T>& new_block(std::size_t at) {
    return *blocks_.emplace(blocks_.begin() + static_cast<std::ptrdiff_t>(at));
  }

  // Room for one more entry, growing by doubling up to a whole block, so
  // that small tables stay small and full blocks hold no slack.
  static void grow(std::vector<T>& b) {
    if (b.size() < b.capacity()) return;
    b.reserve(std::min<std::size_t>(kBlock, std::max<std::size_t>(4, 2 * b.size())));
  }

  std::vector<std::vector<T>> blocks_;
  std::size_t size_ = 0;
};

}  // namespace ww::crdt::reducer
