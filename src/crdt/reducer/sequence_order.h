// The visible order of a sequence's inserted elements, tombstones included,
// kept with the sequence: element handles in blocks, each block counting its
// live elements (no deletion record) and what its elements add to the
// materialised value, so that positions and offsets are found without a
// walk over the whole sequence.
//
// Placing an element follows the walk of anchors: the elements anchored at
// the same place stand in descending id order, each followed by its
// subtree. Elements that the start does not reach (their anchor missing or
// not inserted) come after all others; while there are such, every
// insertion lays the whole order out again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "crdt/reducer/replica_table.h"

namespace ww::crdt::reducer {

struct Element;
class SequenceNode;
template <class T>
class Slab;

inline constexpr std::uint32_t kNoBlock = UINT32_MAX;

class SequenceOrder {
 public:
  // A place in the order: the block's rank in the order, and the slot in it.
  struct Cursor {
    std::uint32_t rank = 0;
    std::uint32_t slot = 0;
  };
  // Sums over the elements before a place.
  struct Before {
    std::size_t index = 0;   // elements
    std::size_t live = 0;    // elements without a deletion record
    std::uint64_t shown = 0; // what they add to the materialised value
  };

  std::size_t size() const { return size_; }
  std::size_t live() const { return live_; }
  std::uint64_t shown() const { return shown_; }
  bool has_orphans() const { return has_orphans_; }
  // Whether the order was laid out afresh since last asked: what the
  // elements add to the materialised value is then to be found again.
  bool take_relaid() {
    const bool was = relaid_;
    relaid_ = false;
    return was;
  }

  // Lays out every inserted element of `seq` afresh, by the walk of anchors.
  void rebuild(SequenceNode& seq, const ReplicaTable& replicas);
  // Element `h` of `seq` has just been marked inserted: places it. True
  // when the whole order was laid out again.
  bool on_inserted(SequenceNode& seq, std::uint32_t h, const ReplicaTable& replicas);
  // Takes element `h` out again: the exact inverse of placing it when that
  // did not lay the order out again and nothing was placed after it since.
  void erase(std::uint32_t h, Slab<Element>& elements);
  // Element `h` has just received its first deletion record, or lost it.
  void on_deleted(const Element& e, std::uint32_t h);
  void on_undeleted(const Element& e, std::uint32_t h);
  // What the element at `c` adds to the materialised value, as last
  // materialised: 1 in a list, its UTF-8 length in a string, 0 when left out.
  std::uint8_t shown(Cursor c) const { return block_at(c.rank).meta[c.slot] & kShownMask; }
  void set_shown(Cursor c, std::uint8_t shown);

  Cursor begin() const { return {}; }
  bool at_end(Cursor c) const { return c.rank >= directory_.size(); }
  Cursor next(Cursor c) const {
    if (++c.slot == block_at(c.rank).handles.size()) {
      ++c.rank;
      c.slot = 0;
    }
    return c;
  }
  std::uint32_t handle(Cursor c) const { return block_at(c.rank).handles[c.slot]; }
  // The place of element `h` (in the order).
  Cursor find(const Element& e, std::uint32_t h) const;
  Before before(Cursor c) const;
  // The place of the live element at live position `index` (< live()).
  Cursor live_at(std::size_t index) const;
  bool deleted(Cursor c) const { return (block_at(c.rank).meta[c.slot] & kDeleted) != 0; }

  template <class F>
  void for_each(F&& f) const {
    for (std::uint32_t id : directory_) {
      for (std::uint32_t h : blocks_[id].handles) f(h);
    }
  }

 private:
  static constexpr std::size_t kBlockMax = 256;
  // Per slot: the deletion flag and the shown size, beside the handle, so
  // that counting inside a block reads one byte per element.
  static constexpr std::uint8_t kDeleted = 0x80;
  static constexpr std::uint8_t kShownMask = 0x7f;

  struct Block {
    std::vector<std::uint32_t> handles;
    std::vector<std::uint8_t> meta;
    std::uint32_t rank = 0;
    std::uint32_t live = 0;
    std::uint64_t shown = 0;
  };
  Block& block_at(std::uint32_t rank) { return blocks_[directory_[rank]]; }
  const Block& block_at(std::uint32_t rank) const { return blocks_[directory_[rank]]; }
  void insert_at(Cursor c, std::uint32_t h, Slab<Element>& elements);
  void split(std::uint32_t rank, Slab<Element>& elements);
  void append_laid_out(std::uint32_t h, Slab<Element>& elements);
  void set_deleted(const Element& e, std::uint32_t h, bool deleted);
  void clear();

  std::vector<Block> blocks_;            // by block id
  std::vector<std::uint32_t> directory_;  // block ids in order
  std::size_t size_ = 0;
  std::size_t live_ = 0;
  std::uint64_t shown_ = 0;
  bool has_orphans_ = false;
  bool relaid_ = false;
};

}  // namespace ww::crdt::reducer
