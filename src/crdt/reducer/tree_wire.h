// The compact node tree and op log to and from the saved-state form: the
// records that the readers produce and the writers take, and the text.
#pragma once

#include <string>

#include "crdt/reducer/crdt_state.h"
#include "crdt/reducer/node_state.h"
#include "crdt/reducer/op_log.h"
#include "crdt/reducer/tree.h"

namespace ww::crdt::reducer {

Node node_from_wire(NodeState&& wire, ReplicaTable& replicas);
NodeState node_to_wire(const Node& node, const ReplicaTable& replicas);

CausalContext context_to_wire(const OpLog& log, const ReplicaTable& replicas);
FingerprintTable fingerprints_to_wire(const OpLog& log, const ReplicaTable& replicas);

// The node's compact JSON text, exactly as write_node_state writes its record.
void write_node(const Node& node, const ReplicaTable& replicas, std::string& out);

}  // namespace ww::crdt::reducer
