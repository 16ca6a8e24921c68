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

// Where an operation was applied, for its delta.
struct AppliedAt {
  const Node* node = nullptr;        // the node at the operation's path
  const CrdtPolicy* policy = nullptr;
  std::string member_key;            // set_add: the key the member received
};

// Applies `op` to `root` under the root policy; the op log is the caller's
// business.
Status apply_one(Node& root, const CrdtPolicy& policy, const InternedOp& op, Editor& editor, AppliedAt& at);

// Last writer wins; fails unless `node` is a register.
Status set_register(Node& node, const Value& value, const InternedDot& dot, Editor& editor);

// The dots that keep a subtree alive, united with `dots`, ascending.
std::vector<InternedDot> live_dots_with(const InternedDotSet& dots, const Node& node, const ReplicaTable& replicas);

// Appends the delta of `op`, read from the state after it was applied
// where apply_one left `at`. On an error, what it appended is to be dropped.
Status write_delta(const InternedOp& op, const AppliedAt& at, const ReplicaTable& replicas, OrderSource order,
                   std::string& out);

}  // namespace ww::crdt::reducer
