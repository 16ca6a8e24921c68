// An ordered set of interned dots in 16 bytes: most sets of a document hold
// none or one dot, kept in place; larger ones live in sorted blocks.
#pragma once

#include <cstdint>
#include <utility>

#include "crdt/reducer/replica_table.h"
#include "crdt/reducer/sorted_blocks.h"

namespace ww::crdt::reducer {

class InternedDotSet {
 public:
  using Blocks = SortedBlocks<InternedDot>;

  InternedDotSet() : counter_(0) {}
  InternedDotSet(const InternedDotSet& other);
  InternedDotSet(InternedDotSet&& other) noexcept : counter_(other.counter_), replica_(other.replica_), size_(other.size_) {
    other.size_ = 0;
  }
  InternedDotSet& operator=(const InternedDotSet& other);
  InternedDotSet& operator=(InternedDotSet&& other) noexcept;
  ~InternedDotSet() { release(); }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  bool contains(const InternedDot& dot, const ReplicaTable& replicas) const;
  // True when the dot was not there yet.
  bool insert(const InternedDot& dot, const ReplicaTable& replicas);
  // True when the dot was there.
  bool erase(const InternedDot& dot, const ReplicaTable& replicas);
  // Appends a dot that sorts after every dot held (building in order).
  void push_back(const InternedDot& dot);
  // The largest dot; the set must not be empty.
  InternedDot back() const { return size_ == 1 ? one() : many_->back(); }

  // Calls f(dot) in ascending order; stops early when f returns false.
  template <class F>
  bool all_of(F&& f) const {
    if (size_ == 0) return true;
    if (size_ == 1) return f(one());
    for (const InternedDot& d : *many_) {
      if (!f(d)) return false;
    }
    return true;
  }
  template <class F>
  void for_each(F&& f) const {
    all_of([&](const InternedDot& d) {
      f(d);
      return true;
    });
  }
  template <class Pred>
  std::size_t erase_if(Pred&& pred);

 private:
  InternedDot one() const { return {counter_, replica_}; }
  void release();

  union {
    std::uint64_t counter_;  // size 1: the dot's counter
    Blocks* many_;           // size 2 or more
  };
  std::uint32_t replica_ = 0;  // size 1: the dot's replica
  std::uint32_t size_ = 0;
};

template <class Pred>
std::size_t InternedDotSet::erase_if(Pred&& pred) {
  if (size_ == 0) return 0;
  if (size_ == 1) {
    if (!pred(one())) return 0;
    size_ = 0;
    return 1;
  }
  const std::size_t n = many_->erase_if(pred);
  size_ -= static_cast<std::uint32_t>(n);
  if (size_ <= 1) {
    Blocks* blocks = many_;
    InternedDot left = size_ == 1 ? blocks->front() : InternedDot{};
    delete blocks;
    counter_ = left.counter;
    replica_ = left.replica;
  }
  return n;
}

}  // namespace ww::crdt::reducer
