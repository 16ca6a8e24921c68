// Keeping a document's materialised value up to date as operations are
// applied, without materialising the whole document again: after an
// operation only the nodes along its path, and what lies below its target,
// can materialise differently, so only those are recomputed, and each
// changed place is recorded for the call's patch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crdt/crdt_spec.h"
#include "crdt/reducer/crdt_ops.h"
#include "crdt/reducer/document_changes.h"
#include "crdt/reducer/document_paths.h"
#include "crdt/reducer/document_removed.h"
#include "crdt/reducer/document_sequence_view.h"
#include "crdt/reducer/node_state.h"
#include "format/result.h"
#include "value/value.h"

namespace ww::crdt::reducer {

// The materialised value of a document kept between calls, with the views
// of the sequences in it.
struct LiveValue {
  Value value;
  std::uint64_t nan_count = 0;  // NaN floats anywhere in `value`
  SequenceViews views;
};

std::uint64_t count_nans(const Value& value);

// The root materialised afresh, its sequence views rebuilt.
Result<LiveValue> materialize_live(const NodeState& root, const CrdtPolicy& policy);

class Refresher {
 public:
  Refresher(LiveValue& live, ChangeTrie& changes, const CrdtPolicy& policy, const NodeState& root)
      : live_(live), changes_(changes), policy_(policy), root_(root) {}

  // After `op` has been applied to the root: brings the value up to date.
  // True when the value at the changed places differs from before (by
  // Value equality); a materialisation error is returned as it is.
  Result<bool> after(const CrdtOp& op);

 private:
  enum class Mode { Whole, Member, Elements };

  Result<bool> node(const NodeState& node, const CrdtPolicy& policy, const RemovedChain* removed, Value& cur,
                    std::size_t depth, bool saved);
  // Each takes a node of its kind whose kind matches its policy.
  Result<bool> map_entry(const NodeState& node, const CrdtPolicy& policy, const RemovedChain* removed, Value& cur,
                         std::size_t depth, bool saved);
  // `saved` false: `cur` is a place not recorded yet, at `keys_`.
  Result<bool> set_member(const NodeState& node, const CrdtPolicy& policy, const RemovedChain* removed, Value& cur,
                          std::size_t depth, const std::string& key, bool descend, bool saved);
  Result<bool> sequence_elements(const NodeState& node, const CrdtPolicy& policy, const RemovedChain* removed,
                                 Value& cur, std::size_t depth, const std::vector<ElementId>& ids, bool descend,
                                 bool saved);
  // Recomputes `cur` as the whole value of `node`, which always yields one.
  Result<bool> whole(const NodeState& node, const CrdtPolicy& policy, const RemovedChain* removed, Value& cur,
                     bool saved);
  // Records the list place at `keys_` before one element at `index` changes.
  void note_list_edit(const Value& list, std::size_t index, bool insertion);
  Result<std::optional<Value>> full(const NodeState& node, const CrdtPolicy& policy, const RemovedChain* removed);
  // Puts `next` in place of `slot`; true when they differ.
  bool replace(Value& slot, Value next);

  LiveValue& live_;
  ChangeTrie& changes_;
  const CrdtPolicy& policy_;
  const NodeState& root_;

  // The operation at hand.
  const TargetPath* target_ = nullptr;
  Mode mode_ = Mode::Whole;
  std::string member_;             // Member mode: the member's key
  std::vector<ElementId> ids_;     // Elements mode
  std::vector<const std::string*> keys_;  // map keys from the root to the node at hand
};

}  // namespace ww::crdt::reducer
