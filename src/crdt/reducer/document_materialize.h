// Turning node state back into a plain value: materialisation, and the
// visible order of a sequence's elements.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <vector>

#include "crdt/crdt_spec.h"
#include "crdt/reducer/document_removed.h"
#include "crdt/reducer/document_sequence_view.h"
#include "crdt/reducer/node_state.h"
#include "format/result.h"
#include "value/value.h"

namespace ww::crdt::reducer {

// The value of a node; "root value is removed" when it materialises to nothing.
Result<Value> materialize_node(const NodeState& node, const CrdtPolicy& policy);

// The value of a node, or none when it is absent; `inherited_removed` holds
// the removals of the enclosing map entries and set members.
Result<std::optional<Value>> materialize_node_filtered(const NodeState& node, const CrdtPolicy& policy,
                                                       const DotSet& inherited_removed);

// The same over a chain of removed sets. With `views`, the view of every
// sequence materialised on the way is rebuilt, its slots marked with what
// they contribute to the value.
Result<std::optional<Value>> materialize_filtered(const NodeState& node, const CrdtPolicy& policy,
                                                  const RemovedChain* removed, SequenceViews* views);

// The ids of a sequence's inserted entries in visible order, tombstones included.
std::vector<ElementId> ordered_sequence_ids(const std::map<ElementId, SequenceEntryState>& entries);

// The depth-first step of that order, with an explicit stack: appends to
// `out` the not yet visited elements anchored at `anchor` and their subtrees.
void append_sequence_children(const std::optional<ElementId>& anchor,
                              const std::map<std::optional<ElementId>, std::vector<ElementId>>& children_by_anchor,
                              std::set<ElementId>& visited, std::vector<ElementId>& out);

// A string sequence's element value: a Str of exactly one Unicode scalar value.
Status check_string_element(const Value& value);

// Whether a node that materialised before still yields a value: only a
// register can be absent.
bool node_yields(const NodeState& node, const RemovedChain* removed);

}  // namespace ww::crdt::reducer
