// The visible order of a sequence node kept between calls, so that an edit
// does not recompute the order of the whole sequence. One view per sequence
// node that has been materialised; each slot stands for one inserted
// element (tombstones included), in the order of ordered_sequence_ids.
//
// A view is an accelerator only: whenever a change does not fit the simple
// cases below, the view is dropped and rebuilt by the next materialisation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "crdt/reducer/node_state.h"

namespace ww::crdt::reducer {

using SequenceEntry = std::map<ElementId, SequenceEntryState>::value_type;

struct SequenceSlot {
  const SequenceEntry* entry;  // map nodes do not move
  std::uint32_t depth;         // in the tree of anchors; the start is 0
  // What the element contributes to the materialised value: 1 in a list,
  // its UTF-8 length in a string, 0 when it is left out.
  std::uint32_t shown;
  bool deleted;  // has a deletion record
};

struct SequenceView {
  std::vector<SequenceSlot> slots;
  // Some inserted element is not reachable from the start; such a view is
  // never updated in place.
  bool has_orphans = false;
  std::size_t live = 0;  // slots without a deletion record
  std::size_t hint = 0;  // where the last lookup ended

  // The slot of `entry`, searched outward from the last one found.
  std::optional<std::size_t> find(const SequenceEntry* entry);
  // The sum of `shown` over the slots before `p`; `total` is the sum over all.
  std::size_t shown_before(std::size_t p, std::size_t total) const;
  // The slot of the live element at live position `index` (< live).
  std::size_t live_slot(std::size_t index) const;
};

// The slots of a sequence in visible order, with depths and deletion flags;
// `shown` is left 0.
SequenceView build_sequence_view(const SequenceState& seq);

// The views of a document, by node. The structural hooks keep every view in
// step with its node as the node changes.
class SequenceViews {
 public:
  SequenceView* find(const SequenceState* seq);
  void put(const SequenceState* seq, SequenceView view);
  void drop(const SequenceState* seq) { views_.erase(seq); }
  void clear() { views_.clear(); }

  // `entry` of `seq` has just been marked inserted.
  void on_inserted(const SequenceState& seq, const SequenceEntry& entry);
  // `id` of `seq` has just received its first deletion record.
  void on_deleted(const SequenceState& seq, const ElementId& id);
  // An inserted element of `seq` has moved to another anchor.
  void on_anchor_moved(const SequenceState& seq) { drop(&seq); }

 private:
  std::map<const SequenceState*, SequenceView> views_;
};

}  // namespace ww::crdt::reducer
