#include "crdt/reducer/interned_dot_set.h"

namespace ww::crdt::reducer {

InternedDotSet::InternedDotSet(const InternedDotSet& other) : counter_(other.counter_), replica_(other.replica_), size_(other.size_) {
  if (size_ > 1) many_ = new Blocks(*other.many_);
}

InternedDotSet& InternedDotSet::operator=(const InternedDotSet& other) {
  if (this != &other) *this = InternedDotSet(other);
  return *this;
}

InternedDotSet& InternedDotSet::operator=(InternedDotSet&& other) noexcept {
  if (this != &other) {
    release();
    counter_ = other.counter_;
    replica_ = other.replica_;
    size_ = other.size_;
    other.size_ = 0;
  }
  return *this;
}

void InternedDotSet::release() {
  if (size_ > 1) delete many_;
  size_ = 0;
}

bool InternedDotSet::contains(const InternedDot& dot, const ReplicaTable& replicas) const {
  if (size_ == 0) return false;
  if (size_ == 1) return one() == dot;
  auto p = many_->lower_bound([&](const InternedDot& d) { return replicas.less(d, dot); });
  return !many_->at_end(p) && many_->at(p) == dot;
}

bool InternedDotSet::insert(const InternedDot& dot, const ReplicaTable& replicas) {
  if (size_ == 0) {
    counter_ = dot.counter;
    replica_ = dot.replica;
    size_ = 1;
    return true;
  }
  if (size_ == 1) {
    const InternedDot held = one();
    if (held == dot) return false;
    auto* blocks = new Blocks();
    if (replicas.less(held, dot)) {
      blocks->push_back(held);
      blocks->push_back(dot);
    } else {
      blocks->push_back(dot);
      blocks->push_back(held);
    }
    many_ = blocks;
    size_ = 2;
    return true;
  }
  // Dots arrive mostly in ascending order.
  if (replicas.less(many_->back(), dot)) {
    many_->push_back(dot);
    ++size_;
    return true;
  }
  auto p = many_->lower_bound([&](const InternedDot& d) { return replicas.less(d, dot); });
  if (!many_->at_end(p) && many_->at(p) == dot) return false;
  many_->insert(p, dot);
  ++size_;
  return true;
}

bool InternedDotSet::erase(const InternedDot& dot, const ReplicaTable& replicas) {
  if (size_ == 0) return false;
  if (size_ == 1) {
    if (one() != dot) return false;
    size_ = 0;
    return true;
  }
  auto p = many_->lower_bound([&](const InternedDot& d) { return replicas.less(d, dot); });
  if (many_->at_end(p) || many_->at(p) != dot) return false;
  many_->erase(p);
  if (--size_ == 1) {
    Blocks* blocks = many_;
    const InternedDot left = blocks->front();
    delete blocks;
    counter_ = left.counter;
    replica_ = left.replica;
  }
  return true;
}

void InternedDotSet::push_back(const InternedDot& dot) {
  if (size_ == 0) {
    counter_ = dot.counter;
    replica_ = dot.replica;
    size_ = 1;
    return;
  }
  if (size_ == 1) {
    auto* blocks = new Blocks();
    blocks->push_back(one());
    many_ = blocks;
  }
  many_->push_back(dot);
  ++size_;
}

}  // namespace ww::crdt::reducer
