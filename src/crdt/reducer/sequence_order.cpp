#include "crdt/reducer/sequence_order.h"

#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "crdt/invariant.h"
#include "crdt/reducer/tree.h"

namespace ww::crdt::reducer {
namespace {

// The live elements and the shown sizes of slots [from, to) of a block.
struct Sums {
  std::size_t live = 0;
  std::uint64_t shown = 0;
};

template <class Meta>
Sums sum_meta(const Meta& meta, std::size_t from, std::size_t to) {
  Sums out;
  for (std::size_t s = from; s < to; ++s) {
    const std::uint8_t m = meta[s];
    out.live += m >> 7 ^ 1;
    out.shown += m & 0x7f;
  }
  return out;
}

}  // namespace

void SequenceOrder::clear() {
  blocks_.clear();
  directory_.clear();
  size_ = 0;
  live_ = 0;
  shown_ = 0;
  has_orphans_ = false;
}

void SequenceOrder::append_laid_out(std::uint32_t h, Slab<Element>& elements) {
  if (directory_.empty() || blocks_[directory_.back()].handles.size() == kBlockMax) {
    Block b;
    b.rank = static_cast<std::uint32_t>(directory_.size());
    directory_.push_back(static_cast<std::uint32_t>(blocks_.size()));
    blocks_.push_back(std::move(b));
  }
  Block& b = blocks_[directory_.back()];
  Element& e = elements[h];
  e.block = directory_.back();
  b.handles.push_back(h);
  b.meta.push_back(e.deleted ? kDeleted : 0);
  b.live += e.deleted ? 0 : 1;
  ++size_;
  live_ += e.deleted ? 0 : 1;
}

void SequenceOrder::rebuild(SequenceNode& seq, const ReplicaTable& replicas) {
  clear();
  relaid_ = true;
  Slab<Element>& elements = seq.elements;
  const std::uint32_t n = elements.size();
  // The inserted elements anchored at each element, in ascending id order,
  // as offsets into one array; and those anchored at the start.
  std::vector<std::uint32_t> first(static_cast<std::size_t>(n) + 1, 0);
  std::vector<std::uint32_t> anchor_of(n, kNoHandle);
  std::vector<std::uint32_t> starts;
  for (const IdHandle& ih : seq.ids) {
    Element& e = elements[ih.handle];
    e.block = kNoBlock;
    if (!e.inserted) continue;
    if (e.after.none()) {
      starts.push_back(ih.handle);
      continue;
    }
    const std::uint32_t a = seq.find(e.after, replicas);
    // An anchor that is not inserted is never reached: its elements are roots of the second pass.
    if (a == kNoHandle || !elements[a].inserted) continue;
    anchor_of[ih.handle] = a;
    ++first[a + 1];
  }
  for (std::uint32_t i = 0; i < n; ++i) first[i + 1] += first[i];
  std::vector<std::uint32_t> children(first[n]);
  {
    std::vector<std::uint32_t> fill(first.begin(), first.end() - 1);
    for (const IdHandle& ih : seq.ids) {
      const std::uint32_t a = anchor_of[ih.handle];
      if (a != kNoHandle) children[fill[a]++] = ih.handle;
    }
  }

  std::vector<std::pair<std::uint32_t, std::uint32_t>> stack;  // handle, depth
  auto walk = [&](std::uint32_t h_first, const std::uint32_t* from, const std::uint32_t* to, std::uint32_t depth) {
    if (h_first != kNoHandle) stack.emplace_back(h_first, depth);
    for (const std::uint32_t* p = from; p != to; ++p) stack.emplace_back(*p, depth);
    while (!stack.empty()) {
      auto [h, d] = stack.back();
      stack.pop_back();
      Element& e = elements[h];
      if (e.block != kNoBlock) continue;  // visited
      e.depth = d;
      append_laid_out(h, elements);
      for (std::uint32_t i = first[h]; i < first[h + 1]; ++i) stack.emplace_back(children[i], d + 1);
    }
  };
  walk(kNoHandle, starts.data(), starts.data() + starts.size(), 1);
  // Then what the start does not reach, in ascending id order.
  for (const IdHandle& ih : seq.ids) {
    const Element& e = elements[ih.handle];
    if (!e.inserted || e.block != kNoBlock) continue;
    has_orphans_ = true;
    walk(ih.handle, nullptr, nullptr, 1);
  }
}

bool SequenceOrder::on_inserted(SequenceNode& seq, std::uint32_t h, const ReplicaTable& replicas) {
  Slab<Element>& elements = seq.elements;
  Element& e = elements[h];
  if (has_orphans_) {
    rebuild(seq, replicas);
    return true;
  }
  Cursor c = begin();
  std::uint32_t anchor_depth = 0;
  if (!e.after.none()) {
    const std::uint32_t a = seq.find(e.after, replicas);
    if (a == kNoHandle || !elements[a].inserted) {  // an orphan
      rebuild(seq, replicas);
      return true;
    }
    const Element& anchor = elements[a];
    c = next(find(anchor, a));
    anchor_depth = anchor.depth;
  }
  // Among the children of its anchor, which stand in descending order each
  // followed by its subtree: after every child subtree whose root is greater.
  while (!at_end(c)) {
    const Element& s = elements[handle(c)];
    if (s.depth <= anchor_depth) break;
    if (s.depth == anchor_depth + 1 && replicas.less(s.id, e.id)) break;
    c = next(c);
  }
  e.depth = anchor_depth + 1;
  insert_at(c, h, elements);
  return false;
}

void SequenceOrder::erase(std::uint32_t h, Slab<Element>& elements) {
  Element& e = elements[h];
  const Cursor c = find(e, h);
  Block& b = block_at(c.rank);
  const std::uint8_t m = b.meta[c.slot];
  b.handles.erase(b.handles.begin() + c.slot);
  b.meta.erase(b.meta.begin() + c.slot);
  const std::size_t live = (m & kDeleted) != 0 ? 0 : 1;
  b.live -= static_cast<std::uint32_t>(live);
  b.shown -= m & kShownMask;
  --size_;
  live_ -= live;
  shown_ -= m & kShownMask;
  e.block = kNoBlock;
  if (b.handles.empty()) {
    // An empty block leaves the order (its storage stays unused).
    directory_.erase(directory_.begin() + c.rank);
    for (std::size_t r = c.rank; r < directory_.size(); ++r) blocks_[directory_[r]].rank = static_cast<std::uint32_t>(r);
  }
}

void SequenceOrder::insert_at(Cursor c, std::uint32_t h, Slab<Element>& elements) {
  if (at_end(c)) {
    // After the last element: a new block when the last one is full.
    if (directory_.empty() || blocks_[directory_.back()].handles.size() == kBlockMax) {
      append_laid_out(h, elements);
      return;
    }
    c.rank = static_cast<std::uint32_t>(directory_.size() - 1);
    c.slot = static_cast<std::uint32_t>(blocks_[directory_.back()].handles.size());
  }
  const std::uint32_t id = directory_[c.rank];
  Block& b = blocks_[id];
  Element& e = elements[h];
  b.handles.insert(b.handles.begin() + c.slot, h);
  b.meta.insert(b.meta.begin() + c.slot, e.deleted ? kDeleted : 0);
  e.block = id;
  b.live += e.deleted ? 0 : 1;
  ++size_;
  live_ += e.deleted ? 0 : 1;
  if (b.handles.size() > kBlockMax) split(c.rank, elements);
}

void SequenceOrder::split(std::uint32_t rank, Slab<Element>& elements) {
  const std::uint32_t id = directory_[rank];
  const auto new_id = static_cast<std::uint32_t>(blocks_.size());
  blocks_.emplace_back();
  Block& lower = blocks_[id];
  Block& upper = blocks_.back();
  const std::size_t half = lower.handles.size() / 2;
  upper.handles.assign(lower.handles.begin() + static_cast<std::ptrdiff_t>(half), lower.handles.end());
  upper.meta.assign(lower.meta.begin() + static_cast<std::ptrdiff_t>(half), lower.meta.end());
  lower.handles.resize(half);
  lower.meta.resize(half);
  for (std::uint32_t h : upper.handles) elements[h].block = new_id;
  const Sums moved = sum_meta(upper.meta, 0, upper.meta.size());
  upper.live = static_cast<std::uint32_t>(moved.live);
  upper.shown = moved.shown;
  lower.live -= upper.live;
  lower.shown -= upper.shown;
  directory_.insert(directory_.begin() + rank + 1, new_id);
  for (std::size_t r = rank + 1; r < directory_.size(); ++r) blocks_[directory_[r]].rank = static_cast<std::uint32_t>(r);
}

void SequenceOrder::set_deleted(const Element& e, std::uint32_t h, bool deleted) {
  if (e.block == kNoBlock) return;
  const Cursor c = find(e, h);
  Block& b = block_at(c.rank);
  std::uint8_t& m = b.meta[c.slot];
  if (((m & kDeleted) != 0) == deleted) return;
  m ^= kDeleted;
  if (deleted) {
    --b.live;
    --live_;
  } else {
    ++b.live;
    ++live_;
  }
}

void SequenceOrder::on_deleted(const Element& e, std::uint32_t h) { set_deleted(e, h, true); }

void SequenceOrder::on_undeleted(const Element& e, std::uint32_t h) { set_deleted(e, h, false); }

void SequenceOrder::set_shown(Cursor c, std::uint8_t shown) {
  Block& b = block_at(c.rank);
  std::uint8_t& m = b.meta[c.slot];
  const std::uint8_t old = m & kShownMask;
  b.shown += shown;
  b.shown -= old;
  shown_ += shown;
  shown_ -= old;
  m = static_cast<std::uint8_t>((m & kDeleted) | shown);
}

SequenceOrder::Cursor SequenceOrder::find(const Element& e, std::uint32_t h) const {
  if (e.block == kNoBlock) broken_invariant("a sequence element missing from its order");
  const Block& b = blocks_[e.block];
  const std::uint32_t* handles = b.handles.data();
  const std::size_t n = b.handles.size();
  std::size_t s = 0;
#if defined(__SSE2__)
  // Four handles at a time.
  const __m128i want = _mm_set1_epi32(static_cast<int>(h));
  for (; s + 4 <= n; s += 4) {
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(handles + s));
    const int hit = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(four, want)));
    if (hit != 0) return {b.rank, static_cast<std::uint32_t>(s + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(hit))))};
  }
