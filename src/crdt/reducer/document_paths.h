// Resolving CRDT paths against the policy tree and the node tree.
#pragma once

#include <string>
#include <utility>

#include "crdt/crdt_spec.h"
#include "crdt/reducer/crdt_ops.h"
#include "crdt/reducer/document_edit.h"
#include "crdt/reducer/interned_op.h"
#include "crdt/reducer/tree.h"
#include "format/result.h"

namespace ww::crdt::reducer {

// An operation's target path: its `path`, and for map_set and map_remove one
// more Key segment holding its `key`.
class TargetPath {
 public:
  TargetPath(const CrdtPath& path, const std::string* extra_key) : path_(path), extra_key_(extra_key) {}
  explicit TargetPath(const CrdtOp& op);

  std::size_t size() const { return path_.size() + (extra_key_ != nullptr ? 1 : 0); }
  CrdtPathSegment::Kind kind(std::size_t i) const {
    return i < path_.size() ? path_[i].kind : CrdtPathSegment::Kind::Key;
  }
  // The key of a Key or Member segment.
  const std::string& key(std::size_t i) const { return i < path_.size() ? path_[i].key : *extra_key_; }
  const ElementId& id(std::size_t i) const { return path_[i].id; }

 private:
  const CrdtPath& path_;
  const std::string* extra_key_;
};

// The policy at a path, walking the policy tree alone.
Result<const CrdtPolicy*> policy_at_path(const CrdtPolicy& root, const CrdtPath& path);

// The same walk with the identity rule for set members: a change may not
// address a member as a whole, touch, contain or lie inside one of its
// identity fields, nor change a member of a set without identity paths.
Status check_target_policy(const CrdtPolicy& root, const TargetPath& target);

template <class N>
struct PolicyNode {
  const CrdtPolicy* policy;
  N* node;
};

// The node at a path, read-only: every step must exist.
Result<PolicyNode<const Node>> node_at_path(const Node& root, const CrdtPolicy& policy, const CrdtPath& path,
                                            const ReplicaTable& replicas);
Result<PolicyNode<const Node>> node_at_path(const Node& root, const CrdtPolicy& policy,
                                            const std::vector<InternedStep>& path, const ReplicaTable& replicas);

// The node at a path, creating what is missing on the way; every map entry
// passed gets `dot` in its dots.
Result<PolicyNode<Node>> node_at_path_mut(Node& root, const CrdtPolicy& policy, const std::vector<InternedStep>& path,
                                          const InternedDot& dot, Editor& editor);

}  // namespace ww::crdt::reducer
