// Applying one operation to a node tree, the dots that keep a subtree
// alive, and the delta of an operation.
#pragma once

#include <string>
#include <vector>

#include "crdt/crdt_spec.h"
#include "crdt/reducer/document_edit.h"
#include "crdt/reducer/document_materialize.h"
#include "crdt/reducer/interned_op.h"
#include "crdt/reducer/tree.h"
#include "format/result.h"

namespace ww::crdt::reducer {

// Applies `op` to `root` under the root policy; the op log is the caller's
// business. A set_add's member key is left in `member_key`.
Status apply_one(Node& root, const CrdtPolicy& policy, const InternedOp& op, Editor& editor,
                 std::string& member_key);

// Last writer wins; fails unless `node` is a register.
Status set_register(Node& node, const Value& value, const InternedDot& dot, Editor& editor);

// The dots that keep a subtree alive, united with `dots`, ascending.
std::vector<InternedDot> live_dots_with(const InternedDotSet& dots, const Node& node, const ReplicaTable& replicas);

// Appends the delta of `op`, read from the state after it was applied;
// `member_key` is what apply_one left for a set_add.
Status write_delta(const InternedOp& op, const std::string& member_key, const CrdtPolicy& policy, const Node& root,
                   const ReplicaTable& replicas, OrderSource order, std::string& out);

}  // namespace ww::crdt::reducer