#endif
  for (; s < n; ++s) {
    if (handles[s] == h) return {b.rank, static_cast<std::uint32_t>(s)};
  }
  broken_invariant("a sequence element missing from its order block");
}

SequenceOrder::Before SequenceOrder::before(Cursor c) const {
  if (at_end(c)) return Before{size_, live_, shown_};
  // Over whole blocks from whichever end of the order is nearer, then
  // inside the block from whichever of its ends is nearer.
  Before out;
  if (c.rank <= directory_.size() / 2) {
    for (std::uint32_t r = 0; r < c.rank; ++r) {
      const Block& b = block_at(r);
      out.index += b.handles.size();
      out.live += b.live;
      out.shown += b.shown;
    }
  } else {
    out = Before{size_, live_, shown_};
    for (std::size_t r = c.rank + 1; r < directory_.size(); ++r) {
      const Block& b = block_at(static_cast<std::uint32_t>(r));
      out.index -= b.handles.size();
      out.live -= b.live;
      out.shown -= b.shown;
    }
    const Block& b = block_at(c.rank);
    out.index -= b.handles.size();
    out.live -= b.live;
    out.shown -= b.shown;
  }
  const Block& b = block_at(c.rank);
  if (c.slot <= b.meta.size() / 2) {
    const Sums s = sum_meta(b.meta, 0, c.slot);
    out.live += s.live;
    out.shown += s.shown;
  } else {
    const Sums s = sum_meta(b.meta, c.slot, b.meta.size());
    out.live += b.live - s.live;
    out.shown += b.shown - s.shown;
  }
  out.index += c.slot;
  return out;
}

