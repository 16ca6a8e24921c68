#include "crdt/reducer/document_refresh.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "crdt/reducer/document_materialize.h"
#include "crdt/reducer/document_messages.h"

namespace ww::crdt::reducer {
namespace {

using Seg = CrdtPathSegment::Kind;

bool member_present(const Entry& member, const RemovedChain* removed, const ReplicaTable& replicas) {
  RemovedChain link{};
  const RemovedChain* r = extend_removed(removed, member.removed, link);
  return !all_removed(member.dots, r, replicas) && node_yields(member.node, r, replicas);
}

// A node whose value is recomputed in place rather than as a whole.
bool is_container(const Node& node, const CrdtPolicy& policy) {
  return node.kind() == policy.kind() && !node.is(Node::Kind::Register);
}

bool cursor_less(const SequenceOrder::Cursor& a, const SequenceOrder::Cursor& b) {
  return a.rank != b.rank ? a.rank < b.rank : a.slot < b.slot;
}

}  // namespace

std::uint64_t count_nans(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Float: return std::isnan(value.as_float()) ? 1 : 0;
    case Value::Kind::List: {
      std::uint64_t n = 0;
      for (const Value& v : value.as_list()) n += count_nans(v);
      return n;
    }
    case Value::Kind::Map: {
      std::uint64_t n = 0;
      for (const auto& [k, v] : value.as_map()) n += count_nans(v);
      return n;
    }
    default: return 0;
  }
}

Result<LiveValue> materialize_live(const Node& root, const CrdtPolicy& policy, const ReplicaTable& replicas) {
  LiveValue live;
  WW_TRY_ASSIGN(std::optional<Value> v, materialize_filtered(root, policy, nullptr, replicas, OrderSource::Live));
  if (!v) return Error::custom(kRootRemoved);
  live.value = std::move(*v);
  live.nan_count = count_nans(live.value);
  return live;
}

Result<bool> Refresher::after(const InternedOp& op, const std::string* member_key) {
  op_ = &op;
  extra_key_ = op.kind == CrdtOp::Kind::MapSet || op.kind == CrdtOp::Kind::MapRemove ? op.key : nullptr;
  mode_ = Mode::Whole;
  ids_.clear();
  keys_.clear();
  switch (op.kind) {
    case CrdtOp::Kind::SetAdd:
      member_ = member_key;
      mode_ = Mode::Member;
      break;
    case CrdtOp::Kind::SetRemove:
      member_ = op.key;
      mode_ = Mode::Member;
      break;
    case CrdtOp::Kind::SequenceInsert:
      for (std::size_t i = 0; i < op.values->size(); ++i) {
        ids_.push_back(InternedElementId{op.dot.counter, op.dot.replica, static_cast<std::uint32_t>(i)});
      }
      mode_ = Mode::Elements;
      break;
    case CrdtOp::Kind::SequenceDelete:
      ids_ = op.ids;
      mode_ = Mode::Elements;
      break;
    default: break;
  }

  if (target_size() == 0 && root_.is(Node::Kind::Register)) {
    changes_.save(keys_, &live_.value);
    WW_TRY_ASSIGN(std::optional<Value> v, full(root_, policy_, nullptr));
    if (!v) return Error::custom(kRootRemoved);
    return replace(live_.value, std::move(*v));
  }
  return node(root_, policy_, nullptr, live_.value, 0, false);
}

Result<bool> Refresher::node(const Node& node, const CrdtPolicy& policy, const RemovedChain* removed, Value& cur,
                             std::size_t depth, bool saved) {
  if (node.kind() != policy.kind()) return Error::custom(kIncompatibleState);
  if (depth == target_size()) {
    if (mode_ == Mode::Member && node.is(Node::Kind::Set)) {
      return set_member(node, policy, removed, cur, depth, *member_, false, saved);
    }
    if (mode_ == Mode::Elements && node.is(Node::Kind::Sequence)) {
      return sequence_elements(node, policy, removed, cur, depth, ids_, false, saved);
    }
    return whole(node, policy, removed, cur, saved);
  }
  switch (target_kind(depth)) {
    case Seg::Key:
      if (node.is(Node::Kind::Map)) return map_entry(node, policy, removed, cur, depth, saved);
      break;
    case Seg::Member:
      if (node.is(Node::Kind::Set)) return set_member(node, policy, removed, cur, depth, target_key(depth), true, saved);
      break;
    case Seg::Element:
      if (node.is(Node::Kind::Sequence)) {
        return sequence_elements(node, policy, removed, cur, depth, {op_->path[depth].id}, true, saved);
      }
      break;
  }
  return whole(node, policy, removed, cur, saved);
}

