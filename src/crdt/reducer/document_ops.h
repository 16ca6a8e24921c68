// Applying one operation to a node tree, and what the operation changed.
#pragma once

#include "crdt/crdt_spec.h"
#include "crdt/reducer/crdt_ops.h"
#include "crdt/reducer/document_edit.h"
#include "crdt/reducer/node_state.h"
#include "format/result.h"

namespace ww::crdt::reducer {

// Applies `op` to `root` under the root policy; the causal context and the
// fingerprints are the caller's business.
Status apply_one(NodeState& root, const CrdtPolicy& policy, const CrdtOp& op, Editor& editor);

// Last writer wins; fails unless `node` is a register.
Status set_register(NodeState& node, const Value& value, const Dot& dot, Editor& editor);

// The dots that keep a subtree alive.
DotSet live_dots(const NodeState& node);

// The delta of `op`, read from the state after it was applied.
Result<CrdtDelta> delta_for(const CrdtOp& op, const CrdtPolicy& policy, const NodeState& root);

}  // namespace ww::crdt::reducer
