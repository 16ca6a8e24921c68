#include "crdt/reducer/document_edit.h"

#include <string>

namespace ww::crdt::reducer {

void Journal::rollback() {
  while (!undo_.empty()) {
    undo_.back()();
    undo_.pop_back();
  }
}

bool Editor::add_dot(DotSet& set, const Dot& dot) {
  // Not a structured binding: Clang 14 cannot capture one in a lambda.
  const auto inserted = set.insert(dot);
  if (inserted.second && journal_ != nullptr) {
    journal_->record([&set, it = inserted.first] { set.erase(it); });
  }
  return inserted.second;
}

void Editor::add_dots(DotSet& set, const std::vector<Dot>& dots) {
  for (const Dot& d : dots) add_dot(set, d);
}

MapEntryState& Editor::map_entry(MapState& map, std::string_view key, CrdtPolicy::Kind kind) {
  auto it = map.entries.find(key);
  if (it != map.entries.end()) return it->second;
  it = map.entries.emplace_hint(it, std::string(key), MapEntryState{NodeState::empty(kind), {}, {}, {}});
  if (journal_ != nullptr) journal_->record([&entries = map.entries, it] { entries.erase(it); });
  return it->second;
}

SetEntryState& Editor::set_member(SetState& set, std::string_view key, CrdtPolicy::Kind kind) {
  auto it = set.entries.find(key);
  if (it != set.entries.end()) return it->second;
  it = set.entries.emplace_hint(it, std::string(key), SetEntryState{NodeState::empty(kind), {}, {}, {}});
  if (journal_ != nullptr) journal_->record([&entries = set.entries, it] { entries.erase(it); });
  return it->second;
}

SequenceEntry& Editor::sequence_entry(SequenceState& seq, const ElementId& id) {
  auto it = seq.entries.lower_bound(id);
  if (it != seq.entries.end() && it->first == id) return *it;
  it = seq.entries.emplace_hint(it, id, SequenceEntryState{});
  if (journal_ != nullptr) journal_->record([&entries = seq.entries, it] { entries.erase(it); });
  return *it;
}

void Editor::set_after(SequenceState& seq, SequenceEntry& entry, const std::optional<ElementId>& after) {
  SequenceEntryState& e = entry.second;
  if (e.after == after) return;
  if (journal_ != nullptr) journal_->record([&e, old = e.after] { e.after = old; });
  e.after = after;
  if (e.inserted && views_ != nullptr) views_->on_anchor_moved(seq);
}

NodeState& Editor::element_node(SequenceEntry& entry, CrdtPolicy::Kind kind) {
  SequenceEntryState& e = entry.second;
  if (!e.node) {
    e.node.emplace(NodeState::empty(kind));
    if (journal_ != nullptr) journal_->record([&e] { e.node.reset(); });
  }
  return *e.node;
}

void Editor::mark_inserted(SequenceState& seq, SequenceEntry& entry) {
  SequenceEntryState& e = entry.second;
  if (e.inserted) return;
  e.inserted = true;
  if (journal_ != nullptr) journal_->record([&e] { e.inserted = false; });
  if (views_ != nullptr) views_->on_inserted(seq, entry);
}

void Editor::add_delete(SequenceState& seq, const ElementId& id, const Dot& dot) {
  auto it = seq.deletes.lower_bound(id);
  if (it == seq.deletes.end() || it->first != id) {
    it = seq.deletes.emplace_hint(it, id, DotSet{});
    if (journal_ != nullptr) journal_->record([&deletes = seq.deletes, it] { deletes.erase(it); });
    if (views_ != nullptr) views_->on_deleted(seq, id);
  }
  add_dot(it->second, dot);
}

void Editor::write_register(RegisterState& reg, const Value& value, const Dot& dot) {
  if (journal_ != nullptr) {
    journal_->record([&reg, old_value = std::move(reg.value), old_dot = std::move(reg.dot)]() mutable {
      reg.value = std::move(old_value);
      reg.dot = std::move(old_dot);
    });
  }
  reg.value = value;
  reg.dot = dot;
}

}  // namespace ww::crdt::reducer