Result<bool> Refresher::map_entry(const Node& node, const CrdtPolicy& policy, const RemovedChain* removed,
                                  Value& cur, std::size_t depth, bool saved) {
  const std::string& key = target_key(depth);
  const Entry* entry = node.map()->find(key);
  if (entry == nullptr || !cur.is(Value::Kind::Map)) return whole(node, policy, removed, cur, saved);
  const CrdtPolicy& child = policy.map()->child(key);
  RemovedChain link{};
  const RemovedChain* r = extend_removed(removed, entry->removed, link);
  const bool visible = !all_removed(entry->dots, r, replicas_);

  Value::Map& values = cur.as_map();
  auto it = values.find(key);
  const bool had = it != values.end();
  if (!had && !visible) return false;

  keys_.push_back(&key);
  struct Pop {
    std::vector<const std::string*>& keys;
    ~Pop() { keys.pop_back(); }
  } pop{keys_};

  if (!had) {
    if (!saved) changes_.save(keys_, nullptr);
    WW_TRY_ASSIGN(std::optional<Value> v, full(entry->node, child, r));
    Value next = v ? std::move(*v) : Value::null();
    live_.nan_count += count_nans(next);
    values.emplace(key, std::move(next));
    return true;
  }
  if (!visible) {
    if (!saved) changes_.save(keys_, &it->second);
    live_.nan_count -= count_nans(it->second);
    values.erase(it);
    return true;
  }
  Value& slot = it->second;
  const bool last = depth + 1 == target_size();
  if ((last && mode_ == Mode::Whole) || !is_container(entry->node, child)) {
    if (!saved) changes_.save(keys_, &slot);
    WW_TRY_ASSIGN(std::optional<Value> v, full(entry->node, child, r));
    return replace(slot, v ? std::move(*v) : Value::null());
  }
  // Map keys lead further down; a set or sequence below is one place, which
  // records itself.
  return this->node(entry->node, child, r, slot, depth + 1, saved);
}

Result<bool> Refresher::set_member(const Node& node, const CrdtPolicy& policy, const RemovedChain* removed,
                                   Value& cur, std::size_t depth, const std::string& key, bool descend,
                                   bool saved) {
  const EntryTable& set = *node.set();
  const Entry* m = set.find(key);
  if (m == nullptr) return false;
  if (!cur.is(Value::Kind::List)) return whole(node, policy, removed, cur, saved);
  const CrdtPolicy& element = *policy.set()->element;

  // The member's place in the list: the members before it that show.
  std::size_t before = 0;
  std::size_t others = 0;
  bool passed = false;
  set.for_each([&](const Entry& e) {
    if (&e == m) {
      passed = true;
      return;
    }
    if (!member_present(e, removed, replicas_)) return;
    ++others;
    if (!passed) ++before;
  });
  Value::List& list = cur.as_list();
  if (list.size() != others && list.size() != others + 1) return whole(node, policy, removed, cur, saved);
  const bool had = list.size() == others + 1;
  const auto at = list.begin() + static_cast<std::ptrdiff_t>(before);
  auto erase = [&]() -> bool {
    if (!had) return false;
    if (!saved) changes_.save(keys_, &cur);
    live_.nan_count -= count_nans(*at);
    list.erase(at);
    return true;
  };

  RemovedChain link{};
  const RemovedChain* r = extend_removed(removed, m->removed, link);
  if (all_removed(m->dots, r, replicas_)) return erase();
  if (had && descend && is_container(m->node, element)) {
    if (!saved) note_list_edit(cur, before, false);
    return this->node(m->node, element, r, *at, depth + 1, true);
  }
  WW_TRY_ASSIGN(std::optional<Value> v, full(m->node, element, r));
  if (!v) return erase();
  if (!saved) note_list_edit(cur, before, !had);
  if (had) return replace(*at, std::move(*v));
  live_.nan_count += count_nans(*v);
  list.insert(at, std::move(*v));
  return true;
}

