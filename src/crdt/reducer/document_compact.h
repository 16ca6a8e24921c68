// Compaction: forgetting the dots, fingerprints and tombstones that a
// frontier of fully observed counters makes unnecessary.
#pragma once

#include <cstdint>
#include <string_view>

#include "crdt/crdt_spec.h"
#include "crdt/reducer/causal_context.h"
#include "crdt/reducer/op_log.h"
#include "crdt/reducer/tree.h"
#include "format/result.h"

namespace ww::crdt::reducer {

// dot_covered for an interned dot.
bool dot_covered(const InternedDot& dot, const ReplicaCounters& frontier, const ReplicaTable& replicas);

// Removes the covered tombstones in and below `node`; their number. A node
// whose kind differs from its policy's is left alone.
std::uint64_t compact_node(Node& node, const CrdtPolicy& policy, const ReplicaCounters& frontier,
                           const ReplicaTable& replicas);

// Fails unless, for every replica of the frontier, every counter between the
// compacted prefix and the frontier's counter has been observed.
Status check_frontier_coverage(const OpLog& log, const ReplicaCounters& frontier, const ReplicaTable& replicas);

// A frontier text: one JSON object from replica to unsigned counter.
Result<ReplicaCounters> frontier_from_json(std::string_view text);

}  // namespace ww::crdt::reducer
