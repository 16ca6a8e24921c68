// Turning node state back into a plain value: materialisation, and the
// visible order of a sequence's elements.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <vector>

#include "crdt/crdt_spec.h"
#include "crdt/reducer/document_removed.h"
#include "crdt/reducer/node_state.h"
#include "crdt/reducer/tree.h"
#include "format/result.h"
#include "value/value.h"

namespace ww::crdt::reducer {

// Where a materialisation takes the order of sequence elements from.
enum class OrderSource {
  Kept,  // the order kept with each sequence
  Walk,  // the walk of anchors, done afresh (the plain form, for checking the kept one)
  Live,  // the kept order, recording in every element what it adds to the value
};

// The value of a node, or none when it is absent; `removed` holds the
// removals of the enclosing map entries and set members.
Result<std::optional<Value>> materialize_filtered(const Node& node, const CrdtPolicy& policy,
                                                  const RemovedChain* removed, const ReplicaTable& replicas,
                                                  OrderSource order);

// The value of a node; "root value is removed" when it materialises to nothing.
Result<Value> materialize_node(const Node& node, const CrdtPolicy& policy, const ReplicaTable& replicas,
                               OrderSource order);

// The handles of a sequence's inserted elements in visible order, by the
// walk of anchors.
std::vector<std::uint32_t> walk_sequence_order(const SequenceNode& seq, const ReplicaTable& replicas);

// The ids of a sequence's inserted entries in visible order, tombstones
// included, over the saved-state form.
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
bool node_yields(const Node& node, const RemovedChain* removed, const ReplicaTable& replicas);

}  // namespace ww::crdt::reducer