Result<bool> Refresher::sequence_elements(const Node& node, const CrdtPolicy& policy, const RemovedChain* removed,
                                          Value& cur, std::size_t depth, const std::vector<InternedElementId>& ids,
                                          bool descend, bool saved) {
  // The shown sizes below are kept in the elements: the node is ours to update.
  SequenceNode& seq = const_cast<SequenceNode&>(*node.sequence());
  const SequencePolicy& sp = *policy.sequence();
  const CrdtPolicy& element = *sp.element;
  const bool as_string = sp.materialization == SequenceMaterialization::String;
  if (seq.order.take_relaid() || seq.order.has_orphans() || !cur.is(as_string ? Value::Kind::Str : Value::Kind::List)) {
    return whole(node, policy, removed, cur, saved);
  }

  // Descending into an element below returns at once, so the storage is
  // free to be used again down there.
  std::vector<Place>& places = places_;
  places.clear();
  for (const InternedElementId& id : ids) {
    const std::uint32_t h = seq.find(id, replicas_);
    if (h == kNoHandle || !seq.elements[h].inserted) continue;  // not in the order: never shown
    places.push_back(Place{seq.order.find(seq.elements[h], h), h});
  }
  if (places.empty()) return false;
  std::sort(places.begin(), places.end(), [](const Place& a, const Place& b) { return cursor_less(a.at, b.at); });
  places.erase(std::unique(places.begin(), places.end(), [](const Place& a, const Place& b) { return a.handle == b.handle; }),
               places.end());

  auto showable = [&](const Element& e) {
    return e.node.present() && !e.deleted && !removed_contains(removed, e.id.dot(), replicas_);
  };

  // A change inside one element of a list, which keeps showing.
  if (descend && !as_string) {
    const Element& e = seq.elements[places.front().handle];
    if (seq.order.shown(places.front().at) != 0 && showable(e) && is_container(e.node, element)) {
      const std::size_t index = seq.order.before(places.front().at).shown;
      if (!saved) note_list_edit(cur, index, false);
      return this->node(e.node, element, removed, cur.as_list()[index], depth + 1, true);
    }
  }

  // The new values first (a child's error comes before any string check),
  // then the string checks, both in visible order.
  std::vector<std::optional<Value>>& next = next_;
  next.clear();
  next.resize(places.size());
  for (std::size_t i = 0; i < places.size(); ++i) {
    const Element& e = seq.elements[places[i].handle];
    if (!showable(e)) continue;
    WW_TRY_ASSIGN(next[i], full(e.node, element, removed));
  }
  if (as_string) {
    for (const std::optional<Value>& v : next) {
      if (v) WW_TRY(check_string_element(*v));
    }
  }

  bool changed = false;
  if (!saved) {
    // One element that stays or arrives in a list is one edit; anything
    // else needs the whole value before.
    const bool shown = seq.order.shown(places.front().at) != 0;
    if (!as_string && places.size() == 1 && next.front()) {
      note_list_edit(cur, seq.order.before(places.front().at).shown, !shown);
    } else if (as_string && places.size() == 1 && (shown || next.front())) {
      // The bytes of one element: its span now, and what replaces it.
      const SequenceOrder::Cursor at = places.front().at;
      changes_.save_string_edit(keys_, cur, seq.order.before(at).shown, seq.order.shown(at),
                                next.front() ? next.front()->as_str().size() : 0);
    } else if (places.size() > 1 || shown || next.front()) {
      changes_.save(keys_, &cur);
    }
  }
  for (std::size_t i = 0; i < places.size(); ++i) {
    const SequenceOrder::Cursor at = places[i].at;
    const std::uint8_t was_shown = seq.order.shown(at);
    std::optional<Value>& v = next[i];
    // Earlier changes are already counted in the sums before this place.
    const std::size_t offset = seq.order.before(at).shown;
    if (as_string) {
      std::string& text = cur.as_str();
      const std::size_t old_len = was_shown;
      const std::size_t new_len = v ? v->as_str().size() : 0;
      if (old_len != 0 || new_len != 0) {
        if (old_len != new_len || text.compare(offset, old_len, v->as_str()) != 0) changed = true;
        text.replace(offset, old_len, v ? v->as_str() : std::string());
      }
      seq.order.set_shown(at, static_cast<std::uint8_t>(new_len));
      continue;
    }
    Value::List& list = cur.as_list();
    const auto it = list.begin() + static_cast<std::ptrdiff_t>(offset);
    if (was_shown != 0 && v) {
      changed = replace(*it, std::move(*v)) || changed;
    } else if (was_shown != 0) {
      live_.nan_count -= count_nans(*it);
      list.erase(it);
      changed = true;
    } else if (v) {
      live_.nan_count += count_nans(*v);
      list.insert(it, std::move(*v));
      changed = true;
    }
    seq.order.set_shown(at, v ? 1 : 0);
  }
  return changed;
}

void Refresher::note_list_edit(const Value& list, std::size_t index, bool insertion) {
  ChangeTrie::ListEdit edit{index, std::nullopt};
  if (!insertion) edit.old_element = list.as_list()[index];
  changes_.save_list_edit(keys_, list, std::move(edit));
}

Result<bool> Refresher::whole(const Node& node, const CrdtPolicy& policy, const RemovedChain* removed, Value& cur,
                              bool saved) {
  if (!saved) changes_.save(keys_, &cur);
  WW_TRY_ASSIGN(std::optional<Value> v, full(node, policy, removed));
  if (!v) return Error::custom(kIncompatibleState);  // only a register is ever absent
  return replace(cur, std::move(*v));
}

Result<std::optional<Value>> Refresher::full(const Node& node, const CrdtPolicy& policy, const RemovedChain* removed) {
  return materialize_filtered(node, policy, removed, replicas_, OrderSource::Live);
}

bool Refresher::replace(Value& slot, Value next) {
  const bool changed = !(slot == next);
  if (changed) {
    live_.nan_count -= count_nans(slot);
    live_.nan_count += count_nans(next);
  }
  slot = std::move(next);
  return changed;
}

}  // namespace ww::crdt::reducer
