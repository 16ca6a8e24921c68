// Changing a document's node tree so that a failed call can be undone.
// Every change goes through an Editor, which records how to undo it in a
// Journal and tells the sequence views about changes of order. Undoing runs
// the records backwards, so each one finds the tree as it left it.
#pragma once

#include <functional>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "crdt/crdt_spec.h"
#include "crdt/reducer/document_sequence_view.h"
#include "crdt/reducer/node_state.h"
#include "value/value.h"

namespace ww::crdt::reducer {

class Journal {
 public:
  Journal() = default;
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  template <class F>
  void record(F&& undo) {
    undo_.emplace_back(std::forward<F>(undo));
  }
  // Undoes everything recorded, latest first.
  void rollback();

 private:
  std::vector<std::function<void()>> undo_;
};

class Editor {
 public:
  // Either may be null: nothing is recorded, no view is told.
  Editor(Journal* journal, SequenceViews* views) : journal_(journal), views_(views) {}

  // Inserts `dot`; true when it was not there yet.
  bool add_dot(DotSet& set, const Dot& dot);
  void add_dots(DotSet& set, const std::vector<Dot>& dots);

  // The entry of `key`, created with the empty node of `kind` when missing.
  MapEntryState& map_entry(MapState& map, std::string_view key, CrdtPolicy::Kind kind);
  SetEntryState& set_member(SetState& set, std::string_view key, CrdtPolicy::Kind kind);
  // The element entry of `id`, created as {after: none, node: none, not inserted}.
  SequenceEntry& sequence_entry(SequenceState& seq, const ElementId& id);

  void set_after(SequenceState& seq, SequenceEntry& entry, const std::optional<ElementId>& after);
  // The element's node, given the empty node of `kind` when it has none.
  NodeState& element_node(SequenceEntry& entry, CrdtPolicy::Kind kind);
  void mark_inserted(SequenceState& seq, SequenceEntry& entry);
  // Adds `dot` to the deletion record of `id`, creating the record.
  void add_delete(SequenceState& seq, const ElementId& id, const Dot& dot);

  void write_register(RegisterState& reg, const Value& value, const Dot& dot);

  Journal* journal() const { return journal_; }

 private:
  Journal* journal_;
  SequenceViews* views_;
};

}  // namespace ww::crdt::reducer
