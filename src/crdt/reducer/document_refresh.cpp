#include "crdt/reducer/document_refresh.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <variant>

#include "crdt/reducer/document_materialize.h"
#include "crdt/reducer/document_messages.h"
#include "crdt/reducer/member_key.h"

namespace ww::crdt::reducer {
namespace {

using Seg = CrdtPathSegment::Kind;

bool member_present(const SetEntryState& member, const RemovedChain* removed) {
  RemovedChain link{};
  const RemovedChain* r = extend_removed(removed, member.removed, link);
  return !all_removed(member.adds, r) && node_yields(member.node, r);
}

// A node whose value is recomputed in place rather than as a whole.
bool is_container(const NodeState& node, const CrdtPolicy& policy) {
  return node.kind() == policy.kind() && !node.is(NodeState::Kind::Register);
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

Result<LiveValue> materialize_live(const NodeState& root, const CrdtPolicy& policy) {
  LiveValue live;
  WW_TRY_ASSIGN(std::optional<Value> v, materialize_filtered(root, policy, nullptr, &live.views));
  if (!v) return Error::custom(kRootRemoved);
  live.value = std::move(*v);
  live.nan_count = count_nans(live.value);
  return live;
}

Result<bool> Refresher::after(const CrdtOp& op) {
  const TargetPath target(op);
  target_ = &target;
  mode_ = Mode::Whole;
  ids_.clear();
  keys_.clear();
  if (const auto* add = std::get_if<CrdtOp::SetAdd>(&op.op)) {
    WW_TRY_ASSIGN(const CrdtPolicy* at, policy_at_path(policy_, add->path));
    WW_TRY_ASSIGN(member_, member_key(at->set()->keys, add->value));
    mode_ = Mode::Member;
  } else if (const auto* rm = std::get_if<CrdtOp::SetRemove>(&op.op)) {
    member_ = rm->key;
    mode_ = Mode::Member;
  } else if (const auto* ins = std::get_if<CrdtOp::SequenceInsert>(&op.op)) {
    for (std::size_t i = 0; i < ins->values.size(); ++i) ids_.push_back(ElementId{ins->dot, static_cast<std::uint32_t>(i)});
    mode_ = Mode::Elements;
  } else if (const auto* del = std::get_if<CrdtOp::SequenceDelete>(&op.op)) {
    ids_ = del->ids;
    mode_ = Mode::Elements;
  }

  if (target.size() == 0 && root_.is(NodeState::Kind::Register)) {
    changes_.save(keys_, &live_.value);
    WW_TRY_ASSIGN(std::optional<Value> v, full(root_, policy_, nullptr));
    if (!v) return Error::custom(kRootRemoved);
    return replace(live_.value, std::move(*v));
  }
  return node(root_, policy_, nullptr, live_.value, 0, false);
}

Result<bool> Refresher::node(const NodeState& node, const CrdtPolicy& policy, const RemovedChain* removed, Value& cur,
                             std::size_t depth, bool saved) {
  if (node.kind() != policy.kind()) return Error::custom(kIncompatibleState);
  const TargetPath& target = *target_;
  if (depth == target.size()) {
    if (mode_ == Mode::Member && node.is(NodeState::Kind::Set)) {
      return set_member(node, policy, removed, cur, depth, member_, false, saved);
    }
    if (mode_ == Mode::Elements && node.is(NodeState::Kind::Sequence)) {
      return sequence_elements(node, policy, removed, cur, depth, ids_, false, saved);
    }
    return whole(node, policy, removed, cur, saved);
  }
  switch (target.kind(depth)) {
    case Seg::Key:
      if (node.is(NodeState::Kind::Map)) return map_entry(node, policy, removed, cur, depth, saved);
      break;
    case Seg::Member:
      if (node.is(NodeState::Kind::Set)) {
        return set_member(node, policy, removed, cur, depth, target.key(depth), true, saved);
      }
      break;
    case Seg::Element:
      if (node.is(NodeState::Kind::Sequence)) {
        return sequence_elements(node, policy, removed, cur, depth, {target.id(depth)}, true, saved);
      }
      break;
  }
  return whole(node, policy, removed, cur, saved);
}

Result<bool> Refresher::map_entry(const NodeState& node, const CrdtPolicy& policy, const RemovedChain* removed,
                                  Value& cur, std::size_t depth, bool saved) {
  const MapState& map = *node.map();
  const std::string& key = target_->key(depth);
  auto e = map.entries.find(key);
  if (e == map.entries.end() || !cur.is(Value::Kind::Map)) return whole(node, policy, removed, cur, saved);
  const MapEntryState& entry = e->second;
  const CrdtPolicy& child = policy.map()->child(key);
  RemovedChain link{};
  const RemovedChain* r = extend_removed(removed, entry.removed, link);
  const bool visible = !all_removed(entry.dots, r);

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
    WW_TRY_ASSIGN(std::optional<Value> v, full(entry.node, child, r));
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
  const bool last = depth + 1 == target_->size();
  if ((last && mode_ == Mode::Whole) || !is_container(entry.node, child)) {
    if (!saved) changes_.save(keys_, &slot);
    WW_TRY_ASSIGN(std::optional<Value> v, full(entry.node, child, r));
    return replace(slot, v ? std::move(*v) : Value::null());
  }
  // Map keys lead further down; a set or sequence below is one place, which
  // records itself.
  return this->node(entry.node, child, r, slot, depth + 1, saved);
}

Result<bool> Refresher::set_member(const NodeState& node, const CrdtPolicy& policy, const RemovedChain* removed,
                                   Value& cur, std::size_t depth, const std::string& key, bool descend,
                                   bool saved) {
  const SetState& set = *node.set();
  auto m = set.entries.find(key);
  if (m == set.entries.end()) return false;
  if (!cur.is(Value::Kind::List)) return whole(node, policy, removed, cur, saved);
  const CrdtPolicy& element = *policy.set()->element;

  // The member's place in the list: the members before it that show.
  std::size_t before = 0;
  std::size_t others = 0;
  bool passed = false;
  for (auto it = set.entries.begin(); it != set.entries.end(); ++it) {
    if (it == m) {
      passed = true;
      continue;
    }
    if (!member_present(it->second, removed)) continue;
    ++others;
    if (!passed) ++before;
  }
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

  const SetEntryState& member = m->second;
  RemovedChain link{};
  const RemovedChain* r = extend_removed(removed, member.removed, link);
  if (all_removed(member.adds, r)) return erase();
  if (had && descend && is_container(member.node, element)) {
    if (!saved) note_list_edit(cur, before, false);
    return this->node(member.node, element, r, *at, depth + 1, true);
  }
  WW_TRY_ASSIGN(std::optional<Value> v, full(member.node, element, r));
  if (!v) return erase();
  if (!saved) note_list_edit(cur, before, !had);
  if (had) return replace(*at, std::move(*v));
  live_.nan_count += count_nans(*v);
  list.insert(at, std::move(*v));
  return true;
}

Result<bool> Refresher::sequence_elements(const NodeState& node, const CrdtPolicy& policy,
                                          const RemovedChain* removed, Value& cur, std::size_t depth,
                                          const std::vector<ElementId>& ids, bool descend, bool saved) {
  const SequenceState& seq = *node.sequence();
  const SequencePolicy& sp = *policy.sequence();
  const CrdtPolicy& element = *sp.element;
  const bool as_string = sp.materialization == SequenceMaterialization::String;
  SequenceView* view = live_.views.find(&seq);
  if (view == nullptr || view->has_orphans || !cur.is(as_string ? Value::Kind::Str : Value::Kind::List)) {
    return whole(node, policy, removed, cur, saved);
  }

  std::vector<std::size_t> slots;
  slots.reserve(ids.size());
  for (const ElementId& id : ids) {
    auto e = seq.entries.find(id);
    if (e == seq.entries.end() || !e->second.inserted) continue;  // not in the order: never shown
    std::optional<std::size_t> p = view->find(&*e);
    if (!p) return whole(node, policy, removed, cur, saved);
    slots.push_back(*p);
  }
  if (slots.empty()) return false;
  std::sort(slots.begin(), slots.end());
  slots.erase(std::unique(slots.begin(), slots.end()), slots.end());

  auto showable = [&](const SequenceSlot& slot) {
    const auto& [id, e] = *slot.entry;
    return e.node && !slot.deleted && !removed_contains(removed, id.dot);
  };
  const std::size_t total = as_string ? cur.as_str().size() : cur.as_list().size();

  // A change inside one element of a list, which keeps showing.
  if (descend && !as_string) {
    const SequenceSlot& slot = view->slots[slots.front()];
    if (slot.shown != 0 && showable(slot) && is_container(*slot.entry->second.node, element)) {
      const std::size_t index = view->shown_before(slots.front(), total);
      if (!saved) note_list_edit(cur, index, false);
      return this->node(*slot.entry->second.node, element, removed, cur.as_list()[index], depth + 1, true);
    }
  }

  // The new values first (a child's error comes before any string check),
  // then the string checks, both in visible order.
  std::vector<std::optional<Value>> next(slots.size());
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const SequenceSlot& slot = view->slots[slots[i]];
    if (!showable(slot)) continue;
    WW_TRY_ASSIGN(next[i], full(*slot.entry->second.node, element, removed));
  }
  if (as_string) {
    for (const std::optional<Value>& v : next) {
      if (v) WW_TRY(check_string_element(*v));
    }
  }

  bool changed = false;
  std::size_t offset = view->shown_before(slots.front(), total);
  if (!saved) {
    // One element that stays or arrives in a list is one edit; anything
    // else needs the whole value before.
    const bool shown = view->slots[slots.front()].shown != 0;
    if (!as_string && slots.size() == 1 && next.front()) {
      note_list_edit(cur, offset, !shown);
    } else if (slots.size() > 1 || shown || next.front()) {
      changes_.save(keys_, &cur);
    }
  }
  std::size_t from = slots.front();
  for (std::size_t i = 0; i < slots.size(); ++i) {
    for (; from < slots[i]; ++from) offset += view->slots[from].shown;
    SequenceSlot& slot = view->slots[slots[i]];
    std::optional<Value>& v = next[i];
    if (as_string) {
      std::string& text = cur.as_str();
      const std::size_t old_len = slot.shown;
      const std::size_t new_len = v ? v->as_str().size() : 0;
      if (old_len != 0 || new_len != 0) {
        if (old_len != new_len || text.compare(offset, old_len, v->as_str()) != 0) changed = true;
        text.replace(offset, old_len, v ? v->as_str() : std::string());
      }
      slot.shown = static_cast<std::uint32_t>(new_len);
      continue;
    }
    Value::List& list = cur.as_list();
    const auto at = list.begin() + static_cast<std::ptrdiff_t>(offset);
    if (slot.shown != 0 && v) {
      changed = replace(*at, std::move(*v)) || changed;
    } else if (slot.shown != 0) {
      live_.nan_count -= count_nans(*at);
      list.erase(at);
      changed = true;
    } else if (v) {
      live_.nan_count += count_nans(*v);
      list.insert(at, std::move(*v));
      changed = true;
    }
    slot.shown = v ? 1 : 0;
  }
  return changed;
}

void Refresher::note_list_edit(const Value& list, std::size_t index, bool insertion) {
  ChangeTrie::ListEdit edit{index, std::nullopt};
  if (!insertion) edit.old_element = list.as_list()[index];
  changes_.save_list_edit(keys_, list, std::move(edit));
}

Result<bool> Refresher::whole(const NodeState& node, const CrdtPolicy& policy, const RemovedChain* removed,
                              Value& cur, bool saved) {
  if (!saved) changes_.save(keys_, &cur);
  WW_TRY_ASSIGN(std::optional<Value> v, full(node, policy, removed));
  if (!v) return Error::custom(kIncompatibleState);  // only a register is ever absent
  return replace(cur, std::move(*v));
}

Result<std::optional<Value>> Refresher::full(const NodeState& node, const CrdtPolicy& policy,
                                             const RemovedChain* removed) {
  return materialize_filtered(node, policy, removed, &live_.views);
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