SequenceOrder::Cursor SequenceOrder::live_at(std::size_t index) const {
  if (index >= live_) broken_invariant("a live position beyond the sequence");
  std::uint32_t r = 0;
  if (index < live_ / 2) {
    for (;; ++r) {
      const std::uint32_t l = block_at(r).live;
      if (index < l) break;
      index -= l;
    }
  } else {
    // Counted from the end: `rest` live elements lie at or after the one sought.
    std::size_t rest = live_ - index;
    for (r = static_cast<std::uint32_t>(directory_.size() - 1);; --r) {
      const std::uint32_t l = block_at(r).live;
      if (rest <= l) {
        index = l - rest;
        break;
      }
      rest -= l;
    }
  }
  // Inside the block, from whichever end is nearer.
  const Block& b = block_at(r);
  const std::uint8_t* meta = b.meta.data();
  if (index < b.live / 2) {
    for (std::uint32_t s = 0;; ++s) {
      if ((meta[s] & kDeleted) != 0) continue;
      if (index-- == 0) return {r, s};
    }
  }
  std::size_t from_end = b.live - 1 - index;
  for (auto s = static_cast<std::uint32_t>(b.meta.size());; ) {
    --s;
    if ((meta[s] & kDeleted) != 0) continue;
    if (from_end-- == 0) return {r, s};
  }
}

}  // namespace ww::crdt::reducer
