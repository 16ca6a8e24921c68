#include "crdt/reducer/document_compact.h"

#include <algorithm>
#include <string>

#include "crdt/reducer/document.h"
#include "crdt/reducer/document_body.h"
#include "crdt/reducer/state_read.h"
#include "format/json/text_de.h"

namespace ww::crdt::reducer {
namespace {

bool all_covered(const InternedDotSet& dots, const ReplicaCounters& frontier, const ReplicaTable& replicas) {
  return dots.all_of([&](const InternedDot& d) { return dot_covered(d, frontier, replicas); });
}

// Dead (every dot that keeps it alive is removed), and its removal is covered.
bool removable(const Entry& entry, const ReplicaCounters& frontier, const ReplicaTable& replicas) {
  return entry.dots.all_of([&](const InternedDot& d) { return entry.removed.contains(d, replicas); }) &&
         !entry.removal_ops.empty() && all_covered(entry.removal_ops, frontier, replicas);
}

}  // namespace

bool dot_covered(const InternedDot& dot, const ReplicaCounters& frontier, const ReplicaTable& replicas) {
  if (dot.replica == kInitReplicaId) return true;
  auto it = frontier.find(replicas.name(dot.replica));
  if (it == frontier.end()) return dot.counter == 0;
  return dot.counter <= it->second;
}

std::uint64_t compact_node(Node& node, const CrdtPolicy& policy, const ReplicaCounters& frontier,
                           const ReplicaTable& replicas) {
  if (node.kind() != policy.kind()) return 0;
  std::uint64_t n = 0;
  if (EntryTable* map = node.map()) {
    const MapPolicy& mp = *policy.map();
    map->for_each([&](Entry& e) { n += compact_node(e.node, mp.child(e.key), frontier, replicas); });
    n += map->erase_if([&](const Entry& e) { return removable(e, frontier, replicas); });
  } else if (EntryTable* set = node.set()) {
    const CrdtPolicy& element = *policy.set()->element;
    set->for_each([&](Entry& e) { n += compact_node(e.node, element, frontier, replicas); });
    n += set->erase_if([&](const Entry& e) { return removable(e, frontier, replicas); });
  } else if (SequenceNode* seq = node.sequence()) {
    const CrdtPolicy& element = *policy.sequence()->element;
    for (const IdHandle& ih : seq->ids) {
      Element& e = seq->elements[ih.handle];
      if (!e.node.present()) continue;
      n += compact_node(e.node, element, frontier, replicas);
      if (!e.deleted || !dot_covered(e.id.dot(), frontier, replicas)) continue;
      const DeleteRecord* record = seq->find_delete(e.id, replicas);
      if (record != nullptr && all_covered(record->dots, frontier, replicas)) {
        e.node = Node();
        ++n;
      }
    }
  }
  return n;
}

Status check_frontier_coverage(const OpLog& log, const ReplicaCounters& frontier, const ReplicaTable& replicas) {
  for (const auto& [replica, counter] : frontier) {
    auto c = log.compacted.find(replica);
    const std::uint64_t base = c != log.compacted.end() ? c->second : 0;
    if (counter <= base) continue;
    // Records are ordered by counter first: walk the counters base+1 .. counter.
    const std::uint32_t id = replicas.find(replica);
    std::uint64_t seen = 0;
    if (id != kNoReplica) {
      const auto& records = log.records();
      auto from = records.lower_bound([&](const OpLog::Record& r) { return r.counter <= base; });
      for (auto it = records.at_iter(from); it != records.end() && it->counter <= counter; ++it) {
        if (it->replica == id) ++seen;
      }
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
  Body& b = *body_;
  WW_TRY(check_frontier_coverage(b.log, frontier, b.replicas));
  changed();
  const std::uint64_t removed = compact_node(b.root, spec_.root, frontier, b.replicas);
  for (const auto& [replica, counter] : frontier) {
    auto [it, fresh] = b.log.compacted.try_emplace(replica, counter);
    if (!fresh) it->second = std::max(it->second, counter);
  }
  b.log.erase_if([&](const OpLog::Record& r) { return dot_covered(r.dot(), frontier, b.replicas); });
  // The value is unchanged; the shown sizes of sequences keep.
  return removed;
}

}  // namespace ww::crdt::reducer
