// A document's node tree in its compact form: replicas interned, registers
// held in place, map entries, set members and sequence elements in slabs at
// stable addresses with sorted indexes, and the visible order of every
// sequence kept with it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "crdt/crdt_spec.h"
#include "crdt/reducer/interned_dot_set.h"
#include "crdt/reducer/replica_table.h"
#include "crdt/reducer/sequence_order.h"
#include "crdt/reducer/slab.h"
#include "crdt/reducer/sorted_blocks.h"
#include "crdt/reducer/stored_value.h"

namespace ww::crdt::reducer {

class EntryTable;
class SequenceNode;

inline constexpr std::uint32_t kNoHandle = UINT32_MAX;

// One node: a register in place (its value and dot), or a map, set or
// sequence on the heap; or no node at all (a sequence element that no write
// has reached).
class Node {
 public:
  using Kind = CrdtPolicy::Kind;

  Node() : kind_(kAbsent) {}
  // The empty node of a kind: no value and no dot, no entries, no deletes.
  static Node empty(Kind kind);
  Node(Node&& other) noexcept;
  Node& operator=(Node&& other) noexcept;
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  ~Node() { release(); }

  bool present() const { return kind_ != kAbsent; }
  Kind kind() const { return static_cast<Kind>(kind_); }
  bool is(Kind k) const { return kind_ == static_cast<std::uint8_t>(k); }

  // Register only.
  const StoredValue& value() const { return value_; }
  StoredValue& value() { return value_; }
  InternedDot dot() const { return {dot_counter_, dot_replica_}; }
  void set_dot(const InternedDot& dot) {
    dot_counter_ = dot.counter;
    dot_replica_ = dot.replica;
  }

  // nullptr unless the node is of that kind.
  EntryTable* map() { return is(Kind::Map) ? table_ : nullptr; }
  const EntryTable* map() const { return is(Kind::Map) ? table_ : nullptr; }
  EntryTable* set() { return is(Kind::Set) ? table_ : nullptr; }
  const EntryTable* set() const { return is(Kind::Set) ? table_ : nullptr; }
  // A map's or a set's entries.
  EntryTable* entries() { return is(Kind::Map) || is(Kind::Set) ? table_ : nullptr; }
  const EntryTable* entries() const { return is(Kind::Map) || is(Kind::Set) ? table_ : nullptr; }
  SequenceNode* sequence() { return is(Kind::Sequence) ? sequence_ : nullptr; }
  const SequenceNode* sequence() const { return is(Kind::Sequence) ? sequence_ : nullptr; }

 private:
  static constexpr std::uint8_t kAbsent = 4;
  void release();

  union {
    StoredValue value_;  // register
    EntryTable* table_;  // map or set
    SequenceNode* sequence_;
  };
  std::uint64_t dot_counter_ = 0;
  std::uint32_t dot_replica_ = kNoReplica;
  std::uint8_t kind_;
};

// A map entry or a set member.
struct Entry {
  std::string key;  // the map key, or the member key
  Node node;
  InternedDotSet dots;         // map: operations that wrote the entry or below it; set: the adds
  InternedDotSet removed;      // dots that removals of the entry declared removed
  InternedDotSet removal_ops;  // the dots of those removals
};

// The entries of a map or the members of a set, by key.
class EntryTable {
 public:
  std::size_t size() const { return order_.size(); }
  Entry* find(std::string_view key);
  const Entry* find(std::string_view key) const;
  // The entry of `key`, created with the empty node of `kind` when missing;
  // true when created.
  std::pair<Entry*, bool> find_or_add(std::string_view key, Node::Kind kind);
  // Appends an entry whose key sorts after every key held (building in order).
  Entry& push_back(std::string key, Node node);
  // Removes the entry of `key`, which must be the latest one created.
  void erase_latest(std::string_view key);
  // Removes the entries for which pred(entry) holds; their number.
  template <class Pred>
  std::size_t erase_if(Pred&& pred);

  // Calls f(entry) in ascending key order.
  template <class F>
  void for_each(F&& f) {
    for (std::uint32_t h : order_) f(slab_[h]);
  }
  template <class F>
  void for_each(F&& f) const {
    for (std::uint32_t h : order_) f(slab_[h]);
  }

 private:
  SortedBlocks<std::uint32_t>::Pos lower_bound(std::string_view key) const;

  Slab<Entry> slab_;
  SortedBlocks<std::uint32_t> order_;  // handles in ascending key order
};

// One sequence element (one id ever named by an insert or an element path).
struct Element {
  InternedElementId id;
  InternedElementId after;  // none: the start of the sequence
  Node node;                // absent while no write has reached the element
  std::uint32_t block = kNoBlock;  // the order block holding it, once inserted
  std::uint32_t depth = 0;         // in the tree of anchors; the start is 0
  bool inserted = false;           // whether its insert has been applied
  bool deleted = false;            // whether it has a deletion record
};

struct IdHandle {
  InternedElementId id;
  std::uint32_t handle;
};

struct DeleteRecord {
  InternedElementId id;
  InternedDotSet dots;  // the delete operations that named the element
};

class SequenceNode {
 public:
  Slab<Element> elements;
  // The call of a document that made elements last, and the first element it
  // made (elements are made in handle order).
  std::uint64_t made_in_call = 0;
  std::uint32_t first_made = 0;
  SortedBlocks<IdHandle> ids;           // every element by id
  SortedBlocks<DeleteRecord> deletes;   // by id; ids need not have an element
  SequenceOrder order;

  std::uint32_t find(const InternedElementId& id, const ReplicaTable& replicas) const;
  // The element of `id`, created as {after: none, node: none, not inserted}
  // when missing; true when created.
  std::pair<std::uint32_t, bool> find_or_add(const InternedElementId& id, const ReplicaTable& replicas);
  // Removes the element of `id`, which must be the latest one created.
  void erase_latest(const InternedElementId& id, const ReplicaTable& replicas);
  // Appends an element whose id sorts after every id held (building in order).
  std::uint32_t push_back(Element element);

  DeleteRecord* find_delete(const InternedElementId& id, const ReplicaTable& replicas);
  const DeleteRecord* find_delete(const InternedElementId& id, const ReplicaTable& replicas) const;
  // The deletion record of `id`, created empty when missing; true when created.
  std::pair<DeleteRecord*, bool> delete_record(const InternedElementId& id, const ReplicaTable& replicas);
  void erase_delete(const InternedElementId& id, const ReplicaTable& replicas);
};

template <class Pred>
std::size_t EntryTable::erase_if(Pred&& pred) {
  std::size_t n = 0;
  for (std::uint32_t h : order_) n += pred(slab_[h]) ? 1 : 0;
  if (n == 0) return 0;
  // Rebuild both, keeping the survivors in key order.
  Slab<Entry> kept;
  SortedBlocks<std::uint32_t> order;
  for (std::uint32_t h : order_) {
    if (pred(slab_[h])) continue;
    order.push_back(kept.push(std::move(slab_[h])));
  }
  slab_ = std::move(kept);
  order_ = std::move(order);
  return n;
}

}  // namespace ww::crdt::reducer
