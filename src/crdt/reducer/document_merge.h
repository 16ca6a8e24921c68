// Merging a plain value into node state under a policy, with one dot.
#pragma once

#include "crdt/crdt_spec.h"
#include "crdt/reducer/document_edit.h"
#include "crdt/reducer/node_state.h"
#include "format/result.h"
#include "value/value.h"

namespace ww::crdt::reducer {

// Changes `node` in place; on an error the node is left partly merged, for
// the caller to discard.
Status merge_value(NodeState& node, const CrdtPolicy& policy, const Value& value, const Dot& dot);

// The same through an editor, so that the changes can be undone.
Status merge_value(NodeState& node, const CrdtPolicy& policy, const Value& value, const Dot& dot, Editor& editor);

// Last writer wins: `reg` takes the value and dot unless it holds a greater dot.
void write_if_newer(RegisterState& reg, const Value& value, const Dot& dot, Editor& editor);

}  // namespace ww::crdt::reducer
