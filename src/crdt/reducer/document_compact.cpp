#include "crdt/reducer/document_compact.h"

#include <string>

#include "crdt/reducer/document.h"
#include "crdt/reducer/document_refresh.h"
#include "crdt/reducer/state_read.h"
#include "format/json/text_de.h"

namespace ww::crdt::reducer {
namespace {

bool all_covered(const DotSet& dots, const ReplicaCounters& frontier) {
  for (const Dot& d : dots) {
    if (!dot_covered(d, frontier)) return false;
  }
  return true;
}

bool all_in(const DotSet& dots, const DotSet& removed) {
  for (const Dot& d : dots) {
    if (!removed.contains(d)) return false;
  }
  return true;
}

// Dead, and its removal is covered.
template <class Entry>
bool removable(const DotSet& alive_by, const Entry& entry, const ReplicaCounters& frontier) {
  return all_in(alive_by, entry.removed) && !entry.removal_ops.empty() && all_covered(entry.removal_ops, frontier);
}

}  // namespace

std::uint64_t compact_node(NodeState& node, const CrdtPolicy& policy, const ReplicaCounters& frontier) {
  if (node.kind() != policy.kind()) return 0;
  std::uint64_t n = 0;
  if (MapState* map = node.map()) {
    for (auto& [key, entry] : map->entries) n += compact_node(entry.node, policy.map()->child(key), frontier);
    n += std::erase_if(map->entries,
                       [&](const auto& kv) { return removable(kv.second.dots, kv.second, frontier); });
  } else if (SetState* set = node.set()) {
    const CrdtPolicy& element = *policy.set()->element;
    for (auto& [key, member] : set->entries) n += compact_node(member.node, element, frontier);
    n += std::erase_if(set->entries,
                       [&](const auto& kv) { return removable(kv.second.adds, kv.second, frontier); });
  } else if (SequenceState* seq = node.sequence()) {
    const CrdtPolicy& element = *policy.sequence()->element;
    for (auto& [id, e] : seq->entries) {
      if (!e.node) continue;
      n += compact_node(*e.node, element, frontier);
      auto deleted = seq->deletes.find(id);
      if (deleted != seq->deletes.end() && dot_covered(id.dot, frontier) && all_covered(deleted->second, frontier)) {
        e.node.reset();
        ++n;
      }
    }
  }
  return n;
}

Status check_frontier_coverage(const CausalContext& context, const ReplicaCounters& frontier) {
  for (const auto& [replica, counter] : frontier) {
    auto c = context.compacted.find(replica);
    const std::uint64_t base = c != context.compacted.end() ? c->second : 0;
    if (counter <= base) continue;
    // `dots` is ordered by counter first: walk the counters base+1 .. counter.
    std::uint64_t seen = 0;
    for (auto it = context.dots.lower_bound(Dot{base + 1, std::string()});
         it != context.dots.end() && it->counter <= counter; ++it) {
      if (it->replica == replica) ++seen;
    }
    if (seen != counter - base) {
      return Error::custom("compaction frontier " + replica + ":" + std::to_string(counter) +
                           " is not covered by contiguous observed dots after " + std::to_string(base));
    }
  }
  return {};
}

Result<ReplicaCounters> frontier_from_json(std::string_view text) {
  return json::read_whole(text, false, [](json::TextDe& de) {
    return read_replica_counters(de);
  });
}

Result<std::uint64_t> CrdtDocument::compact(const ReplicaCounters& frontier) {
  CausalContext& context = data_->context;
  WW_TRY(check_frontier_coverage(context, frontier));
  const std::uint64_t removed = compact_node(data_->root, spec_.root, frontier);
  for (const auto& [replica, counter] : frontier) {
    auto [it, fresh] = context.compacted.try_emplace(replica, counter);
    if (!fresh) it->second = std::max(it->second, counter);
  }
  std::erase_if(context.dots, [&](const Dot& d) { return dot_covered(d, frontier); });
  std::erase_if(data_->fingerprints, [&](const auto& kv) { return dot_covered(kv.first, frontier); });
  // The value is unchanged, but nodes that views point into may be gone.
  forget_live();
  return removed;
}

}  // namespace ww::crdt::reducer
