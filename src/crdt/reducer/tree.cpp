#include "crdt/reducer/tree.h"

#include <new>

#include "crdt/invariant.h"

namespace ww::crdt::reducer {

Node Node::empty(Kind kind) {
  Node n;
  switch (kind) {
    case Kind::Register: new (&n.value_) StoredValue(); break;
    case Kind::Map:
    case Kind::Set: n.table_ = new EntryTable(); break;
    case Kind::Sequence: n.sequence_ = new SequenceNode(); break;
  }
  n.kind_ = static_cast<std::uint8_t>(kind);
  return n;
}

Node::Node(Node&& other) noexcept
    : dot_counter_(other.dot_counter_), dot_replica_(other.dot_replica_), kind_(other.kind_) {
  switch (kind_) {
    case static_cast<std::uint8_t>(Kind::Register):
      new (&value_) StoredValue(std::move(other.value_));
      other.value_.~StoredValue();
      break;
    case static_cast<std::uint8_t>(Kind::Map):
    case static_cast<std::uint8_t>(Kind::Set): table_ = other.table_; break;
    case static_cast<std::uint8_t>(Kind::Sequence): sequence_ = other.sequence_; break;
    default: break;
  }
  // The heap parts now belong here.
  other.kind_ = kAbsent;
  other.dot_replica_ = kNoReplica;
  other.dot_counter_ = 0;
}

Node& Node::operator=(Node&& other) noexcept {
  if (this != &other) {
    release();
    new (this) Node(std::move(other));
  }
  return *this;
}

void Node::release() {
  switch (kind_) {
    case static_cast<std::uint8_t>(Kind::Register): value_.~StoredValue(); break;
    case static_cast<std::uint8_t>(Kind::Map):
    case static_cast<std::uint8_t>(Kind::Set): delete table_; break;
    case static_cast<std::uint8_t>(Kind::Sequence): delete sequence_; break;
    default: break;
  }
  kind_ = kAbsent;
  dot_replica_ = kNoReplica;
  dot_counter_ = 0;
}

// ---- EntryTable ----

SortedBlocks<std::uint32_t>::Pos EntryTable::lower_bound(std::string_view key) const {
  return order_.lower_bound([&](std::uint32_t h) { return std::string_view(slab_[h].key) < key; });
}

Entry* EntryTable::find(std::string_view key) {
  auto p = lower_bound(key);
  if (order_.at_end(p)) return nullptr;
  Entry& e = slab_[order_.at(p)];
  return e.key == key ? &e : nullptr;
}

const Entry* EntryTable::find(std::string_view key) const { return const_cast<EntryTable*>(this)->find(key); }

std::pair<Entry*, bool> EntryTable::find_or_add(std::string_view key, Node::Kind kind) {
  auto p = lower_bound(key);
  if (!order_.at_end(p)) {
    Entry& e = slab_[order_.at(p)];
    if (e.key == key) return {&e, false};
  }
  const std::uint32_t h = slab_.push(Entry{std::string(key), Node::empty(kind), {}, {}, {}});
  order_.insert(p, h);
  return {&slab_[h], true};
}

Entry& EntryTable::push_back(std::string key, Node node) {
  const std::uint32_t h = slab_.push(Entry{std::move(key), std::move(node), {}, {}, {}});
  order_.push_back(h);
  return slab_[h];
}

void EntryTable::erase_latest(std::string_view key) {
  auto p = lower_bound(key);
  if (order_.at_end(p) || order_.at(p) + 1 != slab_.size()) broken_invariant("undoing an entry out of order");
  order_.erase(p);
  slab_.pop();
}

// ---- SequenceNode ----

namespace {

auto id_before(const InternedElementId& id, const ReplicaTable& replicas) {
  return [&](const auto& record) { return replicas.less(record.id, id); };
}

}  // namespace

std::uint32_t SequenceNode::find(const InternedElementId& id, const ReplicaTable& replicas) const {
  auto p = ids.lower_bound(id_before(id, replicas));
  if (ids.at_end(p) || !(ids.at(p).id == id)) return kNoHandle;
  return ids.at(p).handle;
}

std::pair<std::uint32_t, bool> SequenceNode::find_or_add(const InternedElementId& id,
                                                         const ReplicaTable& replicas) {
  auto p = ids.lower_bound(id_before(id, replicas));
  if (!ids.at_end(p) && ids.at(p).id == id) return {ids.at(p).handle, false};
  Element e;
  e.id = id;
  e.deleted = find_delete(id, replicas) != nullptr;
  const std::uint32_t h = elements.push(std::move(e));
  ids.insert(p, IdHandle{id, h});
  return {h, true};
}

void SequenceNode::erase_latest(const InternedElementId& id, const ReplicaTable& replicas) {
  auto p = ids.lower_bound(id_before(id, replicas));
  if (ids.at_end(p) || ids.at(p).handle + 1 != elements.size()) broken_invariant("undoing an element out of order");
  ids.erase(p);
  elements.pop();
}

std::uint32_t SequenceNode::push_back(Element element) {
  const InternedElementId id = element.id;
  const std::uint32_t h = elements.push(std::move(element));
  ids.push_back(IdHandle{id, h});
  return h;
}

DeleteRecord* SequenceNode::find_delete(const InternedElementId& id, const ReplicaTable& replicas) {
  auto p = deletes.lower_bound(id_before(id, replicas));
  if (deletes.at_end(p) || !(deletes.at(p).id == id)) return nullptr;
  return &deletes.at(p);
}

const DeleteRecord* SequenceNode::find_delete(const InternedElementId& id, const ReplicaTable& replicas) const {
  return const_cast<SequenceNode*>(this)->find_delete(id, replicas);
}

std::pair<DeleteRecord*, bool> SequenceNode::delete_record(const InternedElementId& id, const ReplicaTable& replicas) {
  auto p = deletes.lower_bound(id_before(id, replicas));
  if (!deletes.at_end(p) && deletes.at(p).id == id) return {&deletes.at(p), false};
  p = deletes.insert(p, DeleteRecord{id, {}});
  return {&deletes.at(p), true};
}

void SequenceNode::erase_delete(const InternedElementId& id, const ReplicaTable& replicas) {
  auto p = deletes.lower_bound(id_before(id, replicas));
  if (!deletes.at_end(p) && deletes.at(p).id == id) deletes.erase(p);
}

}  // namespace ww::crdt::reducer
