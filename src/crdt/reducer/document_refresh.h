// Keeping a document's materialised value up to date as operations are
// applied, without materialising the whole document again: after an
// operation only the nodes along its path, and what lies below its target,
// can materialise differently, so only those are recomputed, and each
// changed place is recorded for the call's patch.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "crdt/crdt_spec.h"
#include "crdt/reducer/document_changes.h"
#include "crdt/reducer/document_removed.h"
#include "crdt/reducer/interned_op.h"
#include "crdt/reducer/tree.h"
#include "format/result.h"
#include "value/value.h"

namespace ww::crdt::reducer {

// The materialised value of a document kept between calls.
struct LiveValue {
  Value value;
  std::uint64_t nan_count = 0;  // NaN floats anywhere in `value`
};

std::uint64_t count_nans(const Value& value);

// The root materialised afresh, recording in every sequence element what it
// adds to the value.
Result<LiveValue> materialize_live(const Node& root, const CrdtPolicy& policy, const ReplicaTable& replicas);

// Made once per call and used for each of its operations.
class Refresher {
 public:
  Refresher(LiveValue& live, ChangeTrie& changes, const CrdtPolicy& policy, const Node& root,
            const ReplicaTable& replicas)
      : live_(live), changes_(changes), policy_(policy), root_(root), replicas_(replicas) {}

  // After `op` has been applied to the root: brings the value up to date.
  // `member_key` is the key of the member that a set_add added. True when
  // the value at the changed places differs from before (by Value
  // equality); a materialisation error is returned as it is.
  Result<bool> after(const InternedOp& op, const std::string* member_key);

 private:
  enum class Mode { Whole, Member, Elements };

  // The target path: the op's path, and the key of a map_set or map_remove.
  std::size_t target_size() const { return op_->path.size() + (extra_key_ != nullptr ? 1 : 0); }
  CrdtPathSegment::Kind target_kind(std::size_t i) const {
    return i < op_->path.size() ? op_->path[i].kind : CrdtPathSegment::Kind::Key;
  }
  const std::string& target_key(std::size_t i) const { return i < op_->path.size() ? *op_->path[i].key : *extra_key_; }

  Result<bool> node(const Node& node, const CrdtPolicy& policy, const RemovedChain* removed, Value& cur,
                    std::size_t depth, bool saved);
  // Each takes a node of its kind whose kind matches its policy.
  Result<bool> map_entry(const Node& node, const CrdtPolicy& policy, const RemovedChain* removed, Value& cur,
                         std::size_t depth, bool saved);
  // `saved` false: `cur` is a place not recorded yet, at `keys_`.
  Result<bool> set_member(const Node& node, const CrdtPolicy& policy, const RemovedChain* removed, Value& cur,
                          std::size_t depth, const std::string& key, bool descend, bool saved);
  Result<bool> sequence_elements(const Node& node, const CrdtPolicy& policy, const RemovedChain* removed,
                                 Value& cur, std::size_t depth, const std::vector<InternedElementId>& ids,
                                 bool descend, bool saved);
  // Recomputes `cur` as the whole value of `node`, which always yields one.
  Result<bool> whole(const Node& node, const CrdtPolicy& policy, const RemovedChain* removed, Value& cur,
                     bool saved);
  // Records the list place at `keys_` before one element at `index` changes.
  void note_list_edit(const Value& list, std::size_t index, bool insertion);
  Result<std::optional<Value>> full(const Node& node, const CrdtPolicy& policy, const RemovedChain* removed);
  // Puts `next` in place of `slot`; true when they differ.
  bool replace(Value& slot, Value next);

  LiveValue& live_;
  ChangeTrie& changes_;
  const CrdtPolicy& policy_;
  const Node& root_;
  const ReplicaTable& replicas_;

  // The operation at hand.
  const InternedOp* op_ = nullptr;
  const std::string* extra_key_ = nullptr;
  Mode mode_ = Mode::Whole;
  const std::string* member_ = nullptr;   // Member mode: the member's key
  std::vector<InternedElementId> ids_;    // Elements mode
  std::vector<const std::string*> keys_;  // map keys from the root to the node at hand

  // The elements an operation changed in one sequence, and their new
  // values; kept for their storage from one operation to the next.
  struct Place {
    SequenceOrder::Cursor at;
    std::uint32_t handle;
  };
  std::vector<Place> places_;
  std::vector<std::optional<Value>> next_;
};

}  // namespace ww::crdt::reducer
